#include "service/net/tcp_connection.h"

#include <utility>

namespace brivane {
namespace {

constexpr char kEndOfText = 3;

}  // namespace

TcpConnection::TcpConnection(asio::ip::tcp::socket socket, EndingFn onEnding)
    : socket_(std::move(socket)), onEnding_(std::move(onEnding)) {
  asio::error_code error;
  const auto peer = socket_.remote_endpoint(error);
  if (!error) {
    peerAddress_ = peer.address().to_string();
  }
  // Records are already gathered into one write per tick; do not hold that write back.
  socket_.set_option(asio::ip::tcp::no_delay(true), error);
  // Left alone, the kernel grows a send buffer to megabytes before anything waits in our
  // queue: a client that does not read would hold that much each and be noticed late.
  socket_.set_option(asio::socket_base::send_buffer_size(static_cast<int>(kSendQueueLimit)), error);
  socket_.non_blocking(true, error);
}

TcpConnection::~TcpConnection() {
  Close();
}

void TcpConnection::Start() {
  ReadSome();
}

void TcpConnection::Send(std::string_view bytes) {
  if (!Connected()) {
    return;
  }
  queued_.append(bytes);
  const std::size_t inFlight = writing_ ? writing_->size() : 0;
  if (queued_.size() + inFlight > kSendQueueLimit) {
    Close();
    if (onEnding_) {
      onEnding_(*this, Ending::ClientNotReading);
    }
    return;
  }
  ScheduleWrite();
}

void TcpConnection::Close() {
  asio::error_code ignored;
  socket_.shutdown(asio::socket_base::shutdown_both, ignored);
  socket_.close(ignored);
  queued_.clear();
  writing_.reset();
}

void TcpConnection::ReadSome() {
  socket_.async_read_some(
      asio::buffer(*readBuffer_),
      guard_.Guard([this, buffer = readBuffer_](const asio::error_code& error, std::size_t length) {
        OnRead(error, length);
      }));
}

void TcpConnection::OnRead(const asio::error_code& error, std::size_t length) {
  if (error == asio::error::operation_aborted || !Connected()) {
    return;  // closed by us
  }
  if (error == asio::error::eof) {
    Close();
    if (onEnding_) {
      onEnding_(*this, Ending::PeerClosed);
    }
    return;
  }
  if (error) {
    Close();  // lost: the slot stays reserved until the next broadcast
    return;
  }
  // Client text is discarded; a lone end-of-text byte asks us to hang up.
  if (length == 1 && (*readBuffer_)[0] == kEndOfText) {
    Close();
    return;
  }
  ReadSome();
}

// Writing waits until the current handler has finished, so that a burst of records
// queued in one timer tick leaves in one write.
void TcpConnection::ScheduleWrite() {
  if (writeScheduled_ || writing_) {
    return;
  }
  writeScheduled_ = true;
  asio::post(socket_.get_executor(), guard_.Guard([this] {
    writeScheduled_ = false;
    WriteQueued();
  }));
}

void TcpConnection::WriteQueued() {
  if (!Connected() || queued_.empty() || writing_) {
    return;
  }
  ++writesStarted_;
  // Most ticks the whole burst fits the socket at once: send it straight away and keep
  // the asynchronous write for what the socket did not take.
  asio::error_code error;
  const std::size_t taken = socket_.send(asio::buffer(queued_), 0, error);
  if (error && error != asio::error::would_block) {
    Close();  // lost: the slot stays reserved until the next broadcast
    return;
  }
  queued_.erase(0, taken);
  if (queued_.empty()) {
    return;
  }
  writing_ = std::make_shared<const std::string>(std::exchange(queued_, {}));
  asio::async_write(socket_, asio::buffer(*writing_),
                    guard_.Guard([this, bytes = writing_](const asio::error_code& error,
                                                          std::size_t) { OnWritten(error); }));
}

void TcpConnection::OnWritten(const asio::error_code& error) {
  writing_.reset();
  if (error) {
    Close();  // lost: the slot stays reserved until the next broadcast
    return;
  }
  WriteQueued();
}

}  // namespace brivane

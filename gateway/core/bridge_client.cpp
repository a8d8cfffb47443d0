#include "gateway/core/bridge_client.h"

#include <utility>

namespace brivane::gateway {
namespace {

constexpr auto kConnectDeadline = std::chrono::seconds(5);

}  // namespace

BridgeClient::BridgeClient(asio::io_context& io, HostPort bridge, Handlers handlers, LogFn log)
    : io_(io),
      bridge_(std::move(bridge)),
      handlers_(std::move(handlers)),
      log_(std::move(log)),
      resolver_(io),
      socket_(io),
      timer_(io),
      backoff_(std::chrono::milliseconds(250), std::chrono::seconds(5)),
      buffer_(std::make_unique<std::array<char, 65536>>()) {}

BridgeClient::~BridgeClient() {
  Stop();
}

void BridgeClient::Start() {
  stopped_ = false;
  Resolve();
}

void BridgeClient::Stop() {
  stopped_ = true;
  ++generation_;
  resolver_.cancel();
  timer_.cancel();
  asio::error_code ignored;
  socket_.close(ignored);
}

void BridgeClient::Resolve() {
  const unsigned generation = ++generation_;
  resolver_.async_resolve(bridge_.host, std::to_string(bridge_.port),
                          asio::ip::resolver_base::numeric_service,
                          [this, generation](const asio::error_code& error,
                                             asio::ip::tcp::resolver::results_type endpoints) {
                            if (generation != generation_) {
                              return;
                            }
                            if (error) {
                              Fail("cannot resolve " + bridge_.host + ": " + error.message());
                              return;
                            }
                            Connect(std::move(endpoints));
                          });
}

void BridgeClient::Connect(asio::ip::tcp::resolver::results_type endpoints) {
  const unsigned generation = generation_;
  timer_.expires_after(kConnectDeadline);
  timer_.async_wait([this, generation](const asio::error_code& error) {
    if (!error && generation == generation_) {
      Fail("no answer within 5 seconds");
    }
  });
  asio::async_connect(socket_, endpoints,
                      [this, generation](const asio::error_code& error, const auto&) {
                        if (generation != generation_) {
                          return;
                        }
                        timer_.cancel();
                        if (error) {
                          Fail(error.message());
                          return;
                        }
                        backoff_.Reset();
                        greetingSkipped_ = false;
                        framer_ = std::make_unique<mate::RecordFramer>();
                        if (link_ != Link::kUp) {
                          log_(LogLevel::kInfo, "connected to BrivaneSvc at " + bridge_.Text());
                        }
                        link_ = Link::kUp;
                        if (handlers_.connected) {
                          handlers_.connected();
                        }
                        Read();
                      });
}

void BridgeClient::Read() {
  const unsigned generation = generation_;
  socket_.async_read_some(
      asio::buffer(*buffer_), [this, generation](const asio::error_code& error, std::size_t size) {
        if (generation != generation_) {
          return;
        }
        if (error) {
          Fail(error == asio::error::eof ? "the service closed the connection" : error.message());
          return;
        }
        OnBytes(std::string_view(buffer_->data(), size));
        if (generation == generation_) {
          Read();
        }
      });
}

void BridgeClient::OnBytes(std::string_view bytes) {
  if (!greetingSkipped_) {
    const auto lineEnd = bytes.find('\n');
    if (lineEnd == std::string_view::npos) {
      return;
    }
    greetingSkipped_ = true;
    bytes.remove_prefix(lineEnd + 1);
  }
  framer_->Append(bytes);
  while (auto record = framer_->Next()) {
    if (handlers_.record) {
      handlers_.record(std::move(*record));
    }
  }
}

void BridgeClient::Fail(const std::string& reason) {
  ++generation_;
  timer_.cancel();
  asio::error_code ignored;
  socket_.close(ignored);
  const Link before = link_;
  link_ = Link::kDown;
  if (before == Link::kUp) {
    log_(LogLevel::kWarning,
         "lost the connection to BrivaneSvc at " + bridge_.Text() + ": " + reason);
    if (handlers_.lost) {
      handlers_.lost();
    }
  } else if (before == Link::kStarting) {
    log_(LogLevel::kWarning, "cannot reach BrivaneSvc at " + bridge_.Text() + ": " + reason +
                                 "; trying again until it answers");
  }
  if (stopped_) {
    return;
  }
  const unsigned generation = generation_;
  timer_.expires_after(backoff_.Next());
  timer_.async_wait([this, generation](const asio::error_code& error) {
    if (!error && generation == generation_ && !stopped_) {
      Resolve();
    }
  });
}

}  // namespace brivane::gateway

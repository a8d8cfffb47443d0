#include "gateway/mqtt/mosquitto_session.h"

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace brivane::gateway {
namespace {

constexpr auto kAttemptDeadline = std::chrono::seconds(10);

// libmosquitto keeps process-wide state; set up once for the program's lifetime.
void InitLibrary() {
  static const bool done = [] {
    mosquitto_lib_init();
    return true;
  }();
  (void)done;
}

}  // namespace

MosquittoSession::MosquittoSession(asio::io_context& io, MqttConnection connection,
                                   Handlers handlers, LogFn log)
    : io_(io),
      connection_(std::move(connection)),
      handlers_(std::move(handlers)),
      log_(std::move(log)),
      resolver_(io),
      probe_(io),
      descriptor_(io),
      attemptTimer_(io),
      miscTimer_(io),
      backoff_(std::chrono::milliseconds(250), std::chrono::seconds(5)) {}

MosquittoSession::~MosquittoSession() {
  Stop();
  if (mosq_ != nullptr) {
    mosquitto_destroy(mosq_);
  }
}

bool MosquittoSession::Start(std::string& error) {
  InitLibrary();
  mosq_ = mosquitto_new(connection_.clientId.c_str(), true, this);
  if (mosq_ == nullptr) {
    error = "cannot make an MQTT client";
    return false;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(mosq_, &MosquittoSession::OnConnect);
  mosquitto_disconnect_callback_set(mosq_, &MosquittoSession::OnDisconnect);
  mosquitto_message_callback_set(mosq_, &MosquittoSession::OnMessage);
  if (!connection_.willTopic.empty()) {
    mosquitto_will_set(mosq_, connection_.willTopic.c_str(),
                       static_cast<int>(connection_.willPayload.size()),
                       connection_.willPayload.data(), 1, true);
  }
  if (!connection_.username.empty() || connection_.password) {
    mosquitto_username_pw_set(mosq_,
                              connection_.username.empty() ? nullptr : connection_.username.c_str(),
                              connection_.password ? connection_.password->c_str() : nullptr);
  }
  if (!connection_.caFile.empty()) {
    const int rc = mosquitto_tls_set(
        mosq_, connection_.caFile.c_str(), nullptr,
        connection_.certFile.empty() ? nullptr : connection_.certFile.c_str(),
        connection_.keyFile.empty() ? nullptr : connection_.keyFile.c_str(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      error = std::string("cannot use the TLS files: ") + mosquitto_strerror(rc);
      return false;
    }
  }
  stopped_ = false;
  Attempt();
  return true;
}

void MosquittoSession::Stop() {
  if (stopped_ || mosq_ == nullptr) {
    stopped_ = true;
    return;
  }
  stopped_ = true;
  ++generation_;
  if (connected_) {
    mosquitto_disconnect(mosq_);
    // What the library could not write at once is given a moment to leave.
    for (int round = 0; round < 50 && mosquitto_want_write(mosq_); ++round) {
      if (mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) {
        break;
      }
    }
  }
  connected_ = false;
  resolver_.cancel();
  attemptTimer_.cancel();
  miscTimer_.cancel();
  asio::error_code ignored;
  probe_.close(ignored);
  Detach();
}

void MosquittoSession::Publish(const std::string& topic, const std::string& payload, bool retain) {
  if (!connected_) {
    return;  // everything is sent again once connected
  }
  const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), 1, retain);
  AfterLibraryCall(rc);
}

void MosquittoSession::Subscribe(const std::string& topic) {
  if (!connected_) {
    return;
  }
  AfterLibraryCall(mosquitto_subscribe(mosq_, nullptr, topic.c_str(), 1));
}

// Resolving and the TCP connect run on the loop with a deadline; libmosquitto's own
// connect, which blocks, is only asked for an address that has just answered.
void MosquittoSession::Attempt() {
  const unsigned generation = ++generation_;
  failing_ = false;
  attemptTimer_.expires_after(kAttemptDeadline);
  attemptTimer_.async_wait([this, generation](const asio::error_code& error) {
    if (!error && generation == generation_) {
      Fail("no answer within 10 seconds");
    }
  });
  resolver_.async_resolve(
      connection_.broker.host, std::to_string(connection_.broker.port),
      asio::ip::resolver_base::numeric_service,
      [this, generation](const asio::error_code& error,
                         asio::ip::tcp::resolver::results_type endpoints) {
        if (generation != generation_) {
          return;
        }
        if (error) {
          Fail("cannot resolve " + connection_.broker.host + ": " + error.message());
          return;
        }
        Probe(std::move(endpoints));
      });
}

void MosquittoSession::Probe(asio::ip::tcp::resolver::results_type endpoints) {
  const unsigned generation = generation_;
  asio::async_connect(
      probe_, endpoints,
      [this, generation](const asio::error_code& error, const asio::ip::tcp::endpoint& endpoint) {
        if (generation != generation_) {
          return;
        }
        asio::error_code ignored;
        probe_.close(ignored);
        if (error) {
          Fail(error.message());
          return;
        }
        ConnectLibrary(endpoint.address().to_string());
      });
}

void MosquittoSession::ConnectLibrary(const std::string& address) {
  Detach();
  // With TLS the name is what the broker's certificate is checked against.
  const std::string host = connection_.caFile.empty() ? address : connection_.broker.host;
  const int rc =
      mosquitto_connect(mosq_, host.c_str(), connection_.broker.port, connection_.keepaliveSeconds);
  if (rc != MOSQ_ERR_SUCCESS) {
    Fail(rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc));
    return;
  }
  Attach();
  AfterLibraryCall(MOSQ_ERR_SUCCESS);
}

void MosquittoSession::Attach() {
  const int fd = mosquitto_socket(mosq_);
  if (fd < 0) {
    return;
  }
  asio::error_code error;
  descriptor_.assign(fd, error);
  if (error) {
    Fail("cannot watch the connection: " + error.message());
    return;
  }
  WaitRead();
  ArmMisc();
}

void MosquittoSession::ArmMisc() {
  const unsigned generation = generation_;
  miscTimer_.expires_after(std::chrono::seconds(std::max(1, connection_.keepaliveSeconds / 4)));
  miscTimer_.async_wait([this, generation](const asio::error_code& error) {
    if (error || generation != generation_) {
      return;
    }
    AfterLibraryCall(mosquitto_loop_misc(mosq_));
    if (generation == generation_) {
      ArmMisc();
    }
  });
}

// The library closes its socket itself; ours must only let go of it, never close it.
void MosquittoSession::Detach() {
  if (descriptor_.is_open()) {
    descriptor_.release();
  }
  readArmed_ = false;
  writeArmed_ = false;
  miscTimer_.cancel();
}

void MosquittoSession::WaitRead() {
  if (readArmed_ || !descriptor_.is_open()) {
    return;
  }
  readArmed_ = true;
  const unsigned generation = generation_;
  descriptor_.async_wait(
      asio::posix::descriptor_base::wait_read, [this, generation](const asio::error_code& error) {
        if (generation != generation_) {
          return;
        }
        readArmed_ = false;
        if (error) {
          return;
        }
        int rc = MOSQ_ERR_SUCCESS;
        // Edge-triggered readiness: take everything that waits.
        for (int round = 0; round < 64; ++round) {
          rc = mosquitto_loop_read(mosq_, 1);
          if (rc != MOSQ_ERR_SUCCESS || generation != generation_ || !ReadPending()) {
            break;
          }
        }
        if (generation != generation_) {
          return;
        }
        AfterLibraryCall(rc);
        if (generation == generation_ && rc == MOSQ_ERR_SUCCESS && ReadPending()) {
          asio::post(io_, [this, generation] {
            if (generation == generation_) {
              AfterLibraryCall(mosquitto_loop_read(mosq_, 1));
            }
          });
        }
      });
}

bool MosquittoSession::ReadPending() const {
  const int fd = mosquitto_socket(mosq_);
  if (fd < 0) {
    return false;
  }
  if (auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq_));
      ssl != nullptr && SSL_pending(ssl) > 0) {
    return true;
  }
  int waiting = 0;
  return ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;
}

void MosquittoSession::WaitWrite() {
  if (writeArmed_ || !descriptor_.is_open()) {
    return;
  }
  writeArmed_ = true;
  const unsigned generation = generation_;
  descriptor_.async_wait(asio::posix::descriptor_base::wait_write,
                         [this, generation](const asio::error_code& error) {
                           if (generation != generation_) {
                             return;
                           }
                           writeArmed_ = false;
                           if (!error) {
                             AfterLibraryCall(mosquitto_loop_write(mosq_, 1));
                           }
                         });
}

// After every call into the library: a lost connection is handled, queued output waits
// for the socket, and the reading goes on.
void MosquittoSession::AfterLibraryCall(int rc) {
  if (stopped_ || failing_) {
    return;
  }
  if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0) {
    Fail(rc == MOSQ_ERR_ERRNO     ? std::string(std::strerror(errno))
         : rc == MOSQ_ERR_SUCCESS ? std::string("the connection closed")
                                  : std::string(mosquitto_strerror(rc)));
    return;
  }
  WaitRead();
  if (mosquitto_want_write(mosq_)) {
    WaitWrite();
  }
}

void MosquittoSession::Fail(const std::string& reason) {
  if (stopped_) {
    return;
  }
  failing_ = true;
  ++generation_;
  resolver_.cancel();
  attemptTimer_.cancel();
  asio::error_code ignored;
  probe_.close(ignored);
  Detach();
  mosquitto_disconnect(mosq_);  // closes the library's socket if it is still open
  const bool wasConnected = connected_;
  connected_ = false;
  const Link before = link_;
  link_ = Link::kDown;
  const std::string broker = connection_.broker.Text();
  if (before == Link::kUp) {
    log_(LogLevel::kWarning, "lost the connection to the MQTT broker at " + broker + ": " + reason);
  } else if (before == Link::kStarting) {
    log_(LogLevel::kWarning, "cannot reach the MQTT broker at " + broker + ": " + reason +
                                 "; trying again until it answers");
  }
  if (wasConnected && handlers_.lost) {
    handlers_.lost();
  }
  const unsigned generation = generation_;
  attemptTimer_.expires_after(backoff_.Next());
  attemptTimer_.async_wait([this, generation](const asio::error_code& error) {
    if (!error && generation == generation_ && !stopped_) {
      Attempt();
    }
  });
}

void MosquittoSession::OnConnect(mosquitto*, void* self, int rc) {
  auto* session = static_cast<MosquittoSession*>(self);
  if (rc != 0) {
    // Refused (bad name or password, not authorised): said once, then tried again.
    const std::string reason = std::string("refused: ") + mosquitto_connack_string(rc);
    asio::post(session->io_, [session, reason, generation = session->generation_] {
      if (generation == session->generation_) {
        session->Fail(reason);
      }
    });
    return;
  }
  session->attemptTimer_.cancel();
  session->backoff_.Reset();
  session->connected_ = true;
  if (session->link_ != Link::kUp) {
    session->log_(LogLevel::kInfo,
                  "connected to the MQTT broker at " + session->connection_.broker.Text());
  }
  session->link_ = Link::kUp;
  if (session->handlers_.connected) {
    session->handlers_.connected();
  }
}

// The loss itself is seen by the call that made the library notice it.
void MosquittoSession::OnDisconnect(mosquitto*, void*, int) {}

void MosquittoSession::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* session = static_cast<MosquittoSession*>(self);
  if (session->handlers_.message && message->topic != nullptr) {
    session->handlers_.message(message->topic,
                               std::string(static_cast<const char*>(message->payload),
                                           static_cast<std::size_t>(message->payloadlen)));
  }
}

}  // namespace brivane::gateway

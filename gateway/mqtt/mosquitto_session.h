#pragma once

#include <asio.hpp>
#include <functional>
#include <optional>
#include <string>

#include "gateway/core/backoff.h"
#include "gateway/core/log.h"
#include "gateway/settings/host_port.h"

struct mosquitto;
struct mosquitto_message;

namespace brivane::gateway {

struct MqttConnection {
  HostPort broker;
  std::string clientId;
  std::string username;
  std::optional<std::string> password;
  std::string caFile;  // TLS on when set
  std::string certFile;
  std::string keyFile;
  std::string willTopic;  // the broker's message for us when we vanish
  std::string willPayload;
  int keepaliveSeconds = 60;
};

// One MQTT client connection run on the gateway's loop: libmosquitto does the protocol,
// the loop waits on its socket and its timers. The connection is kept up with a growing
// wait between attempts; each change of state is logged once.
class MosquittoSession {
 public:
  struct Handlers {
    std::function<void()> connected;  // the broker accepted us: publish and subscribe now
    std::function<void()> lost;
    std::function<void(const std::string& topic, const std::string& payload)> message;
  };

  MosquittoSession(asio::io_context& io, MqttConnection connection, Handlers handlers, LogFn log);
  ~MosquittoSession();
  MosquittoSession(const MosquittoSession&) = delete;
  MosquittoSession& operator=(const MosquittoSession&) = delete;

  // False with the reason when the client cannot be set up (TLS files, memory).
  bool Start(std::string& error);
  // Sends what is queued, disconnects politely and stops trying.
  void Stop();

  bool Connected() const { return connected_; }
  void Publish(const std::string& topic, const std::string& payload, bool retain);
  void Subscribe(const std::string& topic);

 private:
  enum class Link { kStarting, kUp, kDown };

  void Attempt();
  void Probe(asio::ip::tcp::resolver::results_type endpoints);
  void ConnectLibrary(const std::string& address);
  void Attach();
  void Detach();
  void ArmMisc();
  void WaitRead();
  void WaitWrite();
  void AfterLibraryCall(int rc);
  void Fail(const std::string& reason);
  bool ReadPending() const;

  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnDisconnect(mosquitto*, void* self, int rc);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

  asio::io_context& io_;
  MqttConnection connection_;
  Handlers handlers_;
  LogFn log_;
  mosquitto* mosq_ = nullptr;
  asio::ip::tcp::resolver resolver_;
  asio::ip::tcp::socket probe_;
  asio::posix::stream_descriptor descriptor_;
  asio::steady_timer attemptTimer_;  // the deadline of an attempt, then the wait for the next
  asio::steady_timer miscTimer_;     // keep-alive and retries inside the library
  Backoff backoff_;
  Link link_ = Link::kStarting;
  bool connected_ = false;
  bool stopped_ = false;
  bool writeArmed_ = false;
  bool readArmed_ = false;
  bool failing_ = false;
  unsigned generation_ = 0;
};

}  // namespace brivane::gateway

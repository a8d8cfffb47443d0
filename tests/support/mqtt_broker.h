#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property;

namespace brivane::testkit {

struct MqttBrokerOptions {
  // A second listener that speaks TLS only and requires a client certificate signed by
  // the broker's throwaway CA.
  bool tls = false;
  // No anonymous clients on any listener: Username() and Password() only.
  bool passwords = false;
};

// A private mosquitto on 127.0.0.1, never the machine's own broker: its own folder,
// configuration, certificates and password file, no persistence. Starts in the
// constructor (throws when it does not come up), stops in the destructor.
class MqttBroker {
 public:
  explicit MqttBroker(MqttBrokerOptions options = {});
  ~MqttBroker();
  MqttBroker(const MqttBroker&) = delete;
  MqttBroker& operator=(const MqttBroker&) = delete;

  // Plain listener; chosen once, kept across Restart.
  int Port() const { return port_; }
  // TLS listener; 0 without options.tls.
  int TlsPort() const { return tlsPort_; }
  // Empty without options.tls.
  std::string CaFile() const;
  std::string ClientCertFile() const;
  std::string ClientKeyFile() const;
  // Empty without options.passwords.
  std::string Username() const { return username_; }
  std::string Password() const { return password_; }
  const std::filesystem::path& Folder() const { return folder_; }
  // The broker's process while it runs; -1 when stopped.
  pid_t Pid() const { return process_ ? process_->Pid() : -1; }

  bool Running() const;
  // Ends the broker and waits for it.
  void Stop();
  // Starts it again on the same ports; with no persistence every retained message is
  // gone. Throws when the ports do not accept in time.
  void Start();
  void Restart() {
    Stop();
    Start();
  }

  // The broker's log (errors, warnings, notices) so far, for failure messages.
  std::vector<std::string> Log() const;

 private:
  void MakeCertificates();
  void MakePasswordFile();
  void WriteConfiguration() const;

  MqttBrokerOptions options_;
  std::filesystem::path folder_;
  int port_ = 0;
  int tlsPort_ = 0;
  std::string username_;
  std::string password_;
  std::unique_ptr<ChildProcess> process_;
};

struct MqttMessage {
  std::string topic;
  std::string payload;
  // The publisher's retain flag, also for messages that arrive live (MQTT 5
  // retain-as-published), so a test can tell a retained publish from a plain one.
  bool retained = false;
};

// An MQTT 5 client of a MqttBroker's plain listener on its own thread (libmosquitto's
// loop_start), with the broker's credentials when it has some. It subscribes to
// topicFilters before the constructor returns (throws when that fails in time), and
// reconnects and subscribes again after the broker restarts.
class MqttSubscriber {
 public:
  MqttSubscriber(const MqttBroker& broker, std::vector<std::string> topicFilters);
  ~MqttSubscriber();
  MqttSubscriber(const MqttSubscriber&) = delete;
  MqttSubscriber& operator=(const MqttSubscriber&) = delete;

  // The first message since construction or the last Clear() whose topic matches topic
  // (a name or a filter with + and #) and that accept takes (null accepts any); waits
  // up to timeout for it to arrive.
  std::optional<MqttMessage> WaitFor(const std::string& topic,
                                     std::function<bool(const MqttMessage&)> accept,
                                     std::chrono::milliseconds timeout);
  // Everything received since construction or the last Clear(), in order.
  std::vector<MqttMessage> Messages() const;
  // Forgets what came so far, so that WaitFor sees only what comes next.
  void Clear();

  // Until the subscriptions hold (again, after a broker restart).
  bool WaitForSubscribed(std::chrono::milliseconds timeout) const;

  // QoS 1, waits until the broker has it; throws when it cannot be delivered in time.
  // An empty retained payload clears the topic's retained message.
  void Publish(const std::string& topic, const std::string& payload, bool retain = false);

 private:
  static void OnConnect(mosquitto* client, void* self, int rc, int flags,
                        const mosquitto_property* properties);
  static void OnDisconnect(mosquitto* client, void* self, int rc,
                           const mosquitto_property* properties);
  static void OnSubscribe(mosquitto* client, void* self, int mid, int count, const int* grantedQos,
                          const mosquitto_property* properties);
  static void OnPublish(mosquitto* client, void* self, int mid, int reasonCode,
                        const mosquitto_property* properties);
  static void OnMessage(mosquitto* client, void* self, const mosquitto_message* message,
                        const mosquitto_property* properties);

  std::vector<std::string> filters_;
  mosquitto* client_ = nullptr;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool connected_ = false;
  bool subscribed_ = false;
  int subscribeMid_ = -1;
  std::vector<int> acknowledged_;
  std::vector<MqttMessage> messages_;
};

}  // namespace brivane::testkit

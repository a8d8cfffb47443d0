#include "tests/support/mqtt_broker.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "tests/support/loopback_socket.h"
#include "tests/support/ports.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {

namespace {

std::filesystem::path Tool(const std::string& name) {
  for (const char* folder : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  throw std::runtime_error(name + " is missing (scripts/install-deps.sh installs it)");
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  return text;
}

// Runs a tool to its end; throws with what it wrote when it fails.
void RunTool(const std::string& name, std::vector<std::string> args,
             const std::filesystem::path& folder) {
  ChildProcess process(Tool(name), SpawnOptions{std::move(args), {}, folder});
  const std::optional<int> status = process.WaitForExit(kPatience);
  if (status != 0) {
    throw std::runtime_error(name + " failed:\n" + Joined(process.StderrLines()));
  }
}

std::string RandomText() {
  std::random_device source;
  std::ostringstream text;
  text << std::hex << source() << source();
  return text.str();
}

bool Accepts(int port) {
  LoopbackSocket socket(SOCK_STREAM);
  return socket.Connect(static_cast<std::uint16_t>(port));
}

void InitializeLibrary() {
  static const int initialized = mosquitto_lib_init();
  (void)initialized;
}

}  // namespace

MqttBroker::MqttBroker(MqttBrokerOptions options) : options_(options) {
  std::string pattern = (std::filesystem::temp_directory_path() / "brivane-mqtt-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
  }
  folder_ = pattern;
  try {
    port_ = FreePort();
    if (options_.tls) {
      do {
        tlsPort_ = FreePort();
      } while (tlsPort_ == port_);
      MakeCertificates();
    }
    if (options_.passwords) {
      MakePasswordFile();
    }
    WriteConfiguration();
    Start();
  } catch (...) {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    throw;
  }
}

MqttBroker::~MqttBroker() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string MqttBroker::CaFile() const {
  return options_.tls ? (folder_ / "ca.crt").string() : "";
}

std::string MqttBroker::ClientCertFile() const {
  return options_.tls ? (folder_ / "client.crt").string() : "";
}

std::string MqttBroker::ClientKeyFile() const {
  return options_.tls ? (folder_ / "client.key").string() : "";
}

void MqttBroker::MakeCertificates() {
  // Elliptic-curve keys: made in milliseconds, unlike RSA.
  const std::vector<std::string> newKey = {"-newkey", "ec", "-pkeyopt",
                                           "ec_paramgen_curve:prime256v1", "-nodes"};
  std::vector<std::string> ca = {"req", "-x509"};
  ca.insert(ca.end(), newKey.begin(), newKey.end());
  ca.insert(ca.end(), {"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj",
                       "/CN=Brivane test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                       "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
  RunTool("openssl", ca, folder_);

  int serial = 1;
  for (const auto& [name, extensions] :
       {std::pair<std::string, std::string>{
            "server", "subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n"},
        {"client", "extendedKeyUsage=clientAuth\n"}}) {
    std::ofstream(folder_ / (name + ".ext")) << extensions;
    std::vector<std::string> request = {"req", "-new"};
    request.insert(request.end(), newKey.begin(), newKey.end());
    request.insert(request.end(), {"-keyout", name + ".key", "-out", name + ".csr", "-subj",
                                   "/CN=" + (name == "server" ? std::string("localhost")
                                                              : std::string("brivane-test"))});
    RunTool("openssl", request, folder_);
    RunTool(
        "openssl",
        {"x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-set_serial",
         std::to_string(++serial), "-days", "2", "-extfile", name + ".ext", "-out", name + ".crt"},
        folder_);
  }
}

void MqttBroker::MakePasswordFile() {
  username_ = "brivane-test";
  password_ = RandomText();
  RunTool("mosquitto_passwd", {"-b", "-c", "passwords", username_, password_}, folder_);
}

void MqttBroker::WriteConfiguration() const {
  std::ofstream file(folder_ / "mosquitto.conf");
  // Run as root, mosquitto would switch to its own user, who cannot read this folder.
  if (::geteuid() == 0) {
    file << "user root\n";
  }
  file << "persistence false\n"
       << "per_listener_settings false\n"
       << "log_dest stderr\n"
       << "log_type error\nlog_type warning\nlog_type notice\n"
       << "allow_anonymous " << (options_.passwords ? "false" : "true") << "\n";
  if (options_.passwords) {
    file << "password_file " << (folder_ / "passwords").string() << "\n";
  }
  file << "listener " << port_ << " 127.0.0.1\n";
  if (options_.tls) {
    file << "listener " << tlsPort_ << " 127.0.0.1\n"
         << "cafile " << CaFile() << "\n"
         << "certfile " << (folder_ / "server.crt").string() << "\n"
         << "keyfile " << (folder_ / "server.key").string() << "\n"
         << "require_certificate true\n";
  }
  if (!file) {
    throw std::runtime_error("cannot write " + (folder_ / "mosquitto.conf").string());
  }
}

bool MqttBroker::Running() const {
  return process_ && process_->Running();
}

void MqttBroker::Stop() {
  if (!process_) {
    return;
  }
  process_->Signal(SIGTERM);
  if (!process_->WaitForExit(kPatience)) {
    process_->Signal(SIGKILL);
    process_->WaitForExit(kPatience);
  }
  process_.reset();
}

void MqttBroker::Start() {
  Stop();
  process_ = std::make_unique<ChildProcess>(
      Tool("mosquitto"), SpawnOptions{{"-c", (folder_ / "mosquitto.conf").string()}, {}, folder_});
  const bool ready = WaitFor(
      [this] {
        return !process_->Running() || (Accepts(port_) && (tlsPort_ == 0 || Accepts(tlsPort_)));
      },
      kPatience);
  if (!ready || !process_->Running()) {
    const std::string log = Joined(process_->StderrLines());
    Stop();
    throw std::runtime_error("mosquitto did not come up on 127.0.0.1:" + std::to_string(port_) +
                             ":\n" + log);
  }
}

std::vector<std::string> MqttBroker::Log() const {
  return process_ ? process_->StderrLines() : std::vector<std::string>{};
}

MqttSubscriber::MqttSubscriber(const MqttBroker& broker, std::vector<std::string> topicFilters)
    : filters_(std::move(topicFilters)) {
  InitializeLibrary();
  static std::atomic<int> count{0};
  const std::string id =
      "brivane-test-" + std::to_string(::getpid()) + "-" + std::to_string(count.fetch_add(1));
  client_ = mosquitto_new(id.c_str(), true, this);
  if (client_ == nullptr) {
    throw std::runtime_error("mosquitto_new failed");
  }
  mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_connect_v5_callback_set(client_, OnConnect);
  mosquitto_disconnect_v5_callback_set(client_, OnDisconnect);
  mosquitto_subscribe_v5_callback_set(client_, OnSubscribe);
  mosquitto_publish_v5_callback_set(client_, OnPublish);
  mosquitto_message_v5_callback_set(client_, OnMessage);
  mosquitto_reconnect_delay_set(client_, 1, 1, false);
  if (!broker.Username().empty()) {
    mosquitto_username_pw_set(client_, broker.Username().c_str(), broker.Password().c_str());
  }
  int rc = mosquitto_connect_async(client_, "127.0.0.1", broker.Port(), 30);
  if (rc == MOSQ_ERR_SUCCESS) {
    rc = mosquitto_loop_start(client_);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    mosquitto_destroy(client_);
    throw std::runtime_error(std::string("MQTT client: ") + mosquitto_strerror(rc));
  }
  if (!WaitForSubscribed(kPatience)) {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
    throw std::runtime_error("MQTT client did not subscribe on port " +
                             std::to_string(broker.Port()));
  }
}

MqttSubscriber::~MqttSubscriber() {
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, false);
  mosquitto_destroy(client_);
}

void MqttSubscriber::OnConnect(mosquitto* client, void* self, int rc, int /*flags*/,
                               const mosquitto_property* /*properties*/) {
  auto* subscriber = static_cast<MqttSubscriber*>(self);
  if (rc != 0) {
    return;
  }
  std::vector<char*> filters;
  for (std::string& filter : subscriber->filters_) {
    filters.push_back(filter.data());
  }
  std::lock_guard lock(subscriber->mutex_);
  subscriber->connected_ = true;
  subscriber->subscribed_ = false;
  mosquitto_subscribe_multiple(client, &subscriber->subscribeMid_, static_cast<int>(filters.size()),
                               filters.data(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
  subscriber->changed_.notify_all();
}

void MqttSubscriber::OnDisconnect(mosquitto* /*client*/, void* self, int /*rc*/,
                                  const mosquitto_property* /*properties*/) {
  auto* subscriber = static_cast<MqttSubscriber*>(self);
  std::lock_guard lock(subscriber->mutex_);
  subscriber->connected_ = false;
  subscriber->subscribed_ = false;
  subscriber->changed_.notify_all();
}

void MqttSubscriber::OnSubscribe(mosquitto* /*client*/, void* self, int mid, int count,
                                 const int* grantedQos, const mosquitto_property* /*properties*/) {
  auto* subscriber = static_cast<MqttSubscriber*>(self);
  std::lock_guard lock(subscriber->mutex_);
  const bool granted =
      std::all_of(grantedQos, grantedQos + count, [](int qos) { return qos <= 2; });
  if (mid == subscriber->subscribeMid_ && granted) {
    subscriber->subscribed_ = true;
    subscriber->changed_.notify_all();
  }
}

void MqttSubscriber::OnPublish(mosquitto* /*client*/, void* self, int mid, int /*reasonCode*/,
                               const mosquitto_property* /*properties*/) {
  auto* subscriber = static_cast<MqttSubscriber*>(self);
  std::lock_guard lock(subscriber->mutex_);
  subscriber->acknowledged_.push_back(mid);
  subscriber->changed_.notify_all();
}

void MqttSubscriber::OnMessage(mosquitto* /*client*/, void* self, const mosquitto_message* message,
                               const mosquitto_property* /*properties*/) {
  auto* subscriber = static_cast<MqttSubscriber*>(self);
  MqttMessage received{message->topic,
                       std::string(static_cast<const char*>(message->payload),
                                   static_cast<std::size_t>(message->payloadlen)),
                       message->retain};
  std::lock_guard lock(subscriber->mutex_);
  subscriber->messages_.push_back(std::move(received));
  subscriber->changed_.notify_all();
}

std::optional<MqttMessage> MqttSubscriber::WaitFor(const std::string& topic,
                                                   std::function<bool(const MqttMessage&)> accept,
                                                   std::chrono::milliseconds timeout) {
  std::optional<MqttMessage> found;
  std::size_t checked = 0;
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] {
    for (; checked < messages_.size(); ++checked) {
      const MqttMessage& message = messages_[checked];
      bool matches = false;
      mosquitto_topic_matches_sub(topic.c_str(), message.topic.c_str(), &matches);
      if (matches && (!accept || accept(message))) {
        found = message;
        return true;
      }
    }
    return false;
  });
  return found;
}

std::vector<MqttMessage> MqttSubscriber::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void MqttSubscriber::Clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

bool MqttSubscriber::WaitForSubscribed(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return subscribed_; });
}

void MqttSubscriber::Publish(const std::string& topic, const std::string& payload, bool retain) {
  {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kPatience, [this] { return connected_; })) {
      throw std::runtime_error("MQTT client not connected, cannot publish to " + topic);
    }
  }
  int mid = 0;
  const int rc = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), 1, retain);
  if (rc != MOSQ_ERR_SUCCESS) {
    throw std::runtime_error("publish to " + topic + ": " + mosquitto_strerror(rc));
  }
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, kPatience, [&] {
        return std::find(acknowledged_.begin(), acknowledged_.end(), mid) != acknowledged_.end();
      })) {
    throw std::runtime_error("the broker did not acknowledge the publish to " + topic);
  }
}

}  // namespace brivane::testkit

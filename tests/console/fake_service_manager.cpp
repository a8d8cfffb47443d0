#include "tests/console/fake_service_manager.h"

#include <fstream>

#include "tests/support/wait_for.h"

namespace brivane {
namespace {

constexpr const char* kManagerName = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kUnitPath = "/org/freedesktop/systemd1/unit/Brivane_2eservice";
constexpr const char* kJobPath = "/org/freedesktop/systemd1/job/1";

// Anyone on this bus may own any name and call anything.
std::string BusConfig(const std::filesystem::path& socket) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <listen>unix:path=" +
         socket.string() +
         "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow own=\"*\"/>\n"
         "    <allow send_destination=\"*\"/>\n"
         "    <allow receive_sender=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
}

}  // namespace

FakeServiceManager::FakeServiceManager(const std::filesystem::path& folder) {
  const auto config = folder / "bus.conf";
  const auto socket = folder / "bus";
  std::ofstream(config) << BusConfig(socket);
  testkit::SpawnOptions options;
  options.args = {"--config-file=" + config.string(), "--nofork", "--nopidfile", "--print-address"};
  daemon_ = std::make_unique<testkit::ChildProcess>("/usr/bin/dbus-daemon", options);
  // The address is printed once the bus listens.
  if (!testkit::WaitFor([&] { return !daemon_->StdoutLines().empty(); }, testkit::kPatience)) {
    return;
  }
  address_ = "unix:path=" + socket.string();
  if (sd_bus_new(&bus_) < 0) {
    return;
  }
  if (sd_bus_set_address(bus_, address_.c_str()) < 0 || sd_bus_set_bus_client(bus_, 1) < 0 ||
      sd_bus_start(bus_) < 0 || sd_bus_request_name(bus_, kManagerName, 0) < 0 ||
      sd_bus_add_fallback(bus_, nullptr, kManagerPath, &FakeServiceManager::Handle, this) < 0) {
    return;
  }
  ready_ = true;
  thread_ = std::thread([this] { Serve(); });
}

FakeServiceManager::~FakeServiceManager() {
  stopping_ = true;
  stopped_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
  sd_bus_flush_close_unref(bus_);
}

void FakeServiceManager::SetRunning(bool running) {
  const std::lock_guard lock(mutex_);
  running_ = running;
}

void FakeServiceManager::SetAnswerDelay(std::chrono::milliseconds delay) {
  const std::lock_guard lock(mutex_);
  delay_ = delay;
}

std::vector<FakeServiceManager::Job> FakeServiceManager::Jobs() const {
  const std::lock_guard lock(mutex_);
  return jobs_;
}

std::size_t FakeServiceManager::Callers() const {
  const std::lock_guard lock(mutex_);
  return callers_.size();
}

void FakeServiceManager::Serve() {
  while (!stopping_) {
    const int processed = sd_bus_process(bus_, nullptr);
    if (processed < 0) {
      return;
    }
    if (processed == 0) {
      sd_bus_wait(bus_, 20'000);
    }
  }
}

int FakeServiceManager::Handle(sd_bus_message* message, void* self, sd_bus_error*) {
  return static_cast<FakeServiceManager*>(self)->Answer(message);
}

int FakeServiceManager::Answer(sd_bus_message* message) {
  const std::string member = sd_bus_message_get_member(message);
  std::unique_lock lock(mutex_);
  const char* sender = sd_bus_message_get_sender(message);
  callers_.insert(sender != nullptr ? sender : "");
  ++answers_;
  if (member == "LoadUnit") {
    stopped_.wait_for(lock, delay_, [this] { return stopping_.load(); });
    return sd_bus_reply_method_return(message, "o", kUnitPath);
  }
  if (member == "StartUnit" || member == "StopUnit") {
    jobs_.push_back({member, sd_bus_message_get_allow_interactive_authorization(message) > 0});
    return sd_bus_reply_method_return(message, "o", kJobPath);
  }
  if (member == "Get") {
    const char* interface = nullptr;
    const char* property = nullptr;
    if (sd_bus_message_read(message, "ss", &interface, &property) < 0) {
      return -EINVAL;
    }
    const std::string name = property;
    const char* value = name == "LoadState"     ? "loaded"
                        : name == "ActiveState" ? (running_ ? "active" : "inactive")
                        : name == "SubState"    ? (running_ ? "running" : "dead")
                                                : nullptr;
    if (value != nullptr) {
      return sd_bus_reply_method_return(message, "v", "s", value);
    }
  }
  return 0;
}

}  // namespace brivane

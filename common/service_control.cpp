#include "common/service_control.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "common/sd_bus_library.h"

namespace brivane {
namespace {

constexpr const char* kManagerService = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kManagerInterface = "org.freedesktop.systemd1.Manager";
constexpr const char* kUnitInterface = "org.freedesktop.systemd1.Unit";
constexpr const char* kPrivateSocket = "unix:path=/run/systemd/private";
// A stuck manager holds a reading no longer than this.
constexpr std::uint64_t kCallTimeoutUsec = 10'000'000;
// Long enough for a person to type an administrator's password.
constexpr std::uint64_t kInteractiveCallTimeoutUsec = 120'000'000;
// Reading every unit file again can take a while on a small machine.
constexpr std::uint64_t kRegistrationTimeoutUsec = 25'000'000;

// Valid once ConnectToManager has succeeded: every call below comes after it.
const SdBusCalls& SdBus() {
  return *LoadSdBus();
}

struct BusCloser {
  void operator()(sd_bus* bus) const { SdBus().sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;

struct MessageReleaser {
  void operator()(sd_bus_message* message) const { SdBus().sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageReleaser>;

// The system bus; for root without a bus (early boot, minimal systems) systemd's own socket.
Bus ConnectToManager(std::uint64_t timeoutUsec) {
  if (LoadSdBus() == nullptr) {
    return nullptr;
  }
  sd_bus* bus = nullptr;
  Bus owned;
  if (SdBus().sd_bus_open_system(&bus) >= 0) {
    owned.reset(bus);
  } else {
    if (geteuid() != 0 || SdBus().sd_bus_new(&bus) < 0) {
      return nullptr;
    }
    owned.reset(bus);
    if (SdBus().sd_bus_set_address(bus, kPrivateSocket) < 0 || SdBus().sd_bus_start(bus) < 0) {
      return nullptr;
    }
  }
  if (SdBus().sd_bus_set_method_call_timeout(bus, timeoutUsec) < 0) {
    return nullptr;
  }
  return owned;
}

std::string UnitName(std::string_view serviceName) {
  return std::string(serviceName) + ".service";
}

struct UnitState {
  std::string loadState;
  std::string activeState;
  std::string subState;

  bool Exists() const { return loadState != "not-found"; }
  bool Running() const { return activeState == "active" && subState == "running"; }
  bool Stopped() const { return activeState == "inactive" || activeState == "failed"; }
};

std::optional<std::string> ReadUnitProperty(sd_bus* bus, const std::string& path,
                                            const char* property) {
  char* value = nullptr;
  if (SdBus().sd_bus_get_property_string(bus, kManagerService, path.c_str(), kUnitInterface,
                                         property, nullptr, &value) < 0) {
    return std::nullopt;
  }
  std::string text(value);
  free(value);
  return text;
}

// LoadUnit answers for every valid name; a unit without a file comes back "not-found".
std::optional<UnitState> ReadUnitState(sd_bus* bus, const std::string& unit) {
  sd_bus_message* reply = nullptr;
  if (SdBus().sd_bus_call_method(bus, kManagerService, kManagerPath, kManagerInterface, "LoadUnit",
                                 nullptr, &reply, "s", unit.c_str()) < 0) {
    return std::nullopt;
  }
  Message owned(reply);
  const char* path = nullptr;
  if (SdBus().sd_bus_message_read(reply, "o", &path) < 0) {
    return std::nullopt;
  }
  const std::string unitPath(path);
  auto load = ReadUnitProperty(bus, unitPath, "LoadState");
  auto active = ReadUnitProperty(bus, unitPath, "ActiveState");
  auto sub = ReadUnitProperty(bus, unitPath, "SubState");
  if (!load || !active || !sub) {
    return std::nullopt;
  }
  return UnitState{*load, *active, *sub};
}

// StartUnit or StopUnit in mode "replace"; the job is queued, not waited for.
bool QueueUnitJob(sd_bus* bus, const char* method, const std::string& unit,
                  Authorization authorization) {
  sd_bus_message* call = nullptr;
  if (SdBus().sd_bus_message_new_method_call(bus, &call, kManagerService, kManagerPath,
                                             kManagerInterface, method) < 0) {
    return false;
  }
  Message ownedCall(call);
  const bool interactive = authorization == Authorization::Interactive;
  if (SdBus().sd_bus_message_append(call, "ss", unit.c_str(), "replace") < 0 ||
      SdBus().sd_bus_message_set_allow_interactive_authorization(call, interactive) < 0) {
    return false;
  }
  sd_bus_message* reply = nullptr;
  const int result = SdBus().sd_bus_call(
      bus, call, interactive ? kInteractiveCallTimeoutUsec : kCallTimeoutUsec, nullptr, &reply);
  SdBus().sd_bus_message_unref(reply);
  return result >= 0;
}

ServiceState StateOf(const std::optional<UnitState>& state) {
  if (!state || !state->Exists()) {
    return ServiceState::NotInstalled;
  }
  return state->Running() ? ServiceState::Running : ServiceState::Stopped;
}

// EnableUnitFiles and DisableUnitFiles: the unit's name in a one-element array, then flags.
bool ChangeUnitFiles(std::string_view serviceName, bool enable) {
  Bus bus = ConnectToManager(kRegistrationTimeoutUsec);
  if (!bus) {
    return false;
  }
  const std::string unit = UnitName(serviceName);
  sd_bus_message* call = nullptr;
  if (SdBus().sd_bus_message_new_method_call(bus.get(), &call, kManagerService, kManagerPath,
                                             kManagerInterface,
                                             enable ? "EnableUnitFiles" : "DisableUnitFiles") < 0) {
    return false;
  }
  Message ownedCall(call);
  if (SdBus().sd_bus_message_append_strv(
          call, std::array<char*, 2>{const_cast<char*>(unit.c_str()), nullptr}.data()) < 0) {
    return false;
  }
  // runtime = false (the link lives in /etc); enable also passes force = false.
  const int appended = enable ? SdBus().sd_bus_message_append(call, "bb", 0, 0)
                              : SdBus().sd_bus_message_append(call, "b", 0);
  if (appended < 0) {
    return false;
  }
  sd_bus_message* reply = nullptr;
  const int result = SdBus().sd_bus_call(bus.get(), call, 0, nullptr, &reply);
  SdBus().sd_bus_message_unref(reply);
  return result >= 0;
}

}  // namespace

ServiceManagerLink::~ServiceManagerLink() {
  Disconnect();
}

sd_bus* ServiceManagerLink::Connection() {
  if (bus_ == nullptr) {
    bus_ = ConnectToManager(kCallTimeoutUsec).release();
  }
  return bus_;
}

void ServiceManagerLink::Disconnect() {
  Bus closed(bus_);
  bus_ = nullptr;
}

ServiceState ServiceManagerLink::ReadState(std::string_view serviceName) {
  sd_bus* bus = Connection();
  if (bus == nullptr) {
    return ServiceState::NotInstalled;
  }
  const auto state = ReadUnitState(bus, UnitName(serviceName));
  if (!state) {
    Disconnect();
  }
  return StateOf(state);
}

bool ServiceManagerLink::Start(std::string_view serviceName, Authorization authorization) {
  return ChangeState(serviceName, "StartUnit", authorization);
}

bool ServiceManagerLink::Stop(std::string_view serviceName, Authorization authorization) {
  return ChangeState(serviceName, "StopUnit", authorization);
}

// Asks for the job only when the unit is in the state the job leaves.
bool ServiceManagerLink::ChangeState(std::string_view serviceName, const char* method,
                                     Authorization authorization) {
  sd_bus* bus = Connection();
  if (bus == nullptr) {
    return false;
  }
  const std::string unit = UnitName(serviceName);
  const auto state = ReadUnitState(bus, unit);
  if (!state) {
    Disconnect();
    return false;
  }
  if (!state->Exists()) {
    return false;
  }
  const bool starting = std::string_view(method) == "StartUnit";
  if (starting ? !state->Stopped() : !state->Running()) {
    return true;
  }
  return QueueUnitJob(bus, method, unit, authorization);
}

bool WindowsServiceExists(std::string_view serviceName) {
  return ServiceManagerLink().ReadState(serviceName) != ServiceState::NotInstalled;
}

bool WindowsServiceRunning(std::string_view serviceName) {
  return ServiceManagerLink().ReadState(serviceName) == ServiceState::Running;
}

bool StartWindowsService(std::string_view serviceName) {
  return ServiceManagerLink().Start(serviceName, Authorization::NonInteractive);
}

bool StopWindowsService(std::string_view serviceName) {
  return ServiceManagerLink().Stop(serviceName, Authorization::NonInteractive);
}

bool ReloadServiceManager() {
  Bus bus = ConnectToManager(kRegistrationTimeoutUsec);
  if (!bus) {
    return false;
  }
  sd_bus_message* reply = nullptr;
  const int result = SdBus().sd_bus_call_method(bus.get(), kManagerService, kManagerPath,
                                                kManagerInterface, "Reload", nullptr, &reply, "");
  SdBus().sd_bus_message_unref(reply);
  return result >= 0;
}

bool EnableServiceUnit(std::string_view serviceName) {
  return ChangeUnitFiles(serviceName, true);
}

bool DisableServiceUnit(std::string_view serviceName) {
  return ChangeUnitFiles(serviceName, false);
}

}  // namespace brivane

#pragma once

#include <string_view>

struct sd_bus;

// The service checks both programs make, answered by systemd over D-Bus (unit
// <name>.service). Every failure (no bus, refused, no unit) is the result false, or a
// service that is not installed, with no message.
namespace brivane {

// What one reading of a unit finds; a reading that fails finds NotInstalled.
enum class ServiceState { NotInstalled, Stopped, Running };

// Interactive lets systemd ask the person at the desktop for an administrator's password
// through their polkit agent; without it a user who is not root is simply refused.
enum class Authorization { NonInteractive, Interactive };

// One connection to the service manager, kept from call to call so that a program
// asking every few seconds does not connect each time. A reading that fails drops the
// connection; the next call connects again. Use from one thread at a time.
class ServiceManagerLink {
 public:
  ServiceManagerLink() = default;
  ~ServiceManagerLink();
  ServiceManagerLink(const ServiceManagerLink&) = delete;
  ServiceManagerLink& operator=(const ServiceManagerLink&) = delete;

  // Exists and runs: the unit is active and its main process runs (states between count
  // as stopped).
  ServiceState ReadState(std::string_view serviceName);

  // Asks a stopped (inactive or failed) unit to start; any other state is left alone and
  // counts as success. Does not wait for the start to finish.
  bool Start(std::string_view serviceName, Authorization authorization);

  // Asks a running unit to stop; any other state is left alone and counts as success.
  // Does not wait for the stop to finish.
  bool Stop(std::string_view serviceName, Authorization authorization);

 private:
  sd_bus* Connection();
  void Disconnect();
  bool ChangeState(std::string_view serviceName, const char* method, Authorization authorization);

  sd_bus* bus_ = nullptr;
};

// The same, each over a connection of its own, without asking anyone for a password.
bool WindowsServiceExists(std::string_view serviceName);
bool WindowsServiceRunning(std::string_view serviceName);
bool StartWindowsService(std::string_view serviceName);
bool StopWindowsService(std::string_view serviceName);

// Registration, used by the service's install and uninstall.
// systemd reads its unit files again (daemon-reload).
bool ReloadServiceManager();
// Enables <name>.service as its [Install] section says (the links of systemctl enable).
bool EnableServiceUnit(std::string_view serviceName);
// Removes the links EnableServiceUnit made.
bool DisableServiceUnit(std::string_view serviceName);

}  // namespace brivane

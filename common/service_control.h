#pragma once

#include <string_view>

// The service checks both programs make, answered by systemd over D-Bus (unit
// <name>.service). Each call opens its own connection and closes it before returning;
// every failure (no bus, refused, no unit) is the result false, with no message.
namespace brivane {

// systemd knows <name>.service (its load state is other than "not-found").
bool WindowsServiceExists(std::string_view serviceName);

// The unit is active and its main process runs (states between count as not running).
bool WindowsServiceRunning(std::string_view serviceName);

// Asks a stopped (inactive or failed) unit to start; any other state is left alone and
// counts as success. Does not wait for the start to finish.
bool StartWindowsService(std::string_view serviceName);

// Asks a running unit to stop; any other state is left alone and counts as success.
// Does not wait for the stop to finish.
bool StopWindowsService(std::string_view serviceName);

// Registration, used by the service's install and uninstall.
// systemd reads its unit files again (daemon-reload).
bool ReloadServiceManager();
// Enables <name>.service as its [Install] section says (the links of systemctl enable).
bool EnableServiceUnit(std::string_view serviceName);
// Removes the links EnableServiceUnit made.
bool DisableServiceUnit(std::string_view serviceName);

}  // namespace brivane

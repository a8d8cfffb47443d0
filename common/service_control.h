#pragma once

#include <string_view>

// The service checks both programs make, answered by systemd over D-Bus.
// Each call is on its own (a fresh bus connection); every failure is false.
namespace brivane {

// systemd knows <name>.service (its load state is other than "not-found").
bool WindowsServiceExists(std::string_view serviceName);

// The unit is active and its process is running.
bool WindowsServiceRunning(std::string_view serviceName);

// Asks a stopped unit to start; true once asked. A running unit is left as it is.
bool StartWindowsService(std::string_view serviceName);

// Asks a running unit to stop; true once asked. A stopped unit is left as it is.
bool StopWindowsService(std::string_view serviceName);

}  // namespace brivane

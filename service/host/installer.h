#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The service's registration with systemd: the unit file in /etc/systemd/system,
// enabled so that the service starts with the system.
namespace brivane {

// Where Install writes the unit of the service "Brivane".
std::filesystem::path ServiceUnitPath();

// The unit file for a service whose program is executable (absolute). Nothing when the
// path cannot be written into a unit file (not absolute, or holding a line break).
std::optional<std::string> ServiceUnitText(const std::filesystem::path& executable);

// Writes the unit for the running executable, reloads systemd and enables the unit.
// True when the service entry was created; a failed step leaves no unit behind.
bool InstallService();

// Disables the unit, removes its file and reloads systemd. True when systemd no longer
// knows the service afterwards. A running service is not waited for.
bool UninstallService();

}  // namespace brivane

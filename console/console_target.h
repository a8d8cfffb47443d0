#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/network_info.h"
#include "common/settings.h"

// Where the console sends its status query: a host named on the command line, or the
// service on this computer.
namespace brivane {

// A host given on the command line, with the port text as the status bar shows it.
struct RemoteTarget {
  std::string host;
  std::string portText;
  std::uint16_t port = 0;
};

// The UDP port queried when the command line names a host without a port.
inline constexpr std::string_view kDefaultQueryPortText = "8466";

// The target named by the argument text (the arguments joined by single blanks), or
// nothing when the console is to watch the local service: no arguments, or a port
// that is not a number between 1 and 65535. "host" alone is used as it is; with a
// ":" the host and the port piece are trimmed and further pieces are ignored.
std::optional<RemoteTarget> RemoteTargetOf(std::string_view argumentText);

// The configured address when it is one of this computer's own, else "127.0.0.1".
std::string LocalTargetHost(const ConsoleSettings& settings,
                            const AddressTableReader& read = ReadAddressTable);

}  // namespace brivane

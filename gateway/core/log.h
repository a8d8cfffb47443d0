#pragma once

#include <functional>
#include <string>

namespace brivane::gateway {

enum class LogLevel { kError, kWarning, kInfo };

// Where the gateway's pieces report what happened; one call is one line.
using LogFn = std::function<void(LogLevel, const std::string&)>;

}  // namespace brivane::gateway

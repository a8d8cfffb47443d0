#pragma once

#include <string>

#include "gateway/core/log.h"

namespace brivane::gateway {

// A line to the journal (identifier brivane-gateway) and, unless standard error already
// is the journal, "brivane-gateway: <text>" on standard error.
void WriteLog(LogLevel level, const std::string& text);

}  // namespace brivane::gateway

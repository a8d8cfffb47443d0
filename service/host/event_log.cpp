#include "service/host/event_log.h"

#include <syslog.h>
#include <systemd/sd-journal.h>

#include <cstdio>
#include <string>

#include "common/product.h"

namespace brivane {

int EventPriority(int type) {
  switch (type) {
    case kEventTypeError:
      return LOG_ERR;
    case kEventTypeWarning:
      return LOG_WARNING;
    default:
      return LOG_INFO;
  }
}

std::string EventLine(int type, int eventId, std::string_view text) {
  std::string kind = type == kEventTypeError     ? "error"
                     : type == kEventTypeWarning ? "warning"
                                                 : "information";
  return kind + " " + std::to_string(eventId) + ": " + std::string(text);
}

void EventLog::Write(int type, int eventId, std::string_view text) const {
  const std::string message(text);
  const std::string identifier(kServiceName);
  const int priority = EventPriority(type);
  const int sent = sd_journal_send("MESSAGE=%s", message.c_str(), "PRIORITY=%d", priority,
                                   "SYSLOG_IDENTIFIER=%s", identifier.c_str(),
                                   "BRIVANE_EVENT_ID=%d", eventId, nullptr);
  if (sent < 0) {
    openlog(identifier.c_str(), LOG_PID, LOG_DAEMON);
    syslog(priority, "%s", message.c_str());
    closelog();
  }
  if (echoToStderr_) {
    const std::string line = EventLine(type, eventId, text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
}

}  // namespace brivane

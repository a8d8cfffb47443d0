#include "service/host/event_log.h"

#include <syslog.h>

#include <cstdio>
#include <string>

#include "common/product.h"
#include "service/host/journal_entry.h"
#include "service/host/unix_datagram.h"

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
  const std::string priorityText = std::to_string(priority);
  const std::string eventIdText = std::to_string(eventId);
  const std::string entry = JournalEntry({{"MESSAGE", message},
                                          {"PRIORITY", priorityText},
                                          {"SYSLOG_IDENTIFIER", identifier},
                                          {"BRIVANE_EVENT_ID", eventIdText}});
  if (!SendUnixDatagram(journalSocket_, entry)) {
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

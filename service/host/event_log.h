#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "service/base/service_types.h"
#include "service/host/journal_entry.h"

// The service's event log: the systemd journal, or syslog where the journal cannot be
// reached; in foreground runs every entry is also one line on standard error.
namespace brivane {

inline constexpr int kEventId = 109;

// Journal and syslog priority of an entry type: 3 for errors, 4 for warnings.
int EventPriority(int type);

// The standard-error line of an entry, without its line end: "error 109: <text>".
std::string EventLine(int type, int eventId, std::string_view text);

class EventLog {
 public:
  explicit EventLog(bool echoToStderr, std::string journalSocket = std::string(kJournalSocket))
      : echoToStderr_(echoToStderr), journalSocket_(std::move(journalSocket)) {}

  // Never fails: an entry that reaches neither journal nor syslog is lost.
  void Write(int type, int eventId, std::string_view text) const;

 private:
  bool echoToStderr_;
  std::string journalSocket_;
};

}  // namespace brivane

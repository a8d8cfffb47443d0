#include "gateway/app/gateway_log.h"

#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace brivane::gateway {
namespace {

// systemd hands a service a stderr that is the journal and says so in JOURNAL_STREAM
// ("device:inode"); lines written there would be logged twice.
bool StderrIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) {
    return false;
  }
  struct stat status {};
  if (fstat(STDERR_FILENO, &status) != 0) {
    return false;
  }
  return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) == stream;
}

bool JournalReachable() {
  struct stat status {};
  return stat("/run/systemd/journal/socket", &status) == 0;
}

}  // namespace

void WriteLog(LogLevel level, const std::string& text) {
  static const bool toStderr = !StderrIsJournal();
  static const bool toJournal = JournalReachable();
  const int priority = level == LogLevel::kError     ? LOG_ERR
                       : level == LogLevel::kWarning ? LOG_WARNING
                                                     : LOG_INFO;
  if (toJournal) {
    sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priority,
                    "SYSLOG_IDENTIFIER=brivane-gateway", nullptr);
  }
  if (toStderr || !toJournal) {
    std::fprintf(stderr, "brivane-gateway: %s\n", text.c_str());
    std::fflush(stderr);
  }
}

}  // namespace brivane::gateway

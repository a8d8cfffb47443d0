#include "service/host/journal_entry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "service/host/event_log.h"
#include "tests/support/notify_socket.h"

namespace brivane {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

TEST(JournalEntry, PlainValuesAreAssignmentsAndLineEndsTakeTheLengthForm) {
  EXPECT_EQ(JournalEntry({{"MESSAGE", "Opened COM1"}, {"PRIORITY", "6"}}),
            "MESSAGE=Opened COM1\nPRIORITY=6\n");
  EXPECT_EQ(JournalEntry({{"MESSAGE", ""}}), "MESSAGE=\n");
  const std::string twoLines = JournalEntry({{"MESSAGE", "a\nb"}, {"PRIORITY", "3"}});
  EXPECT_EQ(twoLines, "MESSAGE\n\x03\0\0\0\0\0\0\0a\nb\nPRIORITY=3\n"s);
}

// The journal's side is a datagram socket like the notify socket.
TEST(JournalEntry, EventLogSendsOneEntryWithItsFields) {
  testkit::NotifySocket journal;
  const EventLog log(false, journal.Path().string());
  log.Write(kEventTypeWarning, kEventId, "Could not accept TCP connection from 127.0.0.1.");
  ASSERT_TRUE(journal.WaitFor("PRIORITY=4", 5s));
  ASSERT_EQ(journal.Messages().size(), 1u);
  EXPECT_EQ(journal.Messages()[0],
            "MESSAGE=Could not accept TCP connection from 127.0.0.1.\nPRIORITY=4\n"
            "SYSLOG_IDENTIFIER=Brivane\nBRIVANE_EVENT_ID=109\n");
}

}  // namespace
}  // namespace brivane

#include "service/host/event_log.h"

#include <gtest/gtest.h>
#include <syslog.h>

namespace brivane {
namespace {

TEST(EventLog, StandardErrorLinesAndPriorities) {
  EXPECT_EQ(EventLine(kEventTypeError, kEventId, "oService_Start: x"),
            "error 109: oService_Start: x");
  EXPECT_EQ(EventLine(kEventTypeWarning, kEventId, "refused"), "warning 109: refused");
  EXPECT_EQ(EventPriority(kEventTypeError), LOG_ERR);
  EXPECT_EQ(EventPriority(kEventTypeWarning), LOG_WARNING);
  EXPECT_EQ(LOG_ERR, 3);
  EXPECT_EQ(LOG_WARNING, 4);
}

}  // namespace
}  // namespace brivane

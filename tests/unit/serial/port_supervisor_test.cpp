#include "service/serial/port_supervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_serial_control.h"
#include "service/serial/serial_link.h"

namespace brivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int64_t kStart = 1'800'000'000;  // whole seconds, UTC

struct Entry {
  int type;
  std::string text;
};

struct Supervision {
  Supervision() {
    for (int p : {1, 2, 3, 4}) {
      comm.ports[p] = {};
    }
  }
  // Clears the noted calls and runs one tick at second `at`.
  void TickAt(std::int64_t at) {
    now = at;
    comm.calls.clear();
    EXPECT_EQ(supervisor.CheckComTick(link), kCheckComInterval);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& e : log) {
      EXPECT_EQ(e.type, 1);
      texts.push_back(e.text);
    }
    return texts;
  }

  testing::FakeSerialControl comm;
  SerialLinkState link;
  std::int64_t now = kStart;
  std::vector<Entry> log;
  PortSupervisor supervisor{comm,
                            [this](int t, const std::string& s) {
                              log.push_back({t, s});
                            },
                            [this] { return now; }};
};

TEST(PortSupervisorTest, TimerConstantsAndStalenessRule) {
  EXPECT_EQ(kCheckComFirstInterval.count(), 250);
  EXPECT_EQ(kCheckComInterval.count(), 2500);

  Supervision s;
  s.link.LastDataTime = kStart;
  s.TickAt(kStart + 2);  // two whole seconds: still fresh
  EXPECT_THAT(s.comm.calls, IsEmpty());
  s.TickAt(kStart + 3);
  EXPECT_THAT(s.comm.calls, ElementsAre("set 1", "open 1"));
  EXPECT_EQ(s.link.LastDataTime, kStart + 3);

  // Clock set back: the count is negative and supervision waits until the clock
  // passes LastDataTime plus 2 seconds.
  s.TickAt(kStart - 3600);
  EXPECT_THAT(s.comm.calls, IsEmpty());
  s.TickAt(kStart + 5);
  EXPECT_THAT(s.comm.calls, IsEmpty());
  s.TickAt(kStart + 6);
  EXPECT_THAT(s.comm.calls, ElementsAre("close 1", "set 2", "open 2"));
  EXPECT_THAT(s.log, IsEmpty());
}

TEST(PortSupervisorTest, AutomaticDetectionCyclesOneToFourSilentlyOverMissingAndHeldPorts) {
  Supervision s;
  s.comm.ports.erase(2);                                             // absent: 8002
  s.comm.ports[3].openError = CommError{8005, "Port already open"};  // held elsewhere
  std::vector<int> probes;
  for (int i = 0; i < 9; ++i) {
    s.TickAt(kStart + 3 * i + 10);
    probes.push_back(s.supervisor.ProbePort());
    EXPECT_EQ(s.link.LastDataTime, s.now);
  }
  EXPECT_THAT(probes, ElementsAre(1, 2, 3, 4, 1, 2, 3, 4, 1));
  EXPECT_TRUE(s.comm.open);
  EXPECT_EQ(s.comm.port, 1);
  EXPECT_THAT(s.log, IsEmpty());
}

TEST(PortSupervisorTest, AutomaticDetectionLogsOtherErrorsAndGoesOn) {
  Supervision s;
  s.comm.ports[1].openError = CommError{13, "Permission denied"};
  s.TickAt(kStart);
  EXPECT_THAT(s.Texts(),
              ElementsAre("tmrCheckCOM: Error probing COM port 1. Err: 13, Permission denied"));

  // A failing set is logged and the open is still tried.
  s.log.clear();
  s.comm.ports[1].openError.reset();
  s.comm.setError = CommError{5, "Input/output error"};
  s.TickAt(kStart + 3);
  EXPECT_THAT(s.comm.calls, ElementsAre("set 2", "open 1"));
  EXPECT_THAT(s.Texts(), ElementsAre("tmrCheckCOM: Error auto-setting COM port 2. Err: 5, "
                                     "Input/output error"));

  // Closing fails: named by the port being closed; setting then meets 8005 and the
  // tick ends without a further entry.
  s.log.clear();
  s.comm.setError.reset();
  s.comm.closeError = CommError{4, "Interrupted system call"};
  s.TickAt(kStart + 6);
  EXPECT_THAT(s.comm.calls, ElementsAre("close 1", "set 3"));
  EXPECT_THAT(s.Texts(), ElementsAre("tmrCheckCOM: Error closing COM port 1. Err: 4, "
                                     "Interrupted system call"));
}

TEST(PortSupervisorTest, FixedPortIsOpenedAndThenLeftAlone) {
  Supervision s;
  s.link.COMPort = 3;
  s.TickAt(kStart);
  EXPECT_THAT(s.comm.calls, ElementsAre("set 3", "open 3"));
  // Open and stale: never closed, LastDataTime untouched, nothing logged.
  for (int i = 1; i <= 5; ++i) {
    s.TickAt(kStart + 10 * i);
    EXPECT_THAT(s.comm.calls, IsEmpty());
  }
  EXPECT_EQ(s.link.LastDataTime, 0);
  EXPECT_TRUE(s.comm.open);
  EXPECT_THAT(s.log, IsEmpty());

  // Closed behind its back (a hang-up): reopened without changing the number.
  s.comm.open = false;
  s.TickAt(kStart + 100);
  EXPECT_THAT(s.comm.calls, ElementsAre("open 3"));
}

TEST(PortSupervisorTest, FixedPortErrorsAndTheirEntries) {
  Supervision s;
  s.link.COMPort = 3;
  s.comm.ports[3].openError = CommError{8005, "Port already open"};
  // Held by another program: one entry every stale tick until it is free.
  for (int i = 0; i < 3; ++i) {
    s.TickAt(kStart + 3 * i);
  }
  const std::string held =
      "tmrCheckCOM: Port port 3 already opened by another application! Err: 8005, Port already "
      "open";
  EXPECT_THAT(s.Texts(), ElementsAre(held, held, held));
  s.comm.ports[3].openError.reset();
  s.TickAt(kStart + 9);
  s.TickAt(kStart + 12);
  EXPECT_EQ(s.log.size(), 3u);
  EXPECT_TRUE(s.comm.open);
  EXPECT_EQ(s.link.COMPort, 3);

  // Setting the number fails silently with 8002/8005 and is retried each stale tick.
  Supervision t;
  t.link.COMPort = 2;
  t.comm.setError = CommError{8005, "Port already open"};
  t.TickAt(kStart);
  t.TickAt(kStart + 3);
  EXPECT_THAT(t.comm.calls, ElementsAre("set 2"));
  EXPECT_THAT(t.log, IsEmpty());
  // Any other error is logged and the open still tried, on the control's own port.
  t.comm.setError = CommError{22, "Invalid argument"};
  t.comm.ports[1].openError = CommError{13, "Permission denied"};
  t.TickAt(kStart + 6);
  EXPECT_THAT(t.comm.calls, ElementsAre("set 2", "open 1"));
  EXPECT_THAT(t.Texts(),
              ElementsAre("tmrCheckCOM: Error setting COM port 2. Err: 22, Invalid argument",
                          "tmrCheckCOM: Error opening COM port 2. Err: 13, Permission denied"));
  EXPECT_EQ(t.link.COMPort, 2);
}

TEST(PortSupervisorTest, InvalidConfiguredPortRevertsToAutomaticDetection) {
  Supervision s;
  s.comm.ports.erase(3);
  s.link.COMPort = 3;
  s.TickAt(kStart);
  EXPECT_THAT(s.Texts(), ElementsAre("tmrCheckCOM: Port 3 is an invalid port number. Reverting to "
                                     "automatic detection. Err: 8002, Invalid port number"));
  EXPECT_EQ(s.link.COMPort, 0);
  EXPECT_EQ(s.link.LastDataTime, 0);
  // The next tick (still stale) starts automatic detection with COM1.
  s.TickAt(kStart + 2);
  EXPECT_THAT(s.comm.calls, ElementsAre("set 1", "open 1"));
  EXPECT_EQ(s.log.size(), 1u);
}

// The host's two timers against a millisecond clock: tmrCheckCOM (250 ms, then the
// period the tick asks for) and the receive step every 500 ms. A MATE on `matePort`
// sends a 49-character page each second.
struct ServiceTimeline {
  explicit ServiceTimeline(std::int64_t startMs)
      : ms(startMs),
        start(startMs),
        nextCheck(startMs + kCheckComFirstInterval.count()),
        nextBuffer(startMs + 500),
        nextPage(startMs + 100) {}
  // Runs the timers; each tick that touched the port is noted as "ms: calls".
  void RunUntil(std::int64_t endMs) {
    while (ms < endMs) {
      ms = std::min({nextCheck, nextBuffer, nextPage});
      if (ms == nextPage) {
        comm.Arrive(matePort, "\n3,00,00,00,120,120,00,02,000,01,528,000,000,031\r");
        nextPage += 1000;
      }
      if (ms == nextBuffer) {
        link.ReceiveStep();
        nextBuffer += 500;
      }
      if (ms == nextCheck) {
        comm.calls.clear();
        nextCheck += link.CheckComTick().count();
        if (!comm.calls.empty()) {
          std::string note = std::to_string(ms - start) + ":";
          for (const auto& call : comm.calls) {
            note += " " + call;
          }
          events.push_back(note);
        }
      }
    }
  }
  testing::FakeSerialControl comm;
  std::int64_t ms;
  std::int64_t start;
  std::int64_t nextCheck, nextBuffer, nextPage;
  int matePort = 3;
  std::vector<std::string> sent;
  std::vector<std::string> entries;
  std::vector<std::string> events;
  SecondsClock clock = [this] { return ms / 1000; };
  SerialLink link{comm,
                  {[this](std::string_view r) { sent.emplace_back(r); },
                   [this](int, const std::string& t) { entries.push_back(t); }},
                  clock};
};

std::int64_t TimeOf(const std::string& event) {
  return std::stoll(event.substr(0, event.find(':')));
}

TEST(PortSupervisorTest, MateOnCom3WithCom2AbsentIsFoundAfterTenSeconds) {
  ServiceTimeline t(kStart * 1000);  // the service starts on a whole second
  t.comm.ports[1] = {};
  t.comm.ports[3] = {};
  t.comm.ports[4] = {};
  t.RunUntil(t.start + 60'000);
  // COM1 stays silent for two ticks, COM2 fails silently, COM3 is found and kept.
  EXPECT_THAT(t.events, ElementsAre("250: set 1 open 1", "5250: close 1 set 2 open 2",
                                    "10250: set 3 open 3"));
  EXPECT_THAT(t.entries, IsEmpty());
  EXPECT_GE(t.sent.size(), 45u);
  EXPECT_EQ(t.link.Equipment().FXAddresses(), "3");

  // The MATE pauses for 4 seconds: its port is given up, the other three are tried
  // for about 5 seconds each, and it is opened again about 15 seconds later.
  t.events.clear();
  t.matePort = 0;
  t.RunUntil(t.start + 64'000);
  t.matePort = 3;
  t.RunUntil(t.start + 100'000);
  ASSERT_EQ(t.events.size(), 4u) << ::testing::PrintToString(t.events);
  EXPECT_THAT(t.events[0], ::testing::EndsWith(": close 3 set 4 open 4"));
  EXPECT_THAT(t.events[1], ::testing::EndsWith(": close 4 set 1 open 1"));
  EXPECT_THAT(t.events[2], ::testing::EndsWith(": close 1 set 2 open 2"));
  EXPECT_THAT(t.events[3], ::testing::EndsWith(": set 3 open 3"));
  EXPECT_GE(TimeOf(t.events[3]) - TimeOf(t.events[0]), 12'500);
  EXPECT_LE(TimeOf(t.events[3]) - TimeOf(t.events[0]), 15'000);
  EXPECT_THAT(t.entries, IsEmpty());
}

TEST(PortSupervisorTest, FirstProbeInTheSecondHalfOfASecondLastsOneTick) {
  ServiceTimeline t(kStart * 1000 + 600);
  t.comm.ports[1] = {};
  t.comm.ports[2] = {};
  t.matePort = 0;
  t.RunUntil(t.start + 3'000);
  EXPECT_THAT(t.events, ElementsAre("250: set 1 open 1", "2750: close 1 set 2 open 2"));
}

}  // namespace
}  // namespace brivane

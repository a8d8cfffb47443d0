// Polling the local service: the three states, the moves between them, and that an
// unchanged state leaves the window alone.

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <chrono>

#include "console/twips.h"
#include "tests/console/console_harness.h"

namespace brivane {

using State = FakeServiceChecks::State;

namespace {

const QByteArray kReply = "\nSVCL1.0.0,192.168.1.20,8467,1,2,1,0,3,True,2\r";

template <typename T>
T* Control(ConsoleWindow& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  if (!control) {
    qFatal("no control %s", name);
  }
  return control;
}

bool ButtonsShown(ConsoleWindow& window) {
  return !Control<QPushButton>(window, "cmdStartService")->isHidden() &&
         !Control<QPushButton>(window, "cmdStopService")->isHidden();
}

bool ButtonsHidden(ConsoleWindow& window) {
  return Control<QPushButton>(window, "cmdStartService")->isHidden() &&
         Control<QPushButton>(window, "cmdStopService")->isHidden();
}

bool StartEnabled(ConsoleWindow& window) {
  return Control<QPushButton>(window, "cmdStartService")->isEnabled();
}

bool StopEnabled(ConsoleWindow& window) {
  return Control<QPushButton>(window, "cmdStopService")->isEnabled();
}

bool FieldsCleared(ConsoleWindow& window) {
  for (const char* box : {"txtCOMPort", "txtNetworkPort", "txtTCPConnections"}) {
    if (!Control<QLineEdit>(window, box)->text().isEmpty()) {
      return false;
    }
  }
  for (const char* check : {"imgInverterYes", "imgMXYes", "imgFNDCYes"}) {
    if (!Control<QLabel>(window, check)->isHidden()) {
      return false;
    }
  }
  return true;
}

// Fields as a reply leaves them, so a later clearing can be seen.
void FillFields(ConsoleWindow& window) {
  window.ShowStatusReply(kReply);
  QVERIFY(!FieldsCleared(window));
}

int PixelsY(ConsoleWindow& window, int twips) {
  return TwipsToPixels(twips, window.screen()->logicalDotsPerInchY());
}

// Hiding the buttons takes their row away, down to a margin below the frames.
int ShrinkPixels(ConsoleWindow& window) {
  return PixelsY(window, 1980) - PixelsY(window, 1455 + 45);
}

}  // namespace

class ServiceStatesTest : public QObject {
  Q_OBJECT

 private slots:
  void PollingStartsWhenShownAndSlowsDown();
  void Running();
  void Stopped();
  void NotInstalled();
  void Transitions();
  void UnchangedStateRewritesNothing();
  void RemoteModeIgnoresTheLocalService();
  void ButtonsAskTheServiceManager();
  void SlowServiceManagerNeverHoldsTheWindow();
};

void ServiceStatesTest::PollingStartsWhenShownAndSlowsDown() {
  ConsoleHarness console;
  console.checks.state = State::Running;
  console.AimAtSink();
  ConsoleWindow& window = console.Open();
  QTimer& timer = window.CheckServiceTimer();
  QCOMPARE(timer.objectName(), QStringLiteral("tmrCheckService"));
  QVERIFY(!timer.isActive());
  QCOMPARE(timer.interval(), 10);
  QCOMPARE(console.checks.readCalls, 0);

  // Showing the window starts the polling, even where it is not made active.
  window.show();
  QVERIFY(timer.isActive());
  QCOMPARE(console.checks.readCalls, 0);
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  QVERIFY(timer.isActive());
  QTRY_COMPARE_WITH_TIMEOUT(window.ServicePanel()->Text(), QStringLiteral("Service: Running "),
                            5000);
  QCOMPARE(timer.interval(), 1500);
}

void ServiceStatesTest::Running() {
  ConsoleHarness console;
  console.checks.state = State::Running;
  console.AimAtSink();
  ConsoleWindow& window = console.Open();
  FillFields(window);
  console.Poll();
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Running "));
  QCOMPARE(window.ServicePanel()->CurrentPicture(), Picture::Check);
  QVERIFY(!StartEnabled(window));
  QVERIFY(StopEnabled(window));
  QVERIFY(ButtonsShown(window));
  QCOMPARE(window.WindowHeightTwips(), kHeightWithButtonsTwips);
  // Running leaves the fields to the replies.
  QVERIFY(!FieldsCleared(window));
  // A request went out, so the socket has its local port now.
  QVERIFY(window.Link().LocalPort() != 0);
}

void ServiceStatesTest::Stopped() {
  ConsoleHarness console;
  console.checks.state = State::Stopped;
  ConsoleWindow& window = console.Open();
  FillFields(window);
  console.Poll();
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Stopped "));
  QCOMPARE(window.ServicePanel()->CurrentPicture(), Picture::Cross);
  QVERIFY(StartEnabled(window));
  QVERIFY(!StopEnabled(window));
  QVERIFY(ButtonsShown(window));
  QCOMPARE(window.WindowHeightTwips(), kHeightWithButtonsTwips);
  QVERIFY(FieldsCleared(window));
  // Nothing is asked of a stopped service.
  QCOMPARE(window.Link().LocalPort(), 0);
}

void ServiceStatesTest::NotInstalled() {
  ConsoleHarness console;
  console.checks.state = State::NotInstalled;
  ConsoleWindow& window = console.Open();
  // The reading comes back through the event loop, which lays the window out first.
  QCoreApplication::processEvents();
  const int tallHeight = window.height();
  FillFields(window);
  console.Poll();
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Not Installed "));
  QCOMPARE(window.ServicePanel()->CurrentPicture(), Picture::Check);
  QVERIFY(ButtonsHidden(window));
  QCOMPARE(window.WindowHeightTwips(), kHeightWithoutButtonsTwips);
  QCOMPARE(tallHeight - window.height(), ShrinkPixels(window));
  QVERIFY(FieldsCleared(window));
  // One reading per poll.
  QCOMPARE(console.checks.readCalls, 1);
  QCOMPARE(window.Link().LocalPort(), 0);
}

void ServiceStatesTest::Transitions() {
  ConsoleHarness console;
  console.checks.state = State::Running;
  console.AimAtSink();
  ConsoleWindow& window = console.Open();
  console.Poll();
  const int tallHeight = window.height();
  FillFields(window);

  // Stopped from elsewhere.
  console.checks.state = State::Stopped;
  console.Poll();
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Stopped "));
  QCOMPARE(window.ServicePanel()->CurrentPicture(), Picture::Cross);
  QVERIFY(FieldsCleared(window));
  QVERIFY(StartEnabled(window));
  QVERIFY(!StopEnabled(window));

  // Removed: the window shrinks, the buttons go, the button states stay as they were.
  console.checks.state = State::NotInstalled;
  console.Poll();
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Not Installed "));
  QCOMPARE(window.ServicePanel()->CurrentPicture(), Picture::Check);
  QVERIFY(ButtonsHidden(window));
  QCOMPARE(window.WindowHeightTwips(), kHeightWithoutButtonsTwips);
  QCOMPARE(tallHeight - window.height(), ShrinkPixels(window));
  QVERIFY(StartEnabled(window));
  QVERIFY(!StopEnabled(window));

  // Installed again and running: in the same tick the window grows back.
  console.checks.state = State::Running;
  console.Poll();
  QCOMPARE(window.WindowHeightTwips(), kHeightWithButtonsTwips);
  QCOMPARE(window.height(), tallHeight);
  QVERIFY(ButtonsShown(window));
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Running "));
  QCOMPARE(window.ServicePanel()->CurrentPicture(), Picture::Check);
  QVERIFY(!StartEnabled(window));
  QVERIFY(StopEnabled(window));

  // Running to not installed clears the fields too.
  FillFields(window);
  console.checks.state = State::NotInstalled;
  console.Poll();
  QVERIFY(FieldsCleared(window));

  // Installed again but stopped.
  console.checks.state = State::Stopped;
  console.Poll();
  QVERIFY(ButtonsShown(window));
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Stopped "));
  QVERIFY(StartEnabled(window));
  QVERIFY(!StopEnabled(window));
}

void ServiceStatesTest::UnchangedStateRewritesNothing() {
  for (State state : {State::Running, State::Stopped, State::NotInstalled}) {
    ConsoleHarness console;
    console.checks.state = state;
    console.AimAtSink();
    ConsoleWindow& window = console.Open();
    console.Poll();
    const bool startEnabled = StartEnabled(window);
    QSignalSpy panelWrites(window.ServicePanel(), &StatusPanel::written);

    // Change what a rewrite would put back, then poll again in the same state.
    FillFields(window);
    Control<QPushButton>(window, "cmdStartService")->setEnabled(!startEnabled);
    const int height = window.height();
    for (int tick = 0; tick < 3; ++tick) {
      console.Poll();
    }
    QCOMPARE(panelWrites.count(), 0);
    QVERIFY(!FieldsCleared(window));
    QCOMPARE(StartEnabled(window), !startEnabled);
    QCOMPARE(window.height(), height);
  }
}

void ServiceStatesTest::RemoteModeIgnoresTheLocalService() {
  ConsoleHarness console;
  console.checks.state = State::Running;
  const quint16 sink = console.AimAtSink();
  ConsoleWindow& window = console.Open(QStringLiteral("127.0.0.1:%1").arg(sink));
  QSignalSpy panelWrites(window.ServicePanel(), &StatusPanel::written);
  window.CheckService();
  window.CheckService();
  QCOMPARE(console.checks.readCalls, 0);
  QCOMPARE(panelWrites.count(), 0);
  QVERIFY(window.ServicePanel()->isHidden());
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service:"));
  QVERIFY(ButtonsHidden(window));
  QCOMPARE(window.WindowHeightTwips(), kHeightWithoutButtonsTwips);
  // The request goes to the named host whatever the local service does.
  QVERIFY(window.Link().LocalPort() != 0);
  QVERIFY(console.desktop.messages.empty());
}

void ServiceStatesTest::ButtonsAskTheServiceManager() {
  ConsoleHarness console;
  console.checks.state = State::Stopped;
  console.AimAtSink();
  ConsoleWindow& window = console.Open();
  console.Poll();
  QTest::mouseClick(Control<QPushButton>(window, "cmdStartService"), Qt::LeftButton);
  QTRY_COMPARE(console.checks.startCalls, 1);
  // The click changes nothing on the window; the next poll shows the new state.
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Stopped "));
  QVERIFY(StartEnabled(window));

  console.checks.state = State::Running;
  console.Poll();
  QTest::mouseClick(Control<QPushButton>(window, "cmdStopService"), Qt::LeftButton);
  QTRY_COMPARE(console.checks.stopCalls, 1);
  QCOMPARE(console.checks.startCalls, 1);
  QVERIFY(console.desktop.messages.empty());
}

void ServiceStatesTest::SlowServiceManagerNeverHoldsTheWindow() {
  ConsoleHarness console;
  console.checks.state = State::Running;
  console.AimAtSink();
  ConsoleWindow& window = console.Open();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  // Every answer takes 3 s, as from a service manager that is busy or hung.
  console.checks.Hold(std::chrono::seconds(3));
  QElapsedTimer clock;
  clock.start();
  window.CheckService();
  QTest::mouseClick(Control<QPushButton>(window, "cmdStartService"), Qt::LeftButton);
  QTest::mouseClick(Control<QPushButton>(window, "cmdStopService"), Qt::LeftButton);
  QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));

  // The window's loop goes on throughout, with the poll timer asking again meanwhile. The
  // loop answers within a few milliseconds; the bound leaves room for a loaded machine.
  qint64 longestGap = 0;
  QElapsedTimer sinceTick;
  sinceTick.start();
  QTimer ticker;
  ticker.setInterval(10);
  connect(&ticker, &QTimer::timeout,
          [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
  ticker.start();
  QTRY_COMPARE_WITH_TIMEOUT(window.ServicePanel()->Text(), QStringLiteral("Service: Running "),
                            10000);
  ticker.stop();
  QVERIFY2(clock.elapsed() >= 2900, qPrintable(QString::number(clock.elapsed())));
  qInfo("longest pause of the window's loop while the service checks took %lld ms: %lld ms",
        clock.elapsed(), longestGap);
  QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
  // The clicks reach the service manager once it answers.
  QTRY_COMPARE(console.checks.startCalls, 1);
  QTRY_COMPARE(console.checks.stopCalls, 1);
}

}  // namespace brivane

QTEST_MAIN(brivane::ServiceStatesTest)
#include "service_states_test.moc"

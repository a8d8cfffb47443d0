// The console's service checks against a stand-in for systemd on a private bus: Start
// and Stop let the desktop ask for a password, the state is read over one connection
// kept between polls, and a manager that answers slowly never holds the window.

#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "common/service_control.h"
#include "console/service_checks.h"
#include "tests/console/console_harness.h"
#include "tests/console/fake_service_manager.h"

namespace brivane {

class ServiceManagerTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void StartAndStopAskForInteractiveAuthorization();
  void PollsKeepOneConnection();
  void SlowManagerNeverHoldsTheWindow();

 private:
  std::unique_ptr<QTemporaryDir> folder_;
  std::unique_ptr<FakeServiceManager> manager_;
};

void ServiceManagerTest::init() {
  folder_ = std::make_unique<QTemporaryDir>();
  manager_ = std::make_unique<FakeServiceManager>(folder_->path().toStdString());
  QVERIFY(manager_->Ready());
  qputenv("DBUS_SYSTEM_BUS_ADDRESS", QByteArray::fromStdString(manager_->Address()));
}

void ServiceManagerTest::cleanup() {
  manager_.reset();
  folder_.reset();
}

void ServiceManagerTest::StartAndStopAskForInteractiveAuthorization() {
  SystemServiceChecks systemChecks;
  // The harness gives the folder, desktop and sink; the checks are the ones on the bus.
  ConsoleHarness console;
  console.AimAtSink();
  ConsoleWindow window(ConsoleSetup{.settingsFile = console.SettingsFile().toStdString(),
                                    .checks = &systemChecks,
                                    .desktop = &console.desktop});
  window.Load(QString());
  QSignalSpy shown(&window.Watcher(), &ServiceWatcher::stateRead);
  window.CheckService();
  QVERIFY(shown.wait(10000));
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Stopped "));

  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdStartService")),
                    Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(manager_->Jobs().size(), std::size_t{1}, 10000);
  manager_->SetRunning(true);
  window.CheckService();
  QVERIFY(shown.wait(10000));
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service: Running "));
  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdStopService")),
                    Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(manager_->Jobs().size(), std::size_t{2}, 10000);
  const auto jobs = manager_->Jobs();
  QCOMPARE(jobs[0].method, std::string("StartUnit"));
  QVERIFY(jobs[0].interactive);
  QCOMPARE(jobs[1].method, std::string("StopUnit"));
  QVERIFY(jobs[1].interactive);

  // The service's own command words run in a terminal and ask no one.
  QVERIFY(StopWindowsService("Brivane"));
  QCOMPARE(manager_->Jobs().size(), std::size_t{3});
  QVERIFY(!manager_->Jobs()[2].interactive);
}

void ServiceManagerTest::PollsKeepOneConnection() {
  manager_->SetRunning(true);
  SystemServiceChecks checks;
  for (int poll = 0; poll < 3; ++poll) {
    QCOMPARE(checks.Read(), ServiceState::Running);
  }
  QCOMPARE(manager_->Callers(), std::size_t{1});
  // LoadUnit and the three state properties, once per poll.
  QCOMPARE(manager_->Answers(), 3 * 4);
}

void ServiceManagerTest::SlowManagerNeverHoldsTheWindow() {
  manager_->SetRunning(true);
  manager_->SetAnswerDelay(std::chrono::seconds(3));
  SystemServiceChecks systemChecks;
  ConsoleHarness console;
  console.AimAtSink();
  ConsoleWindow window(ConsoleSetup{.settingsFile = console.SettingsFile().toStdString(),
                                    .checks = &systemChecks,
                                    .desktop = &console.desktop});
  window.Load(QString());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QElapsedTimer clock;
  clock.start();
  window.CheckService();
  QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
  qint64 longestGap = 0;
  QElapsedTimer sinceTick;
  sinceTick.start();
  QTimer ticker;
  ticker.setInterval(10);
  connect(&ticker, &QTimer::timeout,
          [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
  ticker.start();
  QTRY_COMPARE_WITH_TIMEOUT(window.ServicePanel()->Text(), QStringLiteral("Service: Running "),
                            20000);
  ticker.stop();
  QVERIFY(clock.elapsed() >= 2900);
  qInfo("longest pause of the window's loop while the bus took %lld ms to answer: %lld ms",
        clock.elapsed(), longestGap);
  // A few milliseconds as a rule; the bound leaves room for a loaded machine.
  QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
}

}  // namespace brivane

QTEST_MAIN(brivane::ServiceManagerTest)
#include "service_manager_test.moc"

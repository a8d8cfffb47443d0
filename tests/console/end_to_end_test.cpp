// The console against the real service: BrivaneSvc --foreground reads a simulated MATE,
// two TCP clients are connected, and the console watches it in remote mode.

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/console/console_harness.h"
#include "tests/support/child_process.h"
#include "tests/support/ports.h"
#include "tests/support/service_folder.h"
#include "tests/support/tcp_client.h"
#include "tests/support/wait_for.h"

namespace brivane {

namespace {

QString Text(ConsoleWindow& window, const char* box) {
  return window.findChild<QLineEdit*>(QString::fromLatin1(box))->text();
}

bool Shown(ConsoleWindow& window, const char* image) {
  return !window.findChild<QLabel*>(QString::fromLatin1(image))->isHidden();
}

// What the window shows, for a failure's message.
QString Describe(ConsoleWindow& window) {
  return QStringLiteral("COM port '%1', listening on '%2', connections '%3', checks %4%5%6, '%7'")
      .arg(Text(window, "txtCOMPort"), Text(window, "txtNetworkPort"),
           Text(window, "txtTCPConnections"))
      .arg(Shown(window, "imgInverterYes"))
      .arg(Shown(window, "imgMXYes"))
      .arg(Shown(window, "imgFNDCYes"))
      .arg(window.VersionPanel()->Text());
}

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void ConsoleShowsTheRunningService();
};

void EndToEndTest::ConsoleShowsTheRunningService() {
  namespace fs = std::filesystem;
  const fs::path bin = testkit::BinDir();
  if (!fs::exists(bin / "BrivaneSvc") || !fs::exists(bin / "mate-sim")) {
    QSKIP("BrivaneSvc or mate-sim is not built");
  }

  // An inverter, a charge controller and a FLEXnet DC monitor behind the MATE.
  QTemporaryDir simFolder;
  const std::string link = simFolder.filePath(QStringLiteral("mate")).toStdString();
  testkit::SpawnOptions simulatorOptions;
  simulatorOptions.args = {"--link", link, "--devices", "0,A,a", "--rate", "4"};
  testkit::ChildProcess simulator(bin / "mate-sim", simulatorOptions);
  QVERIFY(testkit::WaitFor([&] { return fs::is_symlink(link); }, testkit::kPatience));

  const std::uint16_t port = testkit::FreePort();
  const std::string portText = std::to_string(port);
  testkit::ServiceFolder folder("[BrivaneSvc]\nCOMPort=1\nUDPBPort=" + portText + "\nTCPPort=" +
                                portText + "\n\n[SerialDevices]\nCOM1=" + link + "\n");
  auto service = folder.Start({"--foreground"});

  std::vector<std::unique_ptr<testkit::TcpClient>> clients;
  for (int i = 0; i < 2; ++i) {
    QVERIFY(testkit::WaitFor(
        [&] {
          auto client = std::make_unique<testkit::TcpClient>(port);
          if (!client->Connected() || !client->Greeting(std::chrono::seconds(1))) {
            return false;
          }
          clients.push_back(std::move(client));
          return true;
        },
        testkit::kPatience));
  }

  ConsoleHarness console;
  ConsoleWindow& window = console.Open(QStringLiteral("127.0.0.1:%1").arg(port));
  QVERIFY(window.RemoteMode());
  window.CheckServiceTimer().start();

  const auto shows = [&] {
    return Text(window, "txtCOMPort") == QStringLiteral("COM1") &&
           Text(window, "txtNetworkPort") == QString::number(port) &&
           Text(window, "txtTCPConnections") == QStringLiteral("2") &&
           Shown(window, "imgInverterYes") && Shown(window, "imgMXYes") &&
           Shown(window, "imgFNDCYes");
  };
  QTRY_VERIFY2_WITH_TIMEOUT(shows(), qPrintable(Describe(window)),
                            static_cast<int>(testkit::kPatience.count()));
  QCOMPARE(window.VersionPanel()->Text(), QStringLiteral("Brivane Pro v1.0.0 "));
  QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host: 127.0.0.1:%1 ").arg(port));
  QCOMPARE(window.HostPanel()->CurrentPicture(), Picture::Check);
  QVERIFY(console.desktop.messages.empty());

  // One client leaves: the count follows at the next broadcast.
  clients.pop_back();
  QTRY_COMPARE_WITH_TIMEOUT(Text(window, "txtTCPConnections"), QStringLiteral("1"),
                            static_cast<int>(testkit::kPatience.count()));

  window.CheckServiceTimer().stop();
  QVERIFY(service->Signal(SIGTERM));
  QCOMPARE(service->WaitForExit(testkit::kPatience), std::optional<int>(0));
}

}  // namespace brivane

QTEST_MAIN(brivane::EndToEndTest)
#include "end_to_end_test.moc"

// Shows the console window in one state and saves what the screen shows, so anyone
// can look at it. Run under a display (scripts/screenshot-console.sh uses Xvfb).
//
//   console-screenshot <running|stopped|not-installed|remote> <file.png>
//
// The service's state comes from a stand-in for systemd; in the running and remote
// states a loopback UDP responder answers the console's status requests for real.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <cstdio>
#include <functional>

#include "common/udp_wire.h"
#include "console/console_window.h"
#include "tests/console/console_fakes.h"

namespace {

using brivane::FakeServiceChecks;

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <running|stopped|not-installed|remote> <file.png>\n", argv[0]);
    return 2;
  }
  const QString state = QString::fromLocal8Bit(argv[1]);
  const QString file = QString::fromLocal8Bit(argv[2]);

  QUdpSocket responder;
  responder.bind(QHostAddress::LocalHost, 0);
  QObject::connect(&responder, &QUdpSocket::readyRead, [&responder] {
    while (responder.hasPendingDatagrams()) {
      const QNetworkDatagram request = responder.receiveDatagram();
      brivane::StatusValues values;
      values.serviceAddress = "127.0.0.1";
      values.tcpPort = 8467;
      values.equipment = {.FXCount = 1, .MXCount = 2, .FNDCDetected = false};
      values.CommPort = 3;
      values.PortOpen = true;
      values.TCPConnectionCount = 2;
      const std::string reply = brivane::BuildStatusReply(values);
      responder.writeDatagram(reply.data(), static_cast<qint64>(reply.size()),
                              request.senderAddress(), static_cast<quint16>(request.senderPort()));
    }
  });

  QTemporaryDir folder;
  const QString ini = folder.filePath(QStringLiteral("Brivane.ini"));
  QFile settings(ini);
  if (settings.open(QIODevice::WriteOnly)) {
    settings.write(
        QStringLiteral("[BrivaneSvc]\nUDPBPort=%1\n").arg(responder.localPort()).toLatin1());
    settings.close();
  }

  FakeServiceChecks checks;
  brivane::FakeDesktop desktop;
  brivane::ConsoleWindow window({.settingsFile = ini.toStdString(),
                                 .checks = &checks,
                                 .desktop = &desktop,
                                 .addressTable = [] { return std::vector<std::string>{}; }});
  QString arguments;
  if (state == QLatin1String("running")) {
    checks.state = FakeServiceChecks::State::Running;
  } else if (state == QLatin1String("stopped")) {
    checks.state = FakeServiceChecks::State::Stopped;
  } else if (state == QLatin1String("not-installed")) {
    checks.state = FakeServiceChecks::State::NotInstalled;
  } else if (state == QLatin1String("remote")) {
    arguments = QStringLiteral("127.0.0.1:%1").arg(responder.localPort());
  } else {
    std::fprintf(stderr, "unknown state %s\n", argv[1]);
    return 2;
  }
  window.Load(arguments);
  window.show();
  window.activateWindow();
  window.CheckServiceTimer().start();  // in case no window manager activates the window

  const bool answered = state == QLatin1String("running") || state == QLatin1String("remote");
  const bool ready = WaitFor(
      [&] {
        return answered ? !window.VersionPanel()->Text().isEmpty()
                        : window.ServicePanel()->Text() != QStringLiteral("Service:") &&
                              window.isVisible();
      },
      10000);
  if (!ready) {
    std::fprintf(stderr, "the window did not reach the state %s\n", argv[1]);
    return 1;
  }
  WaitFor([] { return false; }, 400);  // let everything paint
  const QPixmap shot = window.screen()->grabWindow(window.winId());
  if (shot.isNull() || !shot.save(file)) {
    std::fprintf(stderr, "could not save %s\n", argv[2]);
    return 1;
  }
  std::printf("%s\n", argv[2]);
  return 0;
}

#pragma once

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <memory>
#include <string>
#include <vector>

#include "console/console_window.h"
#include "tests/console/console_fakes.h"

// A console window with stand-in service checks and desktop, its own settings folder,
// and an address table that lists only what the test says.
namespace brivane {

struct ConsoleHarness {
  QTemporaryDir folder;
  FakeServiceChecks checks;
  FakeDesktop desktop;
  std::vector<std::string> localAddresses;
  std::unique_ptr<ConsoleWindow> window;
  // Takes the window's requests in tests that do not look at them, so none goes to a
  // port some other program may be using.
  QUdpSocket sink;

  QString SettingsFile() const { return folder.filePath(QStringLiteral("Brivane.ini")); }

  void WriteSettings(const QByteArray& text) {
    QFile file(SettingsFile());
    if (file.open(QIODevice::WriteOnly)) {
      file.write(text);
    }
  }

  // The settings aim the local console at the sink; returns the sink's port.
  quint16 AimAtSink() {
    sink.bind(QHostAddress::LocalHost, 0);
    WriteSettings(QByteArray("[BrivaneSvc]\nUDPBPort=") + QByteArray::number(sink.localPort()) +
                  "\n");
    return sink.localPort();
  }

  // Creates the window and runs its load with the given argument text.
  ConsoleWindow& Open(const QString& argumentText = QString()) {
    window = std::make_unique<ConsoleWindow>(ConsoleSetup{
        .settingsFile = SettingsFile().toStdString(),
        .checks = &checks,
        .desktop = &desktop,
        .addressTable = [this] { return std::optional<std::vector<std::string>>(localAddresses); },
    });
    window->Load(argumentText);
    return *window;
  }

  // One poll of the local service, waited for until its reading is on the window.
  void Poll() {
    QSignalSpy shown(&window->Watcher(), &ServiceWatcher::stateRead);
    window->CheckService();
    if (!shown.wait(20000)) {
      qFatal("the service state did not come back");
    }
  }
};

}  // namespace brivane

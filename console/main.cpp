#include <QApplication>
#include <QStringList>

#include "common/program_location.h"
#include "console/console_desktop.h"
#include "console/console_window.h"
#include "console/service_checks.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  brivane::SystemServiceChecks checks;
  brivane::QtDesktop desktop;
  brivane::ConsoleWindow window(
      {.settingsFile = brivane::SettingsFilePath(), .checks = &checks, .desktop = &desktop});
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  window.Load(arguments.join(QLatin1Char(' ')));
  window.show();
  return QApplication::exec();
}

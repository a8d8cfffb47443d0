#include "console/console_desktop.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

namespace brivane {
namespace {

QMessageBox::Icon BoxIcon(ConsoleDesktop::Icon icon) {
  switch (icon) {
    case ConsoleDesktop::Icon::Information:
      return QMessageBox::Information;
    case ConsoleDesktop::Icon::Warning:
      return QMessageBox::Warning;
    case ConsoleDesktop::Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtDesktop::ShowMessage(QWidget* owner, Icon icon, const QString& title, const QString& text) {
  // Texts end their lines with CR LF; a label breaks lines on LF alone.
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(BoxIcon(icon), title, shown, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtDesktop::OpenUrl(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

void QtDesktop::EndProgram() {
  std::fflush(nullptr);
  std::_Exit(EXIT_FAILURE);
}

}  // namespace brivane

// The Help menu: Online Help and About.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include "common/product.h"
#include "common/version.h"
#include "console/console_texts.h"
#include "tests/console/console_harness.h"

namespace brivane {

namespace {

QString Caption(const QString& text) {
  QString caption = text;
  return caption.remove(QLatin1Char('&'));
}

QAction* MenuItem(ConsoleWindow& window, const char* name) {
  return window.findChild<QAction*>(QString::fromLatin1(name));
}

}  // namespace

class MenusTest : public QObject {
  Q_OBJECT

 private slots:
  void HelpMenuHoldsOnlineHelpThenAbout();
  void OnlineHelpOpensTheSupportAddress();
  void OnlineHelpWarnsWhenNoBrowserOpens();
  void AboutNamesTheConsolesOwnVersion();
};

void MenusTest::HelpMenuHoldsOnlineHelpThenAbout() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  const auto menus = window.menuBar()->actions();
  QCOMPARE(menus.size(), 1);
  QCOMPARE(Caption(menus[0]->text()), QStringLiteral("Help"));
  QCOMPARE(menus[0]->menu()->objectName(), QStringLiteral("mnuHelp"));
  const auto items = menus[0]->menu()->actions();
  QCOMPARE(items.size(), 2);
  QCOMPARE(Caption(items[0]->text()), QStringLiteral("Online Help"));
  QCOMPARE(items[0]->objectName(), QStringLiteral("mnuOnlineHelp"));
  QCOMPARE(Caption(items[1]->text()), QStringLiteral("About"));
  QCOMPARE(items[1]->objectName(), QStringLiteral("mnuAbout"));
}

void MenusTest::OnlineHelpOpensTheSupportAddress() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  MenuItem(window, "mnuOnlineHelp")->trigger();
  QCOMPARE(console.desktop.openedUrls.size(), std::size_t{1});
  QCOMPARE(console.desktop.openedUrls[0].toString(), QString::fromLatin1(kSupportAddress.data()));
  QVERIFY(console.desktop.messages.empty());
}

void MenusTest::OnlineHelpWarnsWhenNoBrowserOpens() {
  ConsoleHarness console;
  console.desktop.browserWorks = false;
  ConsoleWindow& window = console.Open();
  for (int click = 1; click <= 2; ++click) {
    MenuItem(window, "mnuOnlineHelp")->trigger();
    QCOMPARE(console.desktop.messages.size(), std::size_t(click));
    const auto& message = console.desktop.messages.back();
    QCOMPARE(message.icon, ConsoleDesktop::Icon::Warning);
    QCOMPARE(message.title, QStringLiteral("Error opening default browser"));
    QCOMPARE(
        message.text,
        QStringLiteral("Could not open default browser. Please contact support for assistance."));
  }
  QCOMPARE(console.desktop.endProgramCalls, 0);
}

void MenusTest::AboutNamesTheConsolesOwnVersion() {
  QVERIFY(AboutText(2, 1, 3).starts_with("Brivane Service Console v2.1.3\r\nhttp"));

  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  MenuItem(window, "mnuAbout")->trigger();
  QCOMPARE(console.desktop.messages.size(), std::size_t{1});
  const auto& message = console.desktop.messages.front();
  QCOMPARE(message.icon, ConsoleDesktop::Icon::Information);
  QCOMPARE(message.title, QStringLiteral("About Brivane Service Console"));
  const QString version =
      QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
  const QString expected =
      QStringLiteral("Brivane Service Console v") + version + QStringLiteral("\r\n") +
      QString::fromLatin1(kSupportAddress.data(), kSupportAddress.size()) +
      QStringLiteral(
          "\r\n\r\n"
          "Brivane is an application designed to enable software applications to "
          "connect to\r\n"
          "OutBack Power (") +
      QString::fromLatin1(kEquipmentMakerAddress.data(), kEquipmentMakerAddress.size()) +
      QStringLiteral(
          ") equipment over a standard TCP network\r\n"
          "connection. This service console acts as a simple monitor for the Brivane service.\r\n");
  QCOMPARE(message.text, expected);
  QCOMPARE(version, QStringLiteral("1.0.0"));
}

}  // namespace brivane

QTEST_MAIN(brivane::MenusTest)
#include "menus_test.moc"

// A status request that cannot be sent: one message, then the program ends.

#include <QtTest>

#include "console/console_texts.h"
#include "tests/console/console_harness.h"

namespace brivane {

class SendFailureTest : public QObject {
  Q_OBJECT

 private slots:
  void MessageTexts();
  void UnresolvableHostEndsTheProgram();
  void OtherFailureNamesTheSocketError();
};

void SendFailureTest::MessageTexts() {
  QCOMPARE(SendFailureText(10014, "anything"),
           std::string("An error occured trying to determine the address of the specified host."));
  QCOMPARE(SendFailureText(10051, "Network is unreachable"),
           std::string("An error occured trying to contact the Brivane service.\r\n\r\n"
                       "Error 10051, Network is unreachable"));
  QCOMPARE(SendFailureText(-1, "Unknown error"),
           std::string("An error occured trying to contact the Brivane service.\r\n\r\n"
                       "Error -1, Unknown error"));
}

void SendFailureTest::UnresolvableHostEndsTheProgram() {
  // An empty host name never resolves, and needs no name server to find that out.
  ConsoleHarness console;
  ConsoleWindow& window = console.Open(QStringLiteral(":9000"));
  QVERIFY(window.RemoteMode());
  window.CheckServiceTimer().start();
  window.CheckService();
  QTRY_COMPARE_WITH_TIMEOUT(console.desktop.endProgramCalls, 1, 10000);
  QCOMPARE(console.desktop.messages.size(), std::size_t{1});
  const auto& message = console.desktop.messages.front();
  QCOMPARE(message.icon, ConsoleDesktop::Icon::None);
  QCOMPARE(message.title, QStringLiteral("Error contacting Brivane service"));
  QCOMPARE(message.text,
           QStringLiteral("An error occured trying to determine the address of the specified "
                          "host."));
  // No further poll can raise a second message while the first one waits.
  QVERIFY(!window.CheckServiceTimer().isActive());
}

void SendFailureTest::OtherFailureNamesTheSocketError() {
  // The kernel refuses a datagram to port 0, which the command line can never name;
  // the link is aimed there directly to make a send fail for real.
  ConsoleHarness console;
  ConsoleWindow& window = console.Open(QStringLiteral("127.0.0.1:9000"));
  window.Link().SetTarget(QStringLiteral("127.0.0.1"), 0);
  window.CheckService();
  QTRY_COMPARE_WITH_TIMEOUT(console.desktop.endProgramCalls, 1, 10000);
  QCOMPARE(console.desktop.messages.size(), std::size_t{1});
  const auto& message = console.desktop.messages.front();
  QCOMPARE(message.title, QStringLiteral("Error contacting Brivane service"));
  const QString head =
      QStringLiteral("An error occured trying to contact the Brivane service.\r\n\r\nError ");
  QVERIFY2(message.text.startsWith(head), qPrintable(message.text));
  const QString rest = message.text.mid(head.size());
  const qsizetype comma = rest.indexOf(QStringLiteral(", "));
  QVERIFY2(comma > 0, qPrintable(message.text));
  bool isNumber = false;
  const int number = rest.left(comma).toInt(&isNumber);
  QVERIFY(isNumber);
  QVERIFY(number != 10014);
  QVERIFY(rest.size() > comma + 2);  // the socket layer's description follows
}

}  // namespace brivane

QTEST_MAIN(brivane::SendFailureTest)
#include "send_failure_test.moc"

// The console's command line and settings: which service it watches and where its
// status request goes.

#include <QtTest>
#include <clocale>

#include "console/console_target.h"
#include "tests/console/console_harness.h"

namespace brivane {

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void HostAloneAndHostWithPort();
  void PortsThatFallBackToLocalMode();
  void PortPieceIsReadAsANumber();
  void BlanksAreTrimmedOnlyWithAColon();
  void WindowInLocalMode();
  void WindowInRemoteMode();
  void BadPortLooksLikeNoArguments();
  void UdpPortFromSettings();
  void AddressFromSettings();
  void NumbersReadAsInTheService();
};

void CommandLineTest::HostAloneAndHostWithPort() {
  QVERIFY(!RemoteTargetOf(""));

  auto target = RemoteTargetOf("server1");
  QVERIFY(target);
  QCOMPARE(target->host, std::string("server1"));
  QCOMPARE(target->portText, std::string("8466"));
  QCOMPARE(target->port, 8466);

  target = RemoteTargetOf("server1:9000");
  QVERIFY(target);
  QCOMPARE(target->host, std::string("server1"));
  QCOMPARE(target->port, 9000);

  // A third piece is ignored.
  target = RemoteTargetOf("server1:9000:5");
  QVERIFY(target);
  QCOMPARE(target->port, 9000);
  QCOMPARE(target->portText, std::string("9000"));

  target = RemoteTargetOf("server1:65535");
  QVERIFY(target);
  QCOMPARE(target->port, 65535);
  target = RemoteTargetOf("server1:1");
  QVERIFY(target);
  QCOMPARE(target->port, 1);

  // An empty host is still a host: its send fails later with the unresolved-host message.
  target = RemoteTargetOf(":9000");
  QVERIFY(target);
  QCOMPARE(target->host, std::string());
}

void CommandLineTest::PortsThatFallBackToLocalMode() {
  for (const char* text :
       {"server1:0", "server1:abc", "server1:70000", "server1:65536", "server1:-5",
        "server1:", "server1: ", "server1::9000", "server1:1e30"}) {
    QVERIFY2(!RemoteTargetOf(text), text);
  }
  // Fractions that round to 0 would aim the request at port 0.
  QVERIFY(!RemoteTargetOf("server1:0.4"));
  QVERIFY(!RemoteTargetOf("server1:0.5"));
  QVERIFY(!RemoteTargetOf("server1:65535.2"));
}

void CommandLineTest::PortPieceIsReadAsANumber() {
  auto target = RemoteTargetOf("server1:08466");
  QVERIFY(target);
  QCOMPARE(target->portText, std::string("8466"));
  QCOMPARE(target->port, 8466);

  target = RemoteTargetOf("server1:9000abc");
  QVERIFY(target);
  QCOMPARE(target->portText, std::string("9000"));

  target = RemoteTargetOf("server1:&H2328");
  QVERIFY(target);
  QCOMPARE(target->port, 9000);

  // Halves go to the even neighbour; the panel shows the number as read.
  target = RemoteTargetOf("server1:2.5");
  QVERIFY(target);
  QCOMPARE(target->port, 2);
  QCOMPARE(target->portText, std::string("2.5"));
  target = RemoteTargetOf("server1:3.5");
  QVERIFY(target);
  QCOMPARE(target->port, 4);
}

void CommandLineTest::BlanksAreTrimmedOnlyWithAColon() {
  auto target = RemoteTargetOf("  server1  :  9000  ");
  QVERIFY(target);
  QCOMPARE(target->host, std::string("server1"));
  QCOMPARE(target->port, 9000);

  target = RemoteTargetOf(" server1 ");
  QVERIFY(target);
  QCOMPARE(target->host, std::string(" server1 "));
  QCOMPARE(target->port, 8466);

  // Arguments are joined by single blanks before they are read.
  target = RemoteTargetOf("server1 :9000");
  QVERIFY(target);
  QCOMPARE(target->host, std::string("server1"));
}

void CommandLineTest::WindowInLocalMode() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  QVERIFY(!window.RemoteMode());
  QCOMPARE(window.TargetHost(), QStringLiteral("127.0.0.1"));
  QCOMPARE(window.TargetPort(), 8466);
  QCOMPARE(window.Link().TargetHost(), QStringLiteral("127.0.0.1"));
  QCOMPARE(window.Link().TargetPort(), 8466);
  QVERIFY(!window.ServicePanel()->isHidden());
  QVERIFY(window.HostPanel()->isHidden());
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service:"));
  QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host:"));
}

void CommandLineTest::WindowInRemoteMode() {
  {
    ConsoleHarness console;
    ConsoleWindow& window = console.Open(QStringLiteral("server1"));
    QVERIFY(window.RemoteMode());
    QCOMPARE(window.TargetHost(), QStringLiteral("server1"));
    QCOMPARE(window.TargetPort(), 8466);
    QVERIFY(window.ServicePanel()->isHidden());
    QVERIFY(!window.HostPanel()->isHidden());
    QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host: server1:8466 "));
    QCOMPARE(window.HostPanel()->CurrentPicture(), Picture::Cross);
  }
  {
    ConsoleHarness console;
    ConsoleWindow& window = console.Open(QStringLiteral(" server1 : 09000 :5"));
    QVERIFY(window.RemoteMode());
    QCOMPARE(window.TargetHost(), QStringLiteral("server1"));
    QCOMPARE(window.TargetPort(), 9000);
    QCOMPARE(window.Link().TargetHost(), QStringLiteral("server1"));
    QCOMPARE(window.Link().TargetPort(), 9000);
    QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host: server1:9000 "));
  }
}

void CommandLineTest::BadPortLooksLikeNoArguments() {
  for (const char* text : {"server1:0", "server1:abc", "server1:70000"}) {
    ConsoleHarness console;
    console.WriteSettings("[BrivaneSvc]\nUDPBPort=9100\n");
    ConsoleWindow& window = console.Open(QString::fromLatin1(text));
    QVERIFY2(!window.RemoteMode(), text);
    QCOMPARE(window.TargetHost(), QStringLiteral("127.0.0.1"));
    QCOMPARE(window.TargetPort(), 9100);
    QVERIFY(!window.ServicePanel()->isHidden());
    QVERIFY(window.HostPanel()->isHidden());
    QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host:"));
  }
}

void CommandLineTest::UdpPortFromSettings() {
  const std::pair<const char*, int> cases[] = {
      {"", 8466},
      {"UDPBPort=65534\n", 65534},
      {"UDPBPort=65535\n", 8466},
      {"UDPBPort=0\n", 8466},
      {"UDPBPort=70000\n", 8466},
      {"UDPBPort=abc\n", 8466},
      {"UDPBPort=\n", 8466},
      {"UDPBPort= 9000 \n", 9000},
      {"udpbport=1\n", 1},
  };
  for (const auto& [line, port] : cases) {
    ConsoleHarness console;
    console.WriteSettings(QByteArray("[BrivaneSvc]\n") + line);
    ConsoleWindow& window = console.Open();
    QVERIFY2(window.TargetPort() == port, line);
    QCOMPARE(window.Link().TargetPort(), port);
  }
  // No file at all: the defaults.
  ConsoleHarness console;
  QCOMPARE(console.Open().TargetPort(), 8466);
}

void CommandLineTest::AddressFromSettings() {
  {
    // An address of this computer is used.
    ConsoleHarness console;
    console.localAddresses = {"192.168.7.20"};
    console.WriteSettings("[BrivaneSvc]\nIPAddress=192.168.7.20\n");
    QCOMPARE(console.Open().TargetHost(), QStringLiteral("192.168.7.20"));
  }
  {
    // Another computer's address is not.
    ConsoleHarness console;
    console.localAddresses = {"192.168.7.20"};
    console.WriteSettings("[BrivaneSvc]\nIPAddress=192.168.7.21\n");
    ConsoleWindow& window = console.Open();
    QCOMPARE(window.Settings().ConfiguredIPAddress, std::string("192.168.7.21"));
    QCOMPARE(window.TargetHost(), QStringLiteral("127.0.0.1"));
  }
  for (const char* bad : {"0.0.0.0", "192.168.1", "300.1.1.1", "localhost"}) {
    ConsoleHarness console;
    console.localAddresses = {bad};
    console.WriteSettings(QByteArray("[BrivaneSvc]\nIPAddress=") + bad + "\n");
    ConsoleWindow& window = console.Open();
    QVERIFY2(window.Settings().ConfiguredIPAddress.empty(), bad);
    QCOMPARE(window.TargetHost(), QStringLiteral("127.0.0.1"));
  }
  {
    // The address table cannot be read: only the loopback counts as local.
    ConsoleHarness console;
    console.WriteSettings("[BrivaneSvc]\nIPAddress=127.0.0.1\n");
    QCOMPARE(console.Open().TargetHost(), QStringLiteral("127.0.0.1"));
  }
  {
    // A host on the command line wins over the settings.
    ConsoleHarness console;
    console.localAddresses = {"192.168.7.20"};
    console.WriteSettings("[BrivaneSvc]\nIPAddress=192.168.7.20\nUDPBPort=9100\n");
    ConsoleWindow& window = console.Open(QStringLiteral("server2"));
    QCOMPARE(window.TargetHost(), QStringLiteral("server2"));
    QCOMPARE(window.TargetPort(), 8466);
  }
}

// The console adopts the desktop's locale; a fraction still has a point, as the service
// reads it. ctest runs this again as console.command_line_test.de_DE, in a comma locale.
void CommandLineTest::NumbersReadAsInTheService() {
  if (qEnvironmentVariable("LC_ALL").startsWith(QStringLiteral("de_DE"))) {
    QCOMPARE(std::localeconv()->decimal_point, ",");
  }
  auto target = RemoteTargetOf("server1:9000.7");
  QVERIFY(target);
  QCOMPARE(target->port, 9001);
  QCOMPARE(target->portText, std::string("9000.7"));
  target = RemoteTargetOf("server1:1e3");
  QVERIFY(target);
  QCOMPARE(target->portText, std::string("1000"));
  // A comma ends the number.
  target = RemoteTargetOf("server1:9000,7e9");
  QVERIFY(target);
  QCOMPARE(target->port, 9000);

  {
    ConsoleHarness console;
    ConsoleWindow& window = console.Open(QStringLiteral("server1:9000.7"));
    QCOMPARE(window.TargetPort(), 9001);
    QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host: server1:9000.7 "));
  }
  {
    ConsoleHarness console;
    console.WriteSettings("[BrivaneSvc]\nUDPBPort=8467.5\n");
    QCOMPARE(console.Open().TargetPort(), 8468);
  }
}

}  // namespace brivane

QTEST_MAIN(brivane::CommandLineTest)
#include "command_line_test.moc"

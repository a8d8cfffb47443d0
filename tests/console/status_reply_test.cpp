// The service's status reply as the console shows it.

#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include "common/udp_wire.h"
#include "console/status_display.h"
#include "tests/console/console_harness.h"

namespace brivane {

namespace {

const QByteArray kExample = "\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r";

QString Text(ConsoleWindow& window, const char* box) {
  return window.findChild<QLineEdit*>(QString::fromLatin1(box))->text();
}

bool Shown(ConsoleWindow& window, const char* image) {
  return !window.findChild<QLabel*>(QString::fromLatin1(image))->isHidden();
}

struct Snapshot {
  QString comPort, networkPort, connections, version;
  bool inverter, mx, fndc;
  Picture hostPicture;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(ConsoleWindow& window) {
  return {Text(window, "txtCOMPort"),        Text(window, "txtNetworkPort"),
          Text(window, "txtTCPConnections"), window.VersionPanel()->Text(),
          Shown(window, "imgInverterYes"),   Shown(window, "imgMXYes"),
          Shown(window, "imgFNDCYes"),       window.HostPanel()->CurrentPicture()};
}

}  // namespace

class StatusReplyTest : public QObject {
  Q_OBJECT

 private slots:
  void ExampleReply();
  void ConfiguredPortWins();
  void CountsFallingToZeroHideTheirChecks();
  void MalformedRepliesChangeNothing();
  void IdenticalReplyLeavesVersionPanelAlone();
  void HostPanelPictureOnlyInRemoteMode();
  void RepliesArriveOverUdp();
};

void StatusReplyTest::ExampleReply() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  window.ShowStatusReply(kExample);
  QCOMPARE(Text(window, "txtCOMPort"), QStringLiteral("Auto (3)"));
  QCOMPARE(Text(window, "txtNetworkPort"), QStringLiteral("8467"));
  QCOMPARE(Text(window, "txtTCPConnections"), QStringLiteral("2"));
  QVERIFY(Shown(window, "imgInverterYes"));
  QVERIFY(Shown(window, "imgMXYes"));
  QVERIFY(!Shown(window, "imgFNDCYes"));
  // The crosses stay beneath; a shown check covers its cross.
  QVERIFY(!window.findChild<QLabel*>(QStringLiteral("imgFNDCNo"))->isHidden());
  QCOMPARE(window.VersionPanel()->Text(), QStringLiteral("Brivane Pro v1.0.0 "));

  // The version panel shows whatever version the service reports.
  window.ShowStatusReply("\nSVCL2.1.3,10.0.0.1,9000,0,0,1,0,1,False,0\r");
  QCOMPARE(window.VersionPanel()->Text(), QStringLiteral("Brivane Pro v2.1.3 "));
  QVERIFY(Shown(window, "imgFNDCYes"));
  QCOMPARE(Text(window, "txtNetworkPort"), QStringLiteral("9000"));
}

void StatusReplyTest::ConfiguredPortWins() {
  auto display = ReadStatusDisplay("\nSVCL1.0.0,192.168.1.20,8467,1,2,0,4,3,True,2\r");
  QVERIFY(display);
  QCOMPARE(display->comPort, std::string("COM4"));
  display = ReadStatusDisplay("\nSVCL1.0.0,192.168.1.20,8467,1,2,0,4,1,False,2\r");
  QVERIFY(display);
  QCOMPARE(display->comPort, std::string("COM4"));
  display = ReadStatusDisplay("\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,0,False,2\r");
  QVERIFY(display);
  QCOMPARE(display->comPort, std::string("Auto (0)"));
  // A head of "SVC" alone still reads; the version text is then empty.
  display = ReadStatusDisplay("\nSVC,a,1,0,0,0,0,1,True,0\r");
  QVERIFY(display);
  QCOMPARE(display->versionPanel, std::string("Brivane Pro v "));
}

void StatusReplyTest::CountsFallingToZeroHideTheirChecks() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  window.ShowStatusReply("\nSVCL1.0.0,a,8467,3,1,1,0,3,True,2\r");
  QVERIFY(Shown(window, "imgInverterYes") && Shown(window, "imgMXYes") &&
          Shown(window, "imgFNDCYes"));
  window.ShowStatusReply("\nSVCL1.0.0,a,8467,0,0,0,0,3,True,2\r");
  QVERIFY(!Shown(window, "imgInverterYes") && !Shown(window, "imgMXYes") &&
          !Shown(window, "imgFNDCYes"));
}

void StatusReplyTest::MalformedRepliesChangeNothing() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open(QStringLiteral("server1"));
  window.ShowStatusReply("\nSVCL1.0.0,192.168.1.20,8467,0,0,1,7,3,True,5\r");
  const Snapshot before = Take(window);
  const QByteArray bad[] = {
      "\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True\r",      // 9 fields
      "\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2,9\r",  // 11 fields
      "\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2",      // no CR
      "SVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r",      // no LF
      "\nTCP1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r",     // not a status reply
      "\nsvcL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r",    // head has the wrong case
      "\nSVCL1.0.0,192.168.1.20,8467,x,2,0,0,3,True,2\r",    // counts that are not numbers
      "\nSVCL1.0.0,192.168.1.20,8467,1,,0,0,3,True,2\r",
      "\nSVCL1.0.0,192.168.1.20,8467,1,2,yes,0,3,True,2\r",
      "\nSVCL1.0.0,192.168.1.20,8467,1,2,0,COM3,3,True,2\r",
      "\nSVC",
      "\nS\r",
      "",
  };
  for (const QByteArray& datagram : bad) {
    window.ShowStatusReply(datagram);
    QVERIFY2(Take(window) == before, datagram.constData());
  }
}

void StatusReplyTest::IdenticalReplyLeavesVersionPanelAlone() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  QSignalSpy versionWrites(window.VersionPanel(), &StatusPanel::written);
  window.ShowStatusReply(kExample);
  QCOMPARE(versionWrites.count(), 1);
  window.ShowStatusReply(kExample);
  QCOMPARE(versionWrites.count(), 1);
  window.ShowStatusReply("\nSVCL1.0.1,192.168.1.20,8467,1,2,0,0,3,True,2\r");
  QCOMPARE(versionWrites.count(), 2);
}

void StatusReplyTest::HostPanelPictureOnlyInRemoteMode() {
  {
    ConsoleHarness console;
    ConsoleWindow& window = console.Open(QStringLiteral("server1:9000"));
    QCOMPARE(window.HostPanel()->CurrentPicture(), Picture::Cross);
    window.ShowStatusReply("\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True\r");
    QCOMPARE(window.HostPanel()->CurrentPicture(), Picture::Cross);
    window.ShowStatusReply(kExample);
    QCOMPARE(window.HostPanel()->CurrentPicture(), Picture::Check);
    QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host: server1:9000 "));
  }
  {
    ConsoleHarness console;
    ConsoleWindow& window = console.Open();
    QSignalSpy hostWrites(window.HostPanel(), &StatusPanel::written);
    window.ShowStatusReply(kExample);
    QCOMPARE(hostWrites.count(), 0);
    QCOMPARE(window.HostPanel()->CurrentPicture(), Picture::None);
  }
}

void StatusReplyTest::RepliesArriveOverUdp() {
  // A stand-in service on loopback answers every "SvcCon" with a status reply.
  QUdpSocket service;
  QVERIFY(service.bind(QHostAddress::LocalHost, 0));
  QByteArray request;
  connect(&service, &QUdpSocket::readyRead, [&] {
    while (service.hasPendingDatagrams()) {
      const QNetworkDatagram datagram = service.receiveDatagram();
      request = datagram.data();
      StatusValues values;
      values.serviceAddress = "127.0.0.1";
      values.tcpPort = 8467;
      values.equipment = {.FXCount = 0, .MXCount = 1, .FNDCDetected = true};
      values.COMPort = 2;
      values.CommPort = 2;
      values.PortOpen = true;
      values.TCPConnectionCount = 7;
      const std::string reply = BuildStatusReply(values);
      service.writeDatagram(reply.data(), static_cast<qint64>(reply.size()),
                            datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()));
    }
  });

  for (const QString& host : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
    ConsoleHarness console;
    ConsoleWindow& window =
        console.Open(QStringLiteral("%1:%2").arg(host).arg(service.localPort()));
    request.clear();
    window.CheckService();
    QTRY_COMPARE_WITH_TIMEOUT(Text(window, "txtTCPConnections"), QStringLiteral("7"), 10000);
    QCOMPARE(request, QByteArray("SvcCon"));
    QCOMPARE(Text(window, "txtCOMPort"), QStringLiteral("COM2"));
    QVERIFY(!Shown(window, "imgInverterYes"));
    QVERIFY(Shown(window, "imgMXYes"));
    QVERIFY(Shown(window, "imgFNDCYes"));
    QCOMPARE(window.HostPanel()->CurrentPicture(), Picture::Check);
    QVERIFY(console.desktop.messages.empty());
  }
}

}  // namespace brivane

QTEST_MAIN(brivane::StatusReplyTest)
#include "status_reply_test.moc"

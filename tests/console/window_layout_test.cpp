// The window's controls, captions, order and places, and the two pictures.

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include "console/status_pictures.h"
#include "console/twips.h"
#include "tests/console/console_harness.h"

namespace brivane {

namespace {

struct Design {
  const char* name;
  const char* caption;  // nullptr: no caption to compare
  TwipsRect place;
};

// In focus-chain order; places relative to the window or the enclosing frame.
const Design kDesign[] = {
    {"fraCOM", "Communications", {120, 0, 2535, 1455}},
    {"lblCOMPort", "Mate on COM port:", {120, 240, 1455, 255}},
    {"txtCOMPort", "", {1560, 240, 855, 285}},
    {"lblNetworkPort", "Listening on port:", {120, 600, 1455, 255}},
    {"txtNetworkPort", "", {1560, 600, 855, 285}},
    {"lblTCPConnections", "TCP connections:", {120, 960, 1455, 255}},
    {"txtTCPConnections", "", {1560, 960, 855, 285}},
    {"fraHardware", "Equipment", {2760, 0, 1935, 1455}},
    {"lblFXDetected", "Inverter Detected:", {120, 360, 1455, 255}},
    {"imgInverterNo", nullptr, {1560, 360, 240, 240}},
    {"imgInverterYes", nullptr, {1560, 360, 240, 240}},
    {"lblMXDetected", "MX Detected:", {120, 720, 1455, 255}},
    {"imgMXNo", nullptr, {1560, 720, 240, 240}},
    {"imgMXYes", nullptr, {1560, 720, 240, 240}},
    {"lblFNDCDetected", "FNDC Detected:", {120, 1080, 1455, 255}},
    {"imgFNDCNo", nullptr, {1560, 1080, 240, 240}},
    {"imgFNDCYes", nullptr, {1560, 1080, 240, 240}},
    {"cmdStartService", "Start Service", {120, 1560, 2055, 375}},
    {"cmdStopService", "Stop Service", {2640, 1560, 2055, 375}},
};

QString CaptionOf(QWidget* widget) {
  if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
    return frame->title();
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return label->text();
  }
  if (auto* box = qobject_cast<QLineEdit*>(widget)) {
    return box->text();
  }
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    return button->text();
  }
  return {};
}

// How far a pixel is from a colour, channel by channel.
bool Near(QColor pixel, QColor colour) {
  return std::abs(pixel.red() - colour.red()) < 60 &&
         std::abs(pixel.green() - colour.green()) < 60 &&
         std::abs(pixel.blue() - colour.blue()) < 60 && pixel.alpha() > 200;
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void TwipsFollowTheScreensResolution();
  void ControlsCaptionsOrderAndPlaces();
  void ChecksCoverTheirCrosses();
  void StatusBarPanels();
  void PicturesAreSharpAtAnyRatio();
};

void WindowLayoutTest::TwipsFollowTheScreensResolution() {
  QCOMPARE(TwipsToPixels(1440, 96), 96);
  QCOMPARE(TwipsToPixels(240, 96), 16);
  QCOMPARE(TwipsToPixels(240, 192), 32);
  QCOMPARE(TwipsToPixels(4815, 96), 321);
  QCOMPARE(TwipsToPixels(4815, 144), 482);  // 481.5 rounds up
  QCOMPARE(TwipsToPixels(0, 120), 0);
}

void WindowLayoutTest::ControlsCaptionsOrderAndPlaces() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  QCOMPARE(window.objectName(), QStringLiteral("frmBrivaneSvcConsole"));
  QCOMPARE(window.windowTitle(), QStringLiteral("Brivane Service Console"));
  const double dpiX = window.screen()->logicalDotsPerInchX();
  const double dpiY = window.screen()->logicalDotsPerInchY();
  QCOMPARE(window.width(), TwipsToPixels(4815, dpiX));

  QStringList designOrder;
  for (const Design& design : kDesign) {
    designOrder << QString::fromLatin1(design.name);
    auto* widget = window.findChild<QWidget*>(QString::fromLatin1(design.name));
    QVERIFY2(widget, design.name);
    if (design.caption) {
      QCOMPARE(CaptionOf(widget), QString::fromLatin1(design.caption));
    }
    const QRect expected(
        TwipsToPixels(design.place.left, dpiX), TwipsToPixels(design.place.top, dpiY),
        TwipsToPixels(design.place.width, dpiX), TwipsToPixels(design.place.height, dpiY));
    QCOMPARE(widget->geometry(), expected);
  }
  // The frames hold their rows.
  QCOMPARE(window.findChild<QWidget*>(QStringLiteral("txtCOMPort"))->parent()->objectName(),
           QStringLiteral("fraCOM"));
  QCOMPARE(window.findChild<QWidget*>(QStringLiteral("imgMXYes"))->parent()->objectName(),
           QStringLiteral("fraHardware"));

  // Controls are created in focus-chain order.
  QStringList actualOrder;
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (designOrder.contains(widget->objectName())) {
      actualOrder << widget->objectName();
    }
  }
  QCOMPARE(actualOrder, designOrder);
  auto* start = window.findChild<QWidget*>(QStringLiteral("cmdStartService"));
  QCOMPARE(start->nextInFocusChain()->objectName(), QStringLiteral("cmdStopService"));

  // Before the first poll the buttons show and are enabled.
  QVERIFY(start->isEnabled() && !start->isHidden());
  QCOMPARE(window.WindowHeightTwips(), kHeightWithButtonsTwips);
}

void WindowLayoutTest::ChecksCoverTheirCrosses() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  for (const char* name : {"Inverter", "MX", "FNDC"}) {
    auto* yes = window.findChild<QLabel*>(QStringLiteral("img%1Yes").arg(QLatin1String(name)));
    auto* no = window.findChild<QLabel*>(QStringLiteral("img%1No").arg(QLatin1String(name)));
    QVERIFY(yes->isHidden());
    QVERIFY(!no->isHidden());
    QCOMPARE(yes->geometry(), no->geometry());
    // Drawn after the cross and opaque, so a shown check hides the cross completely.
    QVERIFY(yes->autoFillBackground());
    const auto siblings = yes->parentWidget()->children();
    QVERIFY(siblings.indexOf(yes) > siblings.indexOf(no));
    QVERIFY(!yes->pixmap().isNull());
    QVERIFY(!no->pixmap().isNull());
  }
}

void WindowLayoutTest::StatusBarPanels() {
  ConsoleHarness console;
  ConsoleWindow& window = console.Open();
  QCOMPARE(window.ServicePanel()->Text(), QStringLiteral("Service:"));
  QCOMPARE(window.HostPanel()->Text(), QStringLiteral("Host:"));
  QCOMPARE(window.VersionPanel()->Text(), QString());
  QCOMPARE(window.VersionPanel()->CurrentPicture(), Picture::None);
  QVERIFY(!window.VersionPanel()->isHidden());
  // Left to right: service, host, version.
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(window.ServicePanel()->x() < window.VersionPanel()->x());
}

void WindowLayoutTest::PicturesAreSharpAtAnyRatio() {
  QVERIFY(DrawPicture(Picture::None, 16, 1.0).isNull());
  for (qreal ratio : {1.0, 2.0}) {
    const QPixmap check = DrawPicture(Picture::Check, 16, ratio);
    const QPixmap cross = DrawPicture(Picture::Cross, 16, ratio);
    // One device pixel per device pixel: nothing is scaled up afterwards.
    QCOMPARE(check.size(), QSize(16, 16) * ratio);
    QCOMPARE(check.devicePixelRatio(), ratio);
    QCOMPARE(cross.size(), QSize(16, 16) * ratio);
    const QImage checkImage = check.toImage();
    const QImage crossImage = cross.toImage();
    auto at = [ratio](const QImage& image, qreal x, qreal y) {
      return image.pixelColor(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
    };
    // Corners are clear; the strokes carry their colours.
    QCOMPARE(at(checkImage, 0, 0).alpha(), 0);
    QCOMPARE(at(crossImage, 0, 15.5).alpha(), 0);
    QVERIFY(Near(at(checkImage, 6.5, 11.9), QColor(0x1e, 0x9e, 0x3a)));
    QVERIFY(Near(at(crossImage, 8, 8), QColor(0xd6, 0x28, 0x28)));
    QCOMPARE(at(crossImage, 8, 1).alpha(), 0);
  }
  // A 20 px picture for a screen at 120 dpi.
  QCOMPARE(DrawPicture(Picture::Cross, 20, 1.5).size(), QSize(30, 30));
}

}  // namespace brivane

QTEST_MAIN(brivane::WindowLayoutTest)
#include "window_layout_test.moc"

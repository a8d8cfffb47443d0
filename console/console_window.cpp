#include "console/console_window.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QWindow>
#include <algorithm>

#include "common/product.h"
#include "common/profile_file.h"
#include "common/version.h"
#include "console/caption_font.h"
#include "console/console_target.h"
#include "console/console_texts.h"
#include "console/status_display.h"

namespace brivane {
namespace {

// The client area's width and the status bar's height.
constexpr int kClientWidthTwips = 4815;
constexpr int kStatusBarHeightTwips = 255;
// Title bar, borders and menu bar: the outer height less the client height.
constexpr int kNonClientHeightTwips = 2970 - 2235;
constexpr int kPictureTwips = 240;
// Without the buttons the client area still reaches below the frames by the gap the
// buttons leave above the status bar, so the status bar never covers the frames' bottom
// line.
constexpr int kFramesBottomTwips = 1455;
constexpr int kGapAboveStatusBarTwips = 1980 - (1560 + 375);

constexpr int kFirstPollMs = 10;
constexpr int kPollMs = 1500;

QString Text(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ConsoleWindow::ConsoleWindow(ConsoleSetup setup, QWidget* parent)
    : QMainWindow(parent), setup_(std::move(setup)), watcher_(*setup_.checks) {
  setObjectName(QStringLiteral("frmBrivaneSvcConsole"));
  setWindowTitle(Text(kConsoleTitle));
  CreateControls();
  CreateMenu();
  CreateStatusBar();

  tmrCheckService_.setObjectName(QStringLiteral("tmrCheckService"));
  tmrCheckService_.setInterval(kFirstPollMs);
  connect(&tmrCheckService_, &QTimer::timeout, this, &ConsoleWindow::CheckService);
  oUDP_.setObjectName(QStringLiteral("oUDP"));
  connect(&oUDP_, &StatusQueryLink::datagramArrived, this, &ConsoleWindow::ShowStatusReply);
  connect(&oUDP_, &StatusQueryLink::sendFailed, this, &ConsoleWindow::ReportSendFailure);
  connect(&watcher_, &ServiceWatcher::stateRead, this, &ConsoleWindow::ShowServiceState);
  Relayout();
}

void ConsoleWindow::CreateControls() {
  client_ = new QWidget(this);
  setCentralWidget(client_);
  // A frame's caption sits on its top line, so the first row below it has room.
  client_->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; }"
      "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));

  auto* fraCOM = new QGroupBox(QStringLiteral("Communications"), client_);
  fraCOM->setObjectName(QStringLiteral("fraCOM"));
  Place(fraCOM, {120, 0, 2535, 1455});
  AddLabel(fraCOM, "lblCOMPort", "Mate on COM port:", {120, 240, 1455, 255});
  txtCOMPort_ = AddTextBox(fraCOM, "txtCOMPort", {1560, 240, 855, 285});
  AddLabel(fraCOM, "lblNetworkPort", "Listening on port:", {120, 600, 1455, 255});
  txtNetworkPort_ = AddTextBox(fraCOM, "txtNetworkPort", {1560, 600, 855, 285});
  AddLabel(fraCOM, "lblTCPConnections", "TCP connections:", {120, 960, 1455, 255});
  txtTCPConnections_ = AddTextBox(fraCOM, "txtTCPConnections", {1560, 960, 855, 285});

  auto* fraHardware = new QGroupBox(QStringLiteral("Equipment"), client_);
  fraHardware->setObjectName(QStringLiteral("fraHardware"));
  Place(fraHardware, {2760, 0, 1935, 1455});
  AddLabel(fraHardware, "lblFXDetected", "Inverter Detected:", {120, 360, 1455, 255});
  AddImage(fraHardware, "imgInverterNo", Picture::Cross, {1560, 360, 240, 240});
  imgInverterYes_ = AddImage(fraHardware, "imgInverterYes", Picture::Check, {1560, 360, 240, 240});
  AddLabel(fraHardware, "lblMXDetected", "MX Detected:", {120, 720, 1455, 255});
  AddImage(fraHardware, "imgMXNo", Picture::Cross, {1560, 720, 240, 240});
  imgMXYes_ = AddImage(fraHardware, "imgMXYes", Picture::Check, {1560, 720, 240, 240});
  AddLabel(fraHardware, "lblFNDCDetected", "FNDC Detected:", {120, 1080, 1455, 255});
  AddImage(fraHardware, "imgFNDCNo", Picture::Cross, {1560, 1080, 240, 240});
  imgFNDCYes_ = AddImage(fraHardware, "imgFNDCYes", Picture::Check, {1560, 1080, 240, 240});
  for (QLabel* check : {imgInverterYes_, imgMXYes_, imgFNDCYes_}) {
    check->hide();
  }

  cmdStartService_ = new QPushButton(QStringLiteral("Start Service"), client_);
  cmdStartService_->setObjectName(QStringLiteral("cmdStartService"));
  Place(cmdStartService_, {120, 1560, 2055, 375});
  connect(cmdStartService_, &QPushButton::clicked, this, &ConsoleWindow::StartServiceClicked);
  cmdStopService_ = new QPushButton(QStringLiteral("Stop Service"), client_);
  cmdStopService_->setObjectName(QStringLiteral("cmdStopService"));
  Place(cmdStopService_, {2640, 1560, 2055, 375});
  connect(cmdStopService_, &QPushButton::clicked, this, &ConsoleWindow::StopServiceClicked);
}

void ConsoleWindow::CreateMenu() {
  QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
  mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
  QAction* mnuOnlineHelp = mnuHelp->addAction(QStringLiteral("&Online Help"));
  mnuOnlineHelp->setObjectName(QStringLiteral("mnuOnlineHelp"));
  connect(mnuOnlineHelp, &QAction::triggered, this, &ConsoleWindow::OpenOnlineHelp);
  QAction* mnuAbout = mnuHelp->addAction(QStringLiteral("&About"));
  mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
  connect(mnuAbout, &QAction::triggered, this, &ConsoleWindow::ShowAbout);
}

void ConsoleWindow::CreateStatusBar() {
  QStatusBar* sbStatus = statusBar();
  sbStatus->setObjectName(QStringLiteral("sbStatus"));
  sbStatus->setSizeGripEnabled(false);
  panels_[0] = new StatusPanel(Text(kServicePanelInitial), sbStatus);
  panels_[1] = new StatusPanel(Text(kHostPanelInitial), sbStatus);
  panels_[2] = new StatusPanel(QString(), sbStatus);
  const char* names[] = {"sbStatusPanel1", "sbStatusPanel2", "sbStatusPanel3"};
  for (int i = 0; i < 3; ++i) {
    panels_[i]->setObjectName(QString::fromLatin1(names[i]));
  }
  sbStatus->addWidget(panels_[0], 1);
  sbStatus->addWidget(panels_[1], 1);
  sbStatus->addPermanentWidget(panels_[2]);
}

QLabel* ConsoleWindow::AddLabel(QWidget* parent, const char* name, const char* caption,
                                TwipsRect place) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  Place(label, place);
  return label;
}

QLineEdit* ConsoleWindow::AddTextBox(QWidget* parent, const char* name, TwipsRect place) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  // The boxes show what the service reports; typing into them would mean nothing.
  box->setReadOnly(true);
  // Out of the tab order, so the window does not open with a field looking selected.
  box->setFocusPolicy(Qt::ClickFocus);
  Place(box, place);
  return box;
}

QLabel* ConsoleWindow::AddImage(QWidget* parent, const char* name, Picture picture,
                                TwipsRect place) {
  auto* image = new QLabel(parent);
  image->setObjectName(QString::fromLatin1(name));
  // Opaque, so a check shown over its cross hides the cross completely.
  image->setAutoFillBackground(true);
  image->setAlignment(Qt::AlignCenter);
  images_.emplace_back(image, picture);
  Place(image, place);
  return image;
}

void ConsoleWindow::Place(QWidget* widget, TwipsRect place) {
  places_.emplace_back(widget, place);
}

int ConsoleWindow::PixelsX(int twips) const {
  const QScreen* s = screen();
  return TwipsToPixels(twips, s ? s->logicalDotsPerInchX() : 96.0);
}

int ConsoleWindow::PixelsY(int twips) const {
  const QScreen* s = screen();
  return TwipsToPixels(twips, s ? s->logicalDotsPerInchY() : 96.0);
}

void ConsoleWindow::Relayout() {
  FitFont();
  for (const auto& [widget, place] : places_) {
    widget->setGeometry(PixelsX(place.left), PixelsY(place.top), PixelsX(place.width),
                        PixelsY(place.height));
  }
  const int pictureSize = PixelsY(kPictureTwips);
  for (const auto& [image, picture] : images_) {
    image->setPixmap(DrawPicture(picture, pictureSize, devicePixelRatioF()));
  }
  for (StatusPanel* panel : panels_) {
    panel->SetPictureSize(pictureSize);
  }
  SetWindowHeight(heightTwips_);
}

void ConsoleWindow::FitFont() {
  constexpr int kLabelMargin = 2;    // pixels kept free behind a label's text
  constexpr int kButtonMargin = 12;  // a button's frame and padding
  std::vector<Caption> captions;
  for (const auto& [widget, place] : places_) {
    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
      captions.push_back({label->text(), PixelsX(place.width) - kLabelMargin});
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      captions.push_back({button->text(), PixelsX(place.width) - kButtonMargin});
    }
  }
  const QFont font = FittedFont(QApplication::font(this), captions, this);
  setFont(font);
  // Set on each control too: a style sheet above them stops the window's font from
  // reaching them.
  for (const auto& [widget, place] : places_) {
    widget->setFont(font);
  }
}

void ConsoleWindow::SetWindowHeight(int twips) {
  heightTwips_ = twips;
  const bool buttons = twips == kHeightWithButtonsTwips;
  cmdStartService_->setVisible(buttons);
  cmdStopService_->setVisible(buttons);
  // The window manager draws its own title bar and borders; what is ours is the menu,
  // the client area and the status bar.
  const int statusHeight =
      std::max(PixelsY(kStatusBarHeightTwips), statusBar()->minimumSizeHint().height());
  statusBar()->setFixedHeight(statusHeight);
  const int clientHeight = PixelsY(std::max(twips - kNonClientHeightTwips - kStatusBarHeightTwips,
                                            kFramesBottomTwips + kGapAboveStatusBarTwips));
  client_->setFixedSize(PixelsX(kClientWidthTwips), clientHeight);
  setFixedSize(PixelsX(kClientWidthTwips),
               menuBar()->sizeHint().height() + clientHeight + statusHeight);
}

void ConsoleWindow::EnablePolling() {
  if (!tmrCheckService_.isActive()) {
    tmrCheckService_.start();
  }
}

bool ConsoleWindow::event(QEvent* event) {
  // Polling starts when the window is activated, so nothing is asked before it shows.
  if (event->type() == QEvent::WindowActivate) {
    EnablePolling();
  }
  return QMainWindow::event(event);
}

void ConsoleWindow::showEvent(QShowEvent* event) {
  if (!screenWatched_ && windowHandle()) {
    screenWatched_ = true;
    connect(windowHandle(), &QWindow::screenChanged, this, [this] { Relayout(); });
    Relayout();
  }
  QMainWindow::showEvent(event);
  // A window manager that keeps new windows from taking the focus would otherwise
  // leave the console without a single poll until someone clicks it.
  EnablePolling();
}

void ConsoleWindow::Load(const QString& argumentText) {
  LoadSettings();
  ApplyCommandLine(argumentText);
}

void ConsoleWindow::LoadSettings() {
  settings_ = LoadConsoleSettings(ProfileFile::Load(setup_.settingsFile).Document());
}

void ConsoleWindow::ApplyCommandLine(const QString& argumentText) {
  const auto remote = RemoteTargetOf(argumentText.toStdString());
  if (!remote) {
    remoteMode_ = false;
    panels_[0]->show();
    panels_[1]->hide();
    TargetLocalService();
    return;
  }
  remoteMode_ = true;
  panels_[0]->hide();
  panels_[1]->show();
  targetHost_ = QString::fromStdString(remote->host);
  targetPort_ = remote->port;
  oUDP_.SetTarget(targetHost_, remote->port);
  panels_[1]->SetText(QString::fromStdString(HostPanelText(remote->host, remote->portText)));
  panels_[1]->SetPicture(Picture::Cross);
}

void ConsoleWindow::TargetLocalService() {
  targetHost_ = QString::fromStdString(LocalTargetHost(settings_, setup_.addressTable));
  targetPort_ = settings_.ConfiguredUdpPort;
  oUDP_.SetTarget(targetHost_, static_cast<quint16>(targetPort_));
}

void ConsoleWindow::CheckService() {
  if (tmrCheckService_.interval() != kPollMs) {
    tmrCheckService_.setInterval(kPollMs);
  }
  if (!remoteMode_) {
    watcher_.Read();
    return;
  }
  if (heightTwips_ != kHeightWithoutButtonsTwips) {
    SetWindowHeight(kHeightWithoutButtonsTwips);
  }
  oUDP_.SendStatusRequest();
}

void ConsoleWindow::ShowServiceState(ServiceState state) {
  if (state == ServiceState::NotInstalled) {
    if (heightTwips_ != kHeightWithoutButtonsTwips) {
      SetWindowHeight(kHeightWithoutButtonsTwips);
    }
    if (panels_[0]->Text() != Text(kServiceNotInstalled)) {
      SetServiceState(kServiceNotInstalled, Picture::Check);
      ClearFields();
    }
    return;
  }
  if (heightTwips_ != kHeightWithButtonsTwips) {
    SetWindowHeight(kHeightWithButtonsTwips);
  }
  if (state == ServiceState::Stopped) {
    if (panels_[0]->Text() != Text(kServiceStopped)) {
      SetServiceState(kServiceStopped, Picture::Cross);
      ClearFields();
      cmdStartService_->setEnabled(true);
      cmdStopService_->setEnabled(false);
    }
    return;
  }
  if (panels_[0]->Text() != Text(kServiceRunning)) {
    SetServiceState(kServiceRunning, Picture::Check);
    cmdStartService_->setEnabled(false);
    cmdStopService_->setEnabled(true);
  }
  oUDP_.SendStatusRequest();
}

void ConsoleWindow::SetServiceState(std::string_view text, Picture picture) {
  panels_[0]->SetText(Text(text));
  panels_[0]->SetPicture(picture);
}

void ConsoleWindow::ClearFields() {
  txtCOMPort_->clear();
  txtNetworkPort_->clear();
  txtTCPConnections_->clear();
  imgInverterYes_->hide();
  imgMXYes_->hide();
  imgFNDCYes_->hide();
}

void ConsoleWindow::ShowStatusReply(const QByteArray& datagram) {
  const auto display = ReadStatusDisplay(std::string_view(datagram.constData(), datagram.size()));
  if (!display) {
    return;
  }
  if (!panels_[1]->isHidden()) {
    panels_[1]->SetPicture(Picture::Check);
  }
  txtCOMPort_->setText(QString::fromStdString(display->comPort));
  const QString version = QString::fromStdString(display->versionPanel);
  // Left alone when unchanged, so the panel is not redrawn on every reply.
  if (panels_[2]->Text() != version) {
    panels_[2]->SetText(version);
  }
  txtNetworkPort_->setText(QString::fromStdString(display->listeningPort));
  txtTCPConnections_->setText(QString::fromStdString(display->tcpConnections));
  imgInverterYes_->setVisible(display->inverterSeen);
  imgMXYes_->setVisible(display->mxSeen);
  imgFNDCYes_->setVisible(display->fndcSeen);
}

void ConsoleWindow::ReportSendFailure(int number, const QString& description) {
  // One message is enough: no further polls while it waits to be closed.
  tmrCheckService_.stop();
  setup_.desktop->ShowMessage(
      this, ConsoleDesktop::Icon::None, Text(kContactErrorTitle),
      QString::fromStdString(SendFailureText(number, description.toStdString())));
  setup_.desktop->EndProgram();
}

void ConsoleWindow::StartServiceClicked() {
  watcher_.Start();
}

void ConsoleWindow::StopServiceClicked() {
  watcher_.Stop();
}

void ConsoleWindow::OpenOnlineHelp() {
  if (!setup_.desktop->OpenUrl(QUrl(Text(kSupportAddress)))) {
    setup_.desktop->ShowMessage(this, ConsoleDesktop::Icon::Warning, Text(kBrowserErrorTitle),
                                Text(kBrowserErrorText));
  }
}

void ConsoleWindow::ShowAbout() {
  setup_.desktop->ShowMessage(
      this, ConsoleDesktop::Icon::Information, Text(kAboutTitle),
      QString::fromStdString(AboutText(kVersionMajor, kVersionMinor, kVersionRevision)));
}

}  // namespace brivane

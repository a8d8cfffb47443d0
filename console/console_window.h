#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/network_info.h"
#include "common/settings.h"
#include "console/console_desktop.h"
#include "console/service_checks.h"
#include "console/service_watcher.h"
#include "console/status_panel.h"
#include "console/status_query_link.h"
#include "console/twips.h"

class QGroupBox;

// frmBrivaneSvcConsole: the console's one window. It watches the local Brivane
// service, or a service on another host named on the command line, polls it every
// 1.5 s and shows its status reply.
namespace brivane {

// What the window works with; tests pass their own checks, desktop and address table.
struct ConsoleSetup {
  std::filesystem::path settingsFile;
  ServiceChecks* checks = nullptr;
  ConsoleDesktop* desktop = nullptr;
  AddressTableReader addressTable = ReadAddressTable;
};

// Outer window heights: with the Start and Stop buttons, and without them.
inline constexpr int kHeightWithButtonsTwips = 2970;
inline constexpr int kHeightWithoutButtonsTwips = 2430;

class ConsoleWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit ConsoleWindow(ConsoleSetup setup, QWidget* parent = nullptr);

  void Load(const QString& argumentText);
  void LoadSettings();
  void ApplyCommandLine(const QString& argumentText);
  void TargetLocalService();

  bool RemoteMode() const { return remoteMode_; }
  const ConsoleSettings& Settings() const { return settings_; }
  QString TargetHost() const { return targetHost_; }
  int TargetPort() const { return targetPort_; }
  int WindowHeightTwips() const { return heightTwips_; }

  StatusPanel* ServicePanel() const { return panels_[0]; }
  StatusPanel* HostPanel() const { return panels_[1]; }
  StatusPanel* VersionPanel() const { return panels_[2]; }
  QTimer& CheckServiceTimer() { return tmrCheckService_; }
  StatusQueryLink& Link() { return oUDP_; }
  ServiceWatcher& Watcher() { return watcher_; }

  // tmrCheckService: asks for the local service's state, or in remote mode sends the
  // status request.
  void CheckService();
  // The local service's state into the window, then the status request if it runs.
  void ShowServiceState(ServiceState state);
  // oUDP: a datagram that is a status reply into the window.
  void ShowStatusReply(const QByteArray& datagram);

  void StartServiceClicked();
  void StopServiceClicked();
  void OpenOnlineHelp();
  void ShowAbout();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void EnablePolling();
  void CreateMenu();
  void CreateStatusBar();
  QLabel* AddLabel(QWidget* parent, const char* name, const char* caption, TwipsRect place);
  QLineEdit* AddTextBox(QWidget* parent, const char* name, TwipsRect place);
  QLabel* AddImage(QWidget* parent, const char* name, Picture picture, TwipsRect place);
  void Place(QWidget* widget, TwipsRect place);
  void Relayout();
  void FitFont();
  void SetWindowHeight(int twips);
  void SetServiceState(std::string_view text, Picture picture);
  void ClearFields();
  void ReportSendFailure(int number, const QString& description);
  int PixelsX(int twips) const;
  int PixelsY(int twips) const;

  ConsoleSetup setup_;
  ConsoleSettings settings_;
  bool remoteMode_ = false;
  QString targetHost_;
  int targetPort_ = 0;
  int heightTwips_ = kHeightWithButtonsTwips;

  QWidget* client_ = nullptr;
  QLineEdit* txtCOMPort_ = nullptr;
  QLineEdit* txtNetworkPort_ = nullptr;
  QLineEdit* txtTCPConnections_ = nullptr;
  QLabel* imgInverterYes_ = nullptr;
  QLabel* imgMXYes_ = nullptr;
  QLabel* imgFNDCYes_ = nullptr;
  QPushButton* cmdStartService_ = nullptr;
  QPushButton* cmdStopService_ = nullptr;
  StatusPanel* panels_[3] = {};
  QTimer tmrCheckService_;
  StatusQueryLink oUDP_;
  ServiceWatcher watcher_;

  std::vector<std::pair<QWidget*, TwipsRect>> places_;
  std::vector<std::pair<QLabel*, Picture>> images_;
  bool screenWatched_ = false;
};

}  // namespace brivane

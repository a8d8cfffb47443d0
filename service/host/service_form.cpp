#include "service/host/service_form.h"

#include <chrono>

#include "common/network_info.h"
#include "common/profile_file.h"
#include "common/program_location.h"
#include "common/settings.h"
#include "service/host/command_words.h"
#include "service/host/event_log.h"
#include "service/host/listener_setup.h"
#include "service/host/orderly_exit.h"

namespace brivane {

using std::chrono::milliseconds;

frmBrivaneSvc::frmBrivaneSvc(bool foreground)
    : oService(io_, foreground, [this](int status) { EndProcess(status); }),
      oTCP(io_, [this](int type, const std::string& text) { LogEvent(type, text); }),
      oUDP(io_, [this] { return CurrentStatus(); }),
      serial_(oComm, {[this](std::string_view record) { oTCP.UpdateTCP(record); },
                      [this](int type, const std::string& text) { LogEvent(type, text); }}),
      tmrCheckCOM(io_, kCheckComFirstInterval),
      tmrCheckBuffer(io_, milliseconds(500)),
      tmrServiceCheck(io_, milliseconds(1000)) {
  oService.OnStart([this](bool& Success) { oService_Start(Success); });
  oService.OnStop([this] { oService_Stop(); });
  tmrServiceCheck.OnTick([this] { tmrServiceCheck_Timer(); });
  tmrCheckCOM.OnTick([this] { tmrCheckCOM_Timer(); });
  tmrCheckBuffer.OnTick([this] { tmrCheckBuffer_Timer(); });
}

int frmBrivaneSvc::Run(const std::string& commandLine) {
  if (auto status = Form_Load(commandLine)) {
    return *status;
  }
  io_.run();
  return exitStatus_.value_or(0);
}

std::optional<int> frmBrivaneSvc::Form_Load(const std::string& commandLine) {
  // A command word is all such a process does: it needs no lock, settings or sockets.
  if (auto status = RunCommandWord(commandLine)) {
    return status;
  }
  if (!instance_.Acquire(ExecutablePath())) {
    return 0;
  }
  tmrServiceCheck.SetEnabled(true);
  oService.StartService();
  return std::nullopt;
}

void frmBrivaneSvc::oService_Start(bool& Success) {
  tmrServiceCheck.SetEnabled(false);

  auto profile = ProfileFile::Load(SettingsFilePath());
  const ServiceSettings settings = LoadSettings(profile.Document(), ExecutableName());
  // The values in use go back to the file, so a bad one is replaced by its default; a
  // file that cannot be written stays as it was.
  SaveSettings(profile.Document(), ExecutableName(), settings);
  profile.Save();
  serial_.Configure(settings.COMPort);
  UDPBPort = settings.UDPBPort;
  TCPPort = settings.TCPPort;
  IPAddress = settings.IPAddress;
  oComm.UseSerialDevices(LoadSerialDevices(profile.Document()));

  const auto isLocal = [](std::string_view text) { return IsLocalIPAddress(text); };
  // From here a failing step is passed over; its error stays noted, a later one
  // replacing it, until the sequence looks at it.
  std::optional<SocketError> noted;

  const ListenerAddress udp = ChooseListenerAddress(IPAddress, isLocal);
  if (udp.notAssigned) {
    LogEvent(kEventTypeError, NotAssignedText("UDP"));
  }
  if (auto error = oUDP.Bind(udp.address, static_cast<std::uint16_t>(UDPBPort))) {
    noted = error;
  }
  if (noted) {
    LogEvent(kEventTypeError, SetupFailureText("UDP", noted->number, noted->description));
    AppStop();
    return;
  }

  oTCP.CreateConnectionSockets();
  const ListenerAddress tcp = ChooseListenerAddress(IPAddress, isLocal);
  if (tcp.notAssigned) {
    LogEvent(kEventTypeError, NotAssignedText("TCP"));
  }
  if (auto error = oTCP.Bind(tcp.address, static_cast<std::uint16_t>(TCPPort))) {
    noted = error;
  } else if (auto listenError = oTCP.Listen()) {
    // Listening on a listener that failed to bind can only fail too, and its error
    // would hide the cause; so Listen follows a good bind only.
    noted = listenError;
  }
  if (noted) {
    LogEvent(kEventTypeError, SetupFailureText("TCP", noted->number, noted->description));
    AppStop();
    return;
  }

  tmrCheckCOM.SetEnabled(true);
  tmrCheckBuffer.SetEnabled(true);
  Success = true;
}

void frmBrivaneSvc::oService_Stop() {
  AppStop();
}

void frmBrivaneSvc::tmrServiceCheck_Timer() {
  // No Start came: not started by the service manager.
  bStandAlone = true;
  AppStop();
}

void frmBrivaneSvc::tmrCheckCOM_Timer() {
  SuperviseSerialPort();
}

void frmBrivaneSvc::tmrCheckBuffer_Timer() {
  ReceiveStep();
  oUDP.ReplyStep();
}

void frmBrivaneSvc::SuperviseSerialPort() {
  const auto period = serial_.CheckComTick();
  if (tmrCheckCOM.Interval() != period) {
    tmrCheckCOM.SetInterval(period);
  }
}

void frmBrivaneSvc::ReceiveStep() {
  serial_.ReceiveStep();
}

void frmBrivaneSvc::ClosePort() {
  // Errors are of no interest on the way out.
  oComm.SetPortOpen(false);
}

StatusValues frmBrivaneSvc::CurrentStatus() const {
  StatusValues values;
  values.tcpPort = oTCP.LocalPort();
  values.COMPort = serial_.COMPort();
  values.TCPConnectionCount = oTCP.TCPConnectionCount();
  const EquipmentRegistry& equipment = serial_.Equipment();
  values.equipment.FXCount = equipment.FXCount();
  values.equipment.MXCount = equipment.MXCount();
  values.equipment.FNDCDetected = equipment.FNDCDetected();
  values.CommPort = oComm.CommPort();
  values.PortOpen = oComm.PortOpen();
  return values;
}

void frmBrivaneSvc::AppStop() {
  if (stopping_) {
    return;
  }
  stopping_ = true;
  ExitSteps steps;
  steps.closeSerialPort = [this] { ClosePort(); };
  steps.closeListener = [this] { oTCP.CloseListener(); };
  steps.closeUdp = [this] { oUDP.Close(); };
  steps.slotInUse = [this](int slot) { return oTCP.SlotInUse(slot); };
  steps.closeConnection = [this](int slot) { oTCP.CloseConnection(slot); };
  steps.destroyConnectionSockets = [this] { oTCP.DestroyConnectionSockets(); };
  steps.endRun = [this] {
    if (bStandAlone) {
      EndProcess(0);
    } else {
      oService.StopService();
    }
  };
  RunOrderlyExit([this](std::function<void()> step) { asio::post(io_, std::move(step)); },
                 std::move(steps));
}

void frmBrivaneSvc::LogEvent(int type, const std::string& text) {
  oService.LogEvent(type, kEventId, text);
}

void frmBrivaneSvc::EndProcess(int status) {
  if (!exitStatus_) {
    exitStatus_ = status;
  }
  io_.stop();
}

}  // namespace brivane

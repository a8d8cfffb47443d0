#pragma once

#include <asio.hpp>
#include <cstdint>
#include <optional>
#include <string>

#include "common/udp_wire.h"
#include "service/host/single_instance.h"
#include "service/host/systemd_service.h"
#include "service/host/timer.h"
#include "service/net/tcp_front.h"
#include "service/net/udp_queries.h"
#include "service/serial/comm_port.h"
#include "service/serial/serial_link.h"

namespace brivane {

// The service program's one object: it owns the settings, the service-manager tie, the
// sockets, the timers and the state of the process, all on one io_context thread.
class frmBrivaneSvc {
 public:
  explicit frmBrivaneSvc(bool foreground);
  frmBrivaneSvc(const frmBrivaneSvc&) = delete;
  frmBrivaneSvc& operator=(const frmBrivaneSvc&) = delete;

  // Loads the form with the command text, then runs the loop until the process ends.
  // Gives the process's exit status.
  int Run(const std::string& commandLine);

  // The orderly exit: every way out of a loaded service goes through here. A second
  // call while the first is under way does nothing.
  void AppStop();

 private:
  // The steps of loading; an exit status when the process ends there.
  std::optional<int> Form_Load(const std::string& commandLine);
  void oService_Start(bool& Success);
  void oService_Stop();
  void tmrServiceCheck_Timer();
  void tmrCheckCOM_Timer();
  void tmrCheckBuffer_Timer();

  // Port supervision: opening the configured port or finding the MATE's.
  void SuperviseSerialPort();
  // Reads the waiting serial data into the receive buffer and passes on its records.
  void ReceiveStep();
  // Switches the serial port off; first step of the orderly exit.
  void ClosePort();
  // What the UDP replies report, read at the moment of sending.
  StatusValues CurrentStatus() const;

  void LogEvent(int type, const std::string& text);
  void EndProcess(int status);

  // The loop comes first, so that it outlives everything that queues work on it.
  asio::io_context io_;
  std::optional<int> exitStatus_;
  bool stopping_ = false;
  SingleInstance instance_;

  std::int32_t UDPBPort = 0;
  std::int32_t TCPPort = 0;
  std::string IPAddress;
  bool bStandAlone = false;

  SystemdService oService;
  CommPort oComm;
  TcpFront oTCP;
  UdpQueries oUDP;
  // Holds COMPort and LastDataTime; works on oComm.
  SerialLink serial_;
  Timer tmrCheckCOM;
  Timer tmrCheckBuffer;
  Timer tmrServiceCheck;
};

}  // namespace brivane

#include "service/host/installer.h"

#include <algorithm>
#include <system_error>

#include "common/file_text.h"
#include "common/product.h"
#include "common/program_location.h"
#include "common/service_control.h"

namespace brivane {
namespace {

// A path as one quoted word of a unit file: quotes and backslashes escaped, and
// percent signs doubled so systemd reads none of them as a specifier.
std::string QuotedUnitWord(const std::string& text) {
  std::string word = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      word += '\\';
      word += c;
    } else if (c == '%') {
      word += "%%";
    } else {
      word += c;
    }
  }
  word += '"';
  return word;
}

bool UnderFolder(const std::filesystem::path& path, const std::filesystem::path& folder) {
  return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first ==
         folder.end();
}

// Readable by everyone whatever the umask, as systemctl cat and status show it to users.
bool WriteUnitFile(const std::filesystem::path& path, const std::string& text) {
  return WriteWholeFile(path, text, 0644);
}

void RemoveUnitFile() {
  std::error_code ignored;
  std::filesystem::remove(ServiceUnitPath(), ignored);
}

}  // namespace

std::filesystem::path ServiceUnitPath() {
  return std::filesystem::path("/etc/systemd/system") / (std::string(kServiceName) + ".service");
}

std::optional<std::string> ServiceUnitText(const std::filesystem::path& executable) {
  const std::string program = executable.lexically_normal().string();
  if (!executable.is_absolute() || program.find_first_of("\r\n") != std::string::npos) {
    return std::nullopt;
  }
  const std::string folder = executable.lexically_normal().parent_path().string();
  // A program in a temporary folder would vanish behind a private /tmp.
  const bool inTemporaryFolder = UnderFolder(executable.lexically_normal(), "/tmp") ||
                                 UnderFolder(executable.lexically_normal(), "/var/tmp");

  std::string text;
  text += "[Unit]\n";
  text += "Description=" + std::string(kServiceName) + "\n";
  text += "After=network.target\n";
  text += "\n[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + QuotedUnitWord(program) + "\n";
  text += "Restart=on-abnormal\n";
  text += "\n";
  text += "# Runs as root, but sees only what it needs: its own folder (for Brivane.ini)\n";
  text += "# writable, its serial devices, internet sockets, the journal.\n";
  text += "ProtectSystem=strict\n";
  text += "ReadWritePaths=" + QuotedUnitWord(folder) + "\n";
  text += "ProtectHome=read-only\n";
  if (!inTemporaryFolder) {
    text += "PrivateTmp=yes\n";
  }
  text += "PrivateMounts=yes\n";
  // Character devices only, allowed as a class rather than by driver: a driver name
  // (char-ttyUSB) is looked up when the service starts, so an adapter whose driver loads
  // later would stay locked out. Disks stay out of reach.
  text += "DevicePolicy=closed\n";
  text += "DeviceAllow=char-* rw\n";
  text += "ProtectClock=yes\n";
  // No CAP_CHOWN: a settings file the service rewrites becomes root's, its mode kept.
  text +=
      "CapabilityBoundingSet=CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH CAP_FOWNER "
      "CAP_NET_BIND_SERVICE\n";
  text += "NoNewPrivileges=yes\n";
  text += "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n";
  text += "ProtectKernelTunables=yes\n";
  text += "ProtectKernelModules=yes\n";
  text += "ProtectKernelLogs=yes\n";
  text += "ProtectControlGroups=yes\n";
  text += "ProtectHostname=yes\n";
  text += "ProtectProc=invisible\n";
  text += "ProcSubset=pid\n";
  text += "RestrictNamespaces=yes\n";
  text += "RestrictRealtime=yes\n";
  text += "RestrictSUIDSGID=yes\n";
  text += "LockPersonality=yes\n";
  text += "MemoryDenyWriteExecute=yes\n";
  text += "RemoveIPC=yes\n";
  text += "SystemCallArchitectures=native\n";
  text += "SystemCallFilter=@system-service\n";
  text += "SystemCallFilter=~@resources @privileged\n";
  text += "SystemCallErrorNumber=EPERM\n";
  text += "\n[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

bool InstallService() {
  const auto executable = ExecutablePath();
  const auto text = ServiceUnitText(executable);
  if (!text) {
    return false;
  }
  if (!WriteUnitFile(ServiceUnitPath(), *text)) {
    RemoveUnitFile();
    return false;
  }
  if (ReloadServiceManager() && EnableServiceUnit(kServiceName)) {
    return true;
  }
  DisableServiceUnit(kServiceName);
  RemoveUnitFile();
  ReloadServiceManager();
  return false;
}

bool UninstallService() {
  DisableServiceUnit(kServiceName);
  std::error_code error;
  std::filesystem::remove(ServiceUnitPath(), error);
  if (error) {
    return false;
  }
  ReloadServiceManager();
  return !WindowsServiceExists(kServiceName);
}

}  // namespace brivane

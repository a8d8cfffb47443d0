#include "service/serial/comm_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/profile_file.h"

namespace brivane {

namespace {

// A flood on the line must not keep one read going for ever.
constexpr std::size_t kInputLimit = 256 * 1024;

bool IsLegacySerialNode(const std::string& path) {
  return std::filesystem::path(path).filename().string().rfind("ttyS", 0) == 0;
}

CommError OpenFailure(int errorNumber, const std::string& path) {
  switch (errorNumber) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return InvalidPortNumberError();
    case EIO:
      // A ttyS node without a UART behind it.
      if (IsLegacySerialNode(path)) {
        return InvalidPortNumberError();
      }
      return SystemError(errorNumber);
    case EBUSY:
    case EWOULDBLOCK:
      return PortAlreadyOpenError();
    default:
      return SystemError(errorNumber);
  }
}

bool SetLine(int fd) {
  termios line{};
  if (tcgetattr(fd, &line) != 0) {
    return false;
  }
  cfmakeraw(&line);
  line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  line.c_cflag |= CS8 | CLOCAL | CREAD;
  // With VMIN 1 an empty queue reads as EAGAIN, so that a read of 0 means hang-up.
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  if (cfsetispeed(&line, B19200) != 0 || cfsetospeed(&line, B19200) != 0) {
    return false;
  }
  return tcsetattr(fd, TCSANOW, &line) == 0;
}

// Pseudo-terminals have no modem lines; their refusal is of no concern.
void SetModemLines(int fd) {
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  (void)ioctl(fd, TIOCMBIS, &dtr);
  (void)ioctl(fd, TIOCMBIC, &rts);
}

void Release(UniqueFd fd) {
  (void)ioctl(fd.get(), TIOCNXCL);
}

}  // namespace

TtyCommPort::TtyCommPort(const std::filesystem::path& settingsFile)
    : TtyCommPort(LoadSerialDevices(ProfileFile::Load(settingsFile).Document())) {}

TtyCommPort::TtyCommPort(SerialDeviceMap devices) : devices_(std::move(devices)) {}

TtyCommPort::~TtyCommPort() {
  (void)Close();
}

std::optional<CommError> TtyCommPort::SetCommPort(int port) {
  if (port < kLowestPortNumber || port > kHighestPortNumber) {
    return InvalidPortNumberError();
  }
  if (PortOpen()) {
    return PortAlreadyOpenError();
  }
  port_ = port;
  return std::nullopt;
}

std::optional<CommError> TtyCommPort::SetPortOpen(bool open) {
  return open ? Open() : Close();
}

std::string TtyCommPort::DevicePath() const {
  return DevicePathFor(port_, devices_);
}

std::optional<CommError> TtyCommPort::Open() {
  if (PortOpen()) {
    return PortAlreadyOpenError();
  }
  const std::string path = DevicePath();
  // Checked before opening: opening a serial line already changes its modem lines.
  if (IsActiveConsole(path, ReadActiveConsoles())) {
    return PortAlreadyOpenError();
  }
  UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    return OpenFailure(errno, path);
  }
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ioctl(fd.get(), TIOCEXCL) != 0 ||
      !SetLine(fd.get())) {
    const int failure = errno;
    Release(std::move(fd));
    return OpenFailure(failure, path);
  }
  SetModemLines(fd.get());
  fd_ = std::move(fd);
  return std::nullopt;
}

std::optional<CommError> TtyCommPort::Close() {
  if (!PortOpen()) {
    return std::nullopt;
  }
  UniqueFd fd = std::move(fd_);
  (void)ioctl(fd.get(), TIOCNXCL);
  if (!fd.close() && errno != EINTR) {
    return SystemError(errno);
  }
  return std::nullopt;
}

int TtyCommPort::InBufferCount() {
  if (!PortOpen()) {
    return 0;
  }
  pollfd watch{fd_.get(), POLLIN, 0};
  if (poll(&watch, 1, 0) < 0) {
    return 0;
  }
  if ((watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    (void)Close();
    return 0;
  }
  int waiting = 0;
  if (ioctl(fd_.get(), FIONREAD, &waiting) != 0) {
    (void)Close();
    return 0;
  }
  return waiting;
}

std::string TtyCommPort::Input() {
  std::string received;
  char chunk[4096];
  while (PortOpen() && received.size() < kInputLimit) {
    const ssize_t count = read(fd_.get(), chunk, sizeof chunk);
    if (count > 0) {
      received.append(chunk, static_cast<std::size_t>(count));
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else {
      (void)Close();  // end of file or read error: the line is gone
    }
  }
  return received;
}

}  // namespace brivane

#include "tools/mate-sim/sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace brivane::sim {

namespace {

constexpr int kStalledWriteMs = 200;

void MakeRaw(termios& line) {
  cfmakeraw(&line);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  line.c_cflag |= CS8 | CLOCAL | CREAD;
  cfsetispeed(&line, B19200);
  cfsetospeed(&line, B19200);
}

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

SimLine::SimLine(UniqueFd fd, std::string path, bool pseudoTerminal)
    : fd_(std::move(fd)), path_(std::move(path)), pseudoTerminal_(pseudoTerminal) {}

SimLine::~SimLine() = default;

std::unique_ptr<SimLine> SimLine::OpenPseudoTerminal(std::string& error) {
  termios line{};
  MakeRaw(line);
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, &line, nullptr) != 0) {
    error = ErrnoText("openpty");
    return nullptr;
  }
  UniqueFd own(master);
  UniqueFd serialEnd(slave);
  // The terminal settings stay with the pair while the master lives; the serial
  // end is held only by readers, so that their absence shows as a hang-up.
  serialEnd.reset();
  fcntl(own.get(), F_SETFL, fcntl(own.get(), F_GETFL) | O_NONBLOCK);
  fcntl(own.get(), F_SETFD, FD_CLOEXEC);
  return std::unique_ptr<SimLine>(new SimLine(std::move(own), name, true));
}

std::unique_ptr<SimLine> SimLine::OpenDevice(const std::string& path, std::string& error) {
  UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    error = ErrnoText(path);
    return nullptr;
  }
  termios line{};
  if (tcgetattr(fd.get(), &line) == 0) {
    MakeRaw(line);
    tcsetattr(fd.get(), TCSANOW, &line);
  }
  return std::unique_ptr<SimLine>(new SimLine(std::move(fd), path, false));
}

bool SimLine::ReaderPresent() {
  if (!pseudoTerminal_) {
    return true;
  }
  pollfd watch{fd_.get(), POLLIN, 0};
  if (poll(&watch, 1, 0) <= 0) {
    return true;
  }
  if ((watch.revents & POLLIN) != 0) {
    char discard[512];
    while (read(fd_.get(), discard, sizeof discard) > 0) {
    }
  }
  return (watch.revents & POLLHUP) == 0;
}

bool SimLine::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd_.get(), text.data(), text.size());
    if (written > 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd watch{fd_.get(), POLLOUT, 0};
      if (poll(&watch, 1, kStalledWriteMs) <= 0 || (watch.revents & POLLOUT) == 0) {
        return true;
      }
      continue;
    }
    // A pseudo-terminal whose reader left meanwhile only loses this page.
    return pseudoTerminal_ && errno == EIO;
  }
  return true;
}

void SimLine::Drain(double seconds, const std::atomic<bool>& stop) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  if (pseudoTerminal_ && !ReaderPresent()) {
    return;
  }
  const UniqueFd probe(pseudoTerminal_ ? open(path_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK)
                                       : -1);
  // Written characters reach the reader's queue a moment later, so the queue must
  // be seen empty several times in a row.
  int emptyChecks = 0;
  while (!stop && std::chrono::steady_clock::now() < deadline && emptyChecks < 5) {
    int waiting = 0;
    if (probe) {
      if (ioctl(probe.get(), FIONREAD, &waiting) != 0) {
        break;
      }
      emptyChecks = waiting == 0 ? emptyChecks + 1 : 0;
    } else if (pseudoTerminal_) {
      // The queue cannot be looked at (the reader holds the terminal exclusively
      // and we are not root): wait the whole time.
    } else if (tcdrain(fd_.get()) == 0 || errno != EINTR) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace brivane::sim

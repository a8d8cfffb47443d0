#include "tests/support/pty_mate.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "tests/support/wait_for.h"

namespace brivane::testkit {

PtyMate::PtyMate() {
  char name[128] = {};
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B19200);
  cfsetospeed(&raw, B19200);
  // Raw from the first byte: a cooked line would turn CR into LF and echo.
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
    return;
  }
  master_.reset(master);
  slave_.reset(slave);
  slavePath_ = name;
  ::fcntl(master_.get(), F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_.get(), F_SETFD, FD_CLOEXEC);
  ::fcntl(master_.get(), F_SETFL, O_NONBLOCK);
}

PtyMate::PtyMate(const std::filesystem::path& link) : PtyMate() {
  std::error_code error;
  std::filesystem::remove(link, error);
  if (Ready()) {
    std::filesystem::create_symlink(slavePath_, link, error);
  }
}

void PtyMate::Pull() {
  slave_.reset();
  master_.reset();
}

bool PtyMate::Write(std::string_view bytes) const {
  std::size_t done = 0;
  while (master_ && done < bytes.size()) {
    const ssize_t count = ::write(master_.get(), bytes.data() + done, bytes.size() - done);
    if (count > 0) {
      done += static_cast<std::size_t>(count);
    } else if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
      pollfd writable{master_.get(), POLLOUT, 0};
      ::poll(&writable, 1, 100);
    } else {
      return false;
    }
  }
  return done == bytes.size();
}

int PtyMate::Waiting() const {
  int count = -1;
  if (!slave_ || ::ioctl(slave_.get(), FIONREAD, &count) != 0) {
    return -1;
  }
  return count;
}

bool PtyMate::WaitForWaiting(int count, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return Waiting() == count; }, timeout, std::chrono::milliseconds(2));
}

std::string PtyMate::ReadTowardsMate(std::chrono::milliseconds timeout) const {
  std::string received;
  pollfd readable{master_.get(), POLLIN, 0};
  if (!master_ || ::poll(&readable, 1, static_cast<int>(timeout.count())) <= 0 ||
      (readable.revents & POLLIN) == 0) {
    return received;
  }
  char buffer[4096];
  const ssize_t count = ::read(master_.get(), buffer, sizeof buffer);
  if (count > 0) {
    received.assign(buffer, static_cast<std::size_t>(count));
  }
  return received;
}

DeviceHolder::DeviceHolder(const std::string& path) {
  fd_.reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd_ && ::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
    fd_.reset();
  }
}

void DeviceHolder::Release() {
  fd_.reset();
}

}  // namespace brivane::testkit

#include "tests/support/mate_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace brivane::testkit {

MateLine::MateLine(const std::filesystem::path& link) {
  char name[256];
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    return;
  }
  master_.reset(master);
  slave_.reset(slave);
  devicePath_ = name;
  termios settings{};
  tcgetattr(slave_.get(), &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B19200);
  tcsetattr(slave_.get(), TCSANOW, &settings);
  fcntl(master_.get(), F_SETFD, FD_CLOEXEC);
  fcntl(slave_.get(), F_SETFD, FD_CLOEXEC);
  fcntl(master_.get(), F_SETFL, fcntl(master_.get(), F_GETFL) | O_NONBLOCK);
  std::error_code error;
  std::filesystem::remove(link, error);
  std::filesystem::create_symlink(devicePath_, link, error);
}

MateLine::~MateLine() {
  Pull();
}

bool MateLine::Write(std::string_view bytes) {
  while (!bytes.empty() && master_) {
    const ssize_t written = write(master_.get(), bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd ready{master_.get(), POLLOUT, 0};
      poll(&ready, 1, 50);
    } else {
      return false;
    }
  }
  return bytes.empty();
}

std::size_t MateLine::Waiting() const {
  int count = 0;
  if (!slave_ || ioctl(slave_.get(), FIONREAD, &count) != 0) {
    return 0;
  }
  return static_cast<std::size_t>(count);
}

void MateLine::Pull() {
  master_.reset();
  slave_.reset();
}

std::string SequencedRecord(unsigned long sequence, std::size_t filler) {
  char head[32];
  std::snprintf(head, sizeof head, "\n0,%08lu,00,00,000,122,", sequence % 100000000UL);
  std::string record = head;
  for (std::size_t i = 0; i < filler; ++i) {
    record += static_cast<char>('0' + i % 10);
  }
  record += ",02,252\r";
  return record;
}

long SequenceReader::SequenceOf(std::string_view text) {
  if (text.size() < 11 || text[0] != '0' || text[1] != ',' || text[10] != ',') {
    return -1;
  }
  long value = 0;
  for (std::size_t i = 2; i < 10; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return -1;
    }
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace brivane::testkit

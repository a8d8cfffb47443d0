#include "bench/common/pseudo_line.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace brivane::bench {

PseudoLine::PseudoLine(std::string link) : link_(std::move(link)) {
  char name[256];
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  }
  path_ = name;
  termios settings{};
  tcgetattr(slave_, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B19200);
  tcsetattr(slave_, TCSANOW, &settings);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  std::error_code error;
  std::filesystem::remove(link_, error);
  std::filesystem::create_symlink(path_, link_, error);
  if (error) {
    close(master_);
    close(slave_);
    throw std::runtime_error("cannot link " + link_ + ": " + error.message());
  }
}

PseudoLine::~PseudoLine() {
  std::error_code error;
  std::filesystem::remove(link_, error);
  close(master_);
  close(slave_);
}

}  // namespace brivane::bench

#pragma once

#include <unistd.h>

// A file descriptor with one owner, closed when the owner goes.
namespace brivane {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }

  // Hands the descriptor over; this owner no longer closes it.
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // Closes what is held and takes fd instead.
  void reset(int fd = -1) noexcept {
    if (fd_ >= 0 && fd_ != fd) {
      ::close(fd_);
    }
    fd_ = fd;
  }

  // Closes now and says whether the kernel accepted it: a writer learns of a delayed
  // write error only here. The descriptor is gone either way.
  bool close() noexcept { return fd_ < 0 || ::close(release()) == 0; }

 private:
  int fd_ = -1;
};

}  // namespace brivane

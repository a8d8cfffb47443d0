#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace brivane::testkit {

// A MATE under the test's exact control: a pseudo-terminal whose serial end (the slave)
// the service opens by its path, while the test writes the MATE's bytes on the master.
// The test keeps its own raw descriptor of the slave, so the line lives on when the
// service closes it (the service sees no hang-up until the line is pulled) and the bytes
// waiting in the line's input queue can be counted.
class PtyMate {
 public:
  PtyMate();
  // Also makes link point at the serial end (replacing an older link), as a device name
  // that outlives one line.
  explicit PtyMate(const std::filesystem::path& link);

  bool Ready() const { return master_ && slave_; }
  // The device path to map in [SerialDevices].
  const std::string& SlavePath() const { return slavePath_; }

  // Writes bytes as the MATE would send them; true when all were written.
  bool Write(std::string_view bytes) const;

  // Bytes written on the master that the reader of the line has not taken yet.
  int Waiting() const;
  // Until exactly count bytes wait (the line has delivered what was written).
  bool WaitForWaiting(int count, std::chrono::milliseconds timeout) const;

  // Whatever the line's reader wrote towards the MATE within timeout (empty: nothing).
  std::string ReadTowardsMate(std::chrono::milliseconds timeout) const;

  // The device disappears: both ends close, as when an adapter is unplugged.
  void Pull();

 private:
  UniqueFd master_;
  UniqueFd slave_;
  std::string slavePath_;
};

// Takes a serial device as another program would: opened and held with an exclusive
// flock until Release or destruction.
class DeviceHolder {
 public:
  explicit DeviceHolder(const std::string& path);

  bool Held() const { return static_cast<bool>(fd_); }
  void Release();

 private:
  UniqueFd fd_;
};

}  // namespace brivane::testkit

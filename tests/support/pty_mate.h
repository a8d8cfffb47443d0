#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace brivane::testkit {

// A MATE under the test's exact control: a pseudo-terminal whose serial end (the slave)
// the service opens by its path, while the test writes the MATE's bytes on the master.
// The test keeps its own raw descriptor of the slave, so the line lives on when the
// service closes it and the bytes waiting in the line's input queue can be counted.
class PtyMate {
 public:
  PtyMate();
  ~PtyMate();
  PtyMate(const PtyMate&) = delete;
  PtyMate& operator=(const PtyMate&) = delete;

  bool Ready() const { return master_ >= 0 && slave_ >= 0; }
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

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Takes a serial device as another program would: opened and held with an exclusive
// flock until Release or destruction.
class DeviceHolder {
 public:
  explicit DeviceHolder(const std::string& path);
  ~DeviceHolder();
  DeviceHolder(const DeviceHolder&) = delete;
  DeviceHolder& operator=(const DeviceHolder&) = delete;

  bool Held() const { return fd_ >= 0; }
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace brivane::testkit

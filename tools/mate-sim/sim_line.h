#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "common/unique_fd.h"

// Where the simulator's pages go: the master of a pseudo-terminal it creates, or an
// existing serial device.
namespace brivane::sim {

class SimLine {
 public:
  // A new pseudo-terminal in raw mode; Path() is its serial end.
  static std::unique_ptr<SimLine> OpenPseudoTerminal(std::string& error);
  // An existing device, set to 19200 8N1 raw where it is a terminal.
  static std::unique_ptr<SimLine> OpenDevice(const std::string& path, std::string& error);
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  const std::string& Path() const { return path_; }

  // A pseudo-terminal has a reader while some process holds its serial end open;
  // without one, pages are dropped as on a line nobody listens to. Anything the
  // reader sends back is discarded.
  bool ReaderPresent();

  // Writes text; what cannot be written within a short while (a reader that does
  // not read) is dropped. False when the line is gone for good.
  bool Write(std::string_view text);

  // Waits at most `seconds` until the reader has taken every character sent.
  void Drain(double seconds, const std::atomic<bool>& stop);

 private:
  SimLine(UniqueFd fd, std::string path, bool pseudoTerminal);

  UniqueFd fd_;
  std::string path_;
  bool pseudoTerminal_;
};

}  // namespace brivane::sim

#pragma once

#include <string>

namespace brivane::bench {

// The MATE's end of a serial line: a pseudo-terminal in raw mode at 19200 baud, its
// serial end linked where the bridge looks for it. The serial end stays open here too,
// so the bridge never sees a hang-up between its opens.
class PseudoLine {
 public:
  // Throws std::runtime_error when the terminal cannot be made or linked.
  explicit PseudoLine(std::string link);
  ~PseudoLine();  // closes both ends and removes the link
  PseudoLine(const PseudoLine&) = delete;
  PseudoLine& operator=(const PseudoLine&) = delete;

  int Master() const { return master_; }             // non-blocking
  const std::string& Path() const { return path_; }  // the serial end
  const std::string& Link() const { return link_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::string link_;
};

}  // namespace brivane::bench

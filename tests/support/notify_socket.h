#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/unique_fd.h"
#include "tests/support/temp_folder.h"

namespace brivane::testkit {

// systemd's side of the notify protocol: a datagram socket in a folder of its own whose
// path a service gets as NOTIFY_SOCKET.
class NotifySocket {
 public:
  NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Waits until a message that has assignment among its lines (e.g. "READY=1") has come;
  // messages are kept, so one that came earlier counts too.
  bool WaitFor(std::string_view assignment, std::chrono::milliseconds timeout);

  // Every message received so far, in order.
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  bool Seen(std::string_view assignment) const;
  // Under /tmp: a socket's path must stay short.
  TempFolder folder_{"brivane-notify", "/tmp"};
  std::filesystem::path path_;
  // Declared after the folder: the socket closes before the folder goes.
  UniqueFd fd_;
  std::vector<std::string> messages_;
};

}  // namespace brivane::testkit

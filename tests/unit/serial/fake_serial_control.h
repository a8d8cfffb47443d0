#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "service/serial/serial_control.h"

namespace brivane::testing {

// A serial control whose ports are plain records: a port missing from the map does
// not exist (8002 on opening); each call is noted in calls.
class FakeSerialControl : public SerialControl {
 public:
  struct Port {
    std::optional<CommError> openError;  // e.g. 8005 while another program holds it
    std::string waiting;                 // the input queue
  };

  int CommPort() const override { return port; }

  std::optional<CommError> SetCommPort(int p) override {
    calls.push_back("set " + std::to_string(p));
    if (setError) {
      return setError;
    }
    if (p < 1 || p > 255) {
      return CommError{8002, "Invalid port number"};
    }
    if (open) {
      return CommError{8005, "Port already open"};
    }
    port = p;
    return std::nullopt;
  }

  bool PortOpen() const override { return open; }

  std::optional<CommError> SetPortOpen(bool o) override {
    calls.push_back((o ? "open " : "close ") + std::to_string(port));
    if (!o) {
      if (closeError) {
        return closeError;
      }
      open = false;
      return std::nullopt;
    }
    if (open) {
      return CommError{8005, "Port already open"};
    }
    auto found = ports.find(port);
    if (found == ports.end()) {
      return CommError{8002, "Invalid port number"};
    }
    if (found->second.openError) {
      return found->second.openError;
    }
    open = true;
    found->second.waiting.clear();  // a closed line received nothing
    return std::nullopt;
  }

  int InBufferCount() override { return open ? static_cast<int>(ports[port].waiting.size()) : 0; }

  std::string Input() override {
    if (!open) {
      return {};
    }
    ++reads;
    return std::exchange(ports[port].waiting, {});
  }

  // Data on the line of port p reaches the queue only while that port is open.
  void Arrive(int p, const std::string& text) {
    if (open && port == p) {
      ports[p].waiting += text;
    }
  }

  std::map<int, Port> ports;
  int port = 1;
  bool open = false;
  std::optional<CommError> setError;
  std::optional<CommError> closeError;
  std::vector<std::string> calls;
  int reads = 0;
};

}  // namespace brivane::testing

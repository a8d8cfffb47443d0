#pragma once

#include <functional>

// The orderly exit that every way out of the running service goes through. Each release
// step is attempted whatever the others did; a step that throws is passed over.
namespace brivane {

struct ExitSteps {
  static constexpr int kConnectionSlots = 100;

  std::function<void()> closeSerialPort;
  std::function<void()> closeListener;
  std::function<void()> closeUdp;
  std::function<bool(int slot)> slotInUse;
  std::function<void(int slot)> closeConnection;
  std::function<void()> destroyConnectionSockets;
  // Ends the run: the process directly, or through the service manager.
  std::function<void()> endRun;
};

// Hands work to the loop, behind every handler already waiting there.
using PostFn = std::function<void(std::function<void()>)>;

// Closes the serial port, lets every waiting event run, closes the listener and the UDP
// socket, closes each connection in use (letting waiting events run after each), destroys
// the connection sockets and ends the run. The event passes are posts, so this returns
// after the first step and the rest follows on the loop.
void RunOrderlyExit(const PostFn& post, ExitSteps steps);

}  // namespace brivane

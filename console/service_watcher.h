#pragma once

#include <QObject>
#include <QThread>
#include <functional>

#include "console/service_checks.h"

// Runs the service checks on a thread of their own, so that a slow or hung service
// manager never holds the window; each reading comes back on the window's thread.
namespace brivane {

class ServiceWatcher : public QObject {
  Q_OBJECT

 public:
  explicit ServiceWatcher(ServiceChecks& checks, QObject* parent = nullptr);
  // Waits for the calls already asked for, so a Start clicked just before the window
  // closes still reaches the service manager.
  ~ServiceWatcher() override;

  // Asks for the service's state; stateRead follows. While a reading is under way a
  // further one is not queued behind it: the next poll asks again.
  void Read();
  void Start();
  void Stop();

 signals:
  void stateRead(brivane::ServiceState state);

 private:
  void OnChecksThread(std::function<void()> call);

  ServiceChecks& checks_;
  QThread thread_;
  // Lives on thread_: calls posted to it run there, one after the other.
  QObject* worker_;
  bool reading_ = false;
};

}  // namespace brivane

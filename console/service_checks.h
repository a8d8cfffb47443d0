#pragma once

#include "common/service_control.h"

// What the console asks of the service manager about the local Brivane service. The
// calls block for as long as the manager takes to answer, so the window makes them on
// a thread of their own (ServiceWatcher). Behind an interface so tests can give the
// service any state, and any delay.
namespace brivane {

class ServiceChecks {
 public:
  virtual ~ServiceChecks() = default;
  virtual ServiceState Read() = 0;
  // Results are not used: the next poll shows what happened.
  virtual void Start() = 0;
  virtual void Stop() = 0;
};

// The service "Brivane" as systemd knows it, over one connection kept between polls.
// Start and Stop let the desktop's polkit agent ask for an administrator's password.
class SystemServiceChecks : public ServiceChecks {
 public:
  ServiceState Read() override;
  void Start() override;
  void Stop() override;

 private:
  ServiceManagerLink link_;
};

}  // namespace brivane

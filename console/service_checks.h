#pragma once

// What the console asks of the service manager about the local Brivane service.
// Behind an interface so tests can give the service any state.
namespace brivane {

class ServiceChecks {
 public:
  virtual ~ServiceChecks() = default;
  virtual bool Exists() = 0;
  virtual bool Running() = 0;
  // Results are not used: the next poll shows what happened.
  virtual void Start() = 0;
  virtual void Stop() = 0;
};

// The service "Brivane" as systemd knows it.
class SystemServiceChecks : public ServiceChecks {
 public:
  bool Exists() override;
  bool Running() override;
  void Start() override;
  void Stop() override;
};

}  // namespace brivane

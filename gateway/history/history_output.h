#pragma once

#include <asio.hpp>
#include <cstdint>

#include "gateway/core/log.h"
#include "gateway/core/output.h"
#include "gateway/history/history_store.h"
#include "gateway/history/minute_aggregator.h"

namespace brivane::gateway {

// Gathers every state into minutes and writes the closed ones once a minute, in one
// transaction; once a day rows older than days go. The stop writes the open minute.
class HistoryOutput : public Output {
 public:
  HistoryOutput(asio::io_context& io, HistoryStore& store, int days);

  void Start();

  void OnState(const DeviceState& state) override;
  void OnAvailability(const DeviceState&) override {}
  void OnBridge(bool) override {}
  void Stop() override;

 private:
  void ArmMinute();
  void OnMinute();
  void Prune(std::int64_t now);

  asio::system_timer timer_;
  HistoryStore& store_;
  int days_;
  MinuteAggregator aggregator_;
  std::int64_t prunedAt_ = 0;
  bool stopped_ = false;
};

}  // namespace brivane::gateway

#include "gateway/history/history_output.h"

#include <chrono>

namespace brivane::gateway {
namespace {

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

HistoryOutput::HistoryOutput(asio::io_context& io, HistoryStore& store, int days)
    : timer_(io), store_(store), days_(days) {}

void HistoryOutput::Start() {
  Prune(UnixNow());
  ArmMinute();
}

void HistoryOutput::OnState(const DeviceState& state) {
  if (!stopped_) {
    aggregator_.Add(state.device, state.json, UnixNow());
  }
}

void HistoryOutput::Stop() {
  stopped_ = true;
  timer_.cancel();
  store_.Write(aggregator_.TakeAll());
}

// Just past the next minute's start, so that the minute before is complete.
void HistoryOutput::ArmMinute() {
  const auto now = std::chrono::system_clock::now();
  const auto next = std::chrono::floor<std::chrono::minutes>(now) + std::chrono::minutes(1) +
                    std::chrono::milliseconds(200);
  timer_.expires_at(next);
  timer_.async_wait([this](const asio::error_code& error) {
    if (!error && !stopped_) {
      OnMinute();
    }
  });
}

void HistoryOutput::OnMinute() {
  const std::int64_t now = UnixNow();
  store_.Write(aggregator_.TakeClosed(now));
  if (now - prunedAt_ >= 86400) {
    Prune(now);
  }
  ArmMinute();
}

void HistoryOutput::Prune(std::int64_t now) {
  prunedAt_ = now;
  store_.DeleteBefore(RetentionCutoff(now, days_));
}

}  // namespace brivane::gateway

#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gateway/core/history_reader.h"
#include "gateway/core/log.h"
#include "gateway/history/aggregate.h"
#include "gateway/history/downsample.h"

struct sqlite3;

namespace brivane::gateway {

// The history database: one row per device and minute holding every numeric value's
// mean, minimum and maximum, and the same per hour for long ranges, kept up to date
// with the minutes. SQLite in WAL mode; each Write is one transaction.
class HistoryStore : public HistoryReader {
 public:
  static constexpr int kVersion = 1;

  explicit HistoryStore(LogFn log);
  ~HistoryStore() override;
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Opens the database or makes it. One that is damaged or written by a later version
  // is moved aside (logged) and a new one started; false only when none can be had.
  bool Open(const std::filesystem::path& path);
  bool IsOpen() const { return db_ != nullptr; }
  const std::filesystem::path& Path() const { return path_; }

  // Minutes, merged with what is already stored for the same device and minute (a
  // restart within the minute), and their hours brought up to date.
  bool Write(const std::vector<SpanRow>& minutes);
  // Rows that began before cutoff (Unix seconds) go.
  bool DeleteBefore(std::int64_t cutoff);

  bool KnowsDevice(const std::string& device) override;
  bool KnowsKey(const std::string& key) override;
  std::vector<HistoryPoint> Query(const std::string& device, const std::string& key,
                                  std::int64_t from, std::int64_t to, int points) override;

 private:
  bool OpenFile(std::string& problem);
  void Close();
  void MoveAside(const std::string& problem);
  bool Exec(const char* sql, std::string* problem = nullptr);
  // Database failures that mean the file itself is bad: moved aside, a new one begun.
  void OnFailure(int code, const std::string& what);
  std::optional<std::int64_t> IdOf(const char* table, const std::string& name, bool make);
  bool UpdateHour(std::int64_t device, std::int64_t hour);

  LogFn log_;
  std::filesystem::path path_;
  sqlite3* db_ = nullptr;
  bool failing_ = false;  // a failure other than damage has been told
  std::map<std::string, std::int64_t> deviceIds_;
  std::map<std::string, std::int64_t> keyIds_;
};

}  // namespace brivane::gateway

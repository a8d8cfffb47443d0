#include "gateway/history/history_store.h"

#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <set>
#include <utility>

#include "gateway/history/value_blob.h"

namespace brivane::gateway {
namespace {

namespace fs = std::filesystem;

// One prepared statement, finalized when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    code_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return code_ == SQLITE_OK || code_ == SQLITE_ROW || code_ == SQLITE_DONE; }
  int Code() const { return code_; }
  Statement& Bind(int at, std::int64_t value) {
    if (Ok()) {
      code_ = sqlite3_bind_int64(statement_, at, value);
    }
    return *this;
  }
  Statement& Bind(int at, const std::string& text) {
    if (Ok()) {
      code_ = sqlite3_bind_text(statement_, at, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT);
    }
    return *this;
  }
  Statement& BindBlob(int at, const std::string& bytes) {
    if (Ok()) {
      code_ = sqlite3_bind_blob(statement_, at, bytes.data(), static_cast<int>(bytes.size()),
                                SQLITE_TRANSIENT);
    }
    return *this;
  }
  // True while a row is there; Ok() tells an error from the end.
  bool Step() {
    if (!Ok()) {
      return false;
    }
    code_ = sqlite3_step(statement_);
    return code_ == SQLITE_ROW;
  }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    code_ = SQLITE_OK;
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string_view Blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? std::string_view()
                           : std::string_view(static_cast<const char*>(data), size);
  }
  std::string Error() const {
    return std::string(sqlite3_errstr(code_)) + ": " + sqlite3_errmsg(db_);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  int code_ = SQLITE_OK;
};

bool FileIsBad(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::string UtcStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS devices(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE IF NOT EXISTS minutes(device INTEGER NOT NULL, time INTEGER NOT NULL,"
    " data BLOB NOT NULL, PRIMARY KEY(device, time)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS hours(device INTEGER NOT NULL, time INTEGER NOT NULL,"
    " data BLOB NOT NULL, PRIMARY KEY(device, time)) WITHOUT ROWID;";

}  // namespace

HistoryStore::HistoryStore(LogFn log) : log_(std::move(log)) {}

HistoryStore::~HistoryStore() {
  Close();
}

void HistoryStore::Close() {
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  deviceIds_.clear();
  keyIds_.clear();
}

bool HistoryStore::Open(const fs::path& path) {
  path_ = path;
  std::string problem;
  if (OpenFile(problem)) {
    return true;
  }
  if (!problem.empty()) {
    MoveAside(problem);
    if (OpenFile(problem)) {
      return true;
    }
  }
  log_(LogLevel::kError, "history database " + path_.string() + " cannot be used: " + problem +
                             "; no history is kept");
  Close();
  return false;
}

// problem is set when the file is there but bad (damaged or from a later version);
// false with it empty means the file cannot be had at all.
bool HistoryStore::OpenFile(std::string& problem) {
  Close();
  problem.clear();
  const int opened =
      sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (opened != SQLITE_OK) {
    log_(LogLevel::kError, "history database " + path_.string() + " cannot be opened: " +
                               (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(opened)) +
                               "; no history is kept");
    Close();
    return false;
  }
  sqlite3_busy_timeout(db_, 2000);
  std::int64_t found = 0;
  {
    Statement version(db_, "PRAGMA user_version");
    if (!version.Step()) {
      if (FileIsBad(version.Code())) {
        problem = "it is damaged (" + version.Error() + ")";
      } else {
        log_(LogLevel::kError, "history database " + path_.string() + ": " + version.Error());
      }
      return false;
    }
    found = version.Int(0);
  }
  if (found > kVersion) {
    problem = "it was written by a later version of brivane-gateway (format " +
              std::to_string(found) + ", this one reads " + std::to_string(kVersion) + ")";
    return false;
  }
  for (const std::string& sql :
       {std::string("PRAGMA journal_mode=WAL"), std::string("PRAGMA synchronous=NORMAL"),
        std::string(kSchema), "PRAGMA user_version=" + std::to_string(kVersion)}) {
    std::string error;
    if (!Exec(sql.c_str(), &error)) {
      if (FileIsBad(sqlite3_errcode(db_))) {
        problem = "it is damaged (" + error + ")";
      } else {
        log_(LogLevel::kError, "history database " + path_.string() + ": " + error);
      }
      return false;
    }
  }
  return true;
}

void HistoryStore::MoveAside(const std::string& problem) {
  Close();
  const fs::path aside = path_.string() + ".broken-" + UtcStamp();
  std::error_code error;
  fs::rename(path_, aside, error);
  if (error) {
    log_(LogLevel::kError, "history database " + path_.string() + ": " + problem +
                               ", and it cannot be moved aside: " + error.message());
    return;
  }
  for (const char* tail : {"-wal", "-shm"}) {
    std::error_code ignored;
    fs::rename(path_.string() + tail, aside.string() + tail, ignored);
  }
  log_(LogLevel::kError, "history database " + path_.string() + ": " + problem +
                             "; moved aside to " + aside.string() + " and a new one started");
}

bool HistoryStore::Exec(const char* sql, std::string* problem) {
  char* message = nullptr;
  const int code = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  if (code != SQLITE_OK) {
    if (problem) {
      *problem = std::string(sqlite3_errstr(code)) + ": " + (message ? message : "");
    }
    sqlite3_free(message);
    return false;
  }
  return true;
}

void HistoryStore::OnFailure(int code, const std::string& what) {
  if (FileIsBad(code)) {
    MoveAside("it is damaged (" + what + ")");
    std::string problem;
    if (!OpenFile(problem)) {
      log_(LogLevel::kError, "history database " + path_.string() +
                                 ": no new one could be started; no history is kept");
      Close();
    }
    return;
  }
  // A lasting trouble (a full disk, a lock held by another program) is told once, not
  // every minute; the first write that goes through again says so.
  if (!failing_) {
    failing_ = true;
    log_(LogLevel::kWarning, "history database " + path_.string() + ": " + what);
  }
}

std::optional<std::int64_t> HistoryStore::IdOf(const char* table, const std::string& name,
                                               bool make) {
  auto& cache = std::string_view(table) == "devices" ? deviceIds_ : keyIds_;
  if (auto found = cache.find(name); found != cache.end()) {
    return found->second;
  }
  const std::string select = std::string("SELECT id FROM ") + table + " WHERE name=?";
  Statement query(db_, select.c_str());
  query.Bind(1, name);
  if (query.Step()) {
    return cache[name] = query.Int(0);
  }
  if (!make || !query.Ok()) {
    return std::nullopt;
  }
  const std::string insert = std::string("INSERT INTO ") + table + "(name) VALUES(?)";
  Statement add(db_, insert.c_str());
  add.Bind(1, name).Step();
  if (!add.Ok()) {
    return std::nullopt;
  }
  return cache[name] = sqlite3_last_insert_rowid(db_);
}

bool HistoryStore::Write(const std::vector<SpanRow>& minutes) {
  if (db_ == nullptr || minutes.empty()) {
    return db_ != nullptr;
  }
  if (!Exec("BEGIN IMMEDIATE")) {
    OnFailure(sqlite3_errcode(db_), std::string("cannot begin: ") + sqlite3_errmsg(db_));
    return false;
  }
  // Ids made inside a transaction that is rolled back must not stay cached.
  const auto devicesBefore = deviceIds_;
  const auto keysBefore = keyIds_;
  bool ok = true;
  std::string failure;
  std::set<std::pair<std::int64_t, std::int64_t>> hours;
  {
    Statement existing(db_, "SELECT data FROM minutes WHERE device=? AND time=?");
    Statement put(db_, "INSERT OR REPLACE INTO minutes(device, time, data) VALUES(?,?,?)");
    for (const SpanRow& row : minutes) {
      const auto device = IdOf("devices", row.device, true);
      if (!device) {
        ok = false;
        failure = sqlite3_errmsg(db_);
        break;
      }
      NumberedAggregates values;
      for (const auto& [key, value] : row.values) {
        const auto id = IdOf("keys", key, true);
        if (!id) {
          ok = false;
          break;
        }
        values[static_cast<unsigned>(*id)].Merge(value);
      }
      if (!ok) {
        failure = sqlite3_errmsg(db_);
        break;
      }
      existing.Reset();
      if (existing.Bind(1, *device).Bind(2, row.time).Step()) {
        if (auto stored = DecodeValues(existing.Blob(0))) {
          for (const auto& [key, value] : *stored) {
            values[key].Merge(value);
          }
        }
      }
      put.Reset();
      put.Bind(1, *device).Bind(2, row.time).BindBlob(3, EncodeValues(values)).Step();
      if (!existing.Ok() || !put.Ok()) {
        ok = false;
        failure = !put.Ok() ? put.Error() : existing.Error();
        break;
      }
      hours.insert({*device, row.time - row.time % kHour});
    }
  }
  for (const auto& [device, hour] : hours) {
    if (!ok) {
      break;
    }
    ok = UpdateHour(device, hour);
    if (!ok) {
      failure = sqlite3_errmsg(db_);
    }
  }
  if (ok && Exec("COMMIT", &failure)) {
    if (failing_) {
      failing_ = false;
      log_(LogLevel::kInfo, "history database " + path_.string() + ": minutes written again");
    }
    return true;
  }
  const int code = sqlite3_errcode(db_);
  Exec("ROLLBACK");
  deviceIds_ = devicesBefore;
  keyIds_ = keysBefore;
  OnFailure(code, "minutes not written: " + failure);
  return false;
}

bool HistoryStore::UpdateHour(std::int64_t device, std::int64_t hour) {
  Statement minutes(db_, "SELECT data FROM minutes WHERE device=? AND time>=? AND time<?");
  minutes.Bind(1, device).Bind(2, hour).Bind(3, hour + kHour);
  NumberedAggregates merged;
  while (minutes.Step()) {
    if (auto values = DecodeValues(minutes.Blob(0))) {
      for (const auto& [key, value] : *values) {
        merged[key].Merge(value);
      }
    }
  }
  if (!minutes.Ok()) {
    return false;
  }
  Statement put(db_, "INSERT OR REPLACE INTO hours(device, time, data) VALUES(?,?,?)");
  put.Bind(1, device).Bind(2, hour).BindBlob(3, EncodeValues(merged)).Step();
  return put.Ok();
}

bool HistoryStore::DeleteBefore(std::int64_t cutoff) {
  if (db_ == nullptr) {
    return false;
  }
  for (const char* sql : {"DELETE FROM minutes WHERE time<?", "DELETE FROM hours WHERE time<?"}) {
    Statement remove(db_, sql);
    remove.Bind(1, cutoff).Step();
    if (!remove.Ok()) {
      OnFailure(remove.Code(), "old rows not deleted: " + remove.Error());
      return false;
    }
  }
  return true;
}

bool HistoryStore::KnowsDevice(const std::string& device) {
  return db_ != nullptr && IdOf("devices", device, false).has_value();
}

bool HistoryStore::KnowsKey(const std::string& key) {
  return db_ != nullptr && IdOf("keys", key, false).has_value();
}

std::vector<HistoryPoint> HistoryStore::Query(const std::string& device, const std::string& key,
                                              std::int64_t from, std::int64_t to, int points) {
  if (db_ == nullptr) {
    return {};
  }
  const auto deviceId = IdOf("devices", device, false);
  const auto keyId = IdOf("keys", key, false);
  if (!deviceId || !keyId) {
    return {};
  }
  const std::int64_t resolution = ResolutionFor(from, to, points);
  Statement rows(db_, resolution == kHour
                          ? "SELECT time, data FROM hours WHERE device=? AND time>? AND time<? "
                            "ORDER BY time"
                          : "SELECT time, data FROM minutes WHERE device=? AND time>? AND "
                            "time<? ORDER BY time");
  rows.Bind(1, *deviceId).Bind(2, from - resolution).Bind(3, to);
  std::vector<std::pair<std::int64_t, Aggregate>> series;
  while (rows.Step()) {
    if (auto value = DecodeValue(rows.Blob(1), static_cast<unsigned>(*keyId))) {
      series.emplace_back(rows.Int(0), *value);
    }
  }
  if (!rows.Ok()) {
    OnFailure(rows.Code(), "history not read: " + rows.Error());
    return {};
  }
  return Downsample(series, from, to, points, resolution);
}

}  // namespace brivane::gateway

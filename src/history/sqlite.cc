#include "history/sqlite.h"

#include <cmath>
#include <cstring>

#include "core/stop_signal.h"
#include "history/sqlite_library.h"

namespace {

// Once a stop signal has come, how long a busy database is still waited
// for, so that the run ends promptly.
constexpr int kStoppedBusyMilliseconds = 1000;
// The pause between two tries.
constexpr int kBusyPauseMilliseconds = 10;

// SQLite's busy handler: another connection writes the file; tries again
// after a pause, for busy_milliseconds in all, or less after a stop signal.
// count is how many times it was called for this statement.
int WaitWhileBusy(void* busy_milliseconds, int count) {
  const int waited = count * kBusyPauseMilliseconds;
  const int limit =
      StopSignal() != 0 ? kStoppedBusyMilliseconds : *static_cast<const int*>(busy_milliseconds);
  if (waited >= limit) return 0;
  Sqlite().sleep(kBusyPauseMilliseconds);
  return 1;
}

}  // namespace

void TDatabase::TCloser::operator()(sqlite3* db) const { Sqlite().close_v2(db); }

void TDatabase::TFinalizer::operator()(sqlite3_stmt* statement) const {
  Sqlite().finalize(statement);
}

bool TDatabase::Open(const std::string& path, int flags, int busy_milliseconds) {
  Close();
  std::string reason;
  if (LoadSqlite(reason) == nullptr) return Fail(reason);
  sqlite3* db = nullptr;
  const int code = Sqlite().open_v2(path.c_str(), &db, flags, nullptr);
  db_.reset(db);
  if (code != SQLITE_OK) {
    error_code_ = code;
    error_ = db != nullptr ? Sqlite().errmsg(db) : Sqlite().errstr(code);
    db_.reset();
    return false;
  }
  Sqlite().extended_result_codes(db, 0);
  busy_milliseconds_ = std::make_unique<int>(busy_milliseconds);
  Sqlite().busy_handler(db, WaitWhileBusy, busy_milliseconds_.get());
  return true;
}

bool TDatabase::Fail() {
  if (!db_) return Fail("not open");
  error_code_ = Sqlite().errcode(db_.get());
  error_ = Sqlite().errmsg(db_.get());
  // What the system said, where SQLite's words alone ("disk I/O error")
  // would not tell a full disk from a failing one.
  const int system_error = Sqlite().system_errno(db_.get());
  if (system_error != 0 && (error_code_ == SQLITE_IOERR || error_code_ == SQLITE_FULL ||
                            error_code_ == SQLITE_CANTOPEN)) {
    error_ += std::string(" (") + std::strerror(system_error) + ")";
  }
  return false;
}

bool TDatabase::Fail(std::string reason) {
  error_code_ = SQLITE_ERROR;
  error_ = std::move(reason);
  return false;
}

bool TDatabase::WaitWhenBusy(int code, int& tries) {
  return code == SQLITE_BUSY && WaitWhileBusy(busy_milliseconds_.get(), tries++) != 0;
}

bool TDatabase::Execute(const char* sql) {
  if (!db_) return Fail();
  for (int tries = 0;;) {
    const int code = Sqlite().exec(db_.get(), sql, nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) return true;
    if (!WaitWhenBusy(code, tries)) return Fail();
  }
}

bool TDatabase::FirstRow(TStatement& statement, const char* sql) {
  if (statement.Next()) return true;
  if (!statement.Failed()) Fail(std::string("no row from ") + sql);
  return false;
}

std::optional<std::int64_t> TDatabase::Integer(const char* sql) {
  TStatement statement(*this, sql);
  return FirstRow(statement, sql) ? statement.Integer(0) : std::nullopt;
}

std::optional<std::string> TDatabase::Text(const char* sql) {
  TStatement statement(*this, sql);
  return FirstRow(statement, sql) ? statement.Text(0) : std::nullopt;
}

sqlite3_stmt* TDatabase::Prepare(const char* sql, bool& cached) {
  cached = false;
  if (!db_) {
    Fail();
    return nullptr;
  }
  auto found = prepared_.find(sql);
  if (found != prepared_.end() && !found->second.second) {
    found->second.second = true;
    cached = true;
    return found->second.first.get();
  }
  sqlite3_stmt* statement = nullptr;
  if (Sqlite().prepare_v3(db_.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
      SQLITE_OK) {
    Sqlite().finalize(statement);
    Fail();
    return nullptr;
  }
  if (found == prepared_.end()) {
    prepared_.emplace(sql, std::make_pair(TPrepared(statement), true));
    cached = true;
  }
  return statement;
}

void TDatabase::Return(sqlite3_stmt* statement) {
  Sqlite().reset(statement);
  Sqlite().clear_bindings(statement);
  for (auto& entry : prepared_) {
    if (entry.second.first.get() == statement) entry.second.second = false;
  }
}

TStatement::TStatement(TDatabase& db, const char* sql) : db_(db) {
  statement_ = db.Prepare(sql, cached_);
  failed_ = statement_ == nullptr;
}

TStatement::~TStatement() {
  if (statement_ == nullptr) return;
  if (cached_) {
    db_.Return(statement_);
  } else {
    Sqlite().finalize(statement_);
  }
}

TStatement& TStatement::Bind(int index, std::int64_t value) {
  if (statement_) Sqlite().bind_int64(statement_, index, value);
  return *this;
}

TStatement& TStatement::Bind(int index, double value) {
  if (statement_) Sqlite().bind_double(statement_, index, value);
  return *this;
}

TStatement& TStatement::Bind(int index, std::string_view text) {
  if (statement_) {
    Sqlite().bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                         SQLITE_UTF8);
  }
  return *this;
}

TStatement& TStatement::Bind(int index, const std::optional<std::int64_t>& value) {
  return value ? Bind(index, *value) : BindNull(index);
}

TStatement& TStatement::Bind(int index, const std::optional<double>& value) {
  return value ? Bind(index, *value) : BindNull(index);
}

TStatement& TStatement::Bind(int index, const std::optional<std::string>& text) {
  return text ? Bind(index, std::string_view(*text)) : BindNull(index);
}

TStatement& TStatement::BindNull(int index) {
  if (statement_) Sqlite().bind_null(statement_, index);
  return *this;
}

bool TStatement::Next() {
  if (!statement_ || failed_) return false;
  for (int tries = 0;;) {
    const int code = Sqlite().step(statement_);
    if (code == SQLITE_ROW) {
      stepped_ = true;
      return true;
    }
    if (code == SQLITE_DONE) return false;
    // Busy before it gave a row: begun again, as for a busy file.
    if (stepped_ || !db_.WaitWhenBusy(code, tries)) break;
    Sqlite().reset(statement_);
  }
  failed_ = true;
  db_.Fail();
  return false;
}

bool TStatement::Run() {
  Next();
  return !failed_;
}

void TStatement::Reset() {
  stepped_ = false;
  if (statement_ == nullptr) return;
  Sqlite().reset(statement_);
  Sqlite().clear_bindings(statement_);
  failed_ = false;
}

std::optional<std::int64_t> TStatement::Integer(int column) const {
  if (!statement_) return std::nullopt;
  switch (Sqlite().column_type(statement_, column)) {
    case SQLITE_INTEGER: return Sqlite().column_int64(statement_, column);
    case SQLITE_FLOAT: {
      // A whole number that the file holds as a real.
      const double value = Sqlite().column_double(statement_, column);
      if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e18) {
        return static_cast<std::int64_t>(value);
      }
      return std::nullopt;
    }
    default: return std::nullopt;
  }
}

std::optional<double> TStatement::Real(int column) const {
  if (!statement_) return std::nullopt;
  switch (Sqlite().column_type(statement_, column)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return Sqlite().column_double(statement_, column);
    default: return std::nullopt;
  }
}

std::optional<std::string> TStatement::Text(int column) const {
  if (!statement_) return std::nullopt;
  const int type = Sqlite().column_type(statement_, column);
  if (type != SQLITE_TEXT && type != SQLITE_BLOB) return std::nullopt;
  // As the bytes stand, NUL bytes included.
  const void* bytes = type == SQLITE_TEXT
                          ? static_cast<const void*>(Sqlite().column_text(statement_, column))
                          : Sqlite().column_blob(statement_, column);
  const int size = Sqlite().column_bytes(statement_, column);
  if (bytes == nullptr || size <= 0) return std::string();
  return std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

std::int64_t TDatabase::LastInsertId() const {
  return db_ ? Sqlite().last_insert_rowid(db_.get()) : 0;
}

TTransaction::~TTransaction() {
  if (open_) Sqlite().exec(db_.db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

bool TTransaction::Commit() {
  if (!open_) return false;
  open_ = false;
  if (Sqlite().exec(db_.db_.get(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  db_.Fail();
  Sqlite().exec(db_.db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

#ifndef VELMORJOB_HISTORY_SQLITE_H_
#define VELMORJOB_HISTORY_SQLITE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

// A thin hold on the system's SQLite library (loaded when the first
// database is opened, see sqlite_library.h): a connection, a statement and
// a transaction, each released by its destructor. Failures are results, not
// exceptions: each call returns whether it worked, and the connection keeps
// the reason of the last failure as SQLite words it ("database is locked",
// "file is not a database").

class TStatement;

class TDatabase {
 public:
  TDatabase() = default;
  ~TDatabase() { Close(); }
  TDatabase(TDatabase&&) noexcept = default;
  TDatabase& operator=(TDatabase&&) noexcept = default;

  // Opens the file at path with SQLite's open flags. A busy database is
  // waited for up to busy_milliseconds before a statement gives up, or a
  // second once a stop signal has come.
  bool Open(const std::string& path, int flags, int busy_milliseconds);
  void Close() {
    prepared_.clear();
    db_.reset();
  }
  bool IsOpen() const { return db_ != nullptr; }

  // Runs statements that return no rows.
  bool Execute(const char* sql);
  // The value of a statement that returns one integer, such as a PRAGMA.
  std::optional<std::int64_t> Integer(const char* sql);
  // The same for one text.
  std::optional<std::string> Text(const char* sql);

  // Why the last call failed.
  const std::string& Error() const { return error_; }
  // SQLite's primary result code of the last failure.
  int ErrorCode() const { return error_code_; }
  // The row id of the last row inserted through this connection.
  std::int64_t LastInsertId() const;
  // The connection itself, for a test that writes rows with the SQLite
  // library it links (a database in memory is the connection's alone).
  sqlite3* Handle() const { return db_.get(); }

  // Takes the failure of the last call on the connection; returns false.
  bool Fail();
  // A failure found by the caller rather than by SQLite.
  bool Fail(std::string reason);

 private:
  friend class TStatement;
  friend class TTransaction;
  struct TCloser {
    void operator()(sqlite3* db) const;
  };
  struct TFinalizer {
    void operator()(sqlite3_stmt* statement) const;
  };
  using TPrepared = std::unique_ptr<sqlite3_stmt, TFinalizer>;
  // A statement prepared before, by its text, when no TStatement holds it
  // now; a new one otherwise. Null on failure.
  sqlite3_stmt* Prepare(const char* sql, bool& cached);
  // Hands a statement taken from the cache back to it, ready to run again.
  void Return(sqlite3_stmt* statement);
  // Steps to the statement's first row; false, with the reason, when it
  // has none.
  bool FirstRow(TStatement& statement, const char* sql);
  // Whether a statement that failed with code is to be tried again: the
  // file was busy (SQLite does not always wait itself, as when another
  // connection starts or changes the log), and the wait allowed is not
  // over. Waits a moment first; tries counts the tries.
  bool WaitWhenBusy(int code, int& tries);

  // What the busy handler reads, at a place that stays when this moves.
  std::unique_ptr<int> busy_milliseconds_;
  std::unique_ptr<sqlite3, TCloser> db_;
  // Each statement prepared once for the connection, and whether one is
  // in use: a run prepares each of its statements once, not once a step.
  std::map<std::string, std::pair<TPrepared, bool>> prepared_;
  std::string error_;
  int error_code_ = SQLITE_OK;
};

// One prepared statement, taken from the connection's cache of them and
// handed back when it goes. Parameters are numbered from 1, columns from 0.
class TStatement {
 public:
  TStatement(TDatabase& db, const char* sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  bool Prepared() const { return statement_ != nullptr; }

  TStatement& Bind(int index, std::int64_t value);
  TStatement& Bind(int index, double value);
  TStatement& Bind(int index, std::string_view text);
  TStatement& Bind(int index, const std::optional<std::int64_t>& value);
  TStatement& Bind(int index, const std::optional<double>& value);
  TStatement& Bind(int index, const std::optional<std::string>& text);
  TStatement& BindNull(int index);

  // Steps to the next row: true while there is one. False at the end and on
  // failure, which Failed() tells apart.
  bool Next();
  // Runs a statement that returns no row; false on failure.
  bool Run();
  bool Failed() const { return failed_; }
  // Makes the statement ready to run again with new parameters.
  void Reset();

  // A column as what it holds, whatever type the file gave it: nothing for
  // NULL, and for a value that is not of the type asked (a text where a
  // number belongs, a number past what the type holds).
  std::optional<std::int64_t> Integer(int column) const;
  std::optional<double> Real(int column) const;
  std::optional<std::string> Text(int column) const;

 private:
  TDatabase& db_;
  sqlite3_stmt* statement_ = nullptr;
  // Whether the statement is the cache's, or its own to finalize.
  bool cached_ = false;
  bool failed_ = false;
  // Whether it gave a row since it was last reset.
  bool stepped_ = false;
};

// A transaction that takes the write lock at once (BEGIN IMMEDIATE), so
// that a busy database is waited for at its start and not found busy
// halfway. Rolled back unless committed.
class TTransaction {
 public:
  explicit TTransaction(TDatabase& db) : db_(db), open_(db.Execute("BEGIN IMMEDIATE")) {}
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;

  bool Began() const { return open_; }
  bool Commit();

 private:
  TDatabase& db_;
  bool open_;
};

#endif  // VELMORJOB_HISTORY_SQLITE_H_

#ifndef VELMORJOB_HISTORY_SQLITE_LIBRARY_H_
#define VELMORJOB_HISTORY_SQLITE_LIBRARY_H_

#include <sqlite3.h>
#include <string>

// The functions of the system's SQLite library that the history uses. The
// library is loaded the first time a history is opened, not when the
// program starts: a run without --history, and the lookup of a job in a
// large file, neither wait for it nor hold it in memory.
struct TSqliteLibrary {
  decltype(&sqlite3_open_v2) open_v2;
  decltype(&sqlite3_close_v2) close_v2;
  decltype(&sqlite3_errmsg) errmsg;
  decltype(&sqlite3_errstr) errstr;
  decltype(&sqlite3_errcode) errcode;
  decltype(&sqlite3_system_errno) system_errno;
  decltype(&sqlite3_extended_result_codes) extended_result_codes;
  decltype(&sqlite3_busy_handler) busy_handler;
  decltype(&sqlite3_sleep) sleep;
  decltype(&sqlite3_exec) exec;
  decltype(&sqlite3_prepare_v3) prepare_v3;
  decltype(&sqlite3_finalize) finalize;
  decltype(&sqlite3_reset) reset;
  decltype(&sqlite3_clear_bindings) clear_bindings;
  decltype(&sqlite3_bind_int64) bind_int64;
  decltype(&sqlite3_bind_double) bind_double;
  decltype(&sqlite3_bind_text64) bind_text64;
  decltype(&sqlite3_bind_null) bind_null;
  decltype(&sqlite3_step) step;
  decltype(&sqlite3_column_type) column_type;
  decltype(&sqlite3_column_int64) column_int64;
  decltype(&sqlite3_column_double) column_double;
  decltype(&sqlite3_column_text) column_text;
  decltype(&sqlite3_column_blob) column_blob;
  decltype(&sqlite3_column_bytes) column_bytes;
  decltype(&sqlite3_last_insert_rowid) last_insert_rowid;
};

// The library's soname, as Debian's package libsqlite3-0 installs it.
inline constexpr char kSqliteLibrary[] = "libsqlite3.so.0";

// The library, loaded the first time it is asked for and kept for the life
// of the process; null, with the reason, when it cannot be loaded (not
// installed, or too old to have one of the functions).
const TSqliteLibrary* LoadSqlite(std::string& reason);

// The library once LoadSqlite has loaded it: what an open database and its
// statements call.
const TSqliteLibrary& Sqlite();

#endif  // VELMORJOB_HISTORY_SQLITE_LIBRARY_H_

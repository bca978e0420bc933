#include "history/history_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "core/descriptor.h"
#include "report/path_walk.h"

const THistoryMigration kHistoryMigrations[] = {
    {1,
     // One row a run: written as running when it starts, and completed when
     // it ends. Times are milliseconds since the epoch, durations seconds.
     "PRAGMA application_id = 1447710530;"  // kHistoryApplicationId
     "CREATE TABLE velmorjob_runs ("
     "  id INTEGER PRIMARY KEY,"
     "  run_id TEXT NOT NULL UNIQUE,"
     "  job TEXT NOT NULL,"
     "  config_file TEXT NOT NULL,"
     "  working_directory TEXT NOT NULL,"
     "  host TEXT NOT NULL,"
     "  pid INTEGER NOT NULL,"
     "  boot_id TEXT NOT NULL,"
     "  process_start INTEGER NOT NULL,"
     "  from_step INTEGER NOT NULL,"
     "  steps INTEGER,"
     "  timeout REAL,"
     "  job_timeout REAL,"
     "  retries INTEGER NOT NULL,"
     "  retry_delay REAL NOT NULL,"
     "  retry_on TEXT,"
     "  start_time INTEGER NOT NULL,"
     "  end_time INTEGER,"
     "  exit_status INTEGER,"
     "  result TEXT NOT NULL,"
     "  first_failed_step INTEGER,"
     "  config_errors_not_kept INTEGER NOT NULL DEFAULT 0);"
     "CREATE INDEX velmorjob_runs_by_job ON velmorjob_runs (job, start_time);"
     "CREATE INDEX velmorjob_runs_by_result ON velmorjob_runs (job, result, start_time);"
     "CREATE INDEX velmorjob_runs_by_start ON velmorjob_runs (start_time);"
     // One row an attempt at a step: written when it starts, completed when
     // it ends (duration null until then).
     "CREATE TABLE velmorjob_attempts ("
     "  run INTEGER NOT NULL REFERENCES velmorjob_runs (id) ON DELETE CASCADE,"
     "  number INTEGER NOT NULL,"
     "  attempt INTEGER NOT NULL,"
     "  kind TEXT NOT NULL,"
     "  program TEXT NOT NULL,"
     "  command TEXT NOT NULL,"
     "  start_time INTEGER NOT NULL,"
     "  duration REAL,"
     "  exit_status INTEGER,"
     "  signal INTEGER,"
     "  timed_out INTEGER,"
     "  stopped TEXT,"
     "  output_tail BLOB,"
     "  output_bytes INTEGER,"
     "  UNIQUE (run, number, attempt));"
     // The configuration errors a run printed, as its report has them.
     "CREATE TABLE velmorjob_config_errors ("
     "  run INTEGER NOT NULL REFERENCES velmorjob_runs (id) ON DELETE CASCADE,"
     "  position INTEGER NOT NULL,"
     "  line INTEGER,"
     "  message TEXT NOT NULL,"
     "  reason TEXT,"
     "  UNIQUE (run, position));"},
    {0, nullptr},
};

const char* const kHistoryTables[] = {"velmorjob_runs", "velmorjob_attempts",
                                      "velmorjob_config_errors", nullptr};

namespace {

// File systems whose locking SQLite's write-ahead log cannot rely on.
const long kNetworkFileSystems[] = {
    0x6969,      // NFS
    0x517B,      // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x00C36400,  // Ceph
    0x5346414F,  // AFS
    0x01021997,  // 9P
    0x65735546,  // FUSE (sshfs and the like)
};

const char* Refused(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// Creates the missing file through the directory the walk reached, readable
// and writable by its owner alone, and makes its name last.
bool Create(const TResolvedPath& where, std::string& reason) {
  TDescriptor file(openat(where.directory.get(), where.name.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.valid()) {
    // Made meanwhile by another run: it is opened as it is.
    if (errno == EEXIST) return true;
    reason = std::strerror(errno);
    return false;
  }
  if (fchmod(file.get(), 0600) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  const TDescriptor directory(openat(where.directory.get(), ".", O_RDONLY | O_CLOEXEC));
  if (directory.valid()) fsync(directory.get());
  return true;
}

// The directory the walk reached, as a path without links: SQLite opens
// files by their path, and refuses one with a link in it (a directory
// swapped for a link since the walk) when opened with SQLITE_OPEN_NOFOLLOW.
bool PathWithoutLinks(const TResolvedPath& where, std::string& path, std::string& reason) {
  char text[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(where.directory.get());
  const ssize_t length = readlink(link.c_str(), text, sizeof text);
  if (length <= 0 || static_cast<std::size_t>(length) == sizeof text || text[0] != '/') {
    reason = "cannot name the directory " + where.directory_path;
    return false;
  }
  path.assign(text, static_cast<std::size_t>(length));
  if (path != "/") path += '/';
  path += where.name;
  return true;
}

bool HasTable(TDatabase& db, const char* name, bool& has) {
  TStatement statement(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  statement.Bind(1, std::string_view(name));
  has = statement.Next();
  return !statement.Failed();
}

// Says what the open file is, and brings it to this version when it is an
// earlier one of velmorjob's.
// What the file says it is: its application id, the version of its schema
// and how many tables it holds, read in one statement, so in one reading of
// the file (another run may be giving a new file its schema meanwhile).
// The statement is done with when this returns: a reading left open would
// keep the other run from writing what this one then waits for.
bool ReadHeader(TDatabase& db, std::int64_t& application, std::int64_t& version,
                std::int64_t& tables, std::string& reason) {
  TStatement header(db,
                    "SELECT application_id, user_version, "
                    "(SELECT count(*) FROM sqlite_master WHERE type = 'table') "
                    "FROM pragma_application_id, pragma_user_version");
  if (header.Next()) {
    const std::optional<std::int64_t> values[] = {header.Integer(0), header.Integer(1),
                                                  header.Integer(2)};
    if (values[0] && values[1] && values[2]) {
      application = *values[0];
      version = *values[1];
      tables = *values[2];
      return true;
    }
  }
  reason = header.Failed() ? db.Error() : "it cannot be read as a database";
  return false;
}

bool Adopt(TDatabase& db, std::string& reason) {
  std::int64_t application = 0;
  std::int64_t version = 0;
  std::int64_t tables = 0;
  if (!ReadHeader(db, application, version, tables, reason)) return false;
  const bool empty = application == 0 && version == 0 && tables == 0;
  if (!empty && application != kHistoryApplicationId) {
    reason = "it is a database of another program";
    return false;
  }
  if (version > kHistoryVersion) {
    reason = "it was written by a later version of velmorjob (schema " + std::to_string(version) +
             "; this one reads up to " + std::to_string(kHistoryVersion) + ")";
    return false;
  }
  if (version < kHistoryVersion && !UpgradeHistory(db, kHistoryMigrations)) {
    reason = db.Error();
    return false;
  }
  for (const char* const* table = kHistoryTables; *table != nullptr; ++table) {
    bool has = false;
    if (!HasTable(db, *table, has)) {
      reason = db.Error();
      return false;
    }
    if (!has) {
      reason = std::string("it is damaged: table ") + *table + " is missing";
      return false;
    }
  }
  return true;
}

}  // namespace

bool WriteAheadLogWorksOn(long file_system_type) {
  for (const long network : kNetworkFileSystems) {
    if (file_system_type == network) return false;
  }
  return true;
}

bool UpgradeHistory(TDatabase& db, const THistoryMigration* migrations) {
  for (const THistoryMigration* step = migrations; step->sql != nullptr; ++step) {
    TTransaction transaction(db);
    if (!transaction.Began()) return false;
    // Another run may have taken the file this far while this one waited.
    const std::optional<std::int64_t> version = db.Integer("PRAGMA user_version");
    if (!version) return false;
    if (*version >= step->to_version) continue;
    const std::string set_version = "PRAGMA user_version = " + std::to_string(step->to_version);
    if (!db.Execute(step->sql) || !db.Execute(set_version.c_str()) || !transaction.Commit()) {
      return false;
    }
  }
  return true;
}

bool OpenHistory(const std::string& path, THistoryAccess access, TDatabase& db,
                 std::string& reason) {
  db.Close();
  TResolvedPath where;
  if (!WalkPath(path, where, reason)) return false;
  if (where.unreachable != 0) {
    reason = std::strerror(where.unreachable);
    return false;
  }
  if (where.exists && (!S_ISREG(where.status.st_mode) || where.kernel_link)) {
    reason = std::string("it is ") + (where.linked ? "a symbolic link to " : "") +
             (where.kernel_link && S_ISREG(where.status.st_mode) ? "a file that cannot be named"
                                                                 : Refused(where.status.st_mode));
    return false;
  }
  if (!where.exists && !path.empty() && path.back() == '/') {
    reason = std::strerror(EISDIR);
    return false;
  }
  if (!where.exists) {
    if (access == THistoryAccess::kRead) {
      reason = std::strerror(ENOENT);
      return false;
    }
    if (!Create(where, reason)) return false;
  }
  std::string file;
  if (!PathWithoutLinks(where, file, reason)) return false;
  struct statfs system = {};
  const bool write_ahead =
      fstatfs(where.directory.get(), &system) != 0 || WriteAheadLogWorksOn(system.f_type);

  // SQLite opens the file read-only by itself when it may not write it.
  if (!db.Open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, kHistoryBusyMilliseconds) ||
      !Adopt(db, reason)) {
    if (reason.empty()) reason = db.Error();
    db.Close();
    return false;
  }
  // A small page cache: a run touches a few pages at each moment, and
  // --status a few for each job; the file's pages stay in the kernel's
  // cache anyway.
  if (!db.Execute("PRAGMA cache_size = -256")) {
    reason = db.Error();
    db.Close();
    return false;
  }
  if (access == THistoryAccess::kRead) return true;
  // The journal's mode is kept in the file, and set once; the others are
  // the connection's.
  const std::optional<std::string> mode = db.Text("PRAGMA journal_mode");
  const char* wanted = write_ahead ? "wal" : "delete";
  if (!mode ||
      (*mode != wanted &&
       !db.Text(write_ahead ? "PRAGMA journal_mode = WAL" : "PRAGMA journal_mode = DELETE")) ||
      !db.Execute("PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON")) {
    reason = db.Error();
    db.Close();
    return false;
  }
  return true;
}

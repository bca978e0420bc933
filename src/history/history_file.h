#ifndef VELMORJOB_HISTORY_HISTORY_FILE_H_
#define VELMORJOB_HISTORY_HISTORY_FILE_H_

#include <string>
#include <vector>

#include "history/sqlite.h"

// The history file (--history=FILE): an SQLite database of the runs of one
// or more jobs, written by each run as it goes and read by --runs and
// --status.
//
// Its schema carries a version (PRAGMA user_version) and its format an
// application id (PRAGMA application_id), so that a file of another program
// is told apart and left as it is. A file of an earlier version is brought
// up to this one step by step, each step in one transaction; a file of a
// later version is refused.
//
// What is at FILE is found as for the run report: links of other users are
// refused, and only a regular file is opened. A missing file is created
// 0600 (the commands it keeps hold settings, passwords included); SQLite's
// journal files beside it take its mode. On a network file system, where
// SQLite's write-ahead log does not work, the rollback journal is used.

// The version of the schema this program writes.
constexpr int kHistoryVersion = 1;
// "VJOB": the application id of a velmorjob history.
constexpr int kHistoryApplicationId = 0x564A4F42;
// How long a statement waits for a database another run is writing.
constexpr int kHistoryBusyMilliseconds = 10000;

// The step that takes a file of version to_version - 1 to to_version.
struct THistoryMigration {
  int to_version;
  const char* sql;
};

// Every step from an empty file to kHistoryVersion, in order, ended by a
// row whose sql is null.
extern const THistoryMigration kHistoryMigrations[];

// The tables a file of this version must hold, ended by a null.
extern const char* const kHistoryTables[];

enum class THistoryAccess { kWrite, kRead };

// Opens the history at path. For kWrite a missing file is created, an empty
// one given the schema and an earlier one upgraded; for kRead nothing is
// written. False, with reason, when the file cannot be used: "it is a
// directory", "it is a symbolic link owned by user 1001", "file is not a
// database", "it holds tables of another program", "it was written by a
// later version of velmorjob (schema 2; this one reads up to 1)", "it is
// damaged: table velmorjob_attempts is missing".
bool OpenHistory(const std::string& path, THistoryAccess access, TDatabase& db,
                 std::string& reason);

// Brings the open database from its version up to the last of the
// migrations given (a table ended as kHistoryMigrations is), each step with
// its new version in a transaction of its own. False, with the database's
// error, when a step fails: the file stays at the last version reached.
bool UpgradeHistory(TDatabase& db, const THistoryMigration* migrations);

// Whether SQLite's write-ahead log can be used on a file system of this
// type (statfs's f_type): not on a network file system.
bool WriteAheadLogWorksOn(long file_system_type);

#endif  // VELMORJOB_HISTORY_HISTORY_FILE_H_

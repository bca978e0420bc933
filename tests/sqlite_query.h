#ifndef VELMORJOB_TESTS_SQLITE_QUERY_H_
#define VELMORJOB_TESTS_SQLITE_QUERY_H_

#include <string>

// The tests read a history file back with the SQLite library itself, not
// with the code under test.

// Runs the statements on the database file and gives every row they return
// as a line, its columns separated by '|', NULL as "NULL"; or "error: "
// and SQLite's message. The file is opened without being created.
std::string Query(const std::string& file, const std::string& sql);

#endif  // VELMORJOB_TESTS_SQLITE_QUERY_H_

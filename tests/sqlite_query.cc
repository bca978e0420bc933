#include "sqlite_query.h"

#include <sqlite3.h>

namespace {

int AddRow(void* out, int columns, char** values, char**) {
  std::string& text = *static_cast<std::string*>(out);
  for (int i = 0; i < columns; ++i) {
    if (i > 0) text += '|';
    text += values[i] != nullptr ? values[i] : "NULL";
  }
  text += '\n';
  return 0;
}

}  // namespace

std::string Query(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string text;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    text = std::string("error: ") + (db != nullptr ? sqlite3_errmsg(db) : "cannot open");
  } else {
    sqlite3_busy_timeout(db, 10000);
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), AddRow, &text, &message) != SQLITE_OK) {
      text = std::string("error: ") + (message != nullptr ? message : "?");
    }
    sqlite3_free(message);
  }
  sqlite3_close_v2(db);
  return text;
}

#include "history/sqlite_library.h"

#include <dlfcn.h>

namespace {

const TSqliteLibrary* loaded = nullptr;

// Sets the function to the library's symbol of that name; false when the
// library has none.
template <typename TFunction>
bool Symbol(void* library, const char* name, TFunction& function, std::string& missing) {
  function = reinterpret_cast<TFunction>(dlsym(library, name));
  if (function == nullptr && missing.empty()) missing = name;
  return function != nullptr;
}

bool Resolve(void* library, TSqliteLibrary& api, std::string& missing) {
  return Symbol(library, "sqlite3_open_v2", api.open_v2, missing) &&
         Symbol(library, "sqlite3_close_v2", api.close_v2, missing) &&
         Symbol(library, "sqlite3_errmsg", api.errmsg, missing) &&
         Symbol(library, "sqlite3_errstr", api.errstr, missing) &&
         Symbol(library, "sqlite3_errcode", api.errcode, missing) &&
         Symbol(library, "sqlite3_system_errno", api.system_errno, missing) &&
         Symbol(library, "sqlite3_extended_result_codes", api.extended_result_codes, missing) &&
         Symbol(library, "sqlite3_busy_handler", api.busy_handler, missing) &&
         Symbol(library, "sqlite3_sleep", api.sleep, missing) &&
         Symbol(library, "sqlite3_exec", api.exec, missing) &&
         Symbol(library, "sqlite3_prepare_v3", api.prepare_v3, missing) &&
         Symbol(library, "sqlite3_finalize", api.finalize, missing) &&
         Symbol(library, "sqlite3_reset", api.reset, missing) &&
         Symbol(library, "sqlite3_clear_bindings", api.clear_bindings, missing) &&
         Symbol(library, "sqlite3_bind_int64", api.bind_int64, missing) &&
         Symbol(library, "sqlite3_bind_double", api.bind_double, missing) &&
         Symbol(library, "sqlite3_bind_text64", api.bind_text64, missing) &&
         Symbol(library, "sqlite3_bind_null", api.bind_null, missing) &&
         Symbol(library, "sqlite3_step", api.step, missing) &&
         Symbol(library, "sqlite3_column_type", api.column_type, missing) &&
         Symbol(library, "sqlite3_column_int64", api.column_int64, missing) &&
         Symbol(library, "sqlite3_column_double", api.column_double, missing) &&
         Symbol(library, "sqlite3_column_text", api.column_text, missing) &&
         Symbol(library, "sqlite3_column_blob", api.column_blob, missing) &&
         Symbol(library, "sqlite3_column_bytes", api.column_bytes, missing) &&
         Symbol(library, "sqlite3_last_insert_rowid", api.last_insert_rowid, missing);
}

}  // namespace

const TSqliteLibrary* LoadSqlite(std::string& reason) {
  if (loaded != nullptr) return loaded;
  // Kept for the life of the process, as a library linked at start is.
  void* library = dlopen(kSqliteLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* error = dlerror();
    reason = std::string("cannot load the SQLite library: ") + (error ? error : kSqliteLibrary);
    return nullptr;
  }
  static TSqliteLibrary api;
  std::string missing;
  if (!Resolve(library, api, missing)) {
    reason = std::string("cannot load the SQLite library: ") + kSqliteLibrary + " has no " +
             missing + " (SQLite 3.22 or later is needed)";
    dlclose(library);
    return nullptr;
  }
  loaded = &api;
  return loaded;
}

const TSqliteLibrary& Sqlite() { return *loaded; }

// The system's SQLite library, loaded by the first job that writes a
// database. Every other job (CSV, workbooks, `vok --version`) starts without
// it: the library binds its 1,300 symbols the moment it is loaded, which cost
// each of them about a millisecond, a fifth of a one-table job.
#pragma once

#include "base/Outcome.h"

#include <sqlite3.h>

namespace vok {

// The library's functions vok calls, under their names without "sqlite3_".
struct SqliteLibrary {
    decltype(&::sqlite3_open_v2) open_v2 = nullptr;
    decltype(&::sqlite3_close_v2) close_v2 = nullptr;
    decltype(&::sqlite3_extended_result_codes) extended_result_codes = nullptr;
    decltype(&::sqlite3_busy_timeout) busy_timeout = nullptr;
    decltype(&::sqlite3_exec) exec = nullptr;
    decltype(&::sqlite3_prepare_v2) prepare_v2 = nullptr;
    decltype(&::sqlite3_step) step = nullptr;
    decltype(&::sqlite3_reset) reset = nullptr;
    decltype(&::sqlite3_finalize) finalize = nullptr;
    decltype(&::sqlite3_bind_text) bind_text = nullptr;
    decltype(&::sqlite3_bind_int64) bind_int64 = nullptr;
    decltype(&::sqlite3_bind_double) bind_double = nullptr;
    decltype(&::sqlite3_bind_null) bind_null = nullptr;
    decltype(&::sqlite3_column_text) column_text = nullptr;
    decltype(&::sqlite3_column_int64) column_int64 = nullptr;
    decltype(&::sqlite3_errmsg) errmsg = nullptr;
    decltype(&::sqlite3_system_errno) system_errno = nullptr;
};

// The library, loaded on the first call of the process and kept to its end,
// or the loader's reason why it cannot be loaded.
Expected<const SqliteLibrary*> Sqlite();

} // namespace vok

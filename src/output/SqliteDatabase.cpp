#include "output/SqliteDatabase.h"

#include "base/TextEncoding.h"
#include "output/SqliteLibrary.h"

#include <chrono>
#include <fmt/format.h>
#include <system_error>
#include <thread>

namespace vok {

namespace {

// How long a writer waits for another (a folder job of another vok holds the
// database for one report at a time).
constexpr int kBusyMilliseconds = 60'000;

bool IsBusy(int result) {
    return (result & 0xFF) == SQLITE_BUSY || (result & 0xFF) == SQLITE_LOCKED;
}

} // namespace

SqliteDatabase::SqliteDatabase(std::filesystem::path file, const SqliteLibrary& sql)
    : file_(std::move(file)), sql_(sql) {}

std::unique_ptr<SqliteDatabase> SqliteDatabase::Open(const std::filesystem::path& file,
                                                     std::string& error) {
    const Expected<const SqliteLibrary*> sql = Sqlite();
    if (!sql) {
        error = fmt::format("Cannot open the database {}: the SQLite library cannot be loaded "
                            "({}).",
                            file.string(), sql.Error());
        return nullptr;
    }
    std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(file, **sql));
    if (database->Connect()) return database;
    error = fmt::format("Cannot open the database {}: {}.", file.string(), database->Cause());
    return nullptr;
}

bool SqliteDatabase::Connect() {
    std::error_code ec;
    created_ = !std::filesystem::exists(file_, ec);
    // One thread uses the connection: no locking on every call.
    if (sql_.open_v2(file_.c_str(), &db_,
                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                     nullptr) != SQLITE_OK)
        return false;
    sql_.extended_result_codes(db_, 1);
    sql_.busy_timeout(db_, kBusyMilliseconds);
    // A file that is no database is found by the first read, and left alone.
    sqlite3_stmt* mode = nullptr;
    bool ok = sql_.prepare_v2(db_, "PRAGMA journal_mode", -1, &mode, nullptr) == SQLITE_OK &&
              Step(mode) && sql_.column_text(mode, 0);
    const bool wal =
        ok && EqualsNoCase(reinterpret_cast<const char*>(sql_.column_text(mode, 0)), "wal");
    sql_.finalize(mode);
    switchAfterCommit_ = !wal;
    // Commits wait for the disk only where a crash could cost rows the user
    // had: a rollback journal over an existing database. A log is synced at
    // its checkpoints, and a new database holds nothing yet.
    return ok && ((!wal && !created_) || Execute("PRAGMA synchronous=NORMAL")) &&
           (!created_ || Execute("PRAGMA page_size=16384")) && Execute("PRAGMA cache_size=-16384");
}

SqliteDatabase::~SqliteDatabase() {
    if (!db_) return;
    bool empty = false;
    if (created_ && !committed_) {
        sqlite3_stmt* count = nullptr;
        empty = sql_.prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &count, nullptr) ==
                    SQLITE_OK &&
                sql_.step(count) == SQLITE_ROW && sql_.column_int64(count, 0) == 0;
        sql_.finalize(count);
    }
    sql_.close_v2(db_);
    if (!empty) return;
    std::error_code ec;
    std::filesystem::remove(file_, ec);
    for (const char* log : {"-wal", "-shm", "-journal"})
        std::filesystem::remove(file_.native() + log, ec);
}

bool SqliteDatabase::Step(sqlite3_stmt* statement) {
    const int result = sql_.step(statement);
    if (result == SQLITE_DONE || result == SQLITE_ROW) return true;
    // Taken at once: the next call into the library may clear it.
    systemError_ = sql_.system_errno(db_);
    return false;
}

bool SqliteDatabase::Execute(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    const bool ok =
        sql_.prepare_v2(db_, sql, -1, &statement, nullptr) == SQLITE_OK && Step(statement);
    sql_.finalize(statement);
    return ok;
}

std::string SqliteDatabase::Cause() const {
    if (!db_) return "out of memory";
    // The system's own words too: "disk I/O error" alone hides a full disk.
    if (systemError_ == 0) return sql_.errmsg(db_);
    return fmt::format("{}: {}", sql_.errmsg(db_), std::system_category().message(systemError_));
}

void SqliteDatabase::Committed() {
    committed_ = true;
    // Readers may keep the database open from now on; a switch that fails
    // leaves the committed rows as they are, and is tried after the next.
    if (switchAfterCommit_ && SwitchToWriteAheadLog()) {
        switchAfterCommit_ = false;
        Execute("PRAGMA synchronous=NORMAL");
    }
}

bool SqliteDatabase::SwitchToWriteAheadLog() {
    // The switch of a database that does not exist yet fails at once, without
    // the busy wait, when another writer is creating it: tried again.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyMilliseconds);
    for (;;) {
        const int result = sql_.exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (!IsBusy(result)) return result == SQLITE_OK;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace vok

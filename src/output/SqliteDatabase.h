// The connection to a SQLite database that a job writes into, kept open for
// all the job's reports: each report is a transaction of its own
// (SqliteOutput), and its commit does not wait for the disk, so a folder job
// of a thousand reports is not a thousand syncs. Closing, when the job ends,
// folds the write-ahead log into the database.
//
// A database that did not exist is loaded with a rollback journal, which
// writes each page once, and switched to the log after its first commit; one
// of another journal mode is switched likewise, so that a report that fails
// leaves every byte of it as it was. A database the job created and never
// committed to is removed when it closes: the user had no file.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace vok {

struct SqliteLibrary;

class SqliteDatabase {
public:
    // Opens (or creates) the database; empty, with the reason naming the
    // file, when it cannot be opened (no database, unwritable).
    static std::unique_ptr<SqliteDatabase> Open(const std::filesystem::path& file,
                                                std::string& error);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    const std::filesystem::path& File() const { return file_; }
    sqlite3* Handle() const { return db_; }
    // The library's functions, for the statements of the connection's users.
    const SqliteLibrary& Library() const { return sql_; }

    // Runs one statement; false when it failed (Cause says why).
    bool Execute(const char* sql);
    // Steps a prepared statement; true for a row or the end.
    bool Step(sqlite3_stmt* statement);
    // Why the last call failed, with the system's words where it kept them.
    std::string Cause() const;

    // Told by a report that committed: the journal may become the log.
    void Committed();

private:
    SqliteDatabase(std::filesystem::path file, const SqliteLibrary& sql);
    bool Connect();
    bool SwitchToWriteAheadLog();

    std::filesystem::path file_;
    const SqliteLibrary& sql_;
    sqlite3* db_ = nullptr;
    bool created_ = false;           // the file did not exist before
    bool committed_ = false;         // a report was committed
    bool switchAfterCommit_ = false; // not yet in write-ahead-log mode
    int systemError_ = 0;            // the errno behind the last failed step
};

} // namespace vok

#include "output/SqliteOutput.h"

#include "base/ColumnLetters.h"
#include "base/NumericText.h"
#include "base/TextEncoding.h"
#include "output/SqliteDatabase.h"
#include "output/SqliteLibrary.h"

#include <cmath>
#include <ctime>
#include <fmt/format.h>
#include <limits>
#include <system_error>

namespace vok {

namespace {

uint64_t KeyOf(int32_t sheet, int32_t row, int32_t column) {
    return (static_cast<uint64_t>(sheet) << 56) | (static_cast<uint64_t>(row) << 16) |
           static_cast<uint64_t>(column);
}

// A statement that is finalized whatever happens.
struct Statement {
    explicit Statement(const SqliteLibrary& library) : sql(library) {}
    ~Statement() { sql.finalize(handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    const SqliteLibrary& sql;
    sqlite3_stmt* handle = nullptr;
};

std::string Quoted(std::string_view name) {
    return fmt::format("\"{}\"", name);
}

// The column names of a table: the letters, then where each row came from.
std::vector<std::string> WantedColumns(const std::vector<int32_t>& columns) {
    std::vector<std::string> names;
    names.reserve(columns.size() + 2);
    // The columns came from letters: each has its letters.
    for (const int32_t column : columns)
        names.push_back(NumToAlpha2(column).value);
    names.emplace_back("source_file");
    names.emplace_back("source_line");
    return names;
}

std::string Listed(const std::vector<std::string>& names) {
    return fmt::format("{}", fmt::join(names, ", "));
}

// SQLite's rule for names: the same but for the case of ASCII letters.
bool Contains(const std::vector<std::string>& names, std::string_view name) {
    for (const std::string& n : names)
        if (EqualsNoCase(n, name)) return true;
    return false;
}

std::string NowIso8601() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace

SqliteOutput::SqliteOutput(SqliteDatabase& database, DatabaseTarget target)
    : database_(database), sql_(database.Library()), db_(database.Handle()),
      target_(std::move(target)) {}

std::unique_ptr<SqliteOutput> SqliteOutput::Open(SqliteDatabase& database,
                                                 const DatabaseTarget& target, std::string& error) {
    std::unique_ptr<SqliteOutput> output(new SqliteOutput(database, target));
    // The report's transaction; another writer is waited for.
    output->inTransaction_ = database.Execute("BEGIN IMMEDIATE");
    if (output->inTransaction_ &&
        database.Execute("CREATE TABLE IF NOT EXISTS vok_tables"
                         "(name TEXT PRIMARY KEY, recipe TEXT, loaded_at TEXT)"))
        return output;
    error = fmt::format("Cannot write to the database {}: {}.", database.File().string(),
                        database.Cause());
    return nullptr;
}

SqliteOutput::~SqliteOutput() {
    sql_.finalize(insert_);
    if (inTransaction_) sql_.exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteOutput::Fail(std::string_view what) {
    if (error_.empty()) error_ = fmt::format("{} ({})", what, database_.Cause());
    return false;
}

bool SqliteOutput::Execute(const char* sql) {
    return database_.Execute(sql);
}

bool SqliteOutput::Step(sqlite3_stmt* statement) {
    return database_.Step(statement);
}

int32_t SqliteOutput::MaxRows() const {
    return std::numeric_limits<int32_t>::max();
}

std::string SqliteOutput::SheetName(int32_t sheet) const {
    return sheet >= 1 && sheet <= kSheets ? names_[sheet - 1] : std::string();
}

bool SqliteOutput::SetSheetName(int32_t sheet, std::string_view name, std::string& error) {
    if (sheet < 1 || sheet > kSheets) {
        error = fmt::format("The database has no sheet {}.", sheet);
        return false;
    }
    names_[sheet - 1] = std::string(name);
    return true;
}

bool SqliteOutput::AddSheet(std::string_view name, std::string& error) {
    error = fmt::format("A database has tables, not sheets: no sheet {} was added.", name);
    return false;
}

bool SqliteOutput::BeginTable(std::string_view name, const std::vector<int32_t>& columns) {
    if (!EndTable()) return false;
    const std::vector<std::string> wanted = WantedColumns(columns);
    tableIsNew_ = tableByVok_ = false;
    if (!PrepareTable(name, wanted) || !DeleteEarlierRows(name) || !PrepareInsert(name, wanted))
        return false;
    const int32_t widest = columns.empty() ? 0 : columns.back();
    slotOf_.assign(static_cast<size_t>(widest) + 1, -1);
    for (size_t i = 0; i < columns.size(); ++i)
        slotOf_[static_cast<size_t>(columns[i])] = static_cast<int32_t>(i);
    values_.assign(columns.size(), Value{});
    fromSheet1_ = true;
    return true;
}

bool SqliteOutput::PrepareTable(std::string_view name, const std::vector<std::string>& wanted) {
    Statement found(sql_);
    sql_.prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE name = ?1", -1, &found.handle, nullptr);
    sql_.bind_text(found.handle, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    const int step = sql_.step(found.handle);
    if (step == SQLITE_ROW) return CheckColumns(name, wanted) && Catalogue(name);
    if (step != SQLITE_DONE) return Fail(fmt::format("Cannot look for the table {}", name));
    // A new table: the letters' columns take each value with its own type.
    std::string sql = "CREATE TABLE " + Quoted(name) + " (";
    for (size_t i = 0; i + 2 < wanted.size(); ++i)
        sql += Quoted(wanted[i]) + ", ";
    sql += "source_file TEXT, source_line INTEGER)";
    if (!Execute(sql.c_str())) return Fail(fmt::format("Cannot create the table {}", name));
    // A new table holds no earlier rows; its index on source_file waits for
    // a load that has some to delete.
    tableIsNew_ = true;
    return Catalogue(name);
}

bool SqliteOutput::CheckColumns(std::string_view name, const std::vector<std::string>& wanted) {
    Statement info(sql_);
    const std::string sql = "PRAGMA table_info(" + Quoted(name) + ")";
    sql_.prepare_v2(db_, sql.c_str(), -1, &info.handle, nullptr);
    std::vector<std::string> existing;
    while (sql_.step(info.handle) == SQLITE_ROW)
        existing.emplace_back(reinterpret_cast<const char*>(sql_.column_text(info.handle, 1)));
    Statement made(sql_);
    sql_.prepare_v2(db_, "SELECT 1 FROM vok_tables WHERE name = ?1", -1, &made.handle, nullptr);
    sql_.bind_text(made.handle, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    const bool byVok = sql_.step(made.handle) == SQLITE_ROW;
    tableByVok_ = byVok;
    std::vector<std::string> missing;
    for (const std::string& column : wanted)
        if (!Contains(existing, column)) missing.push_back(column);
    bool extra = false;
    for (const std::string& column : existing)
        extra = extra || !Contains(wanted, column);
    // Only a table vok made grows, and only by the columns it lacks.
    if (extra || (!missing.empty() && !byVok) || existing.empty()) {
        error_ = fmt::format("the table {} in it has the columns {}, but this recipe writes {}; "
                             "the table was left as it is",
                             name, existing.empty() ? "(none: it is no table)" : Listed(existing),
                             Listed(wanted));
        return false;
    }
    for (const std::string& column : missing) {
        const std::string add = "ALTER TABLE " + Quoted(name) + " ADD COLUMN " + Quoted(column);
        if (!Execute(add.c_str()))
            return Fail(fmt::format("Cannot add the column {} to {}", column, name));
    }
    return true;
}

bool SqliteOutput::Catalogue(std::string_view name) {
    Statement upsert(sql_);
    const std::string now = NowIso8601();
    sql_.prepare_v2(db_,
                    "INSERT INTO vok_tables (name, recipe, loaded_at) VALUES (?1, ?2, ?3) "
                    "ON CONFLICT (name) DO UPDATE SET recipe = ?2, loaded_at = ?3",
                    -1, &upsert.handle, nullptr);
    sql_.bind_text(upsert.handle, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sql_.bind_text(upsert.handle, 2, target_.recipe.c_str(), -1, SQLITE_STATIC);
    sql_.bind_text(upsert.handle, 3, now.c_str(), -1, SQLITE_STATIC);
    if (!Step(upsert.handle))
        return Fail(fmt::format("Cannot note the table {} in vok_tables", name));
    return true;
}

bool SqliteOutput::DeleteEarlierRows(std::string_view name) {
    if (tableIsNew_) return true;
    // Deleting by report wants an index; vok adds one only to its own tables
    // (a foreign table's are scanned), once, when first needed.
    const std::string index = fmt::format("CREATE INDEX IF NOT EXISTS {} ON {} (source_file)",
                                          Quoted(std::string(name) + "_source"), Quoted(name));
    if (tableByVok_ && !Execute(index.c_str()))
        return Fail(fmt::format("Cannot index the table {}", name));
    Statement remove(sql_);
    const std::string sql = "DELETE FROM " + Quoted(name) + " WHERE source_file = ?1";
    sql_.prepare_v2(db_, sql.c_str(), -1, &remove.handle, nullptr);
    sql_.bind_text(remove.handle, 1, target_.sourceFile.c_str(), -1, SQLITE_STATIC);
    if (!Step(remove.handle))
        return Fail(fmt::format("Cannot delete the earlier rows of {}", name));
    return true;
}

bool SqliteOutput::PrepareInsert(std::string_view name, const std::vector<std::string>& wanted) {
    std::string sql = "INSERT INTO " + Quoted(name) + " (";
    std::string values = ") VALUES (";
    for (size_t i = 0; i < wanted.size(); ++i) {
        sql += (i ? ", " : "") + Quoted(wanted[i]);
        values += i ? ", ?" : "?";
    }
    sql += values + ")";
    if (sql_.prepare_v2(db_, sql.c_str(), -1, &insert_, nullptr) != SQLITE_OK)
        return Fail(fmt::format("Cannot write to the table {}", name));
    // Every row of the report names it: bound once.
    sql_.bind_text(insert_, static_cast<int>(wanted.size()) - 1, target_.sourceFile.c_str(), -1,
                   SQLITE_STATIC);
    return true;
}

bool SqliteOutput::EndTable() {
    const bool flushed = FlushRow();
    sql_.finalize(insert_);
    insert_ = nullptr;
    fromSheet1_ = false;
    return flushed && error_.empty();
}

void SqliteOutput::SetRowSource(int32_t row, int64_t line) {
    sourceRow_ = row;
    sourceLine_ = line;
}

void SqliteOutput::StartRow(int32_t row, int64_t line) {
    row_ = row;
    rowOpen_ = true;
    line_ = line;
    rowText_.clear();
    for (Value& value : values_)
        value.kind = Value::Kind::Null;
}

void SqliteOutput::Judge(Value& value, std::string_view text) {
    // The workbook engines' typed input decides; a field of only blanks is
    // as empty as an empty one.
    InterpretTypedInput(text, typed_);
    switch (typed_.kind) {
    case TypedValue::Kind::Empty:
        value.kind = Value::Kind::Null;
        return;
    case TypedValue::Kind::Number:
        if (typed_.wholeNumber && std::fabs(typed_.number) < 9.0e18) {
            value.kind = Value::Kind::Integer;
            value.integer = static_cast<int64_t>(typed_.number);
        } else {
            value.kind = Value::Kind::Real;
            value.real = typed_.number;
        }
        return;
    case TypedValue::Kind::Text:
        if (typed_.blank) {
            value.kind = Value::Kind::Null;
            return;
        }
        value.kind = Value::Kind::Text;
        value.offset = static_cast<uint32_t>(rowText_.size());
        value.size = static_cast<uint32_t>(text.size());
        rowText_.append(text);
        return;
    }
}

bool SqliteOutput::FlushRow() {
    if (!rowOpen_ || !insert_) return error_.empty();
    rowOpen_ = false;
    // The texts lie in rowText_, unchanged until the next row begins.
    for (size_t i = 0; i < values_.size(); ++i) {
        const Value& value = values_[i];
        const int parameter = static_cast<int>(i) + 1;
        switch (value.kind) {
        case Value::Kind::Null:
            sql_.bind_null(insert_, parameter);
            break;
        case Value::Kind::Integer:
            sql_.bind_int64(insert_, parameter, value.integer);
            break;
        case Value::Kind::Real:
            sql_.bind_double(insert_, parameter, value.real);
            break;
        case Value::Kind::Text:
            sql_.bind_text(insert_, parameter, rowText_.data() + value.offset,
                           static_cast<int>(value.size), SQLITE_STATIC);
            break;
        }
    }
    const int lineParameter = static_cast<int>(values_.size()) + 2;
    if (line_ > 0)
        sql_.bind_int64(insert_, lineParameter, line_);
    else
        sql_.bind_null(insert_, lineParameter);
    const bool inserted = Step(insert_);
    sql_.reset(insert_);
    return inserted || Fail("Cannot insert a row");
}

CellWrite SqliteOutput::SetCellValue(int32_t sheet, int32_t row, int32_t column,
                                     std::string_view text) {
    if (sheet < 1 || sheet > kSheets) return CellWrite::NoSuchSheet;
    if (row < 1) return CellWrite::BeyondLastRow;
    if (column < 1 || column > kMaxColumns) return CellWrite::BeyondLastColumn;
    if (!error_.empty()) return CellWrite::OutputFailed;
    if (sheet == 1 && fromSheet1_) {
        if (row != row_ || !rowOpen_) {
            if (!FlushRow()) return CellWrite::OutputFailed;
            StartRow(row, sourceRow_ == row ? sourceLine_ : 0);
        }
        if (static_cast<size_t>(column) < slotOf_.size() && slotOf_[column] >= 0)
            Judge(values_[static_cast<size_t>(slotOf_[column])], text);
    }
    if (sheet == 1 && !target_.keepSheet1) return CellWrite::Written;
    if (text.empty())
        kept_.erase(KeyOf(sheet, row, column));
    else
        kept_[KeyOf(sheet, row, column)].assign(text);
    return CellWrite::Written;
}

std::string SqliteOutput::CellText(int32_t sheet, int32_t row, int32_t column) const {
    // As a workbook gives a cell back: a number as a plain decimal number.
    const auto found = kept_.find(KeyOf(sheet, row, column));
    if (found == kept_.end()) return {};
    TypedValue value;
    InterpretTypedInput(found->second, value);
    if (value.kind == TypedValue::Kind::Number) return DoubleToPlainText(value.number);
    return found->second;
}

bool SqliteOutput::WriteKeptRows(int32_t sheet, std::string_view name,
                                 const std::vector<int32_t>& columns, int32_t firstRow,
                                 int32_t lastRow) {
    if (!BeginTable(name, columns)) return false;
    fromSheet1_ = false;
    for (int32_t row = firstRow; row <= lastRow; ++row) {
        StartRow(row, 0);
        for (size_t i = 0; i < columns.size(); ++i) {
            const auto found = kept_.find(KeyOf(sheet, row, columns[i]));
            if (found != kept_.end()) Judge(values_[i], found->second);
        }
        if (!FlushRow()) return false;
    }
    return EndTable();
}

bool SqliteOutput::Save(std::string& error, const StopRequest* /*stop*/) {
    const bool written = EndTable();
    if (written && Execute("COMMIT")) {
        inTransaction_ = false;
        database_.Committed();
        return true;
    }
    if (written) Fail("Cannot commit the rows");
    error = fmt::format("Cannot write to the database {}: {}. The database is as it was.",
                        database_.File().string(), error_);
    return false;
}

} // namespace vok

#pragma once

#include "platform/Error.h"
#include "platform/Expected.h"
#include "platform/Value.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The engine's thin layer over one SQLite file: it opens, validates and if
// need be recreates the file, creates and migrates tables from column
// descriptions, writes records, runs queries into rows, caches prepared
// statements by their text and runs blocks in exclusive transactions.
// Failures are measurement-domain errors: 1 bad argument, 2 wrong state or
// schema, 3 SQLite or transaction failure (with a monitor context naming the
// operation and the SQLite code). Not thread-safe: one queue at a time.
namespace kit::measurement {

namespace sqlite {
class StatementCache;
class StatementLease;
}  // namespace sqlite

// Column name to value. Values bind as: integer (a Bool as 0/1), double,
// text, data (a blob, not copied), null. Dates, arrays and dictionaries are
// refused.
using MSRRecord = platform::Value::Dictionary;
using MSRParameterValues = std::vector<platform::Value>;
// (name, type text); the name "PRIMARY KEY" makes a table constraint.
using MSRColumnInfo = std::vector<std::pair<std::string, std::string>>;
// Column name to its new type text.
using MSRModifyColumnInfo = std::map<std::string, std::string, std::less<>>;
// Row index (from 0) and row; false stops the query without the row.
using MSRRowFilter = std::function<bool(std::size_t index, const MSRRecord& row)>;
// Whether a prepared statement is kept for the next use of its text. By
// text: texts with placeholders, and texts without a WHERE, are kept; a
// WHERE without placeholders carries literal values and is used once. Kept:
// a fixed text the caller asks again and again, literals and all.
enum class MSRStatementReuse { byText, keep };

inline constexpr std::string_view kMSRPrimaryKey = "PRIMARY KEY";

class MSRSqliteStore {
public:
    // initWithDatabasePath: opens the file, recreating it only when it is
    // not a database or is damaged.
    static platform::Expected<std::unique_ptr<MSRSqliteStore>> create(const std::filesystem::path& databasePath);
    ~MSRSqliteStore();
    MSRSqliteStore(const MSRSqliteStore&) = delete;
    MSRSqliteStore& operator=(const MSRSqliteStore&) = delete;

    const std::filesystem::path& databasePath() const noexcept { return databasePath_; }
    sqlite3* sqliteHandle() const noexcept { return handle_; }

    // --- Lifecycle
    platform::Expected<void> openAndValidateDatabase();
    platform::Expected<void> validateDatabase();
    void closeDatabase();
    // True when the file is gone afterwards.
    bool closeAndDeleteDatabase();
    void finalizeAndClearStatements();

    // --- Schema
    platform::Expected<void> ensureTableWithName(std::string_view name, const MSRColumnInfo& elementaryColumnInfo,
                                                 const MSRColumnInfo& addOnColumnInfo,
                                                 const MSRModifyColumnInfo& modifyColumnInfo);
    platform::Expected<void> ensureTableWithName(std::string_view name, const MSRColumnInfo& elementaryColumnInfo,
                                                 const MSRColumnInfo& addOnColumnInfo);
    // Add-on columns as (name, ALTER statement), in order.
    platform::Expected<void> ensureTableWithName(std::string_view name, std::string_view createSQL,
                                                 const std::vector<std::string>& requiredColumnNames,
                                                 const MSRColumnInfo& addOnColumns);
    platform::Expected<void> validateTableWithName(std::string_view name,
                                                   const std::vector<std::string>& requiredColumnNames,
                                                   const MSRColumnInfo& addOnColumns);
    platform::Expected<void> ensureSchemaOfTableWithName(std::string_view name,
                                                         const MSRColumnInfo& elementaryColumnInfo,
                                                         const MSRColumnInfo& addOnColumnInfo);
    platform::Expected<bool> tableExists(std::string_view name);
    platform::Expected<std::vector<std::string>> columnsForTableWithName(std::string_view name);
    platform::Expected<std::map<std::string, std::string, std::less<>>> columnInfoForTableWithName(
        std::string_view name);
    platform::Expected<void> dropTableWithName(std::string_view name);
    platform::Expected<void> renameTable(std::string_view name, std::string_view newName);
    platform::Expected<void> copyContentsFromTable(std::string_view source, std::string_view destination);
    platform::Expected<void> createEmptyTable(std::string_view newName, std::string_view fromTable);

    // --- Records
    platform::Expected<void> upsertRecord(const MSRRecord& record, std::string_view table);
    platform::Expected<void> updateRecord(const MSRRecord& record, std::string_view table, std::string_view columnName,
                                          const platform::Value& columnValue);
    platform::Expected<void> updateAllRecordsInTableWithName(std::string_view table, std::string_view columnName,
                                                             const platform::Value& columnValue);
    platform::Expected<void> increaseColumn(std::string_view column, std::int64_t value, std::string_view table,
                                            std::string_view condition, const MSRParameterValues& parameterValues);
    platform::Expected<void> deleteRecordFromTableWithName(std::string_view table, std::string_view columnName,
                                                           const platform::Value& columnValue);
    // The number of rows deleted.
    platform::Expected<std::int64_t> deleteRecordsFromTableWithName(std::string_view table, std::string_view condition,
                                                                    const MSRParameterValues& parameterValues);
    platform::Expected<void> deleteAllRecordsFromTableWithName(std::string_view table);
    platform::Expected<std::int64_t> rowCountForTableWithName(std::string_view table);
    platform::Expected<std::int64_t> rowCountForTableWithName(std::string_view table, std::string_view columnName,
                                                              const platform::Value& columnValue);

    // --- Queries
    // A step that gives neither a row nor the end fails the query.
    platform::Expected<std::vector<MSRRecord>> recordsForQuery(std::string_view query,
                                                               const MSRParameterValues& parameterValues,
                                                               const MSRRowFilter& filter = {});
    // The first column of the first row; nothing (no error) for NULL.
    platform::Expected<std::optional<platform::Value>> numberForQuery(
        std::string_view query, const MSRParameterValues& parameterValues,
        MSRStatementReuse reuse = MSRStatementReuse::byText);

    // --- Statements and transactions
    platform::Expected<void> executeSQL(std::string_view sql);
    // Runs `block` inside BEGIN EXCLUSIVE … END; false rolls back. A
    // statement in the block that fails after SQLite itself rolled the
    // transaction back fails too, instead of committing on its own.
    platform::Expected<void> performTransactionWithError(const std::function<bool()>& block);
    bool isInTransaction() const noexcept { return inTransaction_; }
    // Runs `block`, which only reads, under one read lock for all its
    // queries instead of one lock each; inside a transaction it just runs.
    void performReads(const std::function<void()>& block);

    // --- Errors
    std::string lastErrorMessage() const;
    std::string errorDescriptionForDatabaseOperation(std::string_view operation) const;
    std::string monitorContextForDatabaseOperation(std::string_view operation) const;
    platform::Error databaseError(std::string_view operation) const;

    // Statements kept in the cache (tests, diagnostics).
    std::size_t cachedStatementCount() const;

    struct Private;
    MSRSqliteStore(Private, std::filesystem::path databasePath);

private:
    enum class OpenFailure { none, recoverable, fatal };

    platform::Expected<void> openDatabase();
    platform::Expected<std::vector<MSRRecord>> queryRows(std::string_view query,
                                                         const MSRParameterValues& parameterValues,
                                                         const MSRRowFilter& filter = {});
    platform::Expected<sqlite::StatementLease> statementForQuery(std::string_view query,
                                                                 const MSRParameterValues& parameterValues,
                                                                 MSRStatementReuse reuse = MSRStatementReuse::byText);
    platform::Expected<sqlite::StatementLease> prepareSQL(std::string_view sql);
    platform::Expected<void> executeStatement(sqlite::StatementLease statement);
    platform::Expected<void> bindValues(const MSRParameterValues& values, sqlite3_stmt* statement);
    platform::Expected<void> checkTransactionAlive(std::string_view operation) const;
    platform::Expected<void> checkOpen(std::string_view text) const;
    int stepStatement(sqlite3_stmt* statement);
    platform::Error rolledBackError(std::string_view operation) const;

    sqlite3* handle_ = nullptr;
    std::unique_ptr<sqlite::StatementCache> statementCache_;
    std::string queueLabel_;
    std::filesystem::path databasePath_;
    OpenFailure lastOpenFailure_ = OpenFailure::none;
    bool inTransaction_ = false;
    // The SQLite code of the last failed step inside the current transaction.
    int transactionFailureCode_ = 0;
};

}  // namespace kit::measurement

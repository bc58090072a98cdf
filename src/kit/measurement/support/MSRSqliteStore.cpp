#include "kit/measurement/support/MSRSqliteStore.h"

#include "SqliteHandles.h"
#include "StorageLines.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/MessageFormat.h"
#include "platform/concurrency/SerialQueue.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <system_error>

namespace kit::measurement {

using platform::Expected;
using platform::unexpected;
using sqlite::Statement;
using sqlite::StatementLease;

namespace {

constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;  // 0x10006
static_assert(kOpenFlags == 0x10006);
// A second instance of the application may hold the file for a moment.
constexpr int kBusyTimeoutMilliseconds = 1000;

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

platform::Unexpected argumentError(std::string_view description) {
    return unexpected(msr_errorWithCode(MSRErrorCode::invalidArgument, description));
}

platform::Unexpected stateError(std::string_view description) {
    return unexpected(msr_errorWithCode(MSRErrorCode::invalidState, description));
}

std::string lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

std::string uppercase(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper;
}

bool bindable(const platform::Value& value) {
    return value.isNull() || value.isBool() || value.isInteger() || value.isDouble() || value.isString() ||
           value.isData();
}

std::string firstWord(std::string_view text) {
    const auto end = text.find_first_of(" \t\n");
    return std::string(text.substr(0, end));
}

// Tries to clear the immutable flag, so that a damaged file can be replaced.
// That takes a privilege the program seldom has (CAP_LINUX_IMMUTABLE):
// without it the call fails, the file stays as it is and its open failure
// is reported.
void tryClearImmutableFlag(const std::filesystem::path& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return;
    }
    int flags = 0;
    if (::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL) != 0) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags);
    }
    ::close(descriptor);
}

}  // namespace

struct MSRSqliteStore::Private {};

MSRSqliteStore::MSRSqliteStore(Private, std::filesystem::path databasePath)
    : statementCache_(std::make_unique<sqlite::StatementCache>()), databasePath_(std::move(databasePath)) {
    if (const platform::SerialQueue* queue = platform::SerialQueue::current()) {
        queueLabel_ = queue->label();
    }
}

Expected<std::unique_ptr<MSRSqliteStore>> MSRSqliteStore::create(const std::filesystem::path& databasePath) {
    if (databasePath.empty()) {
        return argumentError("Received empty database path on init");
    }
    auto store = std::make_unique<MSRSqliteStore>(Private{}, databasePath);
    auto opened = store->openAndValidateDatabase();
    if (!opened) {
        // Only a file that is not a database, or a damaged one, is given up;
        // a locked, unreadable or full one is left as it is.
        if (store->lastOpenFailure_ != OpenFailure::recoverable) {
            return unexpected(opened.error());
        }
        if (!store->closeAndDeleteDatabase()) {
            return unexpected(opened.error());
        }
        opened = store->openAndValidateDatabase();
        if (!opened) {
            return unexpected(opened.error());
        }
    }
    return store;
}

MSRSqliteStore::~MSRSqliteStore() { closeDatabase(); }

// --- Lifecycle

Expected<void> MSRSqliteStore::openAndValidateDatabase() {
    lastOpenFailure_ = OpenFailure::none;
    if (auto opened = openDatabase(); !opened) {
        return opened;
    }
    if (auto excluded = MSRExcludePathFromBackup(databasePath_); !excluded) {
        storage_lines::log(storage_lines::kFailedExcludeDatabaseFileBackup, excluded.error());
    }
    return validateDatabase();
}

Expected<void> MSRSqliteStore::openDatabase() {
    std::error_code error;
    if (std::filesystem::exists(databasePath_, error)) {
        tryClearImmutableFlag(databasePath_);
    } else if (const std::filesystem::path folder = databasePath_.parent_path(); !folder.empty()) {
        // A bare file name lives in the working folder, which exists.
        std::filesystem::create_directories(folder, error);
        if (error) {
            lastOpenFailure_ = OpenFailure::fatal;
            return unexpected(platform::systemError(std::string(kMSRErrorDomain), 3, "Cannot create the folder of",
                                                    databasePath_, error.value()));
        }
    }
    const int result = sqlite3_open_v2(databasePath_.c_str(), &handle_, kOpenFlags, nullptr);
    if (result != SQLITE_OK) {
        const platform::Error failure = databaseError("initialize sqlite handle");
        lastOpenFailure_ =
            result == SQLITE_NOTADB || result == SQLITE_CORRUPT ? OpenFailure::recoverable : OpenFailure::fatal;
        closeDatabase();
        return unexpected(failure);
    }
    sqlite3_busy_timeout(handle_, kBusyTimeoutMilliseconds);
    return {};
}

Expected<void> MSRSqliteStore::validateDatabase() {
    if (auto open = checkOpen("Validate database failed. Database not open."); !open) {
        return open;
    }
    sqlite3_stmt* raw = nullptr;
    int result = sqlite3_prepare_v2(handle_, "PRAGMA integrity_check", -1, &raw, nullptr);
    Statement statement(raw);
    bool valid = false;
    bool damaged = false;
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement.get());
        if (result == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
            valid = sqlite3_column_count(statement.get()) == 1 && text != nullptr && std::string_view(text) == "ok";
            damaged = !valid;
        }
    }
    if (valid) {
        return {};
    }
    const int code = sqlite3_errcode(handle_);
    const bool notDatabase = code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
    lastOpenFailure_ = damaged || notDatabase ? OpenFailure::recoverable : OpenFailure::fatal;
    platform::Error failure = databaseError("validate database");
    statement.reset();
    closeDatabase();
    return unexpected(failure);
}

void MSRSqliteStore::finalizeAndClearStatements() { statementCache_->clear(); }

void MSRSqliteStore::closeDatabase() {
    if (handle_ == nullptr) {
        return;
    }
    finalizeAndClearStatements();
    const int result = sqlite3_close(handle_);
    if (result != SQLITE_OK) {
        storage_lines::log(storage_lines::kFailedCloseDatabase, result);
        // Whatever is still open goes once its last statement does.
        sqlite3_close_v2(handle_);
    }
    handle_ = nullptr;
    inTransaction_ = false;
}

bool MSRSqliteStore::closeAndDeleteDatabase() {
    closeDatabase();
    std::error_code error;
    if (!std::filesystem::exists(databasePath_, error)) {
        return true;
    }
    tryClearImmutableFlag(databasePath_);
    std::filesystem::remove(databasePath_, error);
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        std::error_code ignored;
        std::filesystem::remove(databasePath_.string() + suffix, ignored);
    }
    if (error) {
        storage_lines::log(
            storage_lines::kFailedDeleteDatabase,
            platform::systemError(std::string(kMSRErrorDomain), 3, "Cannot delete", databasePath_, error.value()));
        return false;
    }
    return true;
}

// --- Errors

std::string MSRSqliteStore::lastErrorMessage() const {
    return handle_ != nullptr ? std::string(sqlite3_errmsg(handle_)) : std::string();
}

std::string MSRSqliteStore::errorDescriptionForDatabaseOperation(std::string_view operation) const {
    if (handle_ == nullptr) {
        return {};
    }
    return platform::formatMessage(
        "Database operation \"%@\" failed with sqlite code %d and error message \"%@\"",
        {platform::MessageArgument(operation), platform::MessageArgument(sqlite3_errcode(handle_)),
         platform::MessageArgument(lastErrorMessage())});
}

std::string MSRSqliteStore::monitorContextForDatabaseOperation(std::string_view operation) const {
    const int code = handle_ != nullptr ? sqlite3_errcode(handle_) : 0;
    const bool writable = ::access(databasePath_.c_str(), W_OK) == 0;
    return std::string(operation.empty() ? std::string_view("Unknown operation") : operation) + "," +
           std::to_string(code) + "," + (writable ? "A" : "NA");
}

platform::Error MSRSqliteStore::databaseError(std::string_view operation) const {
    return msr_errorWithCode(MSRErrorCode::databaseFailure, errorDescriptionForDatabaseOperation(operation),
                             monitorContextForDatabaseOperation(operation));
}

platform::Error MSRSqliteStore::rolledBackError(std::string_view operation) const {
    const std::string description = platform::formatMessage(
        "Database operation \"%@\" failed: the transaction was rolled back after sqlite code %d",
        {platform::MessageArgument(operation), platform::MessageArgument(transactionFailureCode_)});
    const bool writable = ::access(databasePath_.c_str(), W_OK) == 0;
    return msr_errorWithCode(
        MSRErrorCode::databaseFailure, description,
        std::string(operation) + "," + std::to_string(transactionFailureCode_) + "," + (writable ? "A" : "NA"));
}

Expected<void> MSRSqliteStore::checkOpen(std::string_view text) const {
    if (handle_ == nullptr) {
        return stateError(text);
    }
    return {};
}

// SQLite ends a transaction by itself after some failures (full disk, I/O,
// busy); what the block runs afterwards must not commit statement by statement.
Expected<void> MSRSqliteStore::checkTransactionAlive(std::string_view operation) const {
    if (inTransaction_ && sqlite3_get_autocommit(handle_) != 0) {
        return unexpected(rolledBackError(operation));
    }
    return {};
}

int MSRSqliteStore::stepStatement(sqlite3_stmt* statement) {
    const int result = sqlite3_step(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE && inTransaction_ && transactionFailureCode_ == 0) {
        transactionFailureCode_ = sqlite3_errcode(handle_);
    }
    return result;
}

std::size_t MSRSqliteStore::cachedStatementCount() const { return statementCache_->size(); }

// --- Statements

Expected<StatementLease> MSRSqliteStore::prepareSQL(std::string_view sql) {
    if (auto open = checkOpen("Prepare SQL failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int result = sqlite3_prepare_v2(handle_, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    Statement statement(raw);
    if (result != SQLITE_OK) {
        return unexpected(databaseError("prepare statement"));
    }
    if (tail != nullptr && std::string_view(tail, sql.data() + sql.size() - tail).find_first_not_of(" \t\r\n;") !=
                               std::string_view::npos) {
        return argumentError("Query contained more than one SQL statement.");
    }
    if (!statement) {
        return argumentError("Execute SQL statement failed. Statement is NULL.");
    }
    return StatementLease::owned(std::move(statement));
}

Expected<void> MSRSqliteStore::bindValues(const MSRParameterValues& values, sqlite3_stmt* statement) {
    if (statement == nullptr) {
        return argumentError("Failed to bind to NULL statement");
    }
    sqlite3_clear_bindings(statement);
    bool failed = false;
    for (std::size_t index = 0; index < values.size(); ++index) {
        const platform::Value& value = values[index];
        const int position = static_cast<int>(index) + 1;
        int result = SQLITE_MISUSE;
        if (const auto* data = value.asData()) {
            // Not copied: the caller's parameters outlive the step.
            result = sqlite3_bind_blob64(statement, position, data->data(), data->size(), SQLITE_STATIC);
        } else if (value.isDouble()) {
            result = sqlite3_bind_double(statement, position, *value.asDouble());
        } else if (value.isBool()) {
            result = sqlite3_bind_int64(statement, position, *value.asBool() ? 1 : 0);
        } else if (value.isInteger()) {
            result = sqlite3_bind_int64(statement, position, *value.asInteger());
        } else if (const auto* text = value.asString()) {
            result =
                sqlite3_bind_text64(statement, position, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        } else if (value.isNull()) {
            result = sqlite3_bind_null(statement, position);
        }
        failed = failed || result != SQLITE_OK;
    }
    if (failed) {
        return unexpected(databaseError("bind values"));
    }
    return {};
}

Expected<StatementLease> MSRSqliteStore::statementForQuery(std::string_view query,
                                                           const MSRParameterValues& parameterValues,
                                                           MSRStatementReuse reuse) {
    if (auto open = checkOpen("Statement for query failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    const std::string text(query);
    if (sqlite3_stmt* cached = statementCache_->find(text)) {
        StatementLease lease = StatementLease::cached(cached);
        if (!parameterValues.empty()) {
            if (auto bound = bindValues(parameterValues, cached); !bound) {
                return unexpected(bound.error());
            }
        }
        return lease;
    }
    const bool hasPlaceholders = text.find('?') != std::string::npos;
    if (hasPlaceholders && parameterValues.empty()) {
        return argumentError("Received empty parameters");
    }
    auto prepared = prepareSQL(text);
    if (!prepared) {
        return prepared;
    }
    StatementLease lease = std::move(*prepared);
    // Statements with literal values (a WHERE without placeholders) are used once.
    if (reuse == MSRStatementReuse::keep || hasPlaceholders || lowercase(text).find("where") == std::string::npos) {
        Statement owned(lease.detach());
        lease = StatementLease::cached(statementCache_->insert(text, std::move(owned)));
    }
    if (!parameterValues.empty()) {
        if (auto bound = bindValues(parameterValues, lease.get()); !bound) {
            return unexpected(bound.error());
        }
    }
    return lease;
}

Expected<void> MSRSqliteStore::executeStatement(StatementLease statement) {
    if (statement.get() == nullptr) {
        return argumentError("Execute SQL statement failed. Statement is NULL.");
    }
    if (auto alive = checkTransactionAlive("execute statement"); !alive) {
        return alive;
    }
    if (stepStatement(statement.get()) != SQLITE_DONE) {
        return unexpected(databaseError("execute statement"));
    }
    return {};
}

Expected<void> MSRSqliteStore::executeSQL(std::string_view sql) {
    if (auto open = checkOpen("Execute SQL failed. Database not open."); !open) {
        return open;
    }
    auto prepared = prepareSQL(sql);
    if (!prepared) {
        return unexpected(prepared.error());
    }
    return executeStatement(std::move(*prepared));
}

// --- Transactions

void MSRSqliteStore::performReads(const std::function<void()>& block) {
    struct Reads {
        sqlite3* handle;
        bool grouped;
        ~Reads() {
            if (grouped && sqlite3_get_autocommit(handle) == 0) {
                sqlite3_exec(handle, "COMMIT TRANSACTION", nullptr, nullptr, nullptr);
            }
        }
    };
    // Without the group each query still reads on its own.
    const Reads reads{handle_,
                      handle_ != nullptr && sqlite3_get_autocommit(handle_) != 0 &&
                          sqlite3_exec(handle_, "BEGIN DEFERRED TRANSACTION", nullptr, nullptr, nullptr) == SQLITE_OK};
    block();
}

Expected<void> MSRSqliteStore::performTransactionWithError(const std::function<bool()>& block) {
    if (!block) {
        return argumentError("Received nil transaction block");
    }
    if (auto open = checkOpen("Database not open"); !open) {
        return open;
    }
    // Whether the file is writable is asked only for a failure's text.
    auto failure = [&](std::string_view description, int code) {
        const bool writable = ::access(databasePath_.c_str(), W_OK) == 0;
        return unexpected(
            msr_errorWithCode(MSRErrorCode::databaseFailure, description,
                              std::string(description) + "," + std::to_string(code) + "," + (writable ? "A" : "NA")));
    };
    if (sqlite3_exec(handle_, "BEGIN EXCLUSIVE TRANSACTION", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return failure("Failed to begin transaction", sqlite3_errcode(handle_));
    }
    inTransaction_ = true;
    transactionFailureCode_ = 0;
    auto rollback = [&](std::uint64_t code, std::string_view message) {
        // Nothing to roll back when SQLite already did.
        if (sqlite3_get_autocommit(handle_) == 0 &&
            sqlite3_exec(handle_, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK) {
            monitor().logWithLevel(1, code, message, sqlite3_errcode(handle_));
        }
    };
    bool committed = false;
    try {
        committed = block();
    } catch (...) {
        rollback(34009, "Failed to rollback transaction after exception");
        inTransaction_ = false;
        throw;
    }
    inTransaction_ = false;
    const int stepFailure = transactionFailureCode_;
    if (!committed) {
        rollback(34011, "Failed to rollback transaction");
        return failure("Transaction failed", stepFailure != 0 ? stepFailure : sqlite3_errcode(handle_));
    }
    if (sqlite3_get_autocommit(handle_) != 0) {
        // SQLite ended it after a failed step the block did not report.
        return failure("Transaction failed", stepFailure);
    }
    if (sqlite3_exec(handle_, "END TRANSACTION", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const int code = sqlite3_errcode(handle_);
        rollback(34011, "Failed to rollback transaction");
        return failure("Failed to end transaction", code);
    }
    return {};
}

// --- Schema

Expected<bool> MSRSqliteStore::tableExists(std::string_view name) {
    if (auto open = checkOpen("Table exists failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    if (name.empty()) {
        return argumentError("Received empty table name for table exists");
    }
    auto rows =
        recordsForQuery("SELECT name FROM sqlite_master WHERE type='table' AND name=?", {platform::Value(name)});
    if (!rows) {
        return unexpected(rows.error());
    }
    return !rows->empty();
}

Expected<std::vector<std::string>> MSRSqliteStore::columnsForTableWithName(std::string_view name) {
    if (auto open = checkOpen("Get table columns failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    auto info = columnInfoForTableWithName(name);
    if (!info) {
        return unexpected(info.error());
    }
    std::vector<std::string> names;
    for (const auto& [column, type] : *info) {
        names.push_back(column);
    }
    return names;
}

Expected<std::map<std::string, std::string, std::less<>>> MSRSqliteStore::columnInfoForTableWithName(
    std::string_view name) {
    if (auto open = checkOpen("Get table column info failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    if (name.empty()) {
        return argumentError("Received empty table name for table column info");
    }
    auto rows = queryRows("PRAGMA table_info(" + std::string(name) + ")", {});
    if (!rows) {
        return unexpected(rows.error());
    }
    std::map<std::string, std::string, std::less<>> info;
    for (const MSRRecord& row : *rows) {
        const auto found = row.find("name");
        if (found == row.end() || !found->second.isString() || found->second.asString()->empty()) {
            continue;
        }
        const auto type = row.find("type");
        const std::string typeText = type != row.end() && type->second.isString() ? *type->second.asString() : "";
        info.emplace(*found->second.asString(), typeText);
    }
    return info;
}

Expected<void> MSRSqliteStore::ensureTableWithName(std::string_view name, const MSRColumnInfo& elementaryColumnInfo,
                                                   const MSRColumnInfo& addOnColumnInfo,
                                                   const MSRModifyColumnInfo& modifyColumnInfo) {
    if (auto ensured = ensureTableWithName(name, elementaryColumnInfo, addOnColumnInfo); !ensured) {
        return ensured;
    }
    if (modifyColumnInfo.empty()) {
        return {};
    }
    auto rewrite = [&](const MSRColumnInfo& columns) {
        MSRColumnInfo rewritten;
        for (const auto& [column, type] : columns) {
            if (column == kMSRPrimaryKey) {
                continue;
            }
            const auto changed = modifyColumnInfo.find(column);
            rewritten.emplace_back(column, changed != modifyColumnInfo.end() ? changed->second : type);
        }
        return rewritten;
    };
    return ensureSchemaOfTableWithName(name, rewrite(elementaryColumnInfo), rewrite(addOnColumnInfo));
}

Expected<void> MSRSqliteStore::ensureTableWithName(std::string_view name, const MSRColumnInfo& elementaryColumnInfo,
                                                   const MSRColumnInfo& addOnColumnInfo) {
    if (auto open = checkOpen("Ensure table failed. Database not open."); !open) {
        return open;
    }
    if (name.empty()) {
        return argumentError("Received empty table name for ensure table");
    }
    if (elementaryColumnInfo.empty()) {
        return argumentError("Received empty elementary column info for ensure table");
    }
    std::string create = "CREATE TABLE IF NOT EXISTS " + std::string(name) + " ( ";
    std::vector<std::string> required;
    for (const auto& [column, type] : elementaryColumnInfo) {
        create += column + " " + type + ", ";
        if (column != kMSRPrimaryKey) {
            required.push_back(column);
        }
    }
    create.replace(create.size() - 2, 2, ");");
    MSRColumnInfo addOns;
    for (const auto& [column, type] : addOnColumnInfo) {
        addOns.emplace_back(column, "ALTER TABLE " + std::string(name) + " ADD COLUMN " + column + " " + type);
    }
    return ensureTableWithName(name, create, required, addOns);
}

Expected<void> MSRSqliteStore::ensureTableWithName(std::string_view name, std::string_view createSQL,
                                                   const std::vector<std::string>& requiredColumnNames,
                                                   const MSRColumnInfo& addOnColumns) {
    if (auto open = checkOpen("Ensure table failed. Database not open."); !open) {
        return open;
    }
    if (createSQL.empty()) {
        return stateError("Failed to create statement for table");
    }
    auto exists = tableExists(name);
    if (!exists) {
        return unexpected(exists.error());
    }
    if (!*exists) {
        if (auto created = executeSQL(createSQL); !created) {
            return created;
        }
    }
    return validateTableWithName(name, requiredColumnNames, addOnColumns);
}

Expected<void> MSRSqliteStore::validateTableWithName(std::string_view name,
                                                     const std::vector<std::string>& requiredColumnNames,
                                                     const MSRColumnInfo& addOnColumns) {
    if (auto open = checkOpen("Validate table failed. Database not open."); !open) {
        return open;
    }
    if (requiredColumnNames.empty()) {
        return argumentError("Received no table columns for validate table");
    }
    auto columns = columnsForTableWithName(name);
    if (!columns) {
        return unexpected(columns.error());
    }
    std::set<std::string, std::less<>> existing(columns->begin(), columns->end());
    if (existing.empty()) {
        return stateError("Table does not exist for validate table");
    }
    for (const std::string& column : requiredColumnNames) {
        if (!existing.contains(column)) {
            return stateError("Table is missing required columns");
        }
    }
    for (const std::string& column : requiredColumnNames) {
        existing.erase(column);
    }
    for (const auto& [column, alter] : addOnColumns) {
        if (const auto found = existing.find(column); found != existing.end()) {
            existing.erase(found);
            continue;
        }
        if (alter.empty()) {
            return stateError("Failed to create alter statement for table");
        }
        if (auto altered = executeSQL(alter); !altered) {
            return altered;
        }
    }
    if (existing.empty()) {
        return {};
    }
    auto rows = queryRows("PRAGMA table_info(" + std::string(name) + ")", {});
    if (!rows) {
        return unexpected(rows.error());
    }
    for (const MSRRecord& row : *rows) {
        const auto column = row.find("name");
        const auto notNull = row.find("notnull");
        if (column != row.end() && column->second.isString() && existing.contains(*column->second.asString()) &&
            notNull != row.end() && notNull->second.asInteger().value_or(0) != 0) {
            return stateError("Table contains unknown non-optional columns");
        }
    }
    return {};
}

Expected<void> MSRSqliteStore::ensureSchemaOfTableWithName(std::string_view name,
                                                           const MSRColumnInfo& elementaryColumnInfo,
                                                           const MSRColumnInfo& addOnColumnInfo) {
    auto info = columnInfoForTableWithName(name);
    if (!info) {
        return unexpected(info.error());
    }
    if (info->empty()) {
        return stateError("Table does not exist for ensure table schema");
    }
    std::map<std::string, std::string, std::less<>> expected;
    for (const auto& [column, type] : elementaryColumnInfo) {
        if (column != kMSRPrimaryKey) {
            expected.emplace(column, firstWord(type));
        }
    }
    for (const auto& [column, type] : addOnColumnInfo) {
        expected.emplace(column, type);
    }
    // Columns a newer version added stay as they are; only ours must match.
    std::string shared;
    bool matches = true;
    for (const auto& [column, type] : expected) {
        const auto found = info->find(column);
        if (found == info->end()) {
            matches = false;
            continue;
        }
        matches = matches && found->second == type;
        shared += (shared.empty() ? "" : ", ") + column;
    }
    if (matches) {
        return {};
    }
    // The rebuild copies by name: the old table may hold columns ours lacks.
    const std::string oldName = std::string(name) + "_old";
    return performTransactionWithError([&] {
        return renameTable(name, oldName) && ensureTableWithName(name, elementaryColumnInfo, addOnColumnInfo) &&
               executeSQL("INSERT INTO " + std::string(name) + " (" + shared + ") SELECT " + shared + " FROM " +
                          oldName) &&
               dropTableWithName(oldName);
    });
}

Expected<void> MSRSqliteStore::dropTableWithName(std::string_view name) {
    if (name.empty()) {
        return argumentError("Received empty table name for drop table");
    }
    return executeSQL("DROP TABLE " + std::string(name));
}

Expected<void> MSRSqliteStore::renameTable(std::string_view name, std::string_view newName) {
    if (name.empty() || newName.empty()) {
        return argumentError("Received empty table name for rename table");
    }
    if (name == newName) {
        return argumentError("Received duplicate name for rename table");
    }
    return executeSQL("ALTER TABLE " + std::string(name) + " RENAME TO " + std::string(newName));
}

Expected<void> MSRSqliteStore::copyContentsFromTable(std::string_view source, std::string_view destination) {
    if (source.empty() || destination.empty()) {
        return argumentError("Received empty table name for copy table");
    }
    if (source == destination) {
        return argumentError("Received duplicate name for copy table");
    }
    return executeSQL("INSERT INTO " + std::string(destination) + " SELECT * FROM " + std::string(source));
}

Expected<void> MSRSqliteStore::createEmptyTable(std::string_view newName, std::string_view fromTable) {
    if (newName.empty() || fromTable.empty()) {
        return argumentError("Received empty table name for create empty copy");
    }
    if (newName == fromTable) {
        return argumentError("Received duplicate name for create empty copy");
    }
    return executeSQL("CREATE TABLE IF NOT EXISTS " + std::string(newName) + " AS SELECT * FROM " +
                      std::string(fromTable) + " WHERE false");
}

// --- Records

Expected<void> MSRSqliteStore::upsertRecord(const MSRRecord& record, std::string_view table) {
    if (auto open = checkOpen("Upsert record failed. Database not open."); !open) {
        return open;
    }
    if (table.empty()) {
        return argumentError("Received empty table name for upsert");
    }
    if (record.empty()) {
        return argumentError("Received empty record for upsert");
    }
    std::string columns;
    std::string placeholders;
    MSRParameterValues parameters;
    parameters.reserve(record.size());
    for (const auto& [column, value] : record) {
        if (!bindable(value)) {
            storage_lines::log(storage_lines::kRecordValueUnexpectedType, column);
            return argumentError("Record has value of unexpected type");
        }
        columns += column + ", ";
        placeholders += "?, ";
        parameters.push_back(value);
    }
    columns.replace(columns.size() - 2, 2, ") VALUES (");
    placeholders.replace(placeholders.size() - 2, 2, ");");
    // Kept by its text like any statement with placeholders: the same
    // record shapes come back on every event.
    auto statement =
        statementForQuery("INSERT OR REPLACE INTO " + std::string(table) + " (" + columns + placeholders, parameters);
    if (!statement) {
        return unexpected(statement.error());
    }
    return executeStatement(std::move(*statement));
}

Expected<void> MSRSqliteStore::updateRecord(const MSRRecord& record, std::string_view table,
                                            std::string_view columnName, const platform::Value& columnValue) {
    if (auto open = checkOpen("Update record failed. Database not open."); !open) {
        return open;
    }
    if (table.empty()) {
        return argumentError("Received empty table name for update");
    }
    if (columnName.empty()) {
        return argumentError("Empty column name for update");
    }
    if (columnValue.isNull()) {
        return argumentError("Nil column value for update");
    }
    if (record.empty()) {
        return argumentError("Received empty record for update");
    }
    std::string assignments;
    MSRParameterValues parameters;
    for (const auto& [column, value] : record) {
        if (!bindable(value)) {
            storage_lines::log(storage_lines::kRecordValueUnexpectedTypeUpdate, column);
            return argumentError("Failed to bind parameter of unexpected type to update statement");
        }
        assignments += column + "=?,";
        parameters.push_back(value);
    }
    assignments.pop_back();
    parameters.push_back(columnValue);
    auto statement = statementForQuery(
        "UPDATE " + std::string(table) + " SET " + assignments + " WHERE " + std::string(columnName) + "=?",
        parameters);
    if (!statement) {
        return unexpected(statement.error());
    }
    return executeStatement(std::move(*statement));
}

Expected<void> MSRSqliteStore::updateAllRecordsInTableWithName(std::string_view table, std::string_view columnName,
                                                               const platform::Value& columnValue) {
    if (auto open = checkOpen("Update record failed. Database not open."); !open) {
        return open;
    }
    if (table.empty() || columnName.empty()) {
        return argumentError("Empty column name for update");
    }
    auto statement =
        statementForQuery("UPDATE " + std::string(table) + " SET " + std::string(columnName) + "=?", {columnValue});
    if (!statement) {
        return unexpected(statement.error());
    }
    if (auto alive = checkTransactionAlive("update all records value"); !alive) {
        return alive;
    }
    if (stepStatement(statement->get()) != SQLITE_DONE) {
        return unexpected(databaseError("update all records value"));
    }
    return {};
}

Expected<void> MSRSqliteStore::increaseColumn(std::string_view column, std::int64_t value, std::string_view table,
                                              std::string_view condition, const MSRParameterValues& parameterValues) {
    if (auto open = checkOpen("Increase column failed. Database not open."); !open) {
        return open;
    }
    if (column.empty() || table.empty() || condition.empty()) {
        return argumentError("Received empty argument for increase column");
    }
    auto info = columnInfoForTableWithName(table);
    if (!info) {
        return unexpected(info.error());
    }
    const auto found = info->find(column);
    if (found == info->end()) {
        return argumentError("Invalid column or table name");
    }
    if (uppercase(found->second) != "INTEGER") {
        return argumentError("Column type is not integer.");
    }
    const std::string sql = "UPDATE " + std::string(table) + " SET " + std::string(column) + " = " +
                            std::string(column) + " + " + std::to_string(value) + " WHERE " + std::string(condition);
    auto statement = statementForQuery(sql, parameterValues);
    if (!statement) {
        return unexpected(statement.error());
    }
    if (auto alive = checkTransactionAlive("increase records value"); !alive) {
        return alive;
    }
    if (stepStatement(statement->get()) != SQLITE_DONE) {
        return unexpected(databaseError("increase records value"));
    }
    return {};
}

Expected<void> MSRSqliteStore::deleteRecordFromTableWithName(std::string_view table, std::string_view columnName,
                                                             const platform::Value& columnValue) {
    if (auto open = checkOpen("Delete record failed. Database not open."); !open) {
        return open;
    }
    if (table.empty() || columnName.empty()) {
        return argumentError("Received empty table name for delete record");
    }
    if (columnValue.isNull()) {
        return argumentError("Received nil value for delete record");
    }
    auto statement = statementForQuery("DELETE FROM " + std::string(table) + " WHERE " + std::string(columnName) + "=?",
                                       {columnValue});
    if (!statement) {
        return unexpected(statement.error());
    }
    if (auto alive = checkTransactionAlive("delete record"); !alive) {
        return alive;
    }
    if (stepStatement(statement->get()) != SQLITE_DONE) {
        return unexpected(databaseError("delete record"));
    }
    return {};
}

Expected<std::int64_t> MSRSqliteStore::deleteRecordsFromTableWithName(std::string_view table,
                                                                      std::string_view condition,
                                                                      const MSRParameterValues& parameterValues) {
    if (auto open = checkOpen("Delete records with condition failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    if (table.empty()) {
        return argumentError("Received empty table name for delete records");
    }
    if (condition.empty()) {
        return argumentError("Received empty condition for delete records");
    }
    auto statement =
        statementForQuery("DELETE FROM " + std::string(table) + " WHERE " + std::string(condition), parameterValues);
    if (!statement) {
        return unexpected(statement.error());
    }
    if (auto alive = checkTransactionAlive("delete records with condition"); !alive) {
        return unexpected(alive.error());
    }
    if (stepStatement(statement->get()) != SQLITE_DONE) {
        return unexpected(databaseError("delete records with condition"));
    }
    return static_cast<std::int64_t>(sqlite3_changes64(handle_));
}

Expected<void> MSRSqliteStore::deleteAllRecordsFromTableWithName(std::string_view table) {
    if (auto open = checkOpen("Delete all records failed. Database not open."); !open) {
        return open;
    }
    if (table.empty()) {
        return argumentError("Received empty table name for delete all records");
    }
    auto statement = statementForQuery("DELETE FROM " + std::string(table), {});
    if (!statement) {
        return unexpected(statement.error());
    }
    if (auto alive = checkTransactionAlive("delete all records"); !alive) {
        return alive;
    }
    if (stepStatement(statement->get()) != SQLITE_DONE) {
        return unexpected(databaseError("delete all records"));
    }
    return {};
}

Expected<std::int64_t> MSRSqliteStore::rowCountForTableWithName(std::string_view table) {
    if (auto open = checkOpen("Row count failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    if (table.empty()) {
        return argumentError("Received empty table name for row count");
    }
    auto count = numberForQuery("SELECT count(1) FROM " + std::string(table), {});
    if (!count) {
        return unexpected(count.error());
    }
    return *count ? (*count)->asInteger().value_or(0) : 0;
}

Expected<std::int64_t> MSRSqliteStore::rowCountForTableWithName(std::string_view table, std::string_view columnName,
                                                                const platform::Value& columnValue) {
    if (columnName.empty() || columnValue.isNull()) {
        return rowCountForTableWithName(table);
    }
    if (auto open = checkOpen("Row count failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    if (table.empty()) {
        return argumentError("Received empty table name for row count");
    }
    auto count = numberForQuery(
        "SELECT count(1) FROM " + std::string(table) + " WHERE " + std::string(columnName) + "=?", {columnValue});
    if (!count) {
        return unexpected(count.error());
    }
    return *count ? (*count)->asInteger().value_or(0) : 0;
}

// --- Queries

namespace {

std::optional<platform::Value> columnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return platform::Value(static_cast<std::int64_t>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return platform::Value(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        if (text == nullptr) {
            return std::nullopt;
        }
        return platform::Value(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))));
    }
    case SQLITE_BLOB: {
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, column));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
        return platform::Value(bytes != nullptr ? platform::Value::Data(bytes, bytes + size) : platform::Value::Data());
    }
    case SQLITE_NULL:
        return platform::Value();
    default:
        return std::nullopt;
    }
}

}  // namespace

Expected<std::vector<MSRRecord>> MSRSqliteStore::recordsForQuery(std::string_view query,
                                                                 const MSRParameterValues& parameterValues,
                                                                 const MSRRowFilter& filter) {
    if (auto open = checkOpen("Query records failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    if (query.empty()) {
        return argumentError("Received empty query for records for query");
    }
    if (lowercase(query.substr(0, 6)) != "select") {
        return argumentError("Received invalid select query");
    }
    return queryRows(query, parameterValues, filter);
}

Expected<std::vector<MSRRecord>> MSRSqliteStore::queryRows(std::string_view query,
                                                           const MSRParameterValues& parameterValues,
                                                           const MSRRowFilter& filter) {
    auto statement = statementForQuery(query, parameterValues);
    if (!statement) {
        return unexpected(statement.error());
    }
    if (auto alive = checkTransactionAlive("query records"); !alive) {
        return unexpected(alive.error());
    }
    sqlite3_stmt* raw = statement->get();
    std::vector<MSRRecord> rows;
    std::size_t read = 0;
    int result = stepStatement(raw);
    while (result == SQLITE_ROW) {
        MSRRecord row;
        const int columns = sqlite3_column_count(raw);
        for (int column = 0; column < columns; ++column) {
            const char* name = sqlite3_column_name(raw, column);
            if (name == nullptr) {
                storage_lines::log(storage_lines::kFailedGetColumnName);
                continue;
            }
            auto value = columnValue(raw, column);
            if (!value) {
                storage_lines::log(storage_lines::kValueNilColumn, name);
                continue;
            }
            row.insert_or_assign(name, std::move(*value));
        }
        const std::size_t index = read++;
        if (filter && !filter(index, row)) {
            break;
        }
        rows.push_back(std::move(row));
        result = stepStatement(raw);
    }
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        // A read error is a failure, not the end of the rows.
        return unexpected(databaseError("query records"));
    }
    if (read > 0 && rows.empty()) {
        storage_lines::log(storage_lines::kDatabaseContainsRecordsWereAllFiltered);
    }
    return rows;
}

Expected<std::optional<platform::Value>> MSRSqliteStore::numberForQuery(std::string_view query,
                                                                        const MSRParameterValues& parameterValues,
                                                                        MSRStatementReuse reuse) {
    if (auto open = checkOpen("Query numeric result failed. Database not open."); !open) {
        return unexpected(open.error());
    }
    if (query.empty()) {
        return argumentError("Received empty query for number for query");
    }
    auto statement = statementForQuery(query, parameterValues, reuse);
    if (!statement) {
        return unexpected(statement.error());
    }
    if (auto alive = checkTransactionAlive("query numeric result"); !alive) {
        return unexpected(alive.error());
    }
    if (stepStatement(statement->get()) != SQLITE_ROW) {
        return unexpected(databaseError("query numeric result"));
    }
    auto value = columnValue(statement->get(), 0);
    if (!value || value->isNull()) {
        return std::optional<platform::Value>();
    }
    if (!value->isNumber()) {
        return argumentError("Found result that was not numeric");
    }
    return std::optional<platform::Value>(std::move(*value));
}

}  // namespace kit::measurement

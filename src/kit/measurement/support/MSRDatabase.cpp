#include "kit/measurement/support/MSRDatabase.h"

#include "DatabaseSupport.h"
#include "StorageLines.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/MessageFormat.h"

#include <chrono>
#include <utility>

namespace kit::measurement {

using namespace database;
using platform::Expected;
using platform::unexpected;

namespace {

// The file's own tables can't be used as they are: only then is it given up.
bool isSchemaIncompatibility(const platform::Error& error) {
    const std::string_view text = error.what();
    return error.domain() == kMSRErrorDomain && error.code() == 2 &&
           (text == "Table is missing required columns" || text == "Table contains unknown non-optional columns");
}

std::string withContext(std::string_view format, std::string_view context) {
    return platform::formatMessage(format, {platform::MessageArgument(context)});
}

// Lookups the event road makes for every event. Without them each reads the
// whole raw-event table, and an event would cost more the more are stored.
constexpr std::string_view kRawEventIndexes[] = {
    "CREATE INDEX IF NOT EXISTS raw_events_timestamp ON raw_events (timestamp)",
    "CREATE INDEX IF NOT EXISTS raw_events_realtime ON raw_events (is_realtime) WHERE is_realtime = 1",
};

}  // namespace

struct MSRDatabase::Private {};

MSRDatabase::MSRDatabase(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig, const platform::Clock& clock)
    : persistedConfig_(std::move(persistedConfig)), clock_(clock) {}

MSRDatabase::~MSRDatabase() = default;

platform::Error MSRDataTypesNotConvertedError() {
    return msr_errorWithCode(MSRErrorCode::invalidState, "Failed to initialize data types from dictionaries");
}

double MSRDatabase::now() const { return platform::secondsSince1970(clock_.now()); }

const std::filesystem::path& MSRDatabase::databasePath() const { return sqliteStore_->databasePath(); }

// ---- Lifecycle

Expected<std::unique_ptr<MSRDatabase>> MSRDatabase::initWithDatabaseName(
    std::string_view name, std::shared_ptr<MSRPersistedConfig> persistedConfig, const platform::Clock& clock) {
    if (name.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty database name in init");
    }
    auto database = std::make_unique<MSRDatabase>(Private{}, std::move(persistedConfig), clock);
    if (auto initialized = database->initializeDatabaseResourcesWithContext("Init", MSRMeasurementFilePath(name));
        !initialized) {
        return unexpected(initialized.error());
    }
    return database;
}

Expected<void> MSRDatabase::reset() {
    const std::filesystem::path path = sqliteStore_->databasePath();
    if (!sqliteStore_->closeAndDeleteDatabase()) {
        return failure(MSRErrorCode::invalidState, "Failed to delete database data");
    }
    return initializeDatabaseResourcesWithContext("Reset", path);
}

Expected<void> MSRDatabase::initializeDatabaseResourcesWithContext(std::string_view context,
                                                                   const std::filesystem::path& databasePath) {
    auto store = MSRSqliteStore::create(databasePath);
    if (!store) {
        return unexpected(store.error());
    }
    sqliteStore_ = std::move(*store);
    if (auto ensured = ensureAllTables(); !ensured) {
        monitor().logWithLevel(storage_lines::kFailedCreateValidateRequiredDatabaseTables.level,
                               storage_lines::kFailedCreateValidateRequiredDatabaseTables.code,
                               withContext(storage_lines::kFailedCreateValidateRequiredDatabaseTables.text, context));
        if (isSchemaIncompatibility(ensured.error())) {
            // The next start makes a fresh file.
            sqliteStore_->closeDatabase();
            if (auto deleted = MSRDeleteFileAtPath(databasePath); !deleted) {
                monitor().logWithLevel(storage_lines::kFailedDeleteOldDatabaseFileAfter.level,
                                       storage_lines::kFailedDeleteOldDatabaseFileAfter.code,
                                       withContext(storage_lines::kFailedDeleteOldDatabaseFileAfter.text, context),
                                       deleted.error());
            }
        } else {
            // Busy, full or failing: the file and its rows stay for the next start.
            sqliteStore_->closeDatabase();
        }
        return ensured;
    }
    if (auto metadata = initializeAppMetadata(); !metadata) {
        monitor().logWithLevel(storage_lines::kFailedInitializeAppMetadataTable.level,
                               storage_lines::kFailedInitializeAppMetadataTable.code,
                               withContext(storage_lines::kFailedInitializeAppMetadataTable.text, context));
        sqliteStore_->closeDatabase();
        return metadata;
    }
    return {};
}

Expected<void> MSRDatabase::ensureAllTables() {
    for (const TableSchema& table : measurementTables()) {
        if (auto ensured = sqliteStore_->ensureTableWithName(table.name, table.elementary, table.addOns, table.modify);
            !ensured) {
            storage_lines::log(storage_lines::kFailedEnsureTable, table.name, ensured.error());
            return ensured;
        }
    }
    for (const std::string_view sql : kRawEventIndexes) {
        // Only speed hangs on them: the queries answer the same without.
        (void)sqliteStore_->executeSQL(sql);
    }
    return {};
}

Expected<void> MSRDatabase::initializeAppMetadata() {
    std::optional<platform::Error> stepFailure;
    auto done = performTransaction([&] {
        auto metadata = queryAppMetadata();
        if (!metadata) {
            storage_lines::log(storage_lines::kFailedQueryAppMetadata, metadata.error());
            stepFailure = metadata.error();
            return false;
        }
        if (*metadata) {
            return true;
        }
        const MSRRecord record = {{"rowid", platform::Value(1)},
                                  {"last_bundle_index", platform::Value(0)},
                                  {"last_delivery_index", platform::Value(0)},
                                  {"last_bundle_start_timestamp", platform::Value(0.0)},
                                  {"last_bundle_end_timestamp", platform::Value(0.0)}};
        if (auto written = upsertDataType(record, kAppMetadataTable, "rowid", platform::Value(1), kAppMetadataLimit);
            !written) {
            storage_lines::log(storage_lines::kUnableUpdateAppMetadata, written.error());
            stepFailure = written.error();
            return false;
        }
        return true;
    });
    if (!done && stepFailure) {
        return unexpected(*stepFailure);
    }
    return done;
}

Expected<void> MSRDatabase::performTransaction(const std::function<bool()>& block) {
    auto done = sqliteStore_->performTransactionWithError(block);
    if (!done) {
        monitor().logWithLevel(storage_lines::kTransactionFailed.level, storage_lines::kTransactionFailed.code,
                               platform::formatMessage(storage_lines::kTransactionFailed.text,
                                                       {platform::MessageArgument(std::string(done.error().what()))}));
    }
    return done;
}

// ---- Generic record operations

Expected<std::vector<MSRRecord>> MSRDatabase::allRowsFromTableWithName(std::string_view table,
                                                                       std::int64_t tableLimit) {
    return sqliteStore_->recordsForQuery(
        "SELECT rowid, * FROM " + std::string(table) + " ORDER BY rowid LIMIT " + std::to_string(tableLimit), {});
}

Expected<std::vector<MSRRecord>> MSRDatabase::rowsFromTableWithName(std::string_view table, std::string_view columnName,
                                                                    const platform::Value& columnValue) {
    if (table.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty table name to create data type from table");
    }
    if (columnName.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty column name to create data type from table");
    }
    if (columnValue.isNull()) {
        return failure(MSRErrorCode::invalidArgument, "Received nil column value to create data type from table");
    }
    return sqliteStore_->recordsForQuery(
        "SELECT rowid, * FROM " + std::string(table) + " WHERE " + std::string(columnName) + " = ?", {columnValue});
}

Expected<void> MSRDatabase::insertDataType(const MSRRecord& record, std::string_view table) {
    if (table.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty table name for inserting");
    }
    if (record.empty()) {
        return failure(MSRErrorCode::invalidState, "Failed to insert empty record");
    }
    return sqliteStore_->upsertRecord(record, table);
}

Expected<void> MSRDatabase::upsertDataType(const MSRRecord& record, std::string_view table, std::string_view columnName,
                                           const platform::Value& columnValue, std::int64_t tableLimit) {
    if (record.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty data type to upsert");
    }
    if (table.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty table name for checking upsert");
    }
    auto existing = sqliteStore_->rowCountForTableWithName(table, columnName, columnValue);
    if (!existing) {
        return unexpected(existing.error());
    }
    if (*existing == 0) {
        auto all = sqliteStore_->rowCountForTableWithName(table);
        if (!all) {
            return unexpected(all.error());
        }
        if (*all >= tableLimit) {
            return failure(MSRErrorCode::invalidState, "Failed to insert data type. Table is full");
        }
    }
    return sqliteStore_->upsertRecord(record, table);
}

Expected<void> MSRDatabase::updateDataType(const MSRRecord& record, std::string_view table, std::string_view columnName,
                                           const platform::Value& columnValue) {
    if (record.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty data type to update");
    }
    if (table.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty table name for updating");
    }
    auto existing = sqliteStore_->rowCountForTableWithName(table, columnName, columnValue);
    if (!existing) {
        return unexpected(existing.error());
    }
    if (*existing == 0) {
        return failure(MSRErrorCode::invalidState, "Failed to update record. Item doesn't exist");
    }
    return sqliteStore_->updateRecord(record, table, columnName, columnValue);
}

}  // namespace kit::measurement

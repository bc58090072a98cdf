#include "kit/measurement/controller/MSREDatabase.h"

#include "ExperimentTexts.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRSqliteStore.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "platform/MessageFormat.h"

#include <system_error>

namespace kit::measurement {
namespace {

namespace text = experiment_text;
using platform::Expected;
using platform::Value;

constexpr std::string_view sdkNameColumn = "sdk_name";
constexpr std::string_view snapshotProtoColumn = "snapshotProto";
constexpr std::string_view timestampColumn = "timestamp";
constexpr std::string_view manuallyActivatedColumn = "manually_activated";
constexpr int snapshotQueryLimit = 100000;

const MSRColumnInfo& snapshotColumns() {
    static const MSRColumnInfo& columns = *new MSRColumnInfo{{std::string(sdkNameColumn), "TEXT NOT NULL PRIMARY KEY"},
                                                             {std::string(snapshotProtoColumn), "BLOB NOT NULL"},
                                                             {std::string(timestampColumn), "REAL NOT NULL"},
                                                             {std::string(manuallyActivatedColumn), "INTEGER"}};
    return columns;
}

constexpr std::string_view snapshotTables[] = {kMSREPendingSnapshotTable, kMSREActivatedSnapshotTable,
                                               kMSRELaunchedSnapshotTable};

std::optional<double> numberOf(const MSRRecord& row, std::string_view column) {
    const auto found = row.find(column);
    if (found == row.end()) {
        return std::nullopt;
    }
    return found->second.asDouble();
}

// The snapshot a row holds, or nothing when it does not read as one.
std::optional<MSRESnapshot> snapshotFromRow(const MSRRecord& row) {
    const auto proto = row.find(snapshotProtoColumn);
    const auto timestamp = numberOf(row, timestampColumn);
    if (proto == row.end() || !proto->second.isData() || !timestamp) {
        return std::nullopt;
    }
    auto message = MSRPBSnapshot::initWithBuffer(*proto->second.asData());
    if (!message) {
        return std::nullopt;
    }
    auto snapshot = MSRESnapshot::initWithProtobuf(*message, *timestamp);
    if (!snapshot) {
        return std::nullopt;
    }
    if (const auto manual = row.find(manuallyActivatedColumn); manual != row.end() && manual->second.isNumber()) {
        snapshot->setManuallyActivated(manual->second.asDouble().value_or(0) != 0);
    }
    return snapshot;
}

std::string sdkNameOf(const MSRRecord& row) {
    const auto found = row.find(sdkNameColumn);
    if (found != row.end() && found->second.isString()) {
        return *found->second.asString();
    }
    return {};
}

}  // namespace

struct MSREDatabase::Private {};

MSREDatabase::MSREDatabase(Private, std::filesystem::path path) : path_(std::move(path)) {}

MSREDatabase::~MSREDatabase() = default;

std::unique_ptr<MSREDatabase> MSREDatabase::initWithPath(const std::filesystem::path& path) {
    auto database = std::make_unique<MSREDatabase>(Private{}, path);
    if (!database->initializeDatabaseResources("Init")) {
        return nullptr;
    }
    return database;
}

bool MSREDatabase::initializeDatabaseResources(std::string_view context) {
    std::error_code ignored;
    std::filesystem::create_directories(path_.parent_path(), ignored);
    auto store = MSRSqliteStore::create(path_);
    if (!store) {
        text::log(
            {text::openFailed.code, text::openFailed.level, platform::formatMessage(text::openFailed.text, {context})},
            store.error());
        return false;
    }
    sqliteStore_ = std::move(*store);
    if (!ensureAllTables()) {
        text::log({text::tablesFailed.code, text::tablesFailed.level,
                   platform::formatMessage(text::tablesFailed.text, {context})});
        if (!sqliteStore_->closeAndDeleteDatabase()) {
            text::log({text::deleteAfterValidationFailed.code, text::deleteAfterValidationFailed.level,
                       platform::formatMessage(text::deleteAfterValidationFailed.text, {path_.string()})});
        }
        sqliteStore_.reset();
        return false;
    }
    return true;
}

bool MSREDatabase::ensureAllTables() {
    for (const std::string_view table : snapshotTables) {
        if (auto ensured = sqliteStore_->ensureTableWithName(table, snapshotColumns(), {}, {}); !ensured) {
            text::log(text::ensureTableFailed, table, ensured.error());
            return false;
        }
    }
    return true;
}

void MSREDatabase::closeAndDelete() {
    if (sqliteStore_ == nullptr) {
        return;
    }
    if (!sqliteStore_->closeAndDeleteDatabase()) {
        text::log(text::deleteDataFailed);
    }
    sqliteStore_.reset();
}

bool MSREDatabase::reset() {
    closeAndDelete();
    if (!initializeDatabaseResources("Reset")) {
        text::log(text::reinitializeFailed);
        return false;
    }
    return true;
}

bool MSREDatabase::performTransaction(const std::function<bool()>& block) {
    if (sqliteStore_ == nullptr) {
        return false;
    }
    if (auto done = sqliteStore_->performTransactionWithError(block); !done) {
        text::log({text::transactionFailed.code, text::transactionFailed.level,
                   platform::formatMessage(text::transactionFailed.text, {std::string(done.error().what())})});
        return false;
    }
    return true;
}

Expected<std::vector<MSRESnapshot>> MSREDatabase::allSnapshotsFromTable(std::string_view table) {
    if (sqliteStore_ == nullptr) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidState, "Database not open"));
    }
    auto rows = sqliteStore_->recordsForQuery(
        platform::formatMessage("SELECT rowid, * FROM %@ ORDER BY rowid LIMIT %ld", {table, long{snapshotQueryLimit}}),
        {});
    if (!rows) {
        return platform::unexpected(rows.error());
    }
    std::vector<MSRESnapshot> snapshots;
    for (const MSRRecord& row : *rows) {
        if (auto snapshot = snapshotFromRow(row)) {
            snapshots.push_back(std::move(*snapshot));
            continue;
        }
        // One unreadable row must not hide every other snapshot, again at
        // each start: it goes.
        if (auto deleted = deleteUnreadableRow(row, table); !deleted) {
            return platform::unexpected(deleted.error());
        }
    }
    return snapshots;
}

Expected<void> MSREDatabase::deleteUnreadableRow(const MSRRecord& row, std::string_view table) {
    text::log(text::unreadableRowDeleted, table, sdkNameOf(row));
    const auto rowID = row.find("rowid");
    if (rowID == row.end()) {
        return {};
    }
    auto deleted = sqliteStore_->deleteRecordsFromTableWithName(table, "rowid = ?", {rowID->second});
    if (!deleted) {
        return platform::unexpected(deleted.error());
    }
    return {};
}

Expected<std::vector<MSRESnapshot>> MSREDatabase::fetchAllActivatedSnapshots() {
    return allSnapshotsFromTable(kMSREActivatedSnapshotTable);
}

Expected<std::vector<MSRESnapshot>> MSREDatabase::fetchAllPendingSnapshots() {
    return allSnapshotsFromTable(kMSREPendingSnapshotTable);
}

Expected<std::vector<MSRESnapshot>> MSREDatabase::fetchAllLaunchedSnapshots() {
    return allSnapshotsFromTable(kMSRELaunchedSnapshotTable);
}

Expected<void> MSREDatabase::upsertSnapshot(const MSRPBSnapshot& snapshot, std::string_view table, double timestamp,
                                            std::optional<bool> manuallyActivated) {
    if (sqliteStore_ == nullptr) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidState, "Database not open"));
    }
    auto bytes = snapshot.protoBuffer();
    if (!bytes) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidArgument, "Cannot encode the snapshot"));
    }
    MSRRecord record{{std::string(sdkNameColumn), Value(NanoMessageGetString(snapshot, 0).value_or(""))},
                     {std::string(timestampColumn), Value(timestamp)},
                     {std::string(snapshotProtoColumn), Value(Value::Data(std::move(*bytes)))}};
    if (manuallyActivated) {
        record.emplace(std::string(manuallyActivatedColumn), Value(std::int64_t{*manuallyActivated ? 1 : 0}));
    }
    return sqliteStore_->upsertRecord(record, table);
}

Expected<void> MSREDatabase::upsertPendingExperimentSnapshots(const std::vector<MSRESnapshot>& snapshots) {
    for (const MSRESnapshot& snapshot : snapshots) {
        if (auto stored = upsertSnapshot(snapshot.proto(), kMSREPendingSnapshotTable, snapshot.timestamp(),
                                         snapshot.manuallyActivated());
            !stored) {
            return stored;
        }
    }
    return {};
}

Expected<void> MSREDatabase::activateSnapshot(const std::optional<MSRESnapshot>& snapshot, double timestamp) {
    if (!snapshot) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidArgument, text::nilPendingSnapshotError));
    }
    std::vector<MSREExperiment> activated;
    std::optional<MSREExperiment> launched;
    for (const auto& [experimentID, experiment] : snapshot->experimentsByExperimentID()) {
        if (experimentID == 0) {
            launched = experiment;
        } else {
            activated.push_back(experiment);
        }
    }
    if (launched) {
        auto launchedSnapshot = MSRESnapshot::initWithSDKName(snapshot->SDKName(), {*launched}, timestamp);
        if (auto stored = upsertSnapshot(launchedSnapshot->proto(), kMSRELaunchedSnapshotTable, timestamp, {});
            !stored) {
            return stored;
        }
    }
    if (!activated.empty()) {
        auto activatedSnapshot = MSRESnapshot::initWithSDKName(snapshot->SDKName(), activated, timestamp);
        if (auto stored = upsertSnapshot(activatedSnapshot->proto(), kMSREActivatedSnapshotTable, timestamp, {});
            !stored) {
            return stored;
        }
    }
    auto deleted = sqliteStore_->deleteRecordsFromTableWithName(
        kMSREPendingSnapshotTable, platform::formatMessage("%@ = ? AND %@ <= ?", {sdkNameColumn, timestampColumn}),
        {Value(snapshot->SDKName()), Value(timestamp)});
    if (!deleted) {
        return platform::unexpected(deleted.error());
    }
    return {};
}

Expected<void> MSREDatabase::activatePendingSnapshotsAutomatically() {
    if (sqliteStore_ == nullptr) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidState, "Database not open"));
    }
    auto rows = sqliteStore_->recordsForQuery(
        "SELECT rowid,* FROM pending_snapshot_table WHERE NOT manually_activated = ? ORDER BY rowid", {Value(true)});
    if (!rows) {
        return platform::unexpected(rows.error());
    }
    for (const MSRRecord& row : *rows) {
        auto snapshot = snapshotFromRow(row);
        if (!snapshot) {
            if (auto deleted = deleteUnreadableRow(row, kMSREPendingSnapshotTable); !deleted) {
                return deleted;
            }
            continue;
        }
        if (auto done = activateSnapshot(snapshot, snapshot->timestamp()); !done) {
            return done;
        }
        if (auto deleted = deletePendingExperimentsOfSDKName(snapshot->SDKName()); !deleted) {
            return deleted;
        }
    }
    return {};
}

Expected<void> MSREDatabase::deleteStaleActivatedSnapshots(double now) {
    if (sqliteStore_ == nullptr) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidState, "Database not open"));
    }
    auto deleted = sqliteStore_->deleteRecordsFromTableWithName(kMSREActivatedSnapshotTable,
                                                                platform::formatMessage("%@ <= ?", {timestampColumn}),
                                                                {Value(now - kMSREStaleSnapshotAge)});
    if (!deleted) {
        return platform::unexpected(deleted.error());
    }
    return {};
}

Expected<void> MSREDatabase::deleteExperimentsOfSDKName(std::string_view sdkName, std::string_view table) {
    if (sqliteStore_ == nullptr) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidState, "Database not open"));
    }
    return sqliteStore_->deleteRecordFromTableWithName(table, sdkNameColumn, Value(sdkName));
}

Expected<void> MSREDatabase::deleteActivatedExperimentsOfSDKName(std::string_view sdkName) {
    if (sdkName.empty()) {
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidArgument, text::emptySDKNameError));
    }
    return deleteExperimentsOfSDKName(sdkName, kMSREActivatedSnapshotTable);
}

Expected<void> MSREDatabase::deletePendingExperimentsOfSDKName(std::string_view sdkName) {
    return deleteExperimentsOfSDKName(sdkName, kMSREPendingSnapshotTable);
}

Expected<void> MSREDatabase::deleteLaunchedExperimentSDKName(std::string_view sdkName) {
    return deleteExperimentsOfSDKName(sdkName, kMSRELaunchedSnapshotTable);
}

}  // namespace kit::measurement

#include "kit/measurement/support/MSRDatabase.h"

#include "DatabaseSupport.h"
#include "StorageLines.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRPersistedConfig.h"

#include <cmath>

// The app metadata row, its day counters and stored configuration, and the
// per-event aggregates with their snapshot.
namespace kit::measurement {

using namespace database;
using platform::Expected;
using platform::unexpected;

namespace {

constexpr int kConfigAppIDSlot = 1;
constexpr std::string_view kFirstOpenEventName = "_f";

Expected<MSREventAggregates> eventAggregatesFromRow(const MSRRecord& row) {
    const std::string* name = textColumn(row, "name");
    auto aggregates = MSREventAggregates::initWithName(
        name != nullptr ? *name : std::string_view(),
        static_cast<std::int32_t>(integerColumn(row, "lifetime_count").value_or(0)),
        static_cast<std::int32_t>(integerColumn(row, "current_bundle_count").value_or(0)),
        static_cast<std::int32_t>(integerColumn(row, "current_session_count").value_or(0)),
        doubleColumn(row, "last_fire_timestamp").value_or(0));
    if (!aggregates) {
        return failure(MSRErrorCode::invalidState, "Failed to initialize data types from dictionaries");
    }
    aggregates->setLastBundledTimestamp(doubleColumn(row, "last_bundled_timestamp").value_or(0));
    aggregates->setLastSampledComplexEventID(integerColumn(row, "last_sampled_complex_event_id"));
    aggregates->setLastSamplingRate(integerColumn(row, "last_sampling_rate").value_or(1));
    aggregates->setLastExemptFromSampling(integerColumn(row, "last_exempt_from_sampling").value_or(0) != 0);
    aggregates->setLastBundledDay(static_cast<std::int32_t>(integerColumn(row, "last_bundled_day").value_or(0)));
    return std::move(*aggregates);
}

}  // namespace

// ---- App metadata

Expected<std::optional<MSRAppMetadata>> MSRDatabase::queryAppMetadata() {
    auto rows = rowsFromTableWithName(kAppMetadataTable, "rowid", platform::Value(1));
    if (!rows) {
        return unexpected(rows.error());
    }
    if (rows->empty()) {
        return std::optional<MSRAppMetadata>();
    }
    const MSRRecord& row = rows->front();
    auto metadata = MSRAppMetadata::initWithLastBundleIndex(
        static_cast<std::int32_t>(integerColumn(row, "last_bundle_index").value_or(0)),
        static_cast<std::int32_t>(integerColumn(row, "last_delivery_index").value_or(0)),
        doubleColumn(row, "last_bundle_start_timestamp").value_or(0),
        doubleColumn(row, "last_bundle_end_timestamp").value_or(0));
    if (!metadata) {
        return failure(MSRErrorCode::invalidState, "Failed to initialize data types from dictionaries");
    }
    return metadata;
}

Expected<void> MSRDatabase::updateAppMetadata(const MSRAppMetadata& appMetadata) {
    const MSRRecord record = {{"rowid", platform::Value(1)},
                              {"last_bundle_index", platform::Value(appMetadata.lastBundleIndex())},
                              {"last_delivery_index", platform::Value(appMetadata.lastDeliveryIndex())},
                              {"last_bundle_start_timestamp", platform::Value(appMetadata.lastBundleStartTimestamp())},
                              {"last_bundle_end_timestamp", platform::Value(appMetadata.lastBundleEndTimestamp())}};
    return updateDataType(record, kAppMetadataTable, "rowid", platform::Value(1));
}

Expected<MSRDailyCounts> MSRDatabase::dailyCounts() {
    const double midnightOffset = persistedConfig_ ? persistedConfig_->midnightOffset() : 0;
    const auto today = static_cast<std::uint32_t>(std::floor((now() - midnightOffset) / 86400));
    auto rows = rowsFromTableWithName(kAppMetadataTable, "rowid", platform::Value(1));
    if (!rows) {
        return unexpected(rows.error());
    }
    if (rows->empty()) {
        return failure(MSRErrorCode::databaseFailure, "Received empty dictionary for getting daily counts");
    }
    const MSRRecord& row = rows->front();
    auto count = [&](std::string_view name) { return static_cast<std::int32_t>(integerColumn(row, name).value_or(0)); };
    const auto storedDay = integerColumn(row, "day");
    return MSRDailyCounts(storedDay ? static_cast<std::uint32_t>(*storedDay) : today, count("daily_conversions_count"),
                          count("daily_events_count"), count("daily_public_events_count"),
                          count("daily_error_events_count"), count("daily_real_time_conversion_events_count"),
                          count("daily_real_time_dcu_events_count"));
}

Expected<void> MSRDatabase::updateDailyCounts(const MSRDailyCounts& counts) {
    const MSRRecord record = {{"day", platform::Value(static_cast<std::int64_t>(counts.day()))},
                              {"daily_conversions_count", platform::Value(counts.conversionsCount())},
                              {"daily_events_count", platform::Value(counts.allEventsCount())},
                              {"daily_public_events_count", platform::Value(counts.publicEventsCount())},
                              {"daily_error_events_count", platform::Value(counts.errorEventsCount())},
                              {"daily_real_time_conversion_events_count", platform::Value(counts.realtimeCount())},
                              {"daily_real_time_dcu_events_count", platform::Value(counts.dcuRealtimeCount())}};
    return updateDataType(record, kAppMetadataTable, "rowid", platform::Value(1));
}

// ---- Stored configuration

Expected<void> MSRDatabase::updateRemoteConfig(const MSRPBMeasurementConfig& config) {
    const auto bytes = config.protoBuffer();
    if (!bytes || bytes->empty()) {
        return failure(MSRErrorCode::invalidArgument, "Invalid measurement config data");
    }
    const auto appID = NanoMessageGetString(config, kConfigAppIDSlot);
    if (!appID || appID->empty()) {
        return failure(MSRErrorCode::invalidArgument, "Missing Lumen app ID in measurement configuration");
    }
    const MSRRecord record = {{"remote_config_data", dataValue(*bytes)},
                              {"remote_config_timestamp", platform::Value(now())}};
    return updateDataType(record, kAppMetadataTable, "rowid", platform::Value(1));
}

Expected<void> MSRDatabase::updateRemoteConfigSuccessfulTimestamp(double timestamp) {
    const MSRRecord record = {{"remote_config_timestamp", platform::Value(timestamp)}};
    return updateDataType(record, kAppMetadataTable, "rowid", platform::Value(1));
}

Expected<std::optional<MSRPBMeasurementConfig>> MSRDatabase::queryMeasurementConfigWithError() {
    auto rows = sqliteStore_->recordsForQuery("SELECT remote_config_data FROM app_metadata LIMIT 1", {});
    if (!rows) {
        return unexpected(rows.error());
    }
    const platform::Value::Data* bytes = rows->empty() ? nullptr : dataColumn(rows->front(), "remote_config_data");
    if (bytes == nullptr || bytes->empty()) {
        return std::optional<MSRPBMeasurementConfig>();
    }
    auto config = MSRPBMeasurementConfig::initWithBuffer(*bytes);
    if (!config) {
        return failure(MSRErrorCode::invalidState, "Remote config data is corrupted");
    }
    return config;
}

Expected<std::optional<double>> MSRDatabase::lastRemoteConfigUpdateTimestamp() {
    auto number = sqliteStore_->numberForQuery("SELECT remote_config_timestamp FROM app_metadata LIMIT 1", {});
    if (!number) {
        return unexpected(number.error());
    }
    return *number ? (*number)->asDouble() : std::nullopt;
}

// ---- Event aggregates

Expected<std::int64_t> MSRDatabase::publicEventCount() {
    return countForQuery(*sqliteStore_, "SELECT count(1) FROM events WHERE name NOT LIKE '!_%' ESCAPE '!'", {});
}

Expected<std::vector<MSREventAggregates>> MSRDatabase::allEventAggregates() {
    return allDataTypesFromTableWithName<MSREventAggregates>(kEventsTable, kEventsLimit, eventAggregatesFromRow);
}

Expected<std::optional<MSREventAggregates>> MSRDatabase::eventAggregatesWithName(std::string_view name) {
    return eventAggregatesWithName(name, kEventsTable);
}

Expected<std::optional<MSREventAggregates>> MSRDatabase::eventAggregatesSnapshotWithName(std::string_view name) {
    auto exists = sqliteStore_->tableExists(kEventsSnapshotTable);
    if (!exists) {
        return unexpected(exists.error());
    }
    if (!*exists) {
        return std::optional<MSREventAggregates>();
    }
    return eventAggregatesWithName(name, kEventsSnapshotTable);
}

Expected<std::optional<MSREventAggregates>> MSRDatabase::eventAggregatesWithName(std::string_view name,
                                                                                 std::string_view table) {
    auto found =
        dataTypesFromTableWithName<MSREventAggregates>(table, "name", platform::Value(name), eventAggregatesFromRow);
    if (!found) {
        return unexpected(found.error());
    }
    if (found->empty()) {
        return std::optional<MSREventAggregates>();
    }
    return std::optional<MSREventAggregates>(std::move(found->front()));
}

Expected<void> MSRDatabase::updateEventAggregates(const MSREventAggregates& aggregates) {
    if (aggregates.name().empty()) {
        return failure(MSRErrorCode::invalidArgument,
                       "Received event aggregates object with empty name for getting dictionary representation");
    }
    MSRRecord record = {{"name", platform::Value(aggregates.name())},
                        {"lifetime_count", platform::Value(aggregates.lifetimeCount())},
                        {"current_bundle_count", platform::Value(aggregates.currentBundleCount())},
                        {"last_fire_timestamp", platform::Value(aggregates.lastFireTimestamp())},
                        {"last_bundled_timestamp", platform::Value(aggregates.lastBundledTimestamp())},
                        {"last_sampling_rate", platform::Value(aggregates.lastSamplingRate())},
                        {"last_exempt_from_sampling", platform::Value(aggregates.lastExemptFromSampling() ? 1 : 0)},
                        {"last_bundled_day", platform::Value(aggregates.lastBundledDay())},
                        {"current_session_count", platform::Value(aggregates.currentSessionCount())}};
    if (const auto complexEventID = aggregates.lastSampledComplexEventID()) {
        record.emplace("last_sampled_complex_event_id", platform::Value(*complexEventID));
    }
    return upsertDataType(record, kEventsTable, "name", platform::Value(aggregates.name()), kEventsLimit);
}

Expected<void> MSRDatabase::clearCurrentSessionCounts() {
    return sqliteStore_->updateAllRecordsInTableWithName(kEventsTable, "current_session_count", platform::Value(0));
}

Expected<void> MSRDatabase::deleteAllEventAggregates() {
    return sqliteStore_->deleteAllRecordsFromTableWithName(kEventsTable);
}

Expected<void> MSRDatabase::deleteAllEventAggregatesInSnapshot() {
    return sqliteStore_->deleteAllRecordsFromTableWithName(kEventsSnapshotTable);
}

Expected<void> MSRDatabase::createEventsSnapshotTable() {
    if (auto exists = sqliteStore_->tableExists(kEventsSnapshotTable); exists && *exists) {
        (void)sqliteStore_->dropTableWithName(kEventsSnapshotTable);
    }
    if (auto created = sqliteStore_->createEmptyTable(kEventsSnapshotTable, kEventsTable); !created) {
        storage_lines::log(storage_lines::kFailedEnsureEventSnapshotTable, created.error());
        return created;
    }
    return sqliteStore_->copyContentsFromTable(kEventsTable, kEventsSnapshotTable);
}

Expected<void> MSRDatabase::restoreFromEventsSnapshotTable() {
    auto exists = sqliteStore_->tableExists(kEventsSnapshotTable);
    if (!exists) {
        return unexpected(exists.error());
    }
    if (!*exists) {
        return {};
    }
    auto snapshotRows = sqliteStore_->rowCountForTableWithName(kEventsSnapshotTable);
    if (!snapshotRows) {
        return unexpected(snapshotRows.error());
    }
    if (*snapshotRows == 0) {
        return {};
    }
    auto firstOpen = eventAggregatesWithName(kFirstOpenEventName);
    if (!firstOpen) {
        return unexpected(firstOpen.error());
    }
    if (auto deleted = deleteAllEventAggregates(); !deleted) {
        return deleted;
    }
    if (auto copied = sqliteStore_->copyContentsFromTable(kEventsSnapshotTable, kEventsTable); !copied) {
        return copied;
    }
    auto snapshotFirstOpen = eventAggregatesWithName(kFirstOpenEventName, kEventsSnapshotTable);
    if (!snapshotFirstOpen) {
        return unexpected(snapshotFirstOpen.error());
    }
    // The first-open count outlives a snapshot taken before it existed.
    const bool snapshotLacksFirstOpen = !*snapshotFirstOpen || (*snapshotFirstOpen)->lifetimeCount() == 0;
    if (snapshotLacksFirstOpen && *firstOpen) {
        if (auto restored = updateEventAggregates(**firstOpen); !restored) {
            return restored;
        }
    }
    return deleteAllEventAggregatesInSnapshot();
}

}  // namespace kit::measurement

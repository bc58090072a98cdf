#pragma once

#include "kit/measurement/messages/MSRRemoteConfigStore.h"
#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSRAudienceRecords.h"
#include "kit/measurement/support/MSRConditionalUserProperty.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRRecords.h"
#include "kit/measurement/support/MSRSqliteStore.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/Expected.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The measurement engine's persistent store: raw events waiting to be
// bundled, bundles waiting for upload, event aggregates, user attributes,
// audience filters and their results, conditional user properties, complex
// events, purchase and subscription keys, and one row of app metadata with
// the day counters and the stored configuration.
//
// Every operation answers an Expected: a step that fails fails its
// operation. Error codes: 1 a bad argument, 2 a missing row, a full table or
// undecodable stored data, 3 SQLite (from the store) or a record that can't
// be written. Not thread-safe: the worker queue owns it. Transactions don't
// nest: performTransaction inside another fails with code 3 without running
// its block.
namespace kit::measurement {

class MSRPersistedConfig;

inline constexpr std::string_view kMSRDatabaseFileName = "lumen-measurement.sql";

// A bundle read from the queue, its retry counter set from the row.
struct MSRQueuedBundle {
    MSRPBMeasurementBundle bundle;
    std::int64_t rowID = 0;
};

// What a reader found: the rows that decoded, and the IDs of those that did
// not, so the caller can delete them instead of meeting them again first in
// line.
struct MSRRawEventsRead {
    std::vector<MSRRawEventData> events;
    std::vector<std::int64_t> skippedRowIDs;
};

struct MSRQueuedBundlesRead {
    std::vector<MSRQueuedBundle> bundles;
    std::vector<std::int64_t> skippedRowIDs;
};

// The main event of a complex event and the number of children it waits for.
struct MSRComplexEvent {
    MSREvent mainEvent;
    std::int64_t childCount = 0;
};

// Turns a row (its "rowid" and every column) into an object, or fails.
template <typename T>
using MSRDataTypeBlock = std::function<platform::Expected<T>(const MSRRecord& row)>;

// The remote settings keep their configuration here, through the store
// interface of the messages library.
class MSRDatabase final : public MSRRemoteConfigStore {
public:
    // ---- Lifecycle
    // Opens (creating if need be) the file of that name in the measurement
    // directory. `clock` gives "now" to every time query; it must outlive
    // the database.
    static platform::Expected<std::unique_ptr<MSRDatabase>> initWithDatabaseName(
        std::string_view name, std::shared_ptr<MSRPersistedConfig> persistedConfig,
        const platform::Clock& clock = platform::systemClock());
    ~MSRDatabase() override;
    MSRDatabase(const MSRDatabase&) = delete;
    MSRDatabase& operator=(const MSRDatabase&) = delete;

    // Deletes the file and makes a fresh one in its place.
    platform::Expected<void> reset();
    // Only a schema this code can't use deletes the file; a busy, full or
    // failing disk fails and keeps it for the next start.
    platform::Expected<void> initializeDatabaseResourcesWithContext(std::string_view context,
                                                                    const std::filesystem::path& databasePath);
    platform::Expected<void> ensureAllTables();
    platform::Expected<void> initializeAppMetadata();
    // Runs `block` in an exclusive transaction; false rolls back (and fails).
    platform::Expected<void> performTransaction(const std::function<bool()>& block);
    // Runs `block`, which only reads, under one read lock.
    void performReads(const std::function<void()>& block) { sqliteStore_->performReads(block); }

    MSRSqliteStore& sqliteStore() { return *sqliteStore_; }
    const std::filesystem::path& databasePath() const;

    // ---- Generic record operations
    // Rows in rowid order; a limit of -1 means none.
    platform::Expected<std::vector<MSRRecord>> allRowsFromTableWithName(std::string_view table,
                                                                        std::int64_t tableLimit);
    platform::Expected<std::vector<MSRRecord>> rowsFromTableWithName(std::string_view table,
                                                                     std::string_view columnName,
                                                                     const platform::Value& columnValue);
    // Rows that don't convert are left out.
    template <typename T>
    platform::Expected<std::vector<T>> allDataTypesFromTableWithName(std::string_view table, std::int64_t tableLimit,
                                                                     const MSRDataTypeBlock<T>& createDataTypeBlock);
    // Rows that don't convert are left out; when rows came back and none
    // converted, code 2.
    template <typename T>
    platform::Expected<std::vector<T>> dataTypesFromTableWithName(std::string_view table, std::string_view columnName,
                                                                  const platform::Value& columnValue,
                                                                  const MSRDataTypeBlock<T>& createDataTypeBlock);
    platform::Expected<void> insertDataType(const MSRRecord& record, std::string_view table);
    // A new key in a table holding `tableLimit` rows is refused (code 2);
    // an existing key is always replaced.
    platform::Expected<void> upsertDataType(const MSRRecord& record, std::string_view table,
                                            std::string_view columnName, const platform::Value& columnValue,
                                            std::int64_t tableLimit);
    platform::Expected<void> updateDataType(const MSRRecord& record, std::string_view table,
                                            std::string_view columnName, const platform::Value& columnValue);

    // ---- App metadata, day counters, stored configuration
    platform::Expected<std::optional<MSRAppMetadata>> queryAppMetadata();
    platform::Expected<void> updateAppMetadata(const MSRAppMetadata& appMetadata);
    platform::Expected<MSRDailyCounts> dailyCounts();
    platform::Expected<void> updateDailyCounts(const MSRDailyCounts& dailyCounts);
    platform::Expected<void> updateRemoteConfig(const MSRPBMeasurementConfig& config) override;
    platform::Expected<void> updateRemoteConfigSuccessfulTimestamp(double timestamp);
    // Nothing (no error) when none is stored; code 2 when it doesn't decode.
    platform::Expected<std::optional<MSRPBMeasurementConfig>> queryMeasurementConfigWithError() override;
    platform::Expected<std::optional<double>> lastRemoteConfigUpdateTimestamp() override;

    // ---- Event aggregates
    platform::Expected<std::int64_t> publicEventCount();
    platform::Expected<std::vector<MSREventAggregates>> allEventAggregates();
    platform::Expected<std::optional<MSREventAggregates>> eventAggregatesWithName(std::string_view name);
    platform::Expected<std::optional<MSREventAggregates>> eventAggregatesSnapshotWithName(std::string_view name);
    platform::Expected<std::optional<MSREventAggregates>> eventAggregatesWithName(std::string_view name,
                                                                                  std::string_view table);
    platform::Expected<void> updateEventAggregates(const MSREventAggregates& aggregates);
    platform::Expected<void> clearCurrentSessionCounts();
    platform::Expected<void> deleteAllEventAggregates();
    platform::Expected<void> deleteAllEventAggregatesInSnapshot();
    platform::Expected<void> createEventsSnapshotTable();
    platform::Expected<void> restoreFromEventsSnapshotTable();

    // ---- Raw event metadata
    platform::Expected<void> insertIfNotExistsRawEventMetadata(const MSRPBMeasurementBundle& metadata);
    platform::Expected<std::optional<MSRPBMeasurementBundle>> queryRawEventsMetadataWithFingerprint(
        std::int64_t fingerprint);
    platform::Expected<void> deleteRawEventMetadataWithMetadataFingerprint(std::int64_t fingerprint);
    platform::Expected<void> deleteUnusedRawEventsMetadata();

    // ---- Raw events
    // The new row's ID.
    platform::Expected<std::int64_t> insertRawEvent(const MSREvent& event, std::int64_t metadataFingerprint,
                                                    bool isRealtime);
    platform::Expected<void> updateRawEvent(const MSRRawEventData& rawEventData);
    // At most maxEventsStored rows, in rowid order; rows that don't decode are left out.
    platform::Expected<std::vector<MSRRawEventData>> allRawEventsWithError();
    // The first 1000 rows of the fingerprint; `eventFilter` false stops the read.
    platform::Expected<MSRRawEventsRead> rawEventsWithMetadataFingerprint(std::int64_t fingerprint,
                                                                          const MSRRowFilter& eventFilter = {});
    platform::Expected<bool> containsRawEventWithMetadataFingerprint(std::int64_t fingerprint);
    platform::Expected<bool> containsRealtimeRawEventsWithError();
    platform::Expected<bool> isRawEventsTableEmpty();
    platform::Expected<std::optional<double>> queryLatestRawEventTime();
    // The fingerprint of the oldest raw event; nothing for an empty table.
    platform::Expected<std::optional<std::int64_t>> nextMetadataFingerprintToProcess();
    platform::Expected<void> deleteRawEventsWithMaxRowID(std::int64_t maxRowID);
    // Keeps the newest maxEventsStored - 1 rows; the number deleted.
    platform::Expected<std::int64_t> deleteRawEventsOverAbsoluteLimit();
    platform::Expected<void> deleteStaleRawEventsDataOlderThanMaxAge(double maxAge);
    platform::Expected<MSRRawEventData> rawEventDataFromDictionary(const MSRRecord& row);

    // ---- Bundle queue
    platform::Expected<void> insertBundle(const MSRPBMeasurementBundle& bundle, bool isRealtime);
    // The oldest bundles within the count and the byte budget (measured
    // uncompressed); the first is taken whatever its size.
    platform::Expected<MSRQueuedBundlesRead> queryBundlesWithCountLimit(std::int64_t countLimit,
                                                                        std::int64_t sizeLimit);
    platform::Expected<std::vector<MSRQueuedBundle>> queryBundlesWithRowIDs(const std::vector<std::int64_t>& rowIDs);
    platform::Expected<void> deleteBundlesWithRowIDs(const std::vector<std::int64_t>& rowIDs);
    // A counter at the int32 maximum stays there (logged, 12054).
    platform::Expected<void> incrementRetryCounterForBundlesWithIDs(const std::vector<std::int64_t>& rowIDs);
    platform::Expected<bool> isQueuedBundleTableEmpty();
    platform::Expected<std::optional<double>> queryLatestBundleTime();
    platform::Expected<bool> containsRealtimeBundlesWithError();
    // True when the deletion ran, false when it was not yet due.
    platform::Expected<bool> maybeDeleteStaleData();
    platform::Expected<void> deleteStaleBundlesOlderThanMaxAge(double maxAge);

    // ---- User attributes
    platform::Expected<std::int64_t> publicUserAttributeCount();
    platform::Expected<std::int64_t> userAttributeCountForOrigin(std::string_view origin);
    platform::Expected<bool> containsUserAttributeWithName(std::string_view name);
    platform::Expected<std::optional<MSRUserAttribute>> userAttributeWithName(std::string_view name);
    // Names starting with "_ltv_", newest first.
    platform::Expected<std::vector<MSRUserAttribute>> allLifetimeValueUserAttributes();
    platform::Expected<std::vector<MSRUserAttribute>> userAttributesIncludingInternal(bool includingInternal);
    platform::Expected<void> updateUserAttribute(const MSRUserAttribute& attribute);
    platform::Expected<void> deleteUserAttributeWithName(std::string_view name);

    // ---- Audience filters and their results
    // Lists stop at the first failure; earlier rows stay written.
    platform::Expected<void> updateEventFilters(const std::vector<MSREventFilter>& filters);
    platform::Expected<void> updatePropertyFilters(const std::vector<MSRPropertyFilter>& filters);
    platform::Expected<std::vector<MSREventFilter>> eventFiltersForEventName(std::string_view eventName);
    platform::Expected<std::vector<MSRPropertyFilter>> propertyFiltersForPropertyName(std::string_view propertyName);
    platform::Expected<std::vector<std::int32_t>> allAudienceIDs();
    // Audience ID to its session-scoped filter IDs, in row order.
    platform::Expected<std::map<std::int32_t, std::vector<std::int32_t>>> allSessionScopedFilters();
    platform::Expected<void> deleteEventFilters(const std::vector<MSREventFilter>& filters);
    platform::Expected<void> deletePropertyFilters(const std::vector<MSRPropertyFilter>& filters);
    platform::Expected<void> deleteAllEventFilters();
    platform::Expected<void> deleteAllPropertyFilters();
    platform::Expected<void> updateFilterResults(const std::vector<MSRFilterResult>& results);
    platform::Expected<std::map<std::int32_t, MSRFilterResult>> allFilterResults();
    platform::Expected<std::optional<MSRFilterResult>> filterResultForAudienceID(std::int32_t audienceID);
    platform::Expected<void> deleteFilterResults(const std::vector<MSRFilterResult>& results);

    // ---- Conditional user properties
    platform::Expected<void> updateConditionalUserProperty(const MSRConditionalUserProperty& property);
    platform::Expected<std::optional<MSRConditionalUserProperty>> conditionalUserPropertyWithName(
        std::string_view name);
    platform::Expected<void> deleteConditionalUserPropertyWithName(std::string_view name);
    platform::Expected<bool> isConditionalUserPropertyTableEmpty();
    // Fails as a whole when one row doesn't convert.
    platform::Expected<std::vector<MSRConditionalUserProperty>> conditionalUserPropertiesWithCondition(
        std::string_view condition, const MSRParameterValues& parameterValues);
    platform::Expected<std::vector<MSRConditionalUserProperty>> timedOutConditionalUserPropertiesWithError();
    platform::Expected<std::vector<MSRConditionalUserProperty>> expiredConditionalUserPropertiesWithError();
    platform::Expected<std::vector<MSRConditionalUserProperty>> triggeredConditionalUserPropertiesWithEventName(
        std::string_view eventName);
    // SQL LIKE on both (ASCII case ignored, "%" and "_" are wildcards); empty matches all.
    platform::Expected<std::vector<MSRConditionalUserProperty>> conditionalUserPropertiesWithPrefix(
        std::string_view namePrefix, std::string_view origin);

    // ---- Complex events
    platform::Expected<void> updateComplexEventForAudienceEvaluationWithEventID(std::int64_t eventID,
                                                                                std::int64_t childEventCount,
                                                                                const MSREvent& mainEvent);
    // Nothing (no error) when no row has that ID.
    platform::Expected<std::optional<MSRComplexEvent>> mainEventAndChildCountPairWithEventID(std::int64_t eventID);
    platform::Expected<void> deleteComplexEventForAudienceEvaluationWithEventID(std::int64_t eventID);

    // ---- Purchases and subscriptions
    // True when the key was new and is now stored; false for a repeat or an empty key.
    platform::Expected<bool> insertIfNotDuplicatePurchaseFingerprint(std::string_view fingerprint);
    platform::Expected<bool> insertIfNotDuplicateSubscriptionID(std::string_view subscriptionID);
    // Keeps the newest 1000; the number deleted.
    platform::Expected<std::int64_t> deleteSubscriptionsOverLimit();

    struct Private;
    MSRDatabase(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig, const platform::Clock& clock);

private:
    double now() const;

    std::unique_ptr<MSRSqliteStore> sqliteStore_;
    std::shared_ptr<MSRPersistedConfig> persistedConfig_;
    const platform::Clock& clock_;
};

platform::Error MSRDataTypesNotConvertedError();

template <typename T>
platform::Expected<std::vector<T>> MSRDatabase::allDataTypesFromTableWithName(
    std::string_view table, std::int64_t tableLimit, const MSRDataTypeBlock<T>& createDataTypeBlock) {
    auto rows = allRowsFromTableWithName(table, tableLimit);
    if (!rows) {
        return platform::unexpected(rows.error());
    }
    std::vector<T> objects;
    objects.reserve(rows->size());
    for (const MSRRecord& row : *rows) {
        if (auto object = createDataTypeBlock(row)) {
            objects.push_back(std::move(*object));
        }
    }
    return objects;
}

template <typename T>
platform::Expected<std::vector<T>> MSRDatabase::dataTypesFromTableWithName(
    std::string_view table, std::string_view columnName, const platform::Value& columnValue,
    const MSRDataTypeBlock<T>& createDataTypeBlock) {
    auto rows = rowsFromTableWithName(table, columnName, columnValue);
    if (!rows) {
        return platform::unexpected(rows.error());
    }
    std::vector<T> objects;
    objects.reserve(rows->size());
    for (const MSRRecord& row : *rows) {
        if (auto object = createDataTypeBlock(row)) {
            objects.push_back(std::move(*object));
        }
    }
    if (!rows->empty() && objects.empty()) {
        return platform::unexpected(MSRDataTypesNotConvertedError());
    }
    return objects;
}

}  // namespace kit::measurement

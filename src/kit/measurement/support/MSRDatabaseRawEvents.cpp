#include "kit/measurement/support/MSRDatabase.h"

#include "DatabaseSupport.h"
#include "StorageLines.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDigests.h"

#include <sqlite3.h>

// Raw events waiting to be bundled and the bundle metadata they share.
namespace kit::measurement {

using namespace database;
using platform::Expected;
using platform::unexpected;

namespace {

constexpr int kEventParamsSlot = 0;
constexpr int kEventNameSlot = 1;
constexpr int kEventPreviousTimestampSlot = 3;
constexpr int kParamNameSlot = 0;
constexpr int kParamStringSlot = 1;
constexpr int kParamIntSlot = 2;
constexpr int kParamDoubleSlot = 4;
constexpr int kParamNestedSlot = 5;
constexpr std::int64_t kRawEventsReadLimit = 1000;
// Items hold plain values: deeper nesting is not an event this engine wrote.
constexpr int kMaxParamDepth = 2;

std::vector<MSRPBEventParam> nestedParams(const MSRPBEventParam& param) {
    return NanoMessageGetArray<MSRPBEventParam>(param, kParamNestedSlot).value_or(std::vector<MSRPBEventParam>{});
}

// A parameter's entries, {name: plain value}. Inside an item the nested
// parameters' entries go straight into the result.
Expected<platform::Value::Dictionary> paramEntries(const MSRPBEventParam& param, bool nested, int depth) {
    const std::string name = NanoMessageGetString(param, kParamNameSlot).value_or(std::string());
    if (!nested && name.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Event parameter name is empty");
    }
    platform::Value::Dictionary entries;
    if (auto text = NanoMessageGetString(param, kParamStringSlot)) {
        entries.emplace(name, platform::Value(std::move(*text)));
        return entries;
    }
    if (NanoMessageHasField(param, kParamIntSlot)) {
        entries.emplace(name, platform::Value(NanoMessageGetInt64(param, kParamIntSlot)));
        return entries;
    }
    if (NanoMessageHasField(param, kParamDoubleSlot)) {
        entries.emplace(name, platform::Value(NanoMessageGetDouble(param, kParamDoubleSlot)));
        return entries;
    }
    const std::vector<MSRPBEventParam> children = nestedParams(param);
    if (children.empty() || depth >= kMaxParamDepth) {
        return failure(MSRErrorCode::invalidState, "Failed to parse invalid event params data");
    }
    if (!nested) {
        platform::Value::Array items;
        for (const MSRPBEventParam& child : children) {
            if (auto item = paramEntries(child, true, depth + 1)) {
                items.emplace_back(std::move(*item));
            }
        }
        entries.emplace(name, platform::Value(std::move(items)));
        return entries;
    }
    for (const MSRPBEventParam& child : children) {
        if (auto childEntries = paramEntries(child, true, depth + 1)) {
            for (auto& [key, value] : *childEntries) {
                entries.insert_or_assign(key, std::move(value));
            }
        }
    }
    return entries;
}

std::optional<MSRValue> valueOfEntry(const platform::Value& plain) {
    if (const std::string* text = plain.asString()) {
        return MSRValue::initWithString(*text);
    }
    if (plain.isInteger()) {
        return MSRValue::initWithInt64(*plain.asInteger());
    }
    if (plain.isDouble()) {
        return MSRValue::initWithDouble(*plain.asDouble());
    }
    if (const platform::Value::Array* items = plain.asArray()) {
        return MSRValue::initWithArray(*items);
    }
    return std::nullopt;
}

}  // namespace

// ---- Raw event metadata

Expected<void> MSRDatabase::insertIfNotExistsRawEventMetadata(const MSRPBMeasurementBundle& metadata) {
    const auto bytes = metadata.protoBuffer();
    if (!bytes || bytes->empty()) {
        return failure(MSRErrorCode::databaseFailure,
                       "Received empty measurement bundle metadata for getting dictionary representation");
    }
    const std::int64_t fingerprint = msr_64LSBMD5(std::span<const std::uint8_t>(*bytes));
    auto stored = queryRawEventsMetadataWithFingerprint(fingerprint);
    if (!stored) {
        return unexpected(stored.error());
    }
    if (*stored) {
        return {};
    }
    const MSRRecord record = {{"metadata_fingerprint", platform::Value(fingerprint)}, {"metadata", dataValue(*bytes)}};
    return upsertDataType(record, kRawEventsMetadataTable, "metadata_fingerprint", platform::Value(fingerprint),
                          kRawEventsMetadataLimit);
}

Expected<std::optional<MSRPBMeasurementBundle>> MSRDatabase::queryRawEventsMetadataWithFingerprint(
    std::int64_t fingerprint) {
    auto found = dataTypesFromTableWithName<MSRPBMeasurementBundle>(
        kRawEventsMetadataTable, "metadata_fingerprint", platform::Value(fingerprint),
        [](const MSRRecord& row) -> Expected<MSRPBMeasurementBundle> {
            const platform::Value::Data* bytes = dataColumn(row, "metadata");
            if (bytes == nullptr || bytes->empty()) {
                return failure(MSRErrorCode::databaseFailure,
                               "Event metadata should not be empty for getting measurement bundle");
            }
            auto bundle = MSRPBMeasurementBundle::initWithBuffer(*bytes);
            if (!bundle) {
                return failure(MSRErrorCode::invalidState, "Failed to parse measurement bundle from data");
            }
            return std::move(*bundle);
        });
    if (!found) {
        return unexpected(found.error());
    }
    if (found->empty()) {
        return std::optional<MSRPBMeasurementBundle>();
    }
    return std::optional<MSRPBMeasurementBundle>(std::move(found->front()));
}

Expected<void> MSRDatabase::deleteRawEventMetadataWithMetadataFingerprint(std::int64_t fingerprint) {
    auto deleted = sqliteStore_->deleteRecordsFromTableWithName(kRawEventsMetadataTable, "metadata_fingerprint == ?",
                                                                {platform::Value(fingerprint)});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

Expected<void> MSRDatabase::deleteUnusedRawEventsMetadata() {
    auto deleted = sqliteStore_->deleteRecordsFromTableWithName(
        kRawEventsMetadataTable, "metadata_fingerprint NOT IN (SELECT DISTINCT metadata_fingerprint FROM raw_events)",
        {});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

// ---- Raw events

namespace {

Expected<MSRRecord> rawEventRecord(const MSREvent& event, std::int64_t metadataFingerprint, bool isRealtime) {
    MSRPBEvent proto = event.protoEvent();
    // The name has its own column.
    NanoMessageClearField(proto, kEventNameSlot);
    auto bytes = proto.protoBuffer();
    if (!bytes) {
        return failure(MSRErrorCode::databaseFailure, "Failed to encode event for the database");
    }
    return MSRRecord{{"name", platform::Value(event.name())},
                     {"timestamp", platform::Value(event.timestamp())},
                     {"metadata_fingerprint", platform::Value(metadataFingerprint)},
                     {"data", dataValue(*bytes)},
                     {"is_realtime", platform::Value(isRealtime ? 1 : 0)}};
}

}  // namespace

Expected<std::int64_t> MSRDatabase::insertRawEvent(const MSREvent& event, std::int64_t metadataFingerprint,
                                                   bool isRealtime) {
    auto record = rawEventRecord(event, metadataFingerprint, isRealtime);
    if (!record) {
        return unexpected(record.error());
    }
    if (auto inserted = insertDataType(*record, kRawEventsTable); !inserted) {
        return unexpected(inserted.error());
    }
    return static_cast<std::int64_t>(sqlite3_last_insert_rowid(sqliteStore_->sqliteHandle()));
}

Expected<void> MSRDatabase::updateRawEvent(const MSRRawEventData& rawEventData) {
    const MSREvent& event = rawEventData.rawEvent();
    auto record = rawEventRecord(event, rawEventData.metadataFingerprint(), event.isRealtime());
    if (!record) {
        return unexpected(record.error());
    }
    return updateDataType(*record, kRawEventsTable, "rowid", platform::Value(rawEventData.rowID()));
}

Expected<std::vector<MSRRawEventData>> MSRDatabase::allRawEventsWithError() {
    const std::int64_t limit = MeasurementServices::current().remoteConfig().maxEventsStored;
    return allDataTypesFromTableWithName<MSRRawEventData>(
        kRawEventsTable, limit, [this](const MSRRecord& row) { return rawEventDataFromDictionary(row); });
}

Expected<MSRRawEventsRead> MSRDatabase::rawEventsWithMetadataFingerprint(std::int64_t fingerprint,
                                                                         const MSRRowFilter& eventFilter) {
    auto rows = sqliteStore_->recordsForQuery(
        "SELECT rowid, * FROM raw_events WHERE metadata_fingerprint = ? ORDER BY rowid ASC LIMIT ?",
        {platform::Value(fingerprint), platform::Value(kRawEventsReadLimit)}, eventFilter);
    if (!rows) {
        return unexpected(rows.error());
    }
    MSRRawEventsRead read;
    read.events.reserve(rows->size());
    for (const MSRRecord& row : *rows) {
        if (auto event = rawEventDataFromDictionary(row)) {
            read.events.push_back(std::move(*event));
        } else if (const auto rowID = integerColumn(row, "rowid")) {
            read.skippedRowIDs.push_back(*rowID);
        }
    }
    if (!read.skippedRowIDs.empty()) {
        storage_lines::log(storage_lines::kRawEventsCouldNotDecoded, static_cast<long long>(read.skippedRowIDs.size()));
    }
    return read;
}

Expected<bool> MSRDatabase::containsRawEventWithMetadataFingerprint(std::int64_t fingerprint) {
    return flagForQuery(*sqliteStore_,
                        "SELECT EXISTS (SELECT 1 FROM raw_events WHERE metadata_fingerprint = ? LIMIT 1)",
                        {platform::Value(fingerprint)});
}

Expected<bool> MSRDatabase::containsRealtimeRawEventsWithError() {
    // The literal 1 lets the query use the partial index of real-time rows.
    return flagForQuery(*sqliteStore_, "SELECT EXISTS (SELECT 1 FROM raw_events WHERE is_realtime = 1 LIMIT 1)", {},
                        MSRStatementReuse::keep);
}

Expected<bool> MSRDatabase::isRawEventsTableEmpty() {
    return flagForQuery(*sqliteStore_, "SELECT NOT EXISTS (SELECT 1 FROM raw_events LIMIT 1)", {});
}

Expected<std::optional<double>> MSRDatabase::queryLatestRawEventTime() {
    auto number = sqliteStore_->numberForQuery("SELECT MAX(timestamp) FROM raw_events", {});
    if (!number) {
        return unexpected(number.error());
    }
    return *number ? (*number)->asDouble() : std::nullopt;
}

Expected<std::optional<std::int64_t>> MSRDatabase::nextMetadataFingerprintToProcess() {
    auto rows = sqliteStore_->recordsForQuery("SELECT metadata_fingerprint, MIN(rowid) FROM raw_events", {});
    if (!rows) {
        return unexpected(rows.error());
    }
    if (rows->size() != 1) {
        return failure(MSRErrorCode::invalidState, "Only one event metadata should be processed");
    }
    return integerColumn(rows->front(), "metadata_fingerprint");
}

Expected<void> MSRDatabase::deleteRawEventsWithMaxRowID(std::int64_t maxRowID) {
    auto deleted =
        sqliteStore_->deleteRecordsFromTableWithName(kRawEventsTable, "rowid <= ?", {platform::Value(maxRowID)});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

Expected<std::int64_t> MSRDatabase::deleteRawEventsOverAbsoluteLimit() {
    const std::int64_t kept = MeasurementServices::current().remoteConfig().maxEventsStored - 1;
    // Row IDs only grow, so their span bounds the row count: under the
    // limit, two index lookups answer without walking the table.
    auto span = sqliteStore_->recordsForQuery(
        "SELECT (SELECT max(rowid) FROM raw_events) - (SELECT min(rowid) FROM raw_events) + 1 AS span", {});
    if (!span) {
        return unexpected(span.error());
    }
    if (span->empty() || integerColumn(span->front(), "span").value_or(0) <= kept) {
        return std::int64_t{0};
    }
    return sqliteStore_->deleteRecordsFromTableWithName(
        kRawEventsTable, "rowid IN (SELECT rowid FROM raw_events ORDER BY rowid DESC LIMIT -1 OFFSET ?)",
        {platform::Value(kept)});
}

Expected<void> MSRDatabase::deleteStaleRawEventsDataOlderThanMaxAge(double maxAge) {
    if (maxAge < 0) {
        return failure(MSRErrorCode::invalidArgument, "Cannot delete stale raw events given negative time period");
    }
    auto deleted = sqliteStore_->deleteRecordsFromTableWithName(kRawEventsTable,
                                                                "abs(timestamp - cast(? as REAL)) > cast(? as REAL)",
                                                                {platform::Value(now()), platform::Value(maxAge)});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    if (*deleted > 0) {
        return deleteUnusedRawEventsMetadata();
    }
    return {};
}

Expected<MSRRawEventData> MSRDatabase::rawEventDataFromDictionary(const MSRRecord& row) {
    if (row.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty dictionary for getting raw event data");
    }
    const auto rowID = integerColumn(row, "rowid");
    if (!rowID) {
        return failure(MSRErrorCode::invalidArgument, "Unable to find row ID in the database dictionary");
    }
    const platform::Value::Data* data = dataColumn(row, "data");
    if (data == nullptr) {
        return failure(MSRErrorCode::invalidArgument, "Unable to find event data in the database dictionary");
    }
    // A row without its fingerprint still reads, under fingerprint 0.
    const std::int64_t fingerprint = integerColumn(row, "metadata_fingerprint").value_or(0);
    auto proto = MSRPBEvent::initWithBuffer(*data);
    if (!proto) {
        return failure(MSRErrorCode::databaseFailure, "Failed to parse event from data");
    }
    const std::string* name = textColumn(row, "name");
    const double timestamp = doubleColumn(row, "timestamp").value_or(0);
    const double previousTimestamp =
        static_cast<double>(NanoMessageGetInt64(*proto, kEventPreviousTimestampSlot)) / 1000.0;
    std::optional<std::string> origin;
    MSRObjectDictionary parameters;
    for (const MSRPBEventParam& param :
         NanoMessageGetArray<MSRPBEventParam>(*proto, kEventParamsSlot).value_or(std::vector<MSRPBEventParam>{})) {
        if (NanoMessageGetString(param, kParamNameSlot) == std::optional<std::string>("_o")) {
            origin = NanoMessageGetString(param, kParamStringSlot);
            if (!origin) {
                return failure(MSRErrorCode::invalidState,
                               "Cannot create an event from database. Origin parameter is not a string");
            }
            continue;
        }
        auto entries = paramEntries(param, false, 0);
        if (!entries) {
            return failure(MSRErrorCode::invalidState, "Failed to parse event params data");
        }
        for (auto& [key, plain] : *entries) {
            auto value = valueOfEntry(plain);
            if (!value) {
                return failure(MSRErrorCode::invalidState, "Failed to parse event params data");
            }
            parameters.insert_or_assign(key, std::move(*value));
        }
    }
    if (!origin || origin->empty()) {
        return failure(MSRErrorCode::invalidState, "Cannot create an event from database. Missing origin parameter");
    }
    auto event = MSREvent::initWithOrigin(*origin, false, name != nullptr ? *name : std::string_view(), timestamp,
                                          previousTimestamp, parameters);
    if (!event) {
        return failure(MSRErrorCode::invalidState, "Failed to initialize raw event data from dictionary");
    }
    auto rawEvent =
        MSRRawEventData::initWithRawEvent(std::make_shared<const MSREvent>(std::move(*event)), *rowID, fingerprint);
    if (!rawEvent) {
        return failure(MSRErrorCode::invalidState, "Failed to initialize raw event data from dictionary");
    }
    return std::move(*rawEvent);
}

}  // namespace kit::measurement

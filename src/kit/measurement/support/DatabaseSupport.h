#pragma once

#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Helpers the database's files share: failures, row columns and the
// measurement schema.
namespace kit::measurement::database {

inline MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

inline platform::Unexpected failure(MSRErrorCode code, std::string_view description) {
    return platform::unexpected(msr_errorWithCode(code, description));
}

// A column's value; nothing when the row lacks it or holds NULL there.
const platform::Value* column(const MSRRecord& row, std::string_view name);
std::optional<std::int64_t> integerColumn(const MSRRecord& row, std::string_view name);
std::optional<double> doubleColumn(const MSRRecord& row, std::string_view name);
const std::string* textColumn(const MSRRecord& row, std::string_view name);
const platform::Value::Data* dataColumn(const MSRRecord& row, std::string_view name);

inline platform::Value dataValue(const NanoBytes& bytes) { return platform::Value(platform::Value::Data(bytes)); }

// The first column of a one-number query as a flag or a count.
platform::Expected<bool> flagForQuery(MSRSqliteStore& store, std::string_view query,
                                      const MSRParameterValues& parameters,
                                      MSRStatementReuse reuse = MSRStatementReuse::byText);
platform::Expected<std::int64_t> countForQuery(MSRSqliteStore& store, std::string_view query,
                                               const MSRParameterValues& parameters);

// The stored form of a value (text, double or a 64-bit integer) and back.
platform::Value storedValue(const MSRValue& value);
// Byte data decoded as an event, code 2 when it isn't one.
platform::Expected<MSREvent> eventFromStoredData(const platform::Value* stored);
// The encoding of an event's wire form.
std::optional<NanoBytes> storedEventData(const MSREvent& event);

// "rowid IN (?,?,…)" and its parameters.
struct RowIDCondition {
    std::string condition;
    MSRParameterValues parameters;
};
platform::Expected<RowIDCondition> rowIDCondition(const std::vector<std::int64_t>& rowIDs);

// The tables of the measurement file.
struct TableSchema {
    std::string_view name;
    MSRColumnInfo elementary;
    MSRColumnInfo addOns;
    MSRModifyColumnInfo modify;
};
const std::vector<TableSchema>& measurementTables();

inline constexpr std::string_view kAppMetadataTable = "app_metadata";
inline constexpr std::string_view kRawEventsMetadataTable = "raw_events_metadata";
inline constexpr std::string_view kRawEventsTable = "raw_events";
inline constexpr std::string_view kEventsTable = "events";
inline constexpr std::string_view kEventsSnapshotTable = "events_snapshot";
inline constexpr std::string_view kUserAttributesTable = "user_attributes";
inline constexpr std::string_view kQueueTable = "queue";
inline constexpr std::string_view kEventFiltersTable = "event_filters";
inline constexpr std::string_view kPropertyFiltersTable = "property_filters";
inline constexpr std::string_view kFilterValuesTable = "audience_filter_values";
inline constexpr std::string_view kPurchasesTable = "purchase_transactions";
inline constexpr std::string_view kSubscriptionsTable = "subscriptions";
inline constexpr std::string_view kConditionalPropertiesTable = "conditional_properties";
inline constexpr std::string_view kMainEventParamsTable = "main_event_params";

// Limits on new keys.
inline constexpr std::int64_t kAppMetadataLimit = 1;
inline constexpr std::int64_t kRawEventsMetadataLimit = 100000;
inline constexpr std::int64_t kEventsLimit = 1000;
inline constexpr std::int64_t kUserAttributesLimit = 1000;
inline constexpr std::int64_t kConditionalPropertiesLimit = 1000;
inline constexpr std::int64_t kPurchaseKeysKept = 1000;
inline constexpr std::int64_t kSubscriptionKeysKept = 1000;

}  // namespace kit::measurement::database

#include "kit/measurement/support/MSRDatabase.h"

#include "DatabaseSupport.h"

// Conditional user properties: stored inactive or active, and the three
// time queries that find those timed out, expired or triggered.
namespace kit::measurement {

using namespace database;
using platform::Expected;
using platform::unexpected;

namespace {

// An optional stored event; nothing when the column is NULL.
Expected<std::optional<MSREvent>> optionalEvent(const MSRRecord& row, std::string_view name) {
    const platform::Value* stored = column(row, name);
    if (stored == nullptr) {
        return std::optional<MSREvent>();
    }
    auto event = eventFromStoredData(stored);
    if (!event) {
        return unexpected(event.error());
    }
    return std::optional<MSREvent>(std::move(*event));
}

Expected<MSRConditionalUserProperty> propertyFromRow(const MSRRecord& row) {
    MSRConditionalUserProperty property;
    const std::string* name = textColumn(row, "name");
    const std::string* origin = textColumn(row, "origin");
    property.name = name != nullptr ? *name : std::string();
    property.origin = origin != nullptr ? *origin : std::string();
    if (const platform::Value* stored = column(row, "value")) {
        property.value = MSRValue::valueFromObject(*stored);
    }
    property.triggerTimeout = doubleColumn(row, "trigger_timeout").value_or(0);
    property.timeToLive = doubleColumn(row, "time_to_live").value_or(0);
    if (const std::string* trigger = textColumn(row, "trigger_event_name")) {
        property.triggerEventName = *trigger;
    }
    for (auto [columnName, slot] :
         {std::pair{"triggered_event", &property.triggeredEvent}, std::pair{"timed_out_event", &property.timedOutEvent},
          std::pair{"expired_event", &property.expiredEvent}}) {
        auto event = optionalEvent(row, columnName);
        if (!event) {
            return unexpected(event.error());
        }
        *slot = std::move(*event);
    }
    property.active = integerColumn(row, "active").value_or(0) != 0;
    property.creationTimestamp = doubleColumn(row, "creation_timestamp").value_or(0);
    property.triggeredTimestamp = doubleColumn(row, "triggered_timestamp").value_or(0);
    return property;
}

}  // namespace

Expected<void> MSRDatabase::updateConditionalUserProperty(const MSRConditionalUserProperty& property) {
    if (property.name.empty()) {
        return failure(MSRErrorCode::databaseFailure,
                       "Received conditional user property with empty name for getting dictionary representation");
    }
    if (property.origin.empty()) {
        return failure(MSRErrorCode::databaseFailure,
                       "Received conditional user property with empty origin for getting dictionary representation");
    }
    if (!property.value) {
        return failure(MSRErrorCode::databaseFailure,
                       "Received conditional user property with nil value for getting dictionary representation");
    }
    MSRRecord record = {{"name", platform::Value(property.name)},
                        {"origin", platform::Value(property.origin)},
                        {"value", storedValue(*property.value)},
                        {"creation_timestamp", platform::Value(property.creationTimestamp)},
                        {"active", platform::Value(property.active ? 1 : 0)},
                        {"trigger_timeout", platform::Value(property.triggerTimeout)},
                        {"triggered_timestamp", platform::Value(property.triggeredTimestamp)},
                        {"time_to_live", platform::Value(property.timeToLive)}};
    if (!property.triggerEventName.empty()) {
        record.emplace("trigger_event_name", platform::Value(property.triggerEventName));
    }
    for (auto [columnName, event] :
         {std::pair{"triggered_event", &property.triggeredEvent}, std::pair{"timed_out_event", &property.timedOutEvent},
          std::pair{"expired_event", &property.expiredEvent}}) {
        if (!*event) {
            continue;
        }
        const auto data = storedEventData(**event);
        if (!data) {
            return failure(MSRErrorCode::databaseFailure, "Failed to encode conditional user property event");
        }
        record.emplace(columnName, dataValue(*data));
    }
    return upsertDataType(record, kConditionalPropertiesTable, "name", platform::Value(property.name),
                          kConditionalPropertiesLimit);
}

Expected<std::optional<MSRConditionalUserProperty>> MSRDatabase::conditionalUserPropertyWithName(
    std::string_view name) {
    auto found = dataTypesFromTableWithName<MSRConditionalUserProperty>(kConditionalPropertiesTable, "name",
                                                                        platform::Value(name), propertyFromRow);
    if (!found) {
        return unexpected(found.error());
    }
    if (found->empty()) {
        return std::optional<MSRConditionalUserProperty>();
    }
    return std::optional<MSRConditionalUserProperty>(std::move(found->front()));
}

Expected<void> MSRDatabase::deleteConditionalUserPropertyWithName(std::string_view name) {
    return sqliteStore_->deleteRecordFromTableWithName(kConditionalPropertiesTable, "name", platform::Value(name));
}

Expected<bool> MSRDatabase::isConditionalUserPropertyTableEmpty() {
    return flagForQuery(*sqliteStore_, "SELECT NOT EXISTS (SELECT 1 FROM conditional_properties LIMIT 1)", {});
}

Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::conditionalUserPropertiesWithCondition(
    std::string_view condition, const MSRParameterValues& parameterValues) {
    if (condition.empty()) {
        return failure(MSRErrorCode::invalidArgument,
                       "Received empty condition for querying a conditional user property");
    }
    auto rows = sqliteStore_->recordsForQuery(
        "SELECT rowid, * FROM " + std::string(kConditionalPropertiesTable) + " WHERE " + std::string(condition),
        parameterValues);
    if (!rows) {
        return unexpected(rows.error());
    }
    std::vector<MSRConditionalUserProperty> properties;
    properties.reserve(rows->size());
    for (const MSRRecord& row : *rows) {
        auto property = propertyFromRow(row);
        if (!property) {
            return unexpected(property.error());
        }
        properties.push_back(std::move(*property));
    }
    return properties;
}

Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::timedOutConditionalUserPropertiesWithError() {
    return conditionalUserPropertiesWithCondition("active=0 and abs(? - creation_timestamp) > trigger_timeout",
                                                  {platform::Value(now())});
}

Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::expiredConditionalUserPropertiesWithError() {
    return conditionalUserPropertiesWithCondition("active=1 and abs(? - triggered_timestamp) > time_to_live",
                                                  {platform::Value(now())});
}

Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::triggeredConditionalUserPropertiesWithEventName(
    std::string_view eventName) {
    if (eventName.empty()) {
        return failure(MSRErrorCode::invalidArgument,
                       "Received nil/empty event name for querying triggered conditional user properties");
    }
    return conditionalUserPropertiesWithCondition(
        "active=0 and trigger_event_name=? and abs(? - creation_timestamp) <= trigger_timeout",
        {platform::Value(eventName), platform::Value(now())});
}

Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::conditionalUserPropertiesWithPrefix(
    std::string_view namePrefix, std::string_view origin) {
    std::vector<std::string> conditions;
    MSRParameterValues parameters;
    if (!origin.empty()) {
        conditions.emplace_back("origin LIKE ?");
        parameters.emplace_back(origin);
    }
    if (!namePrefix.empty()) {
        conditions.emplace_back("name LIKE ? || '%'");
        parameters.emplace_back(namePrefix);
    }
    if (conditions.empty()) {
        return conditionalUserPropertiesWithCondition("1 == 1", {});
    }
    std::string condition = conditions.front();
    for (std::size_t index = 1; index < conditions.size(); ++index) {
        condition += " AND " + conditions[index];
    }
    return conditionalUserPropertiesWithCondition(condition, parameters);
}

}  // namespace kit::measurement

#include "kit/measurement/support/MSRDatabase.h"

#include "DatabaseSupport.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSRUtilities.h"

// User attributes, the main events of complex events, and the keys that
// count each purchase and subscription once.
namespace kit::measurement {

using namespace database;
using platform::Expected;
using platform::unexpected;

namespace {

Expected<MSRUserAttribute> userAttributeFromRow(const MSRRecord& row) {
    if (row.empty()) {
        return failure(MSRErrorCode::databaseFailure, "Received empty dictionary for getting user property");
    }
    const platform::Value* stored = column(row, "value");
    auto value = stored != nullptr ? MSRValue::valueFromObject(*stored) : std::nullopt;
    if (!value) {
        return failure(MSRErrorCode::invalidState, "Failed to read the stored user property value");
    }
    const std::string* origin = textColumn(row, "origin");
    const std::string* name = textColumn(row, "name");
    auto attribute = MSRUserAttribute::initWithOrigin(origin != nullptr ? *origin : std::string_view(),
                                                      name != nullptr ? *name : std::string_view(), std::move(*value),
                                                      doubleColumn(row, "set_timestamp").value_or(0));
    if (!attribute) {
        return failure(MSRErrorCode::invalidState, "Failed to initialize user property from dictionary");
    }
    return std::move(*attribute);
}

bool isPublicUserAttributeName(std::string_view name) {
    return !name.starts_with("_") && !MSRDataTypeValidator::hasReservedPrefixes(name) &&
           !MSRInternalUserPropertyNameMap().contains(name);
}

}  // namespace

// ---- User attributes

Expected<std::int64_t> MSRDatabase::publicUserAttributeCount() {
    return countForQuery(*sqliteStore_, "SELECT count(1) FROM user_attributes WHERE name NOT LIKE '!_%' ESCAPE '!'",
                         {});
}

Expected<std::int64_t> MSRDatabase::userAttributeCountForOrigin(std::string_view origin) {
    if (origin.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty user property origin for count query");
    }
    return countForQuery(*sqliteStore_, "SELECT count(1) FROM user_attributes WHERE origin = ?",
                         {platform::Value(origin)});
}

Expected<bool> MSRDatabase::containsUserAttributeWithName(std::string_view name) {
    if (name.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty user property name for exists query");
    }
    return flagForQuery(*sqliteStore_, "SELECT EXISTS (SELECT 1 FROM user_attributes WHERE name = ? LIMIT 1)",
                        {platform::Value(name)});
}

Expected<std::optional<MSRUserAttribute>> MSRDatabase::userAttributeWithName(std::string_view name) {
    auto found = dataTypesFromTableWithName<MSRUserAttribute>(kUserAttributesTable, "name", platform::Value(name),
                                                              userAttributeFromRow);
    if (!found) {
        return unexpected(found.error());
    }
    if (found->empty()) {
        return std::optional<MSRUserAttribute>();
    }
    return std::optional<MSRUserAttribute>(std::move(found->front()));
}

Expected<std::vector<MSRUserAttribute>> MSRDatabase::allLifetimeValueUserAttributes() {
    auto rows = sqliteStore_->recordsForQuery(
        "SELECT * FROM user_attributes WHERE name LIKE '!_ltv!_%' ESCAPE '!' ORDER BY set_timestamp DESC", {});
    if (!rows) {
        return unexpected(rows.error());
    }
    std::vector<MSRUserAttribute> attributes;
    attributes.reserve(rows->size());
    for (const MSRRecord& row : *rows) {
        auto attribute = userAttributeFromRow(row);
        if (!attribute) {
            return unexpected(attribute.error());
        }
        attributes.push_back(std::move(*attribute));
    }
    return attributes;
}

Expected<std::vector<MSRUserAttribute>> MSRDatabase::userAttributesIncludingInternal(bool includingInternal) {
    auto attributes = allDataTypesFromTableWithName<MSRUserAttribute>(kUserAttributesTable, kUserAttributesLimit,
                                                                      userAttributeFromRow);
    if (!attributes || includingInternal) {
        return attributes;
    }
    std::erase_if(*attributes,
                  [](const MSRUserAttribute& attribute) { return !isPublicUserAttributeName(attribute.name()); });
    return attributes;
}

Expected<void> MSRDatabase::updateUserAttribute(const MSRUserAttribute& attribute) {
    if (attribute.origin().empty()) {
        return failure(MSRErrorCode::databaseFailure,
                       "Received user property with empty origin for getting dictionary representation");
    }
    if (attribute.name().empty()) {
        return failure(MSRErrorCode::invalidArgument,
                       "Received user property with empty name for getting dictionary representation");
    }
    if (const std::string* text = attribute.value().stringValue(); text != nullptr && text->empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty string value for user property");
    }
    const MSRRecord record = {{"origin", platform::Value(attribute.origin())},
                              {"name", platform::Value(attribute.name())},
                              {"value", storedValue(attribute.value())},
                              {"set_timestamp", platform::Value(attribute.lastSetTimestamp())}};
    return upsertDataType(record, kUserAttributesTable, "name", platform::Value(attribute.name()),
                          kUserAttributesLimit);
}

Expected<void> MSRDatabase::deleteUserAttributeWithName(std::string_view name) {
    return sqliteStore_->deleteRecordFromTableWithName(kUserAttributesTable, "name", platform::Value(name));
}

// ---- Complex events

Expected<void> MSRDatabase::updateComplexEventForAudienceEvaluationWithEventID(std::int64_t eventID,
                                                                               std::int64_t childEventCount,
                                                                               const MSREvent& mainEvent) {
    const auto data = storedEventData(mainEvent);
    if (!data) {
        return failure(MSRErrorCode::invalidArgument, "Cannot create the main event blob");
    }
    const MSRRecord record = {{"main_event", dataValue(*data)},
                              {"event_id", platform::Value(eventID)},
                              {"children_to_process", platform::Value(childEventCount)}};
    return insertDataType(record, kMainEventParamsTable);
}

Expected<std::optional<MSRComplexEvent>> MSRDatabase::mainEventAndChildCountPairWithEventID(std::int64_t eventID) {
    auto rows = sqliteStore_->recordsForQuery("SELECT * FROM main_event_params WHERE event_id=? LIMIT 1",
                                              {platform::Value(eventID)});
    if (!rows) {
        return unexpected(rows.error());
    }
    if (rows->empty()) {
        return std::optional<MSRComplexEvent>();
    }
    const MSRRecord& row = rows->front();
    auto event = eventFromStoredData(column(row, "main_event"));
    if (!event) {
        return failure(MSRErrorCode::databaseFailure, "Main event blob is nil in database");
    }
    const auto childCount = integerColumn(row, "children_to_process");
    if (!childCount) {
        return failure(MSRErrorCode::databaseFailure, "Complex event does not have children count in database");
    }
    return std::optional<MSRComplexEvent>(MSRComplexEvent{std::move(*event), *childCount});
}

Expected<void> MSRDatabase::deleteComplexEventForAudienceEvaluationWithEventID(std::int64_t eventID) {
    auto deleted =
        sqliteStore_->deleteRecordsFromTableWithName(kMainEventParamsTable, "event_id=?", {platform::Value(eventID)});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

// ---- Purchases and subscriptions

namespace {

struct KeyTable {
    std::string_view table;
    std::string_view column;
    std::string_view existsQuery;
    // Keeps the newest keys; empty for none.
    std::string_view trimCondition;
};

constexpr KeyTable kPurchaseKeys = {
    "purchase_transactions", "fingerprint",
    "SELECT EXISTS (SELECT 1 FROM purchase_transactions WHERE fingerprint = ? LIMIT 1)",
    "rowid IN (SELECT rowid FROM purchase_transactions ORDER BY rowid DESC LIMIT -1 OFFSET ?)"};
constexpr KeyTable kSubscriptionKeys = {"subscriptions",
                                        "subscription_id",
                                        "SELECT EXISTS (SELECT 1 FROM subscriptions WHERE subscription_id = ? LIMIT 1)",
                                        {}};
constexpr std::string_view kSubscriptionTrimCondition =
    "rowid IN (SELECT rowid FROM subscriptions ORDER BY rowid DESC LIMIT -1 OFFSET ?)";

Expected<bool> insertKeyUnlessPresent(MSRDatabase& database, const KeyTable& keys, std::string_view key) {
    if (key.empty()) {
        return false;
    }
    MSRSqliteStore& store = database.sqliteStore();
    auto exists = flagForQuery(store, keys.existsQuery, {platform::Value(key)});
    if (!exists) {
        return unexpected(exists.error());
    }
    if (*exists) {
        return false;
    }
    if (auto inserted = database.insertDataType({{std::string(keys.column), platform::Value(key)}}, keys.table);
        !inserted) {
        return unexpected(inserted.error());
    }
    if (!keys.trimCondition.empty()) {
        auto trimmed =
            store.deleteRecordsFromTableWithName(keys.table, keys.trimCondition, {platform::Value(kPurchaseKeysKept)});
        if (!trimmed) {
            return unexpected(trimmed.error());
        }
    }
    return true;
}

}  // namespace

Expected<bool> MSRDatabase::insertIfNotDuplicatePurchaseFingerprint(std::string_view fingerprint) {
    return insertKeyUnlessPresent(*this, kPurchaseKeys, fingerprint);
}

Expected<bool> MSRDatabase::insertIfNotDuplicateSubscriptionID(std::string_view subscriptionID) {
    return insertKeyUnlessPresent(*this, kSubscriptionKeys, subscriptionID);
}

Expected<std::int64_t> MSRDatabase::deleteSubscriptionsOverLimit() {
    return sqliteStore_->deleteRecordsFromTableWithName(kSubscriptionsTable, kSubscriptionTrimCondition,
                                                        {platform::Value(kSubscriptionKeysKept)});
}

}  // namespace kit::measurement

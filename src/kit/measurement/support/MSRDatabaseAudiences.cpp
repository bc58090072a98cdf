#include "kit/measurement/support/MSRDatabase.h"

#include "DatabaseSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <set>

// Audience filters, written and read for both kinds through one table of
// names and texts, and the audiences' evaluation results.
namespace kit::measurement {

using namespace database;
using platform::Expected;
using platform::unexpected;

namespace {

struct FilterTexts {
    std::string_view table;
    std::string_view nameColumn;
    std::string_view emptyList;
    std::string_view emptyName;
    std::string_view emptyData;
    std::string_view emptyDeleteList;
    std::string_view emptyQueryName;
    std::string_view emptyRow;
    // Slots of the flags in the stored message.
    int sessionScopedSlot;
    int dynamicSlot;
    int sequenceSlot;
};

template <typename Filter>
struct FilterKind;

template <>
struct FilterKind<MSREventFilter> {
    using Message = MSRPBEventFilter;
    static constexpr FilterTexts texts = {
        "event_filters",
        "event_name",
        "Received empty event filters to update",
        "Received event filter with empty event name for getting dictionary representation",
        "Received event filter with empty data for getting dictionary representation",
        "Received empty event filters to delete",
        "Received empty event name for getting event filters",
        "Received empty dictionary for getting event filter",
        7,
        5,
        6};
    static const std::string& name(const MSREventFilter& filter) { return filter.eventName(); }
};

template <>
struct FilterKind<MSRPropertyFilter> {
    using Message = MSRPBPropertyFilter;
    static constexpr FilterTexts texts = {
        "property_filters",
        "property_name",
        "Received empty property filters to update",
        "Received property filter with empty property name for getting dictionary representation",
        "Received property filter with empty data for getting dictionary representation",
        "Received empty property filters to delete",
        "Received empty property name for getting property filters",
        "Received empty dictionary for getting property filter",
        5,
        3,
        4};
    static const std::string& name(const MSRPropertyFilter& filter) { return filter.propertyName(); }
};

template <typename Filter>
Expected<void> writeFilters(MSRDatabase& database, const std::vector<Filter>& filters) {
    using Kind = FilterKind<Filter>;
    if (filters.empty()) {
        return failure(MSRErrorCode::invalidArgument, Kind::texts.emptyList);
    }
    for (const Filter& filter : filters) {
        if (Kind::name(filter).empty()) {
            return failure(MSRErrorCode::databaseFailure, Kind::texts.emptyName);
        }
        if (filter.data().empty()) {
            return failure(MSRErrorCode::databaseFailure, Kind::texts.emptyData);
        }
        const MSRRecord record = {{"audience_id", platform::Value(filter.audienceID())},
                                  {"filter_id", platform::Value(filter.filterID())},
                                  {std::string(Kind::texts.nameColumn), platform::Value(Kind::name(filter))},
                                  {"data", dataValue(filter.data())},
                                  {"session_scoped", platform::Value(filter.isSessionScoped() ? 1 : 0)}};
        if (auto written = database.insertDataType(record, Kind::texts.table); !written) {
            return written;
        }
    }
    return {};
}

template <typename Filter>
Expected<std::vector<Filter>> readFilters(MSRDatabase& database, std::string_view name) {
    using Kind = FilterKind<Filter>;
    if (name.empty()) {
        return failure(MSRErrorCode::invalidArgument, Kind::texts.emptyQueryName);
    }
    return database.dataTypesFromTableWithName<Filter>(
        Kind::texts.table, Kind::texts.nameColumn, platform::Value(name), [](const MSRRecord& row) -> Expected<Filter> {
            const auto audienceID = integerColumn(row, "audience_id");
            const auto filterID = integerColumn(row, "filter_id");
            const std::string* filterName = textColumn(row, Kind::texts.nameColumn);
            const platform::Value::Data* data = dataColumn(row, "data");
            if (!audienceID || !filterID || filterName == nullptr || data == nullptr) {
                return failure(MSRErrorCode::databaseFailure, Kind::texts.emptyRow);
            }
            // Data that doesn't decode reads as a filter without flags.
            bool sessionScoped = false;
            bool dynamic = false;
            bool sequence = false;
            if (auto message = Kind::Message::initWithBuffer(*data)) {
                sessionScoped = NanoMessageGetBool(*message, Kind::texts.sessionScopedSlot);
                dynamic = NanoMessageGetBool(*message, Kind::texts.dynamicSlot);
                sequence = NanoMessageGetBool(*message, Kind::texts.sequenceSlot);
            }
            return Filter(static_cast<std::int32_t>(*audienceID), static_cast<std::int32_t>(*filterID), *filterName,
                          *data, sessionScoped, dynamic, sequence);
        });
}

template <typename Filter>
Expected<void> deleteFilters(MSRSqliteStore& store, const std::vector<Filter>& filters) {
    using Kind = FilterKind<Filter>;
    if (filters.empty()) {
        return failure(MSRErrorCode::invalidArgument, Kind::texts.emptyDeleteList);
    }
    std::string condition;
    for (const Filter& filter : filters) {
        if (!condition.empty()) {
            condition += " OR ";
        }
        condition += "(audience_id=" + std::to_string(filter.audienceID()) +
                     " AND filter_id=" + std::to_string(filter.filterID()) + ")";
    }
    auto deleted = store.deleteRecordsFromTableWithName(Kind::texts.table, condition, {});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

Expected<MSRFilterResult> filterResultFromRow(const MSRRecord& row) {
    const auto audienceID = integerColumn(row, "audience_id");
    if (row.empty() || !audienceID) {
        return failure(MSRErrorCode::databaseFailure, "Received empty dictionary for getting filter result");
    }
    const platform::Value::Data* current = dataColumn(row, "current_results");
    const platform::Value::Data* previous = dataColumn(row, "previous_results");
    return MSRFilterResult(static_cast<std::int32_t>(*audienceID), current != nullptr ? *current : NanoBytes(),
                           previous != nullptr ? *previous : NanoBytes());
}

}  // namespace

Expected<void> MSRDatabase::updateEventFilters(const std::vector<MSREventFilter>& filters) {
    return writeFilters(*this, filters);
}

Expected<void> MSRDatabase::updatePropertyFilters(const std::vector<MSRPropertyFilter>& filters) {
    return writeFilters(*this, filters);
}

Expected<std::vector<MSREventFilter>> MSRDatabase::eventFiltersForEventName(std::string_view eventName) {
    return readFilters<MSREventFilter>(*this, eventName);
}

Expected<std::vector<MSRPropertyFilter>> MSRDatabase::propertyFiltersForPropertyName(std::string_view propertyName) {
    return readFilters<MSRPropertyFilter>(*this, propertyName);
}

Expected<std::vector<std::int32_t>> MSRDatabase::allAudienceIDs() {
    auto rows = sqliteStore_->recordsForQuery(
        "SELECT audience_id FROM event_filters UNION SELECT audience_id FROM property_filters", {});
    if (!rows) {
        return unexpected(rows.error());
    }
    std::vector<std::int32_t> audienceIDs;
    audienceIDs.reserve(rows->size());
    for (const MSRRecord& row : *rows) {
        const auto audienceID = integerColumn(row, "audience_id");
        if (!audienceID) {
            return failure(MSRErrorCode::invalidArgument, "Received nil audience ID for querying all audience IDs");
        }
        audienceIDs.push_back(static_cast<std::int32_t>(*audienceID));
    }
    return audienceIDs;
}

Expected<std::map<std::int32_t, std::vector<std::int32_t>>> MSRDatabase::allSessionScopedFilters() {
    auto rows = sqliteStore_->recordsForQuery(
        "SELECT audience_id, filter_id FROM event_filters WHERE session_scoped = 1 UNION "
        "SELECT audience_id, filter_id FROM property_filters WHERE session_scoped = 1",
        {});
    if (!rows) {
        return unexpected(rows.error());
    }
    std::map<std::int32_t, std::vector<std::int32_t>> filters;
    for (const MSRRecord& row : *rows) {
        const auto audienceID = integerColumn(row, "audience_id");
        const auto filterID = integerColumn(row, "filter_id");
        if (audienceID && filterID) {
            filters[static_cast<std::int32_t>(*audienceID)].push_back(static_cast<std::int32_t>(*filterID));
        }
    }
    return filters;
}

Expected<void> MSRDatabase::deleteEventFilters(const std::vector<MSREventFilter>& filters) {
    return deleteFilters(*sqliteStore_, filters);
}

Expected<void> MSRDatabase::deletePropertyFilters(const std::vector<MSRPropertyFilter>& filters) {
    return deleteFilters(*sqliteStore_, filters);
}

Expected<void> MSRDatabase::deleteAllEventFilters() {
    return sqliteStore_->deleteAllRecordsFromTableWithName(kEventFiltersTable);
}

Expected<void> MSRDatabase::deleteAllPropertyFilters() {
    return sqliteStore_->deleteAllRecordsFromTableWithName(kPropertyFiltersTable);
}

// ---- Filter results

Expected<void> MSRDatabase::updateFilterResults(const std::vector<MSRFilterResult>& results) {
    if (results.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty filter results to update");
    }
    for (const MSRFilterResult& result : results) {
        if (result.currentResults().empty()) {
            return failure(MSRErrorCode::databaseFailure,
                           "Received filter result with empty data for getting dictionary representation");
        }
        const MSRRecord record = {
            {"audience_id", platform::Value(result.audienceID())},
            {"current_results", dataValue(result.currentResults())},
            {"previous_results",
             result.previousResults().empty() ? platform::Value() : dataValue(result.previousResults())}};
        if (auto written = insertDataType(record, kFilterValuesTable); !written) {
            return written;
        }
    }
    return {};
}

Expected<std::map<std::int32_t, MSRFilterResult>> MSRDatabase::allFilterResults() {
    auto results = allDataTypesFromTableWithName<MSRFilterResult>(kFilterValuesTable, -1, filterResultFromRow);
    if (!results) {
        return unexpected(results.error());
    }
    std::map<std::int32_t, MSRFilterResult> byAudience;
    for (MSRFilterResult& result : *results) {
        const std::int32_t audienceID = result.audienceID();
        byAudience.insert_or_assign(audienceID, std::move(result));
    }
    return byAudience;
}

Expected<std::optional<MSRFilterResult>> MSRDatabase::filterResultForAudienceID(std::int32_t audienceID) {
    auto found = dataTypesFromTableWithName<MSRFilterResult>(kFilterValuesTable, "audience_id",
                                                             platform::Value(audienceID), filterResultFromRow);
    if (!found) {
        return unexpected(found.error());
    }
    if (found->empty()) {
        return std::optional<MSRFilterResult>();
    }
    return std::optional<MSRFilterResult>(std::move(found->front()));
}

Expected<void> MSRDatabase::deleteFilterResults(const std::vector<MSRFilterResult>& results) {
    if (results.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Received empty filter results to delete");
    }
    std::set<std::int32_t> audienceIDs;
    for (const MSRFilterResult& result : results) {
        audienceIDs.insert(result.audienceID());
    }
    std::string list;
    for (const std::int32_t audienceID : audienceIDs) {
        list += (list.empty() ? "" : ",") + std::to_string(audienceID);
    }
    auto deleted =
        sqliteStore_->deleteRecordsFromTableWithName(kFilterValuesTable, "audience_id IN (" + list + ")", {});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

}  // namespace kit::measurement

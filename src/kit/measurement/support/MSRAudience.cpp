#include "kit/measurement/support/MSRAudience.h"

#include "AudienceLines.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRFilterMatching.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <algorithm>
#include <map>

namespace kit::measurement {

namespace {

// Slots of the messages read here.
constexpr int kAudienceID = 0;
constexpr int kAudiencePropertyFilters = 1;
constexpr int kAudienceEventFilters = 2;
constexpr int kEventFilterID = 0;
constexpr int kEventFilterName = 1;
constexpr int kEventFilterParameters = 2;
constexpr int kEventFilterCount = 4;
constexpr int kEventFilterDynamic = 5;
constexpr int kEventFilterSequence = 6;
constexpr int kEventFilterSessionScoped = 7;
constexpr int kPropertyFilterID = 0;
constexpr int kPropertyFilterName = 1;
constexpr int kPropertyFilterFilter = 2;
constexpr int kPropertyFilterDynamic = 3;
constexpr int kPropertyFilterSequence = 4;
constexpr int kPropertyFilterSessionScoped = 5;
constexpr int kFilterString = 0;
constexpr int kFilterNumber = 1;
constexpr int kFilterParameterName = 3;
constexpr int kNumberFloat = 1;
constexpr int kResultStatus = 0;
constexpr int kResultResults = 1;
constexpr int kResultDynamic = 2;
constexpr int kResultSequence = 3;
constexpr int kSequenceTimestamps = 1;
constexpr int kLeafAudienceID = 0;
constexpr int kLeafCurrent = 1;
constexpr int kLeafPrevious = 2;
constexpr int kLeafNewAudience = 3;
constexpr int kUserAttributeSetTime = 0;
constexpr int kUserAttributeName = 1;
constexpr int kUserAttributeString = 2;
constexpr int kUserAttributeInt = 3;
constexpr int kUserAttributeDouble = 5;

using Words = std::vector<std::uint64_t>;

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

std::string describe(const NanoBytes& bytes) { return std::to_string(bytes.size()) + " bytes"; }

bool isSet(const NanoMessage& message, int slot) {
    return NanoMessageHasField(message, slot) && NanoMessageGetBool(message, slot);
}

// A repeated field's elements; none when the slot is not a list.
template <class Element>
std::vector<Element> list(const NanoMessage& message, int slot) {
    return NanoMessageGetArray<Element>(message, slot).value_or(std::vector<Element>{});
}

Words words(const MSRPBResultData& data, int slot) { return list<std::uint64_t>(data, slot); }

std::optional<MSRPBResultData> decodeResult(const NanoBytes& bytes) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    return MSRPBResultData::initWithBuffer(bytes);
}

NanoBytes encode(const NanoMessage& message) { return message.protoBuffer().value_or(NanoBytes{}); }

bool validFilterID(std::int32_t filterID) { return filterID >= 0 && filterID < MSRAudience::kFilterIDBound; }

// --- Validation of one audience

std::optional<platform::Error> validateFilter(const MSRPBFilter& filter, MSRErrorCode code, const char* missingOneOf,
                                              const char* invalidNumber, const char* invalidString) {
    const bool hasString = NanoMessageHasField(filter, kFilterString);
    const bool hasNumber = NanoMessageHasField(filter, kFilterNumber);
    if (hasString == hasNumber) {
        return msr_errorWithCode(code, missingOneOf);
    }
    if (hasNumber) {
        const auto number = NanoMessageGetMessage<MSRPBNumberFilter>(filter, kFilterNumber);
        if (!number || !MSRIsValidNumberFilter(*number)) {
            return msr_errorWithCode(code, invalidNumber);
        }
    } else {
        const auto text = NanoMessageGetMessage<MSRPBStringFilter>(filter, kFilterString);
        if (!text || !MSRIsValidStringFilter(*text)) {
            return msr_errorWithCode(code, invalidString);
        }
    }
    return std::nullopt;
}

std::optional<platform::Error> validateFilterID(const NanoMessage& filter, int slot, MSRErrorCode code,
                                                std::set<std::int32_t>& filterIDs, int maxFilters, const char* missing,
                                                const char* outOfRange, const char* duplicate) {
    if (!NanoMessageHasField(filter, slot)) {
        return msr_errorWithCode(code, missing);
    }
    const std::int32_t filterID = NanoMessageGetInt32(filter, slot);
    if (filterID < 0 || filterID >= maxFilters) {
        return msr_errorWithCode(code, outOfRange);
    }
    if (!filterIDs.insert(filterID).second) {
        return msr_errorWithCode(code, duplicate);
    }
    return std::nullopt;
}

std::optional<platform::Error> validateEventFilter(const MSRPBEventFilter& filter, std::set<std::int32_t>& filterIDs,
                                                   const MSRRemoteConfigLimits& limits) {
    constexpr auto code = MSRErrorCode::invalidEventFilter;
    if (NanoMessageGetString(filter, kEventFilterName).value_or("").empty()) {
        return msr_errorWithCode(code, "Event filter missing event name");
    }
    if (auto error = validateFilterID(filter, kEventFilterID, code, filterIDs, limits.maxFiltersPerAudience,
                                      "Missing event filter ID", "Event filter ID is out of range",
                                      "Duplicate event filter ID")) {
        return error;
    }
    if (const auto count = NanoMessageGetMessage<MSRPBNumberFilter>(filter, kEventFilterCount)) {
        if (isSet(*count, kNumberFloat)) {
            return msr_errorWithCode(code, "Event filter has float event count filter");
        }
        if (!MSRIsValidNumberFilter(*count)) {
            return msr_errorWithCode(code, "Event filter has invalid event count filter");
        }
    }
    const auto parameters = list<MSRPBFilter>(filter, kEventFilterParameters);
    if (static_cast<long long>(parameters.size()) > limits.maxParametersPerFilter) {
        return msr_errorWithCode(code, "Event filter parameters filters count out of range");
    }
    for (const MSRPBFilter& parameter : parameters) {
        if (NanoMessageGetString(parameter, kFilterParameterName).value_or("").empty()) {
            return msr_errorWithCode(code, "Event filter missing parameter name");
        }
        if (auto error =
                validateFilter(parameter, code, "Event filter must have exactly one of number or string filter",
                               "Event filter has invalid number filter", "Event filter has invalid string filter")) {
            return error;
        }
    }
    return std::nullopt;
}

std::optional<platform::Error> validatePropertyFilter(const MSRPBPropertyFilter& filter,
                                                      std::set<std::int32_t>& filterIDs,
                                                      const MSRRemoteConfigLimits& limits) {
    constexpr auto code = MSRErrorCode::invalidPropertyFilter;
    if (NanoMessageGetString(filter, kPropertyFilterName).value_or("").empty()) {
        return msr_errorWithCode(code, "Property filter missing property name");
    }
    if (auto error = validateFilterID(filter, kPropertyFilterID, code, filterIDs, limits.maxFiltersPerAudience,
                                      "Missing property filter ID", "Property filter ID is out of range",
                                      "Duplicate property filter ID")) {
        return error;
    }
    const auto inner = NanoMessageGetMessage<MSRPBFilter>(filter, kPropertyFilterFilter);
    if (!inner) {
        return msr_errorWithCode(code, "Property filter has no filter");
    }
    return validateFilter(*inner, code, "Property filter must have exactly one of number or string filter",
                          "Property filter has invalid number filter", "Property filter has invalid string filter");
}

std::optional<platform::Error> validateAudience(const MSRPBAudience& audience,
                                                const std::set<std::int32_t>& savedAudienceIDs,
                                                const MSRRemoteConfigLimits& limits) {
    constexpr auto code = MSRErrorCode::invalidAudience;
    if (!NanoMessageHasField(audience, kAudienceID)) {
        return msr_errorWithCode(code, "Missing audience ID");
    }
    const std::int32_t audienceID = NanoMessageGetInt32(audience, kAudienceID);
    if (audienceID < 0) {
        return msr_errorWithCode(code, "Audience ID is negative");
    }
    if (savedAudienceIDs.contains(audienceID)) {
        return msr_errorWithCode(code, "Duplicate audience ID");
    }
    const auto eventFilters = list<MSRPBEventFilter>(audience, kAudienceEventFilters);
    const auto propertyFilters = list<MSRPBPropertyFilter>(audience, kAudiencePropertyFilters);
    if (eventFilters.empty() && propertyFilters.empty()) {
        return msr_errorWithCode(code, "Audience missing filters arrays");
    }
    const auto filterCount = static_cast<long long>(eventFilters.size() + propertyFilters.size());
    if (filterCount < 1 || filterCount > limits.maxFiltersPerAudience) {
        return msr_errorWithCode(code, "Audience filter count out of range");
    }
    std::set<std::int32_t> filterIDs;
    for (const MSRPBEventFilter& filter : eventFilters) {
        if (auto error = validateEventFilter(filter, filterIDs, limits)) {
            return error;
        }
    }
    for (const MSRPBPropertyFilter& filter : propertyFilters) {
        if (auto error = validatePropertyFilter(filter, filterIDs, limits)) {
            return error;
        }
    }
    return std::nullopt;
}

std::string translated(const MSRNameMap& map, const std::string& name) {
    const auto found = map.find(name);
    return found == map.end() ? name : found->second;
}

// --- Outcomes

std::optional<bool> eventFilterOutcome(const MSRPBEventFilter& filter, const MSREventFilter& stored,
                                       std::string_view eventName, const MSRParameters& parameters,
                                       const MSREventAggregates* aggregates) {
    if (eventName.empty()) {
        audience_lines::log(audience_lines::kEventNameNilAudienceFilterNot);
        return std::nullopt;
    }
    const auto filterName = NanoMessageGetString(filter, kEventFilterName);
    if (!filterName || *filterName != eventName) {
        audience_lines::log(audience_lines::kEventFilterNameDoesNotMatch, std::string(eventName));
        return std::nullopt;
    }
    const auto count = NanoMessageGetMessage<MSRPBNumberFilter>(filter, kEventFilterCount);
    const auto parameterFilters = list<MSRPBFilter>(filter, kEventFilterParameters);
    if (count) {
        if (aggregates == nullptr || aggregates->name() != eventName) {
            audience_lines::log(audience_lines::kEventAggregatesNameDoesNotMatch, std::string(eventName));
            return std::nullopt;
        }
        const std::int64_t eventCount =
            stored.isSessionScoped() ? aggregates->currentSessionCount() : aggregates->lifetimeCount();
        const auto outcome = MSRCompareInt64(*count, eventCount);
        if (outcome != true) {
            return outcome;
        }
    }
    for (const MSRPBFilter& parameterFilter : parameterFilters) {
        const auto parameterName = NanoMessageGetString(parameterFilter, kFilterParameterName);
        if (!parameterName) {
            audience_lines::log(audience_lines::kEventFilterDoesNotParameterName);
            return std::nullopt;
        }
        const auto parameter = parameters.find(*parameterName);
        if (parameter == parameters.end()) {
            audience_lines::log(audience_lines::kEventDoesNotParameterRequiredFilter, *parameterName);
            return std::nullopt;
        }
        if (parameter->second.isString() && !NanoMessageHasField(parameterFilter, kFilterString)) {
            audience_lines::log(audience_lines::kEventParamStringFilterDoesNot, std::string(eventName), *parameterName,
                                stored.filterID());
            return std::nullopt;
        }
        const auto outcome = MSRFilterOutcome(parameterFilter, parameter->second);
        if (outcome != true) {
            return outcome;
        }
    }
    return true;
}

std::optional<bool> propertyFilterOutcome(const MSRPBPropertyFilter& filter, const MSRUserAttribute& property) {
    const auto filterName = NanoMessageGetString(filter, kPropertyFilterName);
    if (!filterName || *filterName != property.name()) {
        audience_lines::log(audience_lines::kUserPropertyNameDoesNotMatch, property.name());
        return std::nullopt;
    }
    const auto inner = NanoMessageGetMessage<MSRPBFilter>(filter, kPropertyFilterFilter);
    if (!inner) {
        audience_lines::log(audience_lines::kPropertyFilterDoesNotFilterAudience);
        return std::nullopt;
    }
    if (property.value().isArray()) {
        audience_lines::log(audience_lines::kUnknownUserPropertyTypeAudienceFilter, property.name());
        return std::nullopt;
    }
    return MSRFilterOutcome(*inner, property.value());
}

// --- One evaluation pass: each audience's result is read once, updated in
// memory and all are saved together at the end.

// What a pass logs when reading a result, meeting corrupt filter data and saving.
struct PassLines {
    std::uint64_t readCode;
    const char* readText;
    std::uint64_t corruptCode;
    const char* corruptText;
    std::uint64_t saveCode;
    const char* saveText;
};

constexpr PassLines kEventPassLines{
    6001,
    "Unable to query filter result for audience. Event will not be evaluated. Event name, error",
    6035,
    "Event filter contains no data or corrupt data. Event will not be evaluated. Event name, filter ID, audience "
    "ID, dynamic",
    6003,
    "Unable to save updated Audience filter results. Event will not be evaluated. Event name, error"};
constexpr PassLines kPropertyPassLines{
    6005,
    "Unable to query filter result for audience. Property will not be evaluated. Property name, error",
    6036,
    "User property filter contains no data or corrupt data. User property will not be evaluated. User property "
    "name, filter ID, audience ID, dynamic",
    6007,
    "Unable to save updated Audience filter results. User property will not be evaluated. User property name, "
    "error"};

// `outcome` decides a parsed filter (nothing leaves its bits alone);
// `storedValue(filter, outcome, wasTrue)` is what its result bit becomes.
template <class Message, class Filter, class Outcome, class StoredValue>
bool evaluatePass(MSRDatabase& database, MSRAudienceTimestampsCache* givenCache, const std::vector<Filter>& filters,
                  const std::string& subject, double timestamp, const PassLines& lines, const Outcome& outcome,
                  const StoredValue& storedValue) {
    MSRAudienceTimestampsCache ownCache;
    MSRAudienceTimestampsCache& cache = givenCache ? *givenCache : ownCache;
    std::map<std::int32_t, MSRFilterResult> results;
    std::vector<std::int32_t> updatedAudiences;
    for (const Filter& filter : filters) {
        const std::int32_t audienceID = filter.audienceID();
        if (!validFilterID(filter.filterID())) {
            continue;
        }
        auto known = results.find(audienceID);
        if (known == results.end()) {
            auto stored = database.filterResultForAudienceID(audienceID);
            if (!stored) {
                monitor().logWithLevel(1, lines.readCode, lines.readText, subject, stored.error());
                return false;
            }
            known = results.emplace(audienceID, stored->value_or(MSRFilterResult(audienceID, NanoBytes{}, NanoBytes{})))
                        .first;
        }
        const MSRFilterResult& current = known->second;
        const bool wasTrue = MSRAudience::isFilterResult(current, filter.filterID());
        if (wasTrue && !filter.isDynamic() && !filter.isSequence() && !filter.isSessionScoped()) {
            continue;
        }
        const auto message = filter.data().empty() ? std::nullopt : Message::initWithBuffer(filter.data());
        if (!message) {
            monitor().logWithLevel(1, lines.corruptCode, lines.corruptText, subject, filter.filterID(), audienceID);
            continue;
        }
        const std::optional<bool> decided = outcome(*message, filter);
        if (!decided) {
            continue;
        }
        cache.populateCachedTimestamps(decodeResult(current.currentResults()).value_or(MSRPBResultData{}), audienceID);
        if (*decided) {
            cache.addEvaluationTimestamp(timestamp, filter);
        }
        known->second = MSRAudience::updatedFilterResultWithFilterID(filter.filterID(), audienceID, current,
                                                                     storedValue(filter, *decided, wasTrue), cache);
        if (std::find(updatedAudiences.begin(), updatedAudiences.end(), audienceID) == updatedAudiences.end()) {
            updatedAudiences.push_back(audienceID);
        }
    }
    if (updatedAudiences.empty()) {
        return true;
    }
    std::vector<MSRFilterResult> updated;
    for (std::int32_t audienceID : updatedAudiences) {
        updated.push_back(results.at(audienceID));
    }
    if (auto saved = database.updateFilterResults(updated); !saved) {
        monitor().logWithLevel(1, lines.saveCode, lines.saveText, subject, saved.error());
        return false;
    }
    return true;
}

}  // namespace

// --- Configuration

bool MSRAudience::updateAudiences(const std::vector<MSRPBAudience>& audiences) {
    const MSRRemoteConfigLimits limits = MeasurementServices::current().remoteConfig();
    if (static_cast<long long>(audiences.size()) > limits.maxAudienceCount) {
        audience_lines::log(audience_lines::kConfigurationContainsTooManyAudiencesAudiences,
                            static_cast<long long>(audiences.size()));
        return true;
    }
    std::set<std::int32_t> savedAudienceIDs;
    std::vector<MSREventFilter> eventFilters;
    std::vector<MSRPropertyFilter> propertyFilters;
    for (const MSRPBAudience& audience : audiences) {
        if (auto error = validateAudience(audience, savedAudienceIDs, limits)) {
            audience_lines::log(audience_lines::kAudienceDefinitionInvalidAudienceNotSaved,
                                NanoMessageGetInt32(audience, kAudienceID), *error);
            continue;
        }
        const std::int32_t audienceID = NanoMessageGetInt32(audience, kAudienceID);
        savedAudienceIDs.insert(audienceID);
        for (MSRPBEventFilter filter : list<MSRPBEventFilter>(audience, kAudienceEventFilters)) {
            const std::string eventName =
                translated(MSRInternalEventNameMap(), *NanoMessageGetString(filter, kEventFilterName));
            NanoMessageSetString(filter, kEventFilterName, eventName);
            auto parameters = list<MSRPBFilter>(filter, kEventFilterParameters);
            for (MSRPBFilter& parameter : parameters) {
                NanoMessageSetString(
                    parameter, kFilterParameterName,
                    translated(MSRInternalParameterNameMap(), *NanoMessageGetString(parameter, kFilterParameterName)));
            }
            NanoMessageSetArray(filter, kEventFilterParameters, parameters);
            eventFilters.push_back(MSREventFilter(audienceID, NanoMessageGetInt32(filter, kEventFilterID), eventName,
                                                  encode(filter), isSet(filter, kEventFilterSessionScoped),
                                                  isSet(filter, kEventFilterDynamic),
                                                  isSet(filter, kEventFilterSequence)));
        }
        for (MSRPBPropertyFilter filter : list<MSRPBPropertyFilter>(audience, kAudiencePropertyFilters)) {
            const std::string propertyName =
                translated(MSRInternalUserPropertyNameMap(), *NanoMessageGetString(filter, kPropertyFilterName));
            NanoMessageSetString(filter, kPropertyFilterName, propertyName);
            propertyFilters.push_back(
                MSRPropertyFilter(audienceID, NanoMessageGetInt32(filter, kPropertyFilterID), propertyName,
                                  encode(filter), isSet(filter, kPropertyFilterSessionScoped),
                                  isSet(filter, kPropertyFilterDynamic), isSet(filter, kPropertyFilterSequence)));
        }
    }
    if (!maybeDeleteStaleFilterResults(savedAudienceIDs)) {
        return false;
    }
    if (auto deleted = database_.deleteAllEventFilters(); !deleted) {
        audience_lines::log(audience_lines::kUnableDeleteExistingAudienceEventFilters, deleted.error());
        return false;
    }
    if (auto deleted = database_.deleteAllPropertyFilters(); !deleted) {
        audience_lines::log(audience_lines::kUnableDeleteExistingAudienceUserProperty, deleted.error());
        return false;
    }
    if (!eventFilters.empty()) {
        if (auto saved = database_.updateEventFilters(eventFilters); !saved) {
            audience_lines::log(audience_lines::kUnableSaveAudienceEventFiltersAudiences, saved.error());
            return false;
        }
    }
    if (!propertyFilters.empty()) {
        if (auto saved = database_.updatePropertyFilters(propertyFilters); !saved) {
            audience_lines::log(audience_lines::kUnableSaveAudienceUserPropertyFilters, saved.error());
            return false;
        }
    }
    return true;
}

bool MSRAudience::maybeDeleteStaleFilterResults(const std::set<std::int32_t>& savedAudienceIDs) {
    auto results = database_.allFilterResults();
    if (!results) {
        audience_lines::log(audience_lines::kUnableQueryAudienceFilterResultsAudiences, results.error());
        return false;
    }
    const long long maxCount = MeasurementServices::current().remoteConfig().maxFilterResultCount;
    const auto count = static_cast<long long>(results->size());
    if (count <= maxCount) {
        return true;
    }
    audience_lines::log(audience_lines::kTooManyAudienceFilterResultsDeleting, count, maxCount);
    auto storedIDs = database_.allAudienceIDs();
    if (!storedIDs) {
        audience_lines::log(audience_lines::kUnableQueryCurrentAudienceIDsAudiences, storedIDs.error());
        return false;
    }
    const std::set<std::int32_t> stored(storedIDs->begin(), storedIDs->end());
    std::vector<MSRFilterResult> stale;
    for (const auto& [audienceID, result] : *results) {
        if (!stored.contains(audienceID) && !savedAudienceIDs.contains(audienceID)) {
            stale.push_back(result);
        }
    }
    if (stale.empty()) {
        return true;
    }
    if (auto deleted = database_.deleteFilterResults(stale); !deleted) {
        audience_lines::log(audience_lines::kUnableDeleteStaleAudienceFilterResults, deleted.error());
        return false;
    }
    return true;
}

// --- Evaluation

bool MSRAudience::evaluateFiltersForEvent(const MSREvent& event, const MSREventAggregates* eventAggregates,
                                          MSRAudienceTimestampsCache* audienceTimestampsCache) {
    return evaluateFiltersForEventName(event.name(), event.parameters(), eventAggregates, event.timestamp(),
                                       audienceTimestampsCache);
}

bool MSRAudience::evaluateFiltersForEventName(std::string_view eventName, const MSRParameters& eventParameters,
                                              const MSREventAggregates* eventAggregates, double eventTimestamp,
                                              MSRAudienceTimestampsCache* audienceTimestampsCache) {
    auto filters = database_.eventFiltersForEventName(eventName);
    if (!filters) {
        audience_lines::log(audience_lines::kUnableQueryEventFiltersEventEvent, std::string(eventName),
                            filters.error());
        return false;
    }
    return evaluatePass<MSRPBEventFilter>(
        database_, audienceTimestampsCache, *filters, std::string(eventName), eventTimestamp, kEventPassLines,
        [&](const MSRPBEventFilter& message, const MSREventFilter& filter) {
            return eventFilterOutcome(message, filter, eventName, eventParameters, eventAggregates);
        },
        // An event never turns a true filter false.
        [](const MSREventFilter&, bool outcome, bool wasTrue) { return outcome || wasTrue; });
}

bool MSRAudience::evaluateFiltersForNanoUserProperty(const MSRPBUserAttribute& userProperty,
                                                     MSRAudienceTimestampsCache* audienceTimestampsCache,
                                                     std::optional<double> evaluationTime) {
    std::optional<MSRValue> value;
    if (const auto text = NanoMessageGetString(userProperty, kUserAttributeString)) {
        value = MSRValue::initWithString(*text);
    } else if (NanoMessageHasField(userProperty, kUserAttributeDouble)) {
        value = MSRValue::initWithDouble(NanoMessageGetDouble(userProperty, kUserAttributeDouble));
    } else if (NanoMessageHasField(userProperty, kUserAttributeInt)) {
        value = MSRValue::initWithInt64(NanoMessageGetInt64(userProperty, kUserAttributeInt));
    }
    const double setTime = static_cast<double>(NanoMessageGetInt64(userProperty, kUserAttributeSetTime)) / 1000.0;
    std::optional<MSRUserAttribute> attribute;
    if (value) {
        attribute = MSRUserAttribute::initWithOrigin(
            "", NanoMessageGetString(userProperty, kUserAttributeName).value_or(""), *value, setTime);
    }
    if (!attribute) {
        audience_lines::log(audience_lines::kCouldNotConvertUserPropertyNano);
        return false;
    }
    return evaluateFiltersForUserProperty(*attribute, audienceTimestampsCache, evaluationTime.value_or(setTime));
}

bool MSRAudience::evaluateFiltersForUserProperty(const MSRUserAttribute& userProperty,
                                                 MSRAudienceTimestampsCache* audienceTimestampsCache,
                                                 double evaluationTimestamp) {
    const std::string& name = userProperty.name();
    auto filters = database_.propertyFiltersForPropertyName(name);
    if (!filters) {
        audience_lines::log(audience_lines::kUnableQueryPropertyFiltersPropertyProperty, name, filters.error());
        return false;
    }
    return evaluatePass<MSRPBPropertyFilter>(
        database_, audienceTimestampsCache, *filters, name, evaluationTimestamp, kPropertyPassLines,
        [&](const MSRPBPropertyFilter& message, const MSRPropertyFilter&) {
            return propertyFilterOutcome(message, userProperty);
        },
        // False is kept only by a dynamic filter outside session scope.
        [](const MSRPropertyFilter& filter, bool outcome, bool wasTrue) {
            return outcome || (filter.isDynamic() && !filter.isSessionScoped()) ? outcome : wasTrue;
        });
}

// --- Result bits

bool MSRAudience::isFilterResult(const MSRFilterResult& filterResult, std::int32_t filterID) {
    if (filterResult.currentResults().empty()) {
        return false;
    }
    const auto data = decodeResult(filterResult.currentResults());
    const Words status = data ? words(*data, kResultStatus) : Words{};
    const Words results = data ? words(*data, kResultResults) : Words{};
    if (status.empty() || results.empty()) {
        audience_lines::log(audience_lines::kAudienceFilterResultNonNilMissing, filterResult.audienceID(),
                            describe(filterResult.currentResults()));
        return false;
    }
    if (filterID < 0) {
        return false;
    }
    const auto word = static_cast<std::size_t>(filterID / 64);
    const std::uint64_t bit = std::uint64_t{1} << (filterID % 64);
    if (word >= status.size() || word >= results.size()) {
        return false;
    }
    return (status[word] & bit) != 0 && (results[word] & bit) != 0;
}

MSRFilterResult MSRAudience::updatedFilterResultWithFilterID(
    std::int32_t filterID, std::int32_t audienceID, const MSRFilterResult& currentFilterResult,
    bool newEvaluationResult, const MSRAudienceTimestampsCache& audienceTimestampsCache) {
    MSRPBResultData data = decodeResult(currentFilterResult.currentResults()).value_or(MSRPBResultData{});
    Words status = words(data, kResultStatus);
    Words results = words(data, kResultResults);
    const auto word = static_cast<std::size_t>(std::max(filterID, 0) / 64);
    const std::uint64_t bit = std::uint64_t{1} << (std::max(filterID, 0) % 64);
    if (status.size() <= word) {
        status.resize(word + 1, 0);
    }
    if (results.size() <= word) {
        results.resize(word + 1, 0);
    }
    status[word] |= bit;
    if (newEvaluationResult) {
        results[word] |= bit;
    } else {
        results[word] &= ~bit;
    }
    NanoMessageSetArray(data, kResultStatus, status);
    NanoMessageSetArray(data, kResultResults, results);
    NanoMessageSetArray(data, kResultDynamic, audienceTimestampsCache.dynamicTimestampsForAudienceID(audienceID));
    if (const MSRSequenceTimestampsCache* sequence =
            audienceTimestampsCache.sequenceTimestampsForAudienceID(audienceID)) {
        NanoMessageSetArray(data, kResultSequence, sequence->sequenceFilterResultTimestamps());
    }
    return MSRFilterResult(audienceID, encode(data), currentFilterResult.previousResults());
}

// --- Bundling and sessions

std::optional<std::vector<MSRPBAudienceLeafFilterResult>> MSRAudience::resultsForBundling() {
    auto results = database_.allFilterResults();
    if (!results) {
        audience_lines::log(audience_lines::kUnableQueryAudienceFilterResultsAudience, results.error());
        return std::nullopt;
    }
    std::vector<MSRPBAudienceLeafFilterResult> bundled;
    std::vector<MSRFilterResult> updated;
    for (const auto& [audienceID, result] : *results) {
        auto current = decodeResult(result.currentResults());
        if (!current) {
            audience_lines::log(audience_lines::kCurrentResultDataNilAudienceResult, audienceID);
            continue;
        }
        const Words status = words(*current, kResultStatus);
        if (std::all_of(status.begin(), status.end(), [](std::uint64_t word) { return word == 0; })) {
            audience_lines::log(audience_lines::kCurrentResultStatus0AudienceResult, audienceID);
            continue;
        }
        MSRPBAudienceLeafFilterResult leaf;
        NanoMessageSetInt32(leaf, kLeafAudienceID, audienceID);
        if (result.previousResults().empty()) {
            NanoMessageSetBool(leaf, kLeafNewAudience, true);
        } else {
            NanoMessageSetBool(leaf, kLeafNewAudience, false);
            if (result.previousResults() == result.currentResults()) {
                // Unchanged: only the latest time of the first sequence entry still matters.
                auto sequence = list<MSRPBSequenceFilterResultTimestamp>(*current, kResultSequence);
                if (!sequence.empty()) {
                    auto times = list<std::int64_t>(sequence.front(), kSequenceTimestamps);
                    if (times.size() >= 2) {
                        NanoMessageSetArray(sequence.front(), kSequenceTimestamps, std::vector{times.back()});
                        NanoMessageSetArray(*current, kResultSequence, sequence);
                    }
                }
            } else if (const auto previous = MSRPBResultData::initWithBuffer(result.previousResults())) {
                NanoMessageSetMessage(leaf, kLeafPrevious, *previous);
            }
        }
        NanoMessageSetMessage(leaf, kLeafCurrent, *current);
        bundled.push_back(std::move(leaf));
        updated.push_back(MSRFilterResult(audienceID, encode(*current), result.currentResults()));
    }
    if (!updated.empty()) {
        if (auto saved = database_.updateFilterResults(updated); !saved) {
            audience_lines::log(audience_lines::kUnableSaveUpdatedAudienceFilterResults, saved.error());
            return std::nullopt;
        }
    }
    return bundled;
}

bool MSRAudience::clearEvaluationResultsForSessionScopedFilters() {
    auto scoped = database_.allSessionScopedFilters();
    if (!scoped) {
        audience_lines::log(audience_lines::kUnableQueryAllSessionScopedFilters, scoped.error());
        return false;
    }
    auto results = database_.allFilterResults();
    if (!results) {
        audience_lines::log(audience_lines::kUnableQueryAllFilterResultsSession, results.error());
        return false;
    }
    for (const auto& [audienceID, filterIDs] : *scoped) {
        const auto stored = results->find(audienceID);
        if (stored == results->end()) {
            continue;
        }
        MSRPBResultData data = decodeResult(stored->second.currentResults()).value_or(MSRPBResultData{});
        Words status = words(data, kResultStatus);
        Words resultWords = words(data, kResultResults);
        const std::set<std::int32_t> cleared(filterIDs.begin(), filterIDs.end());
        for (std::int32_t filterID : cleared) {
            if (filterID < 0) {
                continue;
            }
            const auto word = static_cast<std::size_t>(filterID / 64);
            const std::uint64_t bit = std::uint64_t{1} << (filterID % 64);
            if (word < status.size()) {
                status[word] &= ~bit;
            }
            if (word < resultWords.size()) {
                resultWords[word] &= ~bit;
            }
        }
        if (std::any_of(status.begin(), status.end(), [](std::uint64_t word) { return word != 0; })) {
            NanoMessageSetArray(data, kResultStatus, status);
            NanoMessageSetArray(data, kResultResults, resultWords);
            auto dynamic = list<MSRPBDynamicFilterResultTimestamp>(data, kResultDynamic);
            std::erase_if(dynamic, [&](const auto& entry) { return cleared.contains(NanoMessageGetInt32(entry, 0)); });
            NanoMessageSetArray(data, kResultDynamic, dynamic);
            auto sequence = list<MSRPBSequenceFilterResultTimestamp>(data, kResultSequence);
            std::erase_if(sequence, [&](const auto& entry) { return cleared.contains(NanoMessageGetInt32(entry, 0)); });
            NanoMessageSetArray(data, kResultSequence, sequence);
            const MSRFilterResult updated = MSRFilterResult(audienceID, encode(data), stored->second.currentResults());
            if (auto saved = database_.updateFilterResults({updated}); !saved) {
                audience_lines::log(audience_lines::kUnableUpdateFilterResultsSessionScoped, saved.error());
                return false;
            }
        } else if (auto deleted = database_.deleteFilterResults({stored->second}); !deleted) {
            audience_lines::log(audience_lines::kUnableDeleteFilterResultsSessionScoped, deleted.error());
            return false;
        }
    }
    return true;
}

}  // namespace kit::measurement

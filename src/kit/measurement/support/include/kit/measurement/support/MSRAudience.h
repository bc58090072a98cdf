#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSRAudienceRecords.h"
#include "kit/measurement/support/MSRAudienceTimestampsCache.h"
#include "kit/measurement/support/MSREvent.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

// Audiences: remote-configured membership rules over the events the app logs
// and the user properties it sets. Per audience the database keeps which
// filters have been evaluated and which are true, as bit words, plus the
// times of dynamic and sequence filters; the results travel with every
// bundle. Worker queue only. No operation opens a transaction: the
// controller's bundling and configuration transactions wrap these calls.
namespace kit::measurement {

class MSRDatabase;

class MSRAudience {
public:
    // initWithDatabase:
    explicit MSRAudience(MSRDatabase& database) : database_(database) {}

    // Replaces the stored filters with those of the valid audiences. Too
    // many audiences change nothing and still answer true.
    bool updateAudiences(const std::vector<MSRPBAudience>& audiences);

    bool evaluateFiltersForEvent(const MSREvent& event, const MSREventAggregates* eventAggregates,
                                 MSRAudienceTimestampsCache* audienceTimestampsCache);
    bool evaluateFiltersForEventName(std::string_view eventName, const MSRParameters& eventParameters,
                                     const MSREventAggregates* eventAggregates, double eventTimestamp,
                                     MSRAudienceTimestampsCache* audienceTimestampsCache);
    // Without an evaluation time, the property's set time.
    bool evaluateFiltersForNanoUserProperty(const MSRPBUserAttribute& userProperty,
                                            MSRAudienceTimestampsCache* audienceTimestampsCache,
                                            std::optional<double> evaluationTime);
    bool evaluateFiltersForUserProperty(const MSRUserAttribute& userProperty,
                                        MSRAudienceTimestampsCache* audienceTimestampsCache,
                                        double evaluationTimestamp);

    // The results to bundle; the stored results move current to previous.
    // Nothing when the store fails.
    std::optional<std::vector<MSRPBAudienceLeafFilterResult>> resultsForBundling();
    // At a session start: session-scoped filters become unevaluated again.
    bool clearEvaluationResultsForSessionScopedFilters();
    // Past the stored-results limit, drops results of audiences neither
    // stored nor among `savedAudienceIDs`.
    bool maybeDeleteStaleFilterResults(const std::set<std::int32_t>& savedAudienceIDs);

    // True when the filter's status and result bits are both set.
    static bool isFilterResult(const MSRFilterResult& filterResult, std::int32_t filterID);
    static MSRFilterResult updatedFilterResultWithFilterID(std::int32_t filterID, std::int32_t audienceID,
                                                           const MSRFilterResult& currentFilterResult,
                                                           bool newEvaluationResult,
                                                           const MSRAudienceTimestampsCache& audienceTimestampsCache);

    // Filter IDs at or past this bound are never evaluated: the limit of
    // filters per audience, which bounds IDs, cannot be configured higher.
    static constexpr std::int32_t kFilterIDBound = 100;

private:
    MSRDatabase& database_;
};

}  // namespace kit::measurement

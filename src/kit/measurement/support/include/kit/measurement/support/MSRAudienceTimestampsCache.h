#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSRAudienceRecords.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

// The evaluation times of dynamic and sequence filters during one pass of
// audience evaluation. Times are seconds; the results carry them as whole
// seconds. One cache serves one call on the worker queue: no locks.
namespace kit::measurement {

// The times of one audience's sequence filters.
class MSRSequenceTimestampsCache {
public:
    explicit MSRSequenceTimestampsCache(std::int32_t audienceID) : audienceID_(audienceID) {}

    std::int32_t audienceID() const { return audienceID_; }
    // A copy; empty for a filter without times.
    std::vector<double> sequenceTimestampsForFilterID(std::int32_t filterID) const;
    // Appends, unless the time equals the last one in whole seconds (an
    // earlier time is logged, 42000, and appended all the same).
    void addEventFilterTimestamp(double timestamp, std::int32_t filterID);
    // Replaces the filter's times with this one (an earlier time is logged, 42001).
    void setUserPropertyTimestamp(double timestamp, std::int32_t filterID);
    // One entry per filter, by ascending filter ID, times ascending.
    std::vector<MSRPBSequenceFilterResultTimestamp> sequenceFilterResultTimestamps() const;
    bool isEmpty() const { return timestamps_.empty(); }

private:
    std::int32_t audienceID_;
    std::map<std::int32_t, std::vector<double>> timestamps_;
};

class MSRAudienceTimestampsCache {
public:
    // Takes the dynamic times and the last time of each sequence entry of an
    // audience's stored result; once per audience, later calls change nothing.
    void populateCachedTimestamps(const MSRPBResultData& result, std::int32_t audienceID);
    // A sequence filter's time goes to the audience's sequence cache; a
    // dynamic or session-scoped filter keeps its latest time (an earlier or
    // equal one is logged, 6037, and dropped); a static filter keeps none.
    void addEvaluationTimestamp(double timestamp, const MSREventFilter& filter);
    void addEvaluationTimestamp(double timestamp, const MSRPropertyFilter& filter);
    // By ascending filter ID.
    std::vector<MSRPBDynamicFilterResultTimestamp> dynamicTimestampsForAudienceID(std::int32_t audienceID) const;
    // Nothing when the audience has no sequence times.
    const MSRSequenceTimestampsCache* sequenceTimestampsForAudienceID(std::int32_t audienceID) const;

private:
    void addTimestamp(double timestamp, std::int32_t audienceID, std::int32_t filterID, bool eventFilter, bool sequence,
                      bool keepsDynamicTime);
    MSRSequenceTimestampsCache& sequenceCache(std::int32_t audienceID);

    std::set<std::int32_t> populated_;
    std::map<std::int32_t, std::map<std::int32_t, double>> dynamic_;
    std::map<std::int32_t, MSRSequenceTimestampsCache> sequence_;
};

}  // namespace kit::measurement

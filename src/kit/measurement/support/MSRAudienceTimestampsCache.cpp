#include "kit/measurement/support/MSRAudienceTimestampsCache.h"

#include "AudienceLines.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <algorithm>
#include <limits>

namespace kit::measurement {

namespace {

// Slots of ResultData and its timestamp entries.
constexpr int kResultDynamic = 2;
constexpr int kResultSequence = 3;
constexpr int kEntryFilterID = 0;
constexpr int kEntryTimestamps = 1;

// A stored time as whole seconds; a time past the 64-bit range keeps the
// nearest end, so a corrupt double cannot overflow.
std::int64_t wholeSeconds(double timestamp) {
    if (const auto seconds = MSRWholeSeconds(timestamp)) {
        return *seconds;
    }
    return timestamp < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

}  // namespace

std::vector<double> MSRSequenceTimestampsCache::sequenceTimestampsForFilterID(std::int32_t filterID) const {
    const auto found = timestamps_.find(filterID);
    return found == timestamps_.end() ? std::vector<double>{} : found->second;
}

void MSRSequenceTimestampsCache::addEventFilterTimestamp(double timestamp, std::int32_t filterID) {
    std::vector<double>& list = timestamps_[filterID];
    if (!list.empty()) {
        if (timestamp < list.back()) {
            audience_lines::log(audience_lines::kAddingSequenceTimestampLessThanLast, timestamp, list.back());
        }
        if (wholeSeconds(timestamp) == wholeSeconds(list.back())) {
            return;
        }
    }
    list.push_back(timestamp);
}

void MSRSequenceTimestampsCache::setUserPropertyTimestamp(double timestamp, std::int32_t filterID) {
    std::vector<double>& list = timestamps_[filterID];
    if (!list.empty() && timestamp < list.back()) {
        audience_lines::log(audience_lines::kSettingSequenceTimestampLessThanLast, timestamp, list.back());
    }
    list.assign(1, timestamp);
}

std::vector<MSRPBSequenceFilterResultTimestamp> MSRSequenceTimestampsCache::sequenceFilterResultTimestamps() const {
    std::vector<MSRPBSequenceFilterResultTimestamp> entries;
    for (const auto& [filterID, times] : timestamps_) {
        std::vector<std::int64_t> seconds;
        seconds.reserve(times.size());
        for (double time : times) {
            seconds.push_back(wholeSeconds(time));
        }
        std::sort(seconds.begin(), seconds.end());
        MSRPBSequenceFilterResultTimestamp entry;
        NanoMessageSetInt32(entry, kEntryFilterID, filterID);
        NanoMessageSetArray(entry, kEntryTimestamps, seconds);
        entries.push_back(std::move(entry));
    }
    return entries;
}

void MSRAudienceTimestampsCache::populateCachedTimestamps(const MSRPBResultData& result, std::int32_t audienceID) {
    if (!populated_.insert(audienceID).second) {
        return;
    }
    for (const auto& entry : NanoMessageGetArray<MSRPBDynamicFilterResultTimestamp>(result, kResultDynamic)
                                 .value_or(std::vector<MSRPBDynamicFilterResultTimestamp>{})) {
        dynamic_[audienceID][NanoMessageGetInt32(entry, kEntryFilterID)] =
            static_cast<double>(NanoMessageGetInt64(entry, kEntryTimestamps));
    }
    for (const auto& entry : NanoMessageGetArray<MSRPBSequenceFilterResultTimestamp>(result, kResultSequence)
                                 .value_or(std::vector<MSRPBSequenceFilterResultTimestamp>{})) {
        const auto times = NanoMessageGetArray<std::int64_t>(entry, kEntryTimestamps);
        if (times && !times->empty()) {
            sequenceCache(audienceID)
                .setUserPropertyTimestamp(static_cast<double>(times->back()),
                                          NanoMessageGetInt32(entry, kEntryFilterID));
        }
    }
}

void MSRAudienceTimestampsCache::addEvaluationTimestamp(double timestamp, const MSREventFilter& filter) {
    addTimestamp(timestamp, filter.audienceID(), filter.filterID(), true, filter.isSequence(),
                 filter.isDynamic() || filter.isSessionScoped());
}

void MSRAudienceTimestampsCache::addEvaluationTimestamp(double timestamp, const MSRPropertyFilter& filter) {
    addTimestamp(timestamp, filter.audienceID(), filter.filterID(), false, filter.isSequence(),
                 filter.isDynamic() || filter.isSessionScoped());
}

void MSRAudienceTimestampsCache::addTimestamp(double timestamp, std::int32_t audienceID, std::int32_t filterID,
                                              bool eventFilter, bool sequence, bool keepsDynamicTime) {
    if (sequence) {
        MSRSequenceTimestampsCache& cache = sequenceCache(audienceID);
        if (eventFilter) {
            cache.addEventFilterTimestamp(timestamp, filterID);
        } else {
            cache.setUserPropertyTimestamp(timestamp, filterID);
        }
        return;
    }
    if (!keepsDynamicTime) {
        return;
    }
    auto& times = dynamic_[audienceID];
    const auto found = times.find(filterID);
    if (found != times.end() && !(timestamp > found->second)) {
        audience_lines::log(audience_lines::kCandidateEvaluationTimestampEarlierThanCached, timestamp, found->second);
        return;
    }
    times[filterID] = timestamp;
}

std::vector<MSRPBDynamicFilterResultTimestamp> MSRAudienceTimestampsCache::dynamicTimestampsForAudienceID(
    std::int32_t audienceID) const {
    std::vector<MSRPBDynamicFilterResultTimestamp> entries;
    const auto found = dynamic_.find(audienceID);
    if (found == dynamic_.end()) {
        return entries;
    }
    for (const auto& [filterID, time] : found->second) {
        MSRPBDynamicFilterResultTimestamp entry;
        NanoMessageSetInt32(entry, kEntryFilterID, filterID);
        NanoMessageSetInt64(entry, kEntryTimestamps, wholeSeconds(time));
        entries.push_back(std::move(entry));
    }
    return entries;
}

const MSRSequenceTimestampsCache* MSRAudienceTimestampsCache::sequenceTimestampsForAudienceID(
    std::int32_t audienceID) const {
    const auto found = sequence_.find(audienceID);
    return found == sequence_.end() || found->second.isEmpty() ? nullptr : &found->second;
}

MSRSequenceTimestampsCache& MSRAudienceTimestampsCache::sequenceCache(std::int32_t audienceID) {
    return sequence_.try_emplace(audienceID, audienceID).first->second;
}

}  // namespace kit::measurement

#include "kit/measurement/support/MSRRecords.h"

#include "StorageLines.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <algorithm>
#include <limits>

namespace kit::measurement {

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t saturatingAdd(std::int32_t counter, std::int64_t amount) {
    const std::int64_t sum = std::int64_t{counter} + amount;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(), kInt32Max));
}

}  // namespace

std::optional<MSRAppMetadata> MSRAppMetadata::initWithLastBundleIndex(std::int32_t lastBundleIndex,
                                                                      std::int32_t lastDeliveryIndex,
                                                                      double lastBundleStartTimestamp,
                                                                      double lastBundleEndTimestamp) {
    if (lastBundleIndex < 0) {
        storage_lines::log(storage_lines::kFailedCreateAppMetadataObjectReceived);
        return std::nullopt;
    }
    MSRAppMetadata metadata;
    metadata.lastBundleIndex_ = lastBundleIndex;
    metadata.lastDeliveryIndex_ = lastDeliveryIndex;
    metadata.lastBundleStartTimestamp_ = lastBundleStartTimestamp;
    metadata.lastBundleEndTimestamp_ = lastBundleEndTimestamp;
    return metadata;
}

void MSRAppMetadata::increaseLastBundleIndex(std::int32_t n) {
    const std::int64_t sum = std::int64_t{lastBundleIndex_} + n;
    if (sum > kInt32Max) {
        storage_lines::log(storage_lines::kBundleIndexOverflow);
        lastBundleIndex_ = n - 1;
        return;
    }
    lastBundleIndex_ = static_cast<std::int32_t>(sum);
}

void MSRAppMetadata::incrementLastDeliveryIndex() {
    lastDeliveryIndex_ = lastDeliveryIndex_ == kInt32Max ? 0 : lastDeliveryIndex_ + 1;
    if (lastDeliveryIndex_ == 0) {
        storage_lines::log(storage_lines::kDeliveryIndexOverflowDeliveryIndexReset);
    }
}

MSRDailyCounts::MSRDailyCounts(std::uint32_t day, std::int32_t conversionsCount, std::int32_t allEventsCount,
                               std::int32_t publicEventsCount, std::int32_t errorEventsCount,
                               std::int32_t realtimeCount, std::int32_t dcuRealtimeCount)
    : day_(day),
      conversionsCount_(conversionsCount),
      allEventsCount_(allEventsCount),
      publicEventsCount_(publicEventsCount),
      errorEventsCount_(errorEventsCount),
      realtimeCount_(realtimeCount),
      dcuRealtimeCount_(dcuRealtimeCount) {}

void MSRDailyCounts::moveToDay(std::uint32_t day) {
    if (day != day_) {
        resetWithNewDay(day);
    }
}

void MSRDailyCounts::incrementCountsForCurrentDay(std::uint32_t day, bool isPublicEvent, bool isConversion,
                                                  std::int32_t effectiveEventCount) {
    moveToDay(day);
    if (isConversion) {
        conversionsCount_ = saturatingAdd(conversionsCount_, 1);
    }
    allEventsCount_ = saturatingAdd(allEventsCount_, effectiveEventCount);
    if (isPublicEvent) {
        publicEventsCount_ = saturatingAdd(publicEventsCount_, effectiveEventCount);
    }
}

void MSRDailyCounts::incrementErrorEventsCountForCurrentDay(std::uint32_t day) {
    moveToDay(day);
    allEventsCount_ = saturatingAdd(allEventsCount_, 1);
    errorEventsCount_ = saturatingAdd(errorEventsCount_, 1);
}

void MSRDailyCounts::incrementRealtimeCountsForCurrentDay(std::uint32_t day) {
    moveToDay(day);
    realtimeCount_ = saturatingAdd(realtimeCount_, 1);
}

void MSRDailyCounts::incrementDCURealtimeCountsForCurrentDay(std::uint32_t day) {
    moveToDay(day);
    dcuRealtimeCount_ = saturatingAdd(dcuRealtimeCount_, 1);
}

void MSRDailyCounts::decrementAllEventsCount() {
    if (allEventsCount_ > 0) {
        --allEventsCount_;
    }
}

void MSRDailyCounts::resetWithNewDay(std::uint32_t day) {
    day_ = day;
    conversionsCount_ = allEventsCount_ = publicEventsCount_ = errorEventsCount_ = realtimeCount_ = dcuRealtimeCount_ =
        0;
}

}  // namespace kit::measurement

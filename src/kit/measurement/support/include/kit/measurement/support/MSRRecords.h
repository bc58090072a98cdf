#pragma once

#include <cstdint>
#include <optional>

namespace kit::measurement {

// Bundle and delivery numbering, one row of the database.
class MSRAppMetadata {
public:
    // Nothing (logged, 4000) for a negative bundle index.
    static std::optional<MSRAppMetadata> initWithLastBundleIndex(std::int32_t lastBundleIndex,
                                                                 std::int32_t lastDeliveryIndex,
                                                                 double lastBundleStartTimestamp,
                                                                 double lastBundleEndTimestamp);
    static std::optional<MSRAppMetadata> initWithLastBundleIndex(std::int32_t lastBundleIndex,
                                                                 double lastBundleStartTimestamp,
                                                                 double lastBundleEndTimestamp) {
        return initWithLastBundleIndex(lastBundleIndex, 0, lastBundleStartTimestamp, lastBundleEndTimestamp);
    }

    std::int32_t lastBundleIndex() const { return lastBundleIndex_; }
    std::int32_t lastDeliveryIndex() const { return lastDeliveryIndex_; }
    double lastBundleStartTimestamp() const { return lastBundleStartTimestamp_; }
    double lastBundleEndTimestamp() const { return lastBundleEndTimestamp_; }
    void setLastBundleStartTimestamp(double value) { lastBundleStartTimestamp_ = value; }
    void setLastBundleEndTimestamp(double value) { lastBundleEndTimestamp_ = value; }

    // Past the int32 range the index wraps to n - 1 (logged, 4001).
    void increaseLastBundleIndex(std::int32_t n);
    // 2147483647 becomes 0 (logged, 4002).
    void incrementLastDeliveryIndex();

private:
    MSRAppMetadata() = default;
    std::int32_t lastBundleIndex_ = 0;
    std::int32_t lastDeliveryIndex_ = 0;
    double lastBundleStartTimestamp_ = 0;
    double lastBundleEndTimestamp_ = 0;
};

// Per-day event counters behind the daily limits. A counter stops at the
// int32 maximum: a wrapped, negative count would reopen the limits.
class MSRDailyCounts {
public:
    MSRDailyCounts(std::uint32_t day, std::int32_t conversionsCount, std::int32_t allEventsCount,
                   std::int32_t publicEventsCount, std::int32_t errorEventsCount, std::int32_t realtimeCount,
                   std::int32_t dcuRealtimeCount);

    std::uint32_t day() const { return day_; }
    std::int32_t conversionsCount() const { return conversionsCount_; }
    std::int32_t allEventsCount() const { return allEventsCount_; }
    std::int32_t publicEventsCount() const { return publicEventsCount_; }
    std::int32_t errorEventsCount() const { return errorEventsCount_; }
    std::int32_t realtimeCount() const { return realtimeCount_; }
    std::int32_t dcuRealtimeCount() const { return dcuRealtimeCount_; }

    void incrementCountsForCurrentDay(std::uint32_t day, bool isPublicEvent, bool isConversion,
                                      std::int32_t effectiveEventCount = 1);
    void incrementErrorEventsCountForCurrentDay(std::uint32_t day);
    void incrementRealtimeCountsForCurrentDay(std::uint32_t day);
    void incrementDCURealtimeCountsForCurrentDay(std::uint32_t day);
    void decrementAllEventsCount();
    void resetWithNewDay(std::uint32_t day);

private:
    void moveToDay(std::uint32_t day);

    std::uint32_t day_;
    std::int32_t conversionsCount_;
    std::int32_t allEventsCount_;
    std::int32_t publicEventsCount_;
    std::int32_t errorEventsCount_;
    std::int32_t realtimeCount_;
    std::int32_t dcuRealtimeCount_;
};

}  // namespace kit::measurement

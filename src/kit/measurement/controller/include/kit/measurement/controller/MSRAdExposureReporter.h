#pragma once

#include "kit/measurement/controller/MSRScreen.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kit::measurement {

// How long ad units are on show: "_xu" per unit and "_xa" overall, cut at
// every screen change, engagement-timer firing and resignation. Times are
// uptime seconds, so setting the wall clock changes no exposure.
//
// The counts and start times live on the queue "MSRAdExposureReporter".
class MSRAdExposureReporter : public std::enable_shared_from_this<MSRAdExposureReporter> {
public:
    static constexpr std::size_t kMaximumAdUnits = 100;

    // The current kit context's, made on first need.
    static std::shared_ptr<MSRAdExposureReporter> sharedInstance();
    // The clock the current context's shared instance is made over (the
    // system's unless set before its first use).
    static void setSharedInstanceClock(platform::SchedulingClock& clock);

    ~MSRAdExposureReporter();
    MSRAdExposureReporter(const MSRAdExposureReporter&) = delete;
    MSRAdExposureReporter& operator=(const MSRAdExposureReporter&) = delete;

    void beginAdUnitExposure(std::string_view adUnitID);
    void endAdUnitExposure(std::string_view adUnitID);
    void logExposureEventsWithScreenParameters(const MSRParameters& screenParameters);

    void handleScreenDidChangeFromScreen(const std::optional<MSRScreen>& previous,
                                         const std::optional<MSRScreen>& next);
    void handleEngagementTimer();
    void handleAppDidBecomeActive();
    void handleAppWillResignActiveWithScreen(const std::optional<MSRScreen>& screen);

    bool isReportingEnabled() const { return reportingEnabled_.load(); }
    void setReportingEnabled(bool enabled) { reportingEnabled_.store(enabled); }

    // Uptime seconds.
    double currentTime() const;

    // Tests: waits for the begin calls queued so far.
    void waitUntilIdleForTesting();

private:
    struct Private;

public:
    MSRAdExposureReporter(Private, platform::SchedulingClock& clock);

private:
    void logExposureEventsOnSerialQueue(double endTime, const MSRParameters& screenParameters);
    void updateStartTimesOnSerialQueue(double time);
    void logAdUnitExposureEventOnSerialQueue(const std::string& adUnitID, double endTime,
                                             const MSRParameters& screenParameters);
    void logAdExposureEventOnSerialQueue(double endTime, const MSRParameters& screenParameters);

    platform::SchedulingClock& clock_;
    platform::SerialQueue queue_{"MSRAdExposureReporter"};
    std::map<std::string, std::int64_t, std::less<>> adUnitCounts_;  // on queue_
    std::map<std::string, double, std::less<>> adUnitStartTimes_;    // on queue_
    double adExposureStartTime_ = 0;                                 // on queue_
    std::atomic<bool> reportingEnabled_{true};
    platform::NotificationCenter::Token observer_ = 0;  // set once while being made
};

}  // namespace kit::measurement

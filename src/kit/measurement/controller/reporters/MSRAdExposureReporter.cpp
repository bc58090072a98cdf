#include "kit/measurement/controller/MSRAdExposureReporter.h"

#include "ReporterLines.h"
#include "kit/core/KitContext.h"

#include "kit/measurement/controller/MSRScreenViewReporter.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace kit::measurement {

struct MSRAdExposureReporter::Private {};

namespace {

struct Shared {
    std::mutex mutex;
    std::shared_ptr<MSRAdExposureReporter> instance;                        // guarded by mutex
    platform::SchedulingClock* clock = &platform::systemSchedulingClock();  // guarded by mutex
};

Shared& shared() { return KitContext::current().service<Shared>(); }

// Whole milliseconds between two uptimes, truncated toward zero.
std::int64_t exposureMillis(double start, double end) {
    const double millis = (end - start) * 1000.0;
    if (!std::isfinite(millis)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::clamp(millis, -9.2e18, 9.2e18));
}

bool isAppActive() { return MSRScreenViewReporter::sharedInstance()->isAppActive(); }

}  // namespace

MSRAdExposureReporter::MSRAdExposureReporter(Private, platform::SchedulingClock& clock)
    : clock_(clock), adExposureStartTime_(platform::uptimeSeconds(clock)) {}

MSRAdExposureReporter::~MSRAdExposureReporter() {
    if (observer_ != 0) {
        platform::NotificationCenter::defaultCenter().removeObserver(observer_);
    }
}

std::shared_ptr<MSRAdExposureReporter> MSRAdExposureReporter::sharedInstance() {
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    if (!state.instance) {
        state.instance = std::make_shared<MSRAdExposureReporter>(Private{}, *state.clock);
        state.instance->observer_ = platform::NotificationCenter::defaultCenter().addObserver(
            std::string(kMSRSessionReporterEngagementTimerDidFire), nullptr,
            [weakSelf = std::weak_ptr<MSRAdExposureReporter>(state.instance)](const auto&) {
                if (const auto self = weakSelf.lock()) {
                    self->handleEngagementTimer();
                }
            });
    }
    return state.instance;
}

void MSRAdExposureReporter::setSharedInstanceClock(platform::SchedulingClock& clock) {
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    state.clock = &clock;
}

double MSRAdExposureReporter::currentTime() const { return platform::uptimeSeconds(clock_); }

void MSRAdExposureReporter::beginAdUnitExposure(std::string_view adUnitID) {
    if (adUnitID.empty()) {
        reporter_lines::log(reporter_lines::kIgnoringCallBeginAdUnitExposure);
        return;
    }
    const double time = currentTime();
    queue_.async([weakSelf = weak_from_this(), identifier = std::string(adUnitID), time] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        if (self->adUnitCounts_.size() >= kMaximumAdUnits) {
            reporter_lines::log(reporter_lines::kReachedLimitAdUnitsIgnoringAd, identifier);
            return;
        }
        if (self->adUnitCounts_.empty()) {
            self->adExposureStartTime_ = time;
        }
        auto [count, inserted] = self->adUnitCounts_.try_emplace(identifier, 0);
        if (inserted) {
            self->adUnitStartTimes_.insert_or_assign(identifier, time);
        }
        ++count->second;
    });
}

void MSRAdExposureReporter::endAdUnitExposure(std::string_view adUnitID) {
    if (adUnitID.empty()) {
        reporter_lines::log(reporter_lines::kIgnoringCallEndAdUnitExposure);
        return;
    }
    const std::string identifier(adUnitID);
    const double time = currentTime();
    const MSRParameters screenParameters = MSRScreenViewReporter::sharedInstance()->screenParameters();
    queue_.sync([&] {
        const auto count = adUnitCounts_.find(identifier);
        if (count == adUnitCounts_.end()) {
            reporter_lines::log(reporter_lines::kUnknownAdUnitIgnoringAdUnit, identifier);
            return;
        }
        if (count->second >= 2) {
            --count->second;
            return;
        }
        logAdUnitExposureEventOnSerialQueue(identifier, time, screenParameters);
        adUnitCounts_.erase(count);
        adUnitStartTimes_.erase(identifier);
        if (adUnitCounts_.empty()) {
            logAdExposureEventOnSerialQueue(time, screenParameters);
            adExposureStartTime_ = time;
        }
    });
}

void MSRAdExposureReporter::logExposureEventsWithScreenParameters(const MSRParameters& screenParameters) {
    const double time = currentTime();
    queue_.sync([&] { logExposureEventsOnSerialQueue(time, screenParameters); });
}

void MSRAdExposureReporter::handleScreenDidChangeFromScreen(const std::optional<MSRScreen>& previous,
                                                            const std::optional<MSRScreen>& /*next*/) {
    if (previous) {
        logExposureEventsWithScreenParameters(MSRScreenParametersForScreen(*previous));
    }
}

void MSRAdExposureReporter::handleEngagementTimer() {
    logExposureEventsWithScreenParameters(MSRScreenViewReporter::sharedInstance()->screenParameters());
}

void MSRAdExposureReporter::handleAppDidBecomeActive() {
    const double time = currentTime();
    // Posted on the window's thread, which does not wait for the queue; a
    // later resign is queued behind it.
    queue_.async([weakSelf = weak_from_this(), time] {
        if (const auto self = weakSelf.lock()) {
            self->updateStartTimesOnSerialQueue(time);
        }
    });
}

void MSRAdExposureReporter::handleAppWillResignActiveWithScreen(const std::optional<MSRScreen>& screen) {
    MSRParameters screenParameters;
    if (screen) {
        screenParameters = MSRScreenParametersForScreen(*screen);
    }
    if (screenParameters.empty()) {
        screenParameters = MSRScreenViewReporter::sharedInstance()->screenParameters();
    }
    const double time = currentTime();
    queue_.sync([&] { logExposureEventsOnSerialQueue(time, screenParameters); });
}

void MSRAdExposureReporter::waitUntilIdleForTesting() {
    queue_.sync([] {});
}

void MSRAdExposureReporter::logExposureEventsOnSerialQueue(double endTime, const MSRParameters& screenParameters) {
    for (const auto& [identifier, count] : adUnitCounts_) {
        logAdUnitExposureEventOnSerialQueue(identifier, endTime, screenParameters);
    }
    if (!adUnitCounts_.empty()) {
        logAdExposureEventOnSerialQueue(endTime, screenParameters);
    }
    updateStartTimesOnSerialQueue(endTime);
}

void MSRAdExposureReporter::updateStartTimesOnSerialQueue(double time) {
    if (adUnitCounts_.empty()) {
        return;
    }
    for (auto& [identifier, start] : adUnitStartTimes_) {
        start = time;
    }
    adExposureStartTime_ = time;
}

void MSRAdExposureReporter::logAdUnitExposureEventOnSerialQueue(const std::string& adUnitID, double endTime,
                                                                const MSRParameters& screenParameters) {
    MSRMonitor& monitor = MSRMeasurementMonitor();
    if (!isReportingEnabled()) {
        reporter_lines::log(monitor, reporter_lines::kAdUnitExposureNotLogged);
        return;
    }
    if (adUnitID.empty()) {
        reporter_lines::log(monitor, reporter_lines::kAdUnitExposureNotLoggedReceived);
        return;
    }
    if (!isAppActive()) {
        reporter_lines::log(monitor, reporter_lines::kAdUnitExposureNotLoggedApp);
        return;
    }
    const auto start = adUnitStartTimes_.find(adUnitID);
    const std::int64_t millis = exposureMillis(start == adUnitStartTimes_.end() ? endTime : start->second, endTime);
    if (millis < 1000) {
        reporter_lines::log(monitor, reporter_lines::kAdUnitExposureNotLoggedExposure);
        return;
    }
    MSRParameters parameters = screenParameters;
    parameters.insert_or_assign("_ai", MSRValue::initWithString(adUnitID));
    parameters.insert_or_assign("_xt", MSRValue::initWithInt64(millis));
    MeasurementServices::current().logInternalEventWithOrigin("am", "_xu", parameters);
}

void MSRAdExposureReporter::logAdExposureEventOnSerialQueue(double endTime, const MSRParameters& screenParameters) {
    MSRMonitor& monitor = MSRMeasurementMonitor();
    if (!isReportingEnabled()) {
        reporter_lines::log(monitor, reporter_lines::kAdExposureNotLogged);
        return;
    }
    if (!isAppActive()) {
        reporter_lines::log(monitor, reporter_lines::kAdExposureNotLoggedAppNot);
        return;
    }
    const std::int64_t millis = exposureMillis(adExposureStartTime_, endTime);
    if (millis < 1000) {
        reporter_lines::log(monitor, reporter_lines::kAdExposureNotLoggedExposureTime);
        return;
    }
    MSRParameters parameters = screenParameters;
    parameters.insert_or_assign("_xt", MSRValue::initWithInt64(millis));
    MeasurementServices::current().logInternalEventWithOrigin("am", "_xa", parameters);
}

}  // namespace kit::measurement

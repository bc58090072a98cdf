#include "kit/measurement/controller/MSRSessionReporter.h"

#include "ReporterLines.h"
#include "kit/measurement/controller/MSRReportersController.h"
#include "kit/measurement/controller/MSRScreenViewReporter.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

namespace kit::measurement {

struct MSRSessionReporter::Private {};

namespace {

constexpr double kMaximumEngagementSeconds = 3600.0;

// Set while this thread runs one of the reporter's blocks on the main queue.
thread_local int mainQueueDepth = 0;

struct OnMainQueue {
    OnMainQueue() { ++mainQueueDepth; }
    ~OnMainQueue() { --mainQueueDepth; }
    OnMainQueue(const OnMainQueue&) = delete;
    OnMainQueue& operator=(const OnMainQueue&) = delete;
};

bool isOnQueue(const platform::Executor& queue) {
    if (mainQueueDepth > 0) {
        return true;
    }
    const auto* serial = dynamic_cast<const platform::SerialQueue*>(&queue);
    return serial != nullptr && serial->isCurrent();
}

// Seconds truncated toward zero; what no 64-bit integer holds is clamped.
std::int64_t truncatedToInt64(double seconds) {
    if (std::isnan(seconds)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::clamp(seconds, -9.2e18, 9.2e18));
}

bool isAppActive() { return MSRScreenViewReporter::sharedInstance()->isAppActive(); }

double sessionDefaultTimeoutInterval() { return MSRReportersRemoteConfig()->sessionDefaultTimeoutInterval(); }

}  // namespace

MSRSessionReporter::MSRSessionReporter(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig,
                                       platform::SchedulingClock& clock, std::shared_ptr<platform::Executor> mainQueue)
    : persistedConfig_(std::move(persistedConfig)),
      clock_(clock),
      mainQueue_(mainQueue ? std::move(mainQueue) : platform::MainQueue::get()),
      userEngagementTimer_(std::make_shared<MSRAlarm>(*mainQueue_, "Engagement timer", clock)) {
    std::optional<platform::Value> persistedTimeout = persistedConfig_->sessionTimeoutValue();
    if (const std::optional<double> seconds = persistedTimeout ? persistedTimeout->asDouble() : std::nullopt) {
        timeoutSessionInterval_ = *seconds;
        persistedConfig_->setSessionTimeoutValue(std::nullopt);
    } else {
        timeoutSessionInterval_ = sessionDefaultTimeoutInterval();
    }
    engagementStartUptime_ = currentUptime();
    freerideEngagementStartUptime_ = engagementStartUptime_;
}

MSRSessionReporter::~MSRSessionReporter() {
    // The alarm belongs to the main queue: it is cancelled and let go there.
    if (isOnQueue(*mainQueue_)) {
        userEngagementTimer_->cancel();
        return;
    }
    mainQueue_->async([alarm = std::move(userEngagementTimer_)] {
        const OnMainQueue onMain;
        alarm->cancel();
    });
}

std::shared_ptr<MSRSessionReporter> MSRSessionReporter::initWithPersistedConfig(
    std::shared_ptr<MSRPersistedConfig> persistedConfig, platform::SchedulingClock& clock,
    std::shared_ptr<platform::Executor> mainQueue) {
    if (!persistedConfig) {
        return nullptr;
    }
    return std::make_shared<MSRSessionReporter>(Private{}, std::move(persistedConfig), clock, std::move(mainQueue));
}

void MSRSessionReporter::onMainQueue(std::function<void(MSRAlarm& alarm)> work) {
    if (isOnQueue(*mainQueue_)) {
        work(*userEngagementTimer_);
        return;
    }
    mainQueue_->async([weakSelf = weak_from_this(), work = std::move(work)] {
        if (const auto self = weakSelf.lock()) {
            const OnMainQueue onMain;
            work(*self->userEngagementTimer_);
        }
    });
}

// --- Enablement and timeout.

bool MSRSessionReporter::isReportingEnabled() const {
    std::lock_guard lock(mutex_);
    return reportingEnabled_;
}

void MSRSessionReporter::setReportingEnabled(bool enabled) {
    {
        std::lock_guard lock(mutex_);
        reportingEnabled_ = enabled;
    }
    if (!enabled) {
        onMainQueue([](MSRAlarm& alarm) { alarm.cancel(); });
        return;
    }
    if (isAppActive()) {
        onMainQueue([weakSelf = weak_from_this()](MSRAlarm& alarm) {
            const auto self = weakSelf.lock();
            if (self && !alarm.scheduledTimestamp()) {
                self->rescheduleUserEngagementTimer();
            }
        });
    }
}

double MSRSessionReporter::timeoutSessionInterval() const {
    std::lock_guard lock(mutex_);
    return timeoutSessionInterval_;
}

void MSRSessionReporter::setTimeoutSessionInterval(double seconds) {
    // NaN is no timeout either.
    if (!(seconds >= 0)) {
        reporter_lines::log(reporter_lines::kReceivedNegativeTimeoutSessionDurationSetting);
        seconds = 0.0;
    }
    std::lock_guard lock(mutex_);
    timeoutSessionInterval_ = seconds;
}

// --- Sessions.

bool MSRSessionReporter::isSessionExpiredLocked(double clockTime) const {
    return std::abs(clockTime - persistedConfig_->lastSessionActivityClockTime()) > timeoutSessionInterval_;
}

bool MSRSessionReporter::isSessionExpired() const {
    std::lock_guard lock(mutex_);
    return isSessionExpiredLocked(currentClockTime());
}

bool MSRSessionReporter::shouldStartNewSession() const { return isAppActive() && isSessionExpired(); }

bool MSRSessionReporter::extendSession() {
    std::lock_guard lock(mutex_);
    const double now = currentClockTime();
    if (isSessionExpiredLocked(now)) {
        return false;
    }
    persistedConfig_->setLastSessionActivityClockTime(now);
    return true;
}

MSRSessionStart MSRSessionReporter::startSessionLocked(double clockTime) {
    const std::int64_t number = persistedConfig_->sessionNumber() + 1;
    persistedConfig_->setSessionNumber(number);
    persistedConfig_->setLastSessionActivityClockTime(clockTime);
    return MSRSessionStart{truncatedToInt64(clockTime), number};
}

void MSRSessionReporter::updatePropertiesForNewSessionStart() {
    std::lock_guard lock(mutex_);
    startSessionLocked(currentClockTime());
}

std::optional<MSRSessionStart> MSRSessionReporter::startNewSessionIfExpired() {
    std::lock_guard lock(mutex_);
    const double now = currentClockTime();
    if (!isSessionExpiredLocked(now)) {
        return std::nullopt;
    }
    return startSessionLocked(now);
}

std::optional<MSRUserAttribute> MSRSessionReporter::sessionIDPropertyWithTimestamp(double seconds) const {
    return MSRUserAttribute::initWithOrigin("auto", "_sid", MSRValue::initWithInt64(truncatedToInt64(seconds)),
                                            seconds);
}

std::optional<MSRUserAttribute> MSRSessionReporter::sessionNumberProperty() const {
    return MSRUserAttribute::initWithOrigin("auto", "_sno", MSRValue::initWithInt64(persistedConfig_->sessionNumber()),
                                            currentClockTime());
}

// --- Events.

void MSRSessionReporter::logStartedSession(const MSRSessionStart& start) {
    setSessionID(start.sessionID, start.sessionNumber);
    MSRParameters parameters;
    parameters.emplace("_sid", MSRValue::initWithInt64(start.sessionID));
    parameters.emplace("_sno", MSRValue::initWithInt64(start.sessionNumber));
    MeasurementServices::current().logInternalEventWithOrigin("auto", "_s", parameters);
}

void MSRSessionReporter::logSessionStartEvent() {
    if (!isAppActive()) {
        reporter_lines::log(reporter_lines::kSessionStartEventNotLogged);
        return;
    }
    MSRSessionStart start;
    {
        std::lock_guard lock(mutex_);
        if (!reportingEnabled_) {
            return;
        }
        start = startSessionLocked(currentClockTime());
    }
    logStartedSession(start);
}

void MSRSessionReporter::logUserEngagementEvent() { logEngagementEventAndReturnTimeWithScreen(std::nullopt, false); }

std::int64_t MSRSessionReporter::logEngagementEventAndReturnTimeWithScreen(const std::optional<MSRScreen>& screen,
                                                                           bool isRedundant) {
    if (!isAppActive()) {
        reporter_lines::log(reporter_lines::kUserEngagementEventNotLogged);
        return 0;
    }
    const bool efficient = MSRReportersRemoteConfig()->efficientEngagementReportingEnabled();
    bool reporting = false;
    std::int64_t millis = 0;
    {
        std::lock_guard lock(mutex_);
        const double uptime = currentUptime();
        reporting = reportingEnabled_;
        if (reporting) {
            const double incurred = incurredEngagementTimeLocked(uptime, efficient);
            millis = truncatedToInt64(std::min(incurred, kMaximumEngagementSeconds) * 1000.0);
        }
        engagementStartUptime_ = uptime;
        if (efficient && !isRedundant) {
            freerideEngagementStartUptime_ = uptime;
        }
        persistedConfig_->setLastSessionActivityClockTime(currentClockTime());
    }
    if (reporting) {
        MSRParameters parameters;
        parameters.emplace("_et", MSRValue::initWithInt64(millis));
        if (screen) {
            for (auto& [key, value] : MSRScreenParametersForScreen(*screen)) {
                parameters.insert_or_assign(key, value);
            }
        }
        if (efficient && isRedundant) {
            parameters.insert_or_assign("_fr", MSRValue::initWithInt64(1));
        }
        MeasurementServices::current().logInternalEventWithOrigin("auto", "_e", parameters);
    }
    rescheduleUserEngagementTimer();
    return millis;
}

void MSRSessionReporter::setSessionID(std::optional<std::int64_t> sessionID,
                                      std::optional<std::int64_t> sessionNumber) {
    MeasurementServices& services = MeasurementServices::current();
    const auto value = [](std::optional<std::int64_t> number) -> std::optional<MSRValue> {
        if (!number) {
            return std::nullopt;
        }
        return MSRValue::initWithInt64(*number);
    };
    services.setInternalUserProperty(value(sessionID), "_sid", "auto");
    services.setInternalUserProperty(value(sessionNumber), "_sno", "auto");
}

// --- Application and screens.

void MSRSessionReporter::handleAppDidBecomeActive() {
    {
        std::lock_guard lock(mutex_);
        engagementStartUptime_ = currentUptime();
        freerideEngagementStartUptime_ = engagementStartUptime_;
    }
    rescheduleUserEngagementTimer();
    if (!isAppActive()) {
        return;
    }
    // The expiry test and the new session are one step under the lock, so
    // the controller's session start on its worker cannot start the same one.
    std::optional<MSRSessionStart> start;
    {
        std::lock_guard lock(mutex_);
        if (!reportingEnabled_) {
            return;
        }
        const double now = currentClockTime();
        if (isSessionExpiredLocked(now)) {
            start = startSessionLocked(now);
        }
    }
    if (start) {
        setSessionID(std::nullopt, std::nullopt);
        logStartedSession(*start);
    }
}

void MSRSessionReporter::handleAppWillResignActiveWithScreen(const std::optional<MSRScreen>& screen) {
    logEngagementEventAndReturnTimeWithScreen(screen, false);
    onMainQueue([](MSRAlarm& alarm) { alarm.cancel(); });
}

void MSRSessionReporter::handleScreenDidChangeFromScreen(const std::optional<MSRScreen>& previous,
                                                         const std::optional<MSRScreen>& /*next*/) {
    if (!previous || incurredEngagementTime() < 1.0) {
        return;
    }
    const auto remoteConfig = MSRReportersRemoteConfig();
    const bool efficient = remoteConfig->efficientEngagementReportingEnabled();
    if (efficient && remoteConfig->redundantEngagementRemovalEnabled()) {
        return;
    }
    logEngagementEventAndReturnTimeWithScreen(previous, efficient);
}

// --- Engagement time.

void MSRSessionReporter::rescheduleUserEngagementTimer() {
    const double interval = MSRReportersRemoteConfig()->sessionEventUserEngagementInterval();
    onMainQueue([weakSelf = weak_from_this(), interval](MSRAlarm& alarm) {
        alarm.runAfterDelay(interval, [weakSelf] {
            platform::NotificationCenter::defaultCenter().post(std::string(kMSRSessionReporterEngagementTimerDidFire));
            if (const auto self = weakSelf.lock()) {
                const OnMainQueue onMain;
                self->logUserEngagementEvent();
            }
        });
    });
}

double MSRSessionReporter::incurredEngagementTimeLocked(double uptime, bool efficient) const {
    const double incurred = uptime - (efficient ? freerideEngagementStartUptime_ : engagementStartUptime_);
    if (incurred < 0) {
        reporter_lines::log(reporter_lines::kIncurredEngagementTimeNegativeSetting0);
        return 0.0;
    }
    return incurred;
}

double MSRSessionReporter::incurredEngagementTime() const {
    const bool efficient = MSRReportersRemoteConfig()->efficientEngagementReportingEnabled();
    std::lock_guard lock(mutex_);
    return incurredEngagementTimeLocked(currentUptime(), efficient);
}

std::int64_t MSRSessionReporter::cutFreerideEngagementTimeMillis() {
    if (!MSRReportersRemoteConfig()->efficientEngagementReportingEnabled()) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    const double uptime = currentUptime();
    const double incurred = incurredEngagementTimeLocked(uptime, true);
    freerideEngagementStartUptime_ = uptime;
    return truncatedToInt64(incurred * 1000.0);
}

double MSRSessionReporter::currentUptime() const { return platform::uptimeSeconds(clock_); }

double MSRSessionReporter::currentClockTime() const { return platform::secondsSince1970(clock_.now()); }

bool MSRSessionReporter::hasScheduledEngagementTimer() const {
    if (isOnQueue(*mainQueue_)) {
        return userEngagementTimer_->scheduledTimestamp().has_value();
    }
    std::promise<bool> answer;
    mainQueue_->async([this, &answer] {
        const OnMainQueue onMain;
        answer.set_value(userEngagementTimer_->scheduledTimestamp().has_value());
    });
    return answer.get_future().get();
}

}  // namespace kit::measurement

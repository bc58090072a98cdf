#pragma once

#include "kit/measurement/controller/MSRScreen.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/concurrency/Timers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace platform {
class Executor;
}

namespace kit::measurement {

class MSRAlarm;
class MSRPersistedConfig;

inline constexpr std::string_view kMSRSessionReporterEngagementTimerDidFire =
    "kMSRSessionReporterEngagementTimerDidFire";

// A session that began: its ID (the start's wall-clock seconds) and number.
struct MSRSessionStart {
    std::int64_t sessionID = 0;
    std::int64_t sessionNumber = 0;
};

// The engine's session and user engagement: when a session has expired,
// the session-start event "_s", the engagement event "_e" with its engaged
// time, the "_sid" and "_sno" user properties, and the repeating
// "Engagement timer" on the main queue.
//
// Activation and resignation come from the main thread, screen changes from
// the screen-view reporter's queue, the timer from the main queue and the
// controller's calls from its worker queue, in no order. So the in-memory
// fields are guarded by one mutex, the expiry test and the new-session update
// happen in one step under it, and the alarm is only ever touched on the main
// queue (calls from elsewhere are handed there).
//
// Engagement spans are measured on the clock's uptime (time since boot), so
// setting the wall clock neither stretches nor erases them; session expiry
// and the session ID follow the wall clock.
class MSRSessionReporter : public std::enable_shared_from_this<MSRSessionReporter> {
public:
    // Keeps `persistedConfig`; a persisted timeout is taken once and then
    // removed. `clock` gives wall time, uptime and timers and must outlive
    // the reporter; the timer runs on `mainQueue` (null: the host's main queue).
    static std::shared_ptr<MSRSessionReporter> initWithPersistedConfig(
        std::shared_ptr<MSRPersistedConfig> persistedConfig,
        platform::SchedulingClock& clock = platform::systemSchedulingClock(),
        std::shared_ptr<platform::Executor> mainQueue = nullptr);
    ~MSRSessionReporter();
    MSRSessionReporter(const MSRSessionReporter&) = delete;
    MSRSessionReporter& operator=(const MSRSessionReporter&) = delete;

    // --- Enablement and timeout; from any thread.
    bool isReportingEnabled() const;
    // NO cancels the engagement timer; YES arms it when the application is
    // active and it is idle.
    void setReportingEnabled(bool enabled);
    double timeoutSessionInterval() const;
    // A negative value is logged (33001) and taken as 0.
    void setTimeoutSessionInterval(double seconds);

    // --- Sessions.
    // The wall clock is more than the timeout away (either way) from the
    // last activity.
    bool isSessionExpired() const;
    // NO while the application is not active; else isSessionExpired().
    bool shouldStartNewSession() const;
    // An expired session answers NO and changes nothing; else the last
    // activity becomes now.
    bool extendSession();
    // Session number + 1, last activity = now.
    void updatePropertiesForNewSessionStart();
    // The controller's session start: when the session has expired, the
    // new-session update in the same locked step, answering the new session;
    // none when it had not expired. Two threads never both get one for the
    // same expiry.
    std::optional<MSRSessionStart> startNewSessionIfExpired();
    // "_sid" of origin "auto": the timestamp truncated toward zero, set at
    // that timestamp.
    std::optional<MSRUserAttribute> sessionIDPropertyWithTimestamp(double seconds) const;
    // "_sno" of origin "auto": the persisted session number, set now.
    std::optional<MSRUserAttribute> sessionNumberProperty() const;

    // --- Events.
    void logSessionStartEvent();
    void logUserEngagementEvent();
    // The "_e" event's milliseconds (0 when none was logged).
    std::int64_t logEngagementEventAndReturnTimeWithScreen(const std::optional<MSRScreen>& screen, bool isRedundant);
    void setSessionID(std::optional<std::int64_t> sessionID, std::optional<std::int64_t> sessionNumber);

    // --- Application and screens.
    void handleAppDidBecomeActive();
    void handleAppWillResignActiveWithScreen(const std::optional<MSRScreen>& screen);
    void handleScreenDidChangeFromScreen(const std::optional<MSRScreen>& previous,
                                         const std::optional<MSRScreen>& next);

    // --- Engagement time.
    void rescheduleUserEngagementTimer();
    // Seconds since the start of the span the next report covers; never negative.
    double incurredEngagementTime() const;
    // With efficient engagement reporting on: the span's milliseconds since
    // the last screen view, and a new span from now; else 0.
    std::int64_t cutFreerideEngagementTimeMillis();

    double currentUptime() const;
    double currentClockTime() const;

    // Tests: whether the engagement timer is armed, read on the main queue
    // (waits for it; never call from a main queue turned by the caller).
    bool hasScheduledEngagementTimer() const;

private:
    struct Private;

public:
    MSRSessionReporter(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig, platform::SchedulingClock& clock,
                       std::shared_ptr<platform::Executor> mainQueue);

private:
    // Called with mutex_ held.
    double incurredEngagementTimeLocked(double uptime, bool efficient) const;
    bool isSessionExpiredLocked(double clockTime) const;
    MSRSessionStart startSessionLocked(double clockTime);

    void logStartedSession(const MSRSessionStart& start);
    // Runs `work` on the main queue with the alarm; inline when already there.
    void onMainQueue(std::function<void(MSRAlarm& alarm)> work);

    const std::shared_ptr<MSRPersistedConfig> persistedConfig_;
    platform::SchedulingClock& clock_;
    const std::shared_ptr<platform::Executor> mainQueue_;
    // Made and used on the main queue only.
    std::shared_ptr<MSRAlarm> userEngagementTimer_;

    mutable std::mutex mutex_;
    double engagementStartUptime_ = 0;          // guarded by mutex_
    double freerideEngagementStartUptime_ = 0;  // guarded by mutex_
    bool reportingEnabled_ = false;             // guarded by mutex_
    double timeoutSessionInterval_ = 0;         // guarded by mutex_
};

}  // namespace kit::measurement

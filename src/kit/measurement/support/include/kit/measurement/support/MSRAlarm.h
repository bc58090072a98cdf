#pragma once

#include "platform/Clock.h"
#include "platform/concurrency/Executor.h"
#include "platform/concurrency/Timers.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kit::measurement {

// A named one-shot timer whose block runs on its owner's queue. Used only
// from that queue (scheduling, cancelling and firing all happen there), so
// it holds no lock. A fired alarm clears its schedule before running its
// block, which may therefore schedule the same alarm again.
class MSRAlarm {
public:
    // Delays beyond this are taken as this: far past any schedule of the
    // engine, and well inside what a clock's time point can hold.
    static constexpr std::chrono::hours kMaximumDelay{24 * 365 * 100};

    // `executor` and `clock` must outlive the alarm. An empty name is "Timer".
    MSRAlarm(platform::Executor& executor, std::string_view name,
             platform::SchedulingClock& clock = platform::systemSchedulingClock());
    ~MSRAlarm();
    MSRAlarm(const MSRAlarm&) = delete;
    MSRAlarm& operator=(const MSRAlarm&) = delete;

    // Replaces any pending run with `block` after `delaySeconds`. A NaN or
    // negative delay runs at once; one beyond kMaximumDelay saturates.
    void runAfterDelay(double delaySeconds, std::function<void()> block);
    // Drops the pending run; with none, does nothing (and logs nothing).
    void cancel();
    bool hasActiveTimer() const;

    const std::string& name() const { return name_; }
    // When the pending run is due; none when nothing is scheduled.
    std::optional<platform::TimePoint> scheduledTimestamp() const { return scheduledTimestamp_; }

    // The delay a number of seconds stands for, as runAfterDelay takes it.
    static platform::Duration delayFromSeconds(double seconds);

private:
    void fire(const std::shared_ptr<platform::Timer>& timer);

    platform::Executor& executor_;
    platform::SchedulingClock& clock_;
    const std::string name_;
    // Confined to the owner's queue.
    std::shared_ptr<platform::Timer> timer_;
    std::function<void()> block_;
    std::optional<platform::TimePoint> scheduledTimestamp_;
    // Lets a timer that fires after the alarm is gone find nothing.
    std::shared_ptr<MSRAlarm*> self_ = std::make_shared<MSRAlarm*>(this);
};

}  // namespace kit::measurement

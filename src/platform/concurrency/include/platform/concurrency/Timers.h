#pragma once

#include "platform/concurrency/WorkStop.h"

#include "platform/Clock.h"
#include "platform/concurrency/Executor.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One-shot timers whose time comes from an injectable clock, so that
// schedules of hours or days are tested by advancing a TestClock instead of
// sleeping.
namespace platform {

using Duration = std::chrono::nanoseconds;

// A scheduled block. cancel() before it runs means it never runs.
class Timer {
public:
    void cancel() noexcept { cancelled_.store(true); }
    bool isCancelled() const noexcept { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

// A wall clock that also keeps time since boot and runs timers.
class SchedulingClock : public Clock {
public:
    // Time since boot, counting suspension (CLOCK_BOOTTIME on the system clock).
    virtual Duration uptime() const = 0;
    // Runs `work` on `executor` once `delay` has passed on this clock. The
    // executor must outlive the timer, or the timer be cancelled first.
    virtual std::shared_ptr<Timer> after(Duration delay, Executor& executor, Work work) = 0;
};

// The real clocks, with one timer thread for every timer of the process.
class SystemSchedulingClock final : public SchedulingClock, public Stoppable {
public:
    SystemSchedulingClock();
    ~SystemSchedulingClock() override;
    SystemSchedulingClock(const SystemSchedulingClock&) = delete;
    SystemSchedulingClock& operator=(const SystemSchedulingClock&) = delete;

    TimePoint now() const override { return std::chrono::system_clock::now(); }
    Duration uptime() const override;
    // Once work has stopped, a timer is made but never fires.
    std::shared_ptr<Timer> after(Duration delay, Executor& executor, Work work) override;

    // Drops the timers and joins the thread; the next timer starts it anew.
    void stopAndJoin() override;

private:
    struct Entry;
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<Entry>> entries_;  // guarded by mutex_; a heap, soonest first
    std::uint64_t sequence_ = 0;                   // guarded by mutex_; keeps equal times in order
    bool stopping_ = false;                        // guarded by mutex_
    std::thread thread_;                           // started under mutex_ by the first timer after a stop
    std::mutex joinMutex_;                         // taken around joining thread_
};

SchedulingClock& systemSchedulingClock();

// Seconds since boot with microseconds, on the clock's uptime: never
// negative, and untouched when the wall clock is set.
double uptimeSeconds(const SchedulingClock& clock);

// A clock that stands still until a test moves it. advance() walks through
// the timers that fall due in order of their due time (equal times in the
// order they were set), setting the clock to each one's time and running its
// block on its executor to the end before going on; a block may set or
// cancel timers, and those count within the same advance.
class TestClock final : public SchedulingClock {
public:
    explicit TestClock(TimePoint start = TimePoint{}, Duration uptime = Duration::zero());

    TimePoint now() const override;
    Duration uptime() const override;
    std::shared_ptr<Timer> after(Duration delay, Executor& executor, Work work) override;

    void advance(Duration by);
    // Sets the wall clock alone, as a user setting the time would: uptime
    // and the timers (due on uptime) stay where they are.
    void setNow(TimePoint now);
    // Timers set and neither run nor cancelled.
    std::size_t pendingTimerCount() const;

private:
    struct Entry;

    mutable std::mutex mutex_;
    TimePoint now_;                                // guarded by mutex_
    Duration uptime_;                              // guarded by mutex_
    std::vector<std::shared_ptr<Entry>> entries_;  // guarded by mutex_; due on uptime_
    std::uint64_t sequence_ = 0;                   // guarded by mutex_
};

}  // namespace platform

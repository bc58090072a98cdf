#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <future>
#include <string>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;

TEST(TestClockTest, FiresDueTimersInOrderWithoutSleeping) {
    TestClock clock(TimePoint{} + 1000h, 5s);
    SerialQueue queue("test.timers");
    std::vector<std::string> fired;  // written on the queue, read after advance()
    std::vector<TimePoint> firedAt;
    const auto record = [&](std::string name) {
        return [&, name] {
            fired.push_back(name);
            firedAt.push_back(clock.now());
        };
    };
    clock.after(1h, queue, record("hour"));
    clock.after(24h, queue, record("day"));
    clock.after(1s, queue, record("second"));
    clock.after(25h, queue, record("later"));
    const auto cancelled = clock.after(2s, queue, record("cancelled"));
    cancelled->cancel();

    const auto wall = std::chrono::steady_clock::now();
    clock.advance(24h);
    EXPECT_LT(std::chrono::steady_clock::now() - wall, 5s);
    EXPECT_EQ(fired, (std::vector<std::string>{"second", "hour", "day"}));
    ASSERT_EQ(firedAt.size(), 3u);
    EXPECT_EQ(firedAt[0], TimePoint{} + 1000h + 1s);
    EXPECT_EQ(firedAt[2], TimePoint{} + 1000h + 24h);
    EXPECT_EQ(clock.now(), TimePoint{} + 1024h);
    EXPECT_EQ(clock.uptime(), 5s + 24h);
    EXPECT_EQ(clock.pendingTimerCount(), 1u);
}

TEST(TestClockTest, ATimerCancelledInTheSameStepNeverRuns) {
    TestClock clock;
    SerialQueue queue("test.cancel");
    bool secondRan = false;
    std::shared_ptr<Timer> second;
    clock.after(1s, queue, [&] { second->cancel(); });
    second = clock.after(2s, queue, [&] { secondRan = true; });
    // A block may also set a timer that falls due within the same step.
    bool chainedRan = false;
    clock.after(3s, queue, [&] { clock.after(1s, queue, [&] { chainedRan = true; }); });
    clock.advance(10s);
    EXPECT_FALSE(secondRan);
    EXPECT_TRUE(chainedRan);
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
}

TEST(TestClockTest, AdvancingFromTheTimersOwnQueueDoesNotWaitForItself) {
    TestClock clock;
    SerialQueue queue("test.reentrant");
    bool ran = false;
    clock.after(1s, queue, [&] { ran = true; });
    queue.sync([&] { clock.advance(2s); });
    EXPECT_TRUE(ran);
}

TEST(TestClockTest, SettingTheWallClockMovesNeitherUptimeNorTimers) {
    TestClock clock(TimePoint{} + 1000h, 10s);
    SerialQueue queue("test.setnow");
    std::atomic<int> fired{0};
    clock.after(30s, queue, [&] { ++fired; });
    clock.setNow(TimePoint{} + 1001h);  // an hour forward
    clock.advance(29s);
    EXPECT_EQ(fired.load(), 0);
    EXPECT_EQ(clock.uptime(), 39s);
    EXPECT_EQ(clock.now(), TimePoint{} + 1001h + 29s);
    clock.setNow(TimePoint{});  // far back
    clock.advance(1s);
    EXPECT_EQ(fired.load(), 1);
    EXPECT_EQ(clock.now(), TimePoint{} + 1s);
    EXPECT_DOUBLE_EQ(uptimeSeconds(clock), 40.0);
}

TEST(SystemSchedulingClockTest, UptimeIsTimeSinceBootAndNeverGoesBack) {
    SystemSchedulingClock& clock = static_cast<SystemSchedulingClock&>(systemSchedulingClock());
    const double first = uptimeSeconds(clock);
    timespec boot{};
    ASSERT_EQ(::clock_gettime(CLOCK_BOOTTIME, &boot), 0);
    EXPECT_GT(first, 0.0);
    EXPECT_NEAR(first, static_cast<double>(boot.tv_sec), 2.0);
    EXPECT_GE(uptimeSeconds(clock), first);
}

TEST(SystemSchedulingClockTest, RunsAfterTheDelayUnlessCancelled) {
    SystemSchedulingClock clock;
    SerialQueue queue("test.system");
    std::promise<std::chrono::steady_clock::time_point> fired;
    std::atomic<bool> cancelledRan{false};
    const auto start = std::chrono::steady_clock::now();
    const auto cancelled = clock.after(20ms, queue, [&] { cancelledRan = true; });
    clock.after(50ms, queue, [&] { fired.set_value(std::chrono::steady_clock::now()); });
    cancelled->cancel();
    auto future = fired.get_future();
    ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
    EXPECT_GE(future.get() - start, 50ms);
    EXPECT_FALSE(cancelledRan);
    EXPECT_GT(clock.uptime(), 0s);
}

}  // namespace
}  // namespace platform

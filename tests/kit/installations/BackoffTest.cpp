#include "ConfigurationTestSupport.h"
#include "kit/installations/InstallationsBackoffController.h"
#include "kit/installations/InstallationsSingleOperationPromiseCache.h"

#include "platform/concurrency/Timers.h"

#include <gtest/gtest.h>

namespace kit::installations {
namespace {

using Event = HLOInstallationsBackoffEvent;
using namespace std::chrono_literals;

// Jitter of a chosen number of milliseconds.
class FixedRandom final : public platform::RandomSource {
public:
    explicit FixedRandom(std::uint64_t word) : word_(word) {}
    std::uint64_t next() override { return word_; }

private:
    std::uint64_t word_;
};

struct BackoffRun {
    explicit BackoffRun(std::uint64_t jitter) : random(jitter), controller([this] { return clock.now(); }, random) {}
    platform::TestClock clock{platform::TimePoint(std::chrono::seconds(1'800'000'000))};
    FixedRandom random;
    HLOInstallationsBackoffController controller;
};

TEST(BackoffTest, IntervalsFollowTheEventsInARow) {
    const auto recoverable = Event::recoverableError;
    struct Case {
        const char* name;
        std::vector<Event> events;
        int repeat;
        std::uint64_t jitter;
        double expected;
    };
    const Case cases[] = {
        {"three failures, no jitter", {recoverable}, 3, 0, 8.0},
        {"three failures, most jitter", {recoverable}, 3, 999, 8.999},
        {"jitter is the word modulo 1000", {recoverable}, 3, 1999 + (std::uint64_t{1} << 40), 8.999},
        {"one hundred failures", {recoverable}, 100, 999, 1800},
        {"a success starts again", {recoverable, recoverable, recoverable, Event::success, recoverable}, 1, 500, 2.5},
        {"unrecoverable", {Event::unrecoverableError}, 3, 999, 86400},
        {"success", {recoverable, Event::success}, 1, 999, 0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        BackoffRun run(row.jitter);
        double interval = 0;
        for (int round = 0; round < row.repeat; ++round) {
            for (const Event event : row.events) {
                run.controller.registerEvent(event);
            }
            interval = run.controller.lastEventData()->backoffTimeInterval;
        }
        EXPECT_DOUBLE_EQ(interval, row.expected);
    }
}

TEST(BackoffTest, TheNextRequestWaitsForTheInterval) {
    BackoffRun run(250);
    EXPECT_TRUE(run.controller.isNextRequestAllowed());
    run.controller.registerEvent(Event::recoverableError);
    run.controller.registerEvent(Event::recoverableError);  // 4.25 s
    EXPECT_EQ(run.controller.lastEventData()->eventCount, 2);
    run.clock.advance(4249ms);
    EXPECT_FALSE(run.controller.isNextRequestAllowed());
    run.clock.advance(1ms);
    EXPECT_TRUE(run.controller.isNextRequestAllowed());
    run.controller.registerEvent(Event::unrecoverableError);
    EXPECT_EQ(run.controller.lastEventData()->eventCount, 1);
    run.clock.advance(24h - 1s);
    EXPECT_FALSE(run.controller.isNextRequestAllowed());
    run.clock.advance(1s);
    EXPECT_TRUE(run.controller.isNextRequestAllowed());
}

TEST(BackoffTest, AnOperationCacheNeedsAHandler) {
    const auto raised = kit::testing::raisedBy([] { HLOInstallationsSingleOperationPromiseCache<int> cache(nullptr); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->name, "NSInvalidArgumentException");
    EXPECT_EQ(raised->reason, "`newOperationHandler` must not be `nil`.");
}

}  // namespace
}  // namespace kit::installations

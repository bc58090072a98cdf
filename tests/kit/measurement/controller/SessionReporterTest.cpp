#include "ReportersTestSupport.h"

#include "kit/core/CoreTexts.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/concurrency/NotificationCenter.h"

#include <latch>
#include <thread>

namespace kit::measurement::testing {
namespace {

using platform::Value;

class SessionReporterTest : public ReportersTest {
protected:
    SessionReporterTest() {
        persisted = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock);
        // The timer far off unless a test wants it.
        setRemote("measurement.session.event_user_engagement_interval", 86400.0);
    }

    std::shared_ptr<MSRSessionReporter> makeReporter(bool reporting = true) {
        auto reporter = MSRSessionReporter::initWithPersistedConfig(persisted, clock, mainQueue);
        controller->setSessionReporter(reporter);
        reporter->setReportingEnabled(reporting);
        flushMainQueue();
        return reporter;
    }
    static void post(std::string_view name) { platform::NotificationCenter::defaultCenter().post(std::string(name)); }
    void activate() {
        post(core_texts::kApplicationDidBecomeActiveNotification);
        flushMainQueue();
    }
    void resign() {
        post(core_texts::kApplicationWillResignActiveNotification);
        flushMainQueue();
    }
    // Moves the clock with the main queue settled before and after, so the
    // timer is armed before time passes and its work is done after.
    void advance(platform::Duration by) {
        flushMainQueue();
        clock.advance(by);
        flushMainQueue();
    }
    std::vector<ReportedEvent> eventsNamed(std::string_view name) {
        std::vector<ReportedEvent> named;
        for (auto& event : drainEvents()) {
            if (event.name == name) {
                named.push_back(std::move(event));
            }
        }
        return named;
    }

    std::shared_ptr<MSRPersistedConfig> persisted;
};

TEST_F(SessionReporterTest, ExpiryIsAnAbsoluteDifferenceBeyondTheTimeout) {
    const auto reporter = makeReporter();
    const struct {
        double timeout;
        double sinceLastActivity;  // negative: the clock was set back before it
        bool expired;
    } cases[] = {
        {0, 0, false}, {0, 0.5, true}, {60, 60, false}, {60, 61, true}, {60, -60, false}, {60, -61, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(::testing::Message() << testCase.timeout << " / " << testCase.sinceLastActivity);
        reporter->setTimeoutSessionInterval(testCase.timeout);
        const double lastActivity = nowSeconds() - testCase.sinceLastActivity;
        persisted->setLastSessionActivityClockTime(lastActivity);
        EXPECT_EQ(reporter->isSessionExpired(), testCase.expired);
        EXPECT_EQ(reporter->extendSession(), !testCase.expired);
        EXPECT_EQ(persisted->lastSessionActivityClockTime(), testCase.expired ? lastActivity : nowSeconds());
    }
    reporter->setTimeoutSessionInterval(-5);
    EXPECT_TRUE(services->logged(33001));
    EXPECT_EQ(reporter->timeoutSessionInterval(), 0.0);
}

TEST_F(SessionReporterTest, APersistedTimeoutIsUsedByOneReporterOnly) {
    persisted->setSessionTimeoutValue(Value(std::int64_t{60}));
    EXPECT_EQ(makeReporter()->timeoutSessionInterval(), 60.0);
    EXPECT_FALSE(persisted->sessionTimeoutValue());
    EXPECT_EQ(makeReporter()->timeoutSessionInterval(), 1800.0);
}

TEST_F(SessionReporterTest, ActivationStartsASessionWithItsUserProperties) {
    const auto reporter = makeReporter();
    persisted->setSessionNumber(4);
    activate();
    const auto starts = eventsNamed("_s");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].origin, "auto");
    EXPECT_EQ(starts[0].integer("_sid"), static_cast<std::int64_t>(nowSeconds()));
    EXPECT_EQ(starts[0].integer("_sno"), 5);
    const auto properties = services->drainProperties();
    ASSERT_EQ(properties.size(), 4u);
    EXPECT_FALSE(properties[0].value);
    EXPECT_EQ(properties[1].name, "_sno");
    EXPECT_FALSE(properties[1].value);
    EXPECT_EQ(properties[2].name, "_sid");
    EXPECT_EQ(properties[2].value->int64Value(), static_cast<std::int64_t>(nowSeconds()));
    EXPECT_EQ(properties[3].value->int64Value(), 5);
    EXPECT_EQ(reporter->sessionNumberProperty()->value().int64Value(), 5);
    EXPECT_EQ(reporter->sessionIDPropertyWithTimestamp(12.9)->value().int64Value(), 12);

    // Within the timeout the next activation keeps the session.
    advance(10s);
    activate();
    EXPECT_TRUE(eventsNamed("_s").empty());
}

TEST_F(SessionReporterTest, ActivationWithReportingOffArmsTheTimerButStartsNoSession) {
    const auto reporter = makeReporter(false);
    activate();
    EXPECT_TRUE(reporter->hasScheduledEngagementTimer());
    EXPECT_TRUE(eventsNamed("_s").empty());
    reporter->setReportingEnabled(false);
    EXPECT_FALSE(reporter->hasScheduledEngagementTimer());
}

TEST_F(SessionReporterTest, EngagementIsCappedAtAnHourAndIgnoresTheWallClock) {
    const auto reporter = makeReporter();
    activate();
    advance(5400s);
    resign();
    auto engagements = eventsNamed("_e");
    ASSERT_EQ(engagements.size(), 1u);
    EXPECT_EQ(engagements[0].integer("_et"), 3'600'000);
    EXPECT_FALSE(reporter->hasScheduledEngagementTimer());

    // The user sets the clock an hour on, then back: uptime measures.
    activate();
    advance(10s);
    clock.setNow(clock.now() + 1h);
    resign();
    activate();
    advance(4s);
    clock.setNow(clock.now() - 3h);
    resign();
    engagements = eventsNamed("_e");
    ASSERT_EQ(engagements.size(), 2u);
    EXPECT_EQ(engagements[0].integer("_et"), 10'000);
    EXPECT_EQ(engagements[1].integer("_et"), 4'000);
    EXPECT_FALSE(services->logged(33004));
}

TEST_F(SessionReporterTest, ScreenChangesReportEngagementAsTheRemoteSwitchesSay) {
    const struct {
        const char* label;
        bool efficient;
        bool removal;
        platform::Duration onScreen;
        std::optional<std::int64_t> engagement;  // "_et" of the screen change's "_e"; none: no "_e"
        bool redundant;
        std::optional<std::int64_t> screenViewEngagement;  // "_et" of the next "_vs"
    } cases[] = {
        {"half a second", false, false, 500ms, std::nullopt, false, std::nullopt},
        {"plain", false, false, 10s, 10'000, false, std::nullopt},
        {"efficient", true, false, 10s, 10'000, true, 10'000},
        {"efficient without redundancy", true, true, 10s, std::nullopt, false, 10'000},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        setEfficientReporting(testCase.efficient, testCase.removal);
        const auto reporter = makeReporter();
        activate();
        trackScreen({{"screen_name", Value("First")}});
        drainEvents();
        advance(testCase.onScreen);
        trackScreen({{"screen_name", Value("Second")}});
        flushMainQueue();
        const auto events = drainEvents();
        const auto engagement = std::find_if(events.begin(), events.end(), [](auto& e) { return e.name == "_e"; });
        const auto screenView = std::find_if(events.begin(), events.end(), [](auto& e) { return e.name == "_vs"; });
        ASSERT_NE(screenView, events.end());
        EXPECT_EQ(screenView->integer("_et"), testCase.screenViewEngagement);
        if (!testCase.engagement) {
            EXPECT_EQ(engagement, events.end());
            continue;
        }
        ASSERT_NE(engagement, events.end());
        EXPECT_EQ(engagement->integer("_et"), testCase.engagement);
        EXPECT_EQ(engagement->text("_sn"), "First");
        EXPECT_EQ(engagement->integer("_fr"), testCase.redundant ? std::optional<std::int64_t>(1) : std::nullopt);
    }
}

TEST_F(SessionReporterTest, TheTimerPostsAndReportsEveryInterval) {
    setRemote("measurement.session.event_user_engagement_interval", 100.0);
    const auto reporter = makeReporter();
    std::atomic<int> fired{0};
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        std::string(kMSRSessionReporterEngagementTimerDidFire), nullptr, [&](const auto&) { ++fired; });
    activate();
    drainEvents();
    advance(350s);
    EXPECT_EQ(fired.load(), 3);
    const auto engagements = eventsNamed("_e");
    ASSERT_EQ(engagements.size(), 3u);
    for (const auto& engagement : engagements) {
        EXPECT_EQ(engagement.integer("_et"), 100'000);
    }
    // Resigning stops it.
    resign();
    advance(1000s);
    EXPECT_EQ(fired.load(), 3);
    platform::NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(SessionReporterTest, ActivationAndTheWorkersSessionStartNeverBothStartOne) {
    const auto reporter = makeReporter();
    activate();
    for (int round = 0; round < 1000; ++round) {
        persisted->setLastSessionActivityClockTime(nowSeconds() - 3 * 3600);
        drainEvents();
        std::latch start(2);
        std::thread main([&] {
            start.arrive_and_wait();
            reporter->handleAppDidBecomeActive();
        });
        std::thread worker([&] {
            start.arrive_and_wait();
            // The controller's session start on its worker queue.
            if (const auto session = reporter->startNewSessionIfExpired()) {
                services->logInternalEventWithOrigin("auto", "_s",
                                                     {{"_sno", MSRValue::initWithInt64(session->sessionNumber)}});
            }
        });
        main.join();
        worker.join();
        ASSERT_EQ(services->countEvents("_s"), 1u) << "round " << round;
    }
    EXPECT_EQ(persisted->sessionNumber(), 1001);
}

TEST_F(SessionReporterTest, FourThreadsShareTheReporters) {
    setRemote("measurement.session.event_user_engagement_interval", 1.0);
    const auto reporter = makeReporter();
    activate();
    std::atomic<bool> stop{false};
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    std::vector<std::thread> threads;
    threads.emplace_back([&] {  // the main thread's notifications
        for (int turn = 0; !stop.load(); ++turn) {
            post(turn % 2 == 0 ? core_texts::kApplicationWillResignActiveNotification
                               : core_texts::kApplicationDidBecomeActiveNotification);
        }
    });
    threads.emplace_back([&] {  // the application's screen views
        for (int turn = 0; !stop.load(); ++turn) {
            screens()->trackScreenWithParameters({{"screen_name", Value("S" + std::to_string(turn % 7))}},
                                                 nowSeconds());
            ads()->beginAdUnitExposure("banner");
            ads()->endAdUnitExposure("banner");
        }
    });
    threads.emplace_back([&] {  // the controller's worker
        for (int turn = 0; !stop.load(); ++turn) {
            reporter->setReportingEnabled(turn % 3 != 0);
            reporter->setTimeoutSessionInterval(turn % 5);
            reporter->startNewSessionIfExpired();
            reporter->extendSession();
        }
    });
    threads.emplace_back([&] {  // time passing, which fires the engagement timer
        while (std::chrono::steady_clock::now() < deadline) {
            clock.advance(300ms);
        }
        stop.store(true);
    });
    for (auto& thread : threads) {
        thread.join();
    }
    flushMainQueue();
    EXPECT_GT(services->countEvents("_e") + services->countEvents("_s"), 0u);
}

}  // namespace
}  // namespace kit::measurement::testing

// The facade's event, user-property, listener and link entry points, with
// the fake controller behind them and error events routed back through the
// facade as the controller's services do.

#include "FacadeTestSupport.h"
#include "RoutingServices.h"

#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRControllerServices.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <future>
#include <thread>

namespace kit::measurement {
namespace {

using platform::Value;

class FakeScreenViews final : public MSRScreenViewTracking {
public:
    void trackScreenWithParameters(const Value::Dictionary& parameters, double) override {
        std::lock_guard lock(mutex_);
        tracked_.push_back(parameters);
    }
    std::vector<Value::Dictionary> tracked() const {
        std::lock_guard lock(mutex_);
        return tracked_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Value::Dictionary> tracked_;
};

class EntryPointsTest : public testing::FacadeTest {
protected:
    EntryPointsTest() {
        MeasurementServices::install(routing_);
        MSRAnalytics::installSeams({nullptr, nullptr, nullptr, nullptr, screenViews_});
    }

    std::vector<std::string> eventNames() const {
        std::vector<std::string> names;
        for (const auto& event : controller_->events()) {
            names.push_back(event.name);
        }
        return names;
    }
    // The "_err" codes of the error events that reached the controller.
    std::vector<std::int64_t> errorCodes() const {
        std::vector<std::int64_t> found;
        for (const auto& event : controller_->events()) {
            if (event.name == "_err") {
                found.push_back(event.parameters.at("_err").integerValue().value_or(-1));
            }
        }
        return found;
    }

    std::vector<std::int64_t> codes() { return routing_->drainCodes(); }

    std::shared_ptr<testing::RoutingServices> routing_ = std::make_shared<testing::RoutingServices>();
    std::shared_ptr<FakeScreenViews> screenViews_ = std::make_shared<FakeScreenViews>();
};

// --- Events

TEST_F(EntryPointsTest, CallsBeforeStartArriveAfterItInOrderWithNonDecreasingTimes) {
    // Four threads log while a fifth moves the clock: the time of each
    // event is read in the same step that queues it.
    std::atomic<bool> logging{true};
    std::thread ticker([&] {
        while (logging.load()) {
            clock_.advance(std::chrono::milliseconds(1));
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> loggers;
    for (int thread = 0; thread < 4; ++thread) {
        loggers.emplace_back([thread] {
            for (int index = 0; index < 50; ++index) {
                MSRAnalytics::logEventWithName("event_" + std::to_string(thread), {{"index", Value(index)}});
            }
        });
    }
    for (auto& logger : loggers) {
        logger.join();
    }
    logging.store(false);
    ticker.join();
    EXPECT_TRUE(controller_->events().empty());

    start();
    const auto events = controller_->events();
    ASSERT_EQ(events.size(), 200u);
    std::map<std::string, std::int64_t> nextIndex;
    for (std::size_t position = 0; position < events.size(); ++position) {
        if (position > 0) {
            EXPECT_LE(events[position - 1].timestamp, events[position].timestamp) << position;
        }
        // Each thread's events keep their order.
        EXPECT_EQ(events[position].parameters.at("index").integerValue(), nextIndex[events[position].name]++);
        EXPECT_EQ(events[position].origin, "app");
        EXPECT_TRUE(events[position].isPublicEvent);
    }
}

TEST_F(EntryPointsTest, ScreenViewsGoOnlyToTheScreenReporterAndOwnScreenParametersWin) {
    start();
    routing_->setScreen({{"_sn", MSRValue::initWithString("Form")}, {"_si", MSRValue::initWithInt64(7)}});
    MSRAnalytics::logEventWithName("screen_view", {{"screen_name", Value("Prefs")}});
    MSRAnalytics::logEventWithName("generate_click", {});
    MSRAnalytics::logEventWithName("chose_folder", {{"_sn", Value("Own")}});
    settle();

    ASSERT_EQ(screenViews_->tracked().size(), 1u);
    EXPECT_EQ(screenViews_->tracked()[0].at("screen_name"), Value("Prefs"));
    const auto events = controller_->events();
    ASSERT_EQ(eventNames(), (std::vector<std::string>{"generate_click", "chose_folder"}));
    EXPECT_EQ(events[0].addedScreenParameters.at("_sn"), MSRValue::initWithString("Form"));
    EXPECT_TRUE(events[1].addedScreenParameters.empty());
    EXPECT_EQ(events[1].parameters.at("_sn"), Value("Own"));
}

TEST_F(EntryPointsTest, AForwardedEventSkippingTheInterceptorMovesItsScreenIntoTheScreenParameters) {
    start();
    const Value::Dictionary parameters{{"_sc", Value("FormView")}, {"value", Value(3)}};
    MSRAnalytics::logEventWithOrigin("app+tgk", false, "_vs", parameters, 100, false, true);
    MSRAnalytics::logEventWithOrigin("app+tgk", false, "_vs", parameters, 100, false, false);
    MSRAnalytics::logEventWithOrigin("app", false, "_vs", parameters, 100, false, true);
    settle();

    const auto events = controller_->events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].addedScreenParameters, (MSRParameters{{"_sc", MSRValue::initWithString("FormView")}}));
    EXPECT_EQ(events[0].parameters, (Value::Dictionary{{"value", Value(3)}}));
    EXPECT_TRUE(events[0].ignoreInterceptor);
    for (std::size_t index : {1u, 2u}) {
        EXPECT_TRUE(events[index].addedScreenParameters.empty()) << index;
        EXPECT_EQ(events[index].parameters, parameters) << index;
    }
}

TEST_F(EntryPointsTest, ThePublicFaceForwardsAFullEventAsGiven) {
    start();
    const Value::Dictionary parameters{{"value", Value(7)}};
    struct Case {
        bool isPublicEvent;
        bool ignoreEnabled;
        bool ignoreInterceptor;
    };
    const Case cases[] = {{true, false, false}, {false, true, false}, {true, true, true}};
    for (const Case& entry : cases) {
        HLOAnalytics::logEventWithOrigin("auto", entry.isPublicEvent, "forwarded", parameters, 1234.5,
                                         entry.ignoreEnabled, entry.ignoreInterceptor);
    }
    settle();

    const auto events = controller_->events();
    ASSERT_EQ(events.size(), std::size(cases));
    for (std::size_t index = 0; index < events.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(events[index].origin, "auto");
        EXPECT_EQ(events[index].name, "forwarded");
        EXPECT_EQ(events[index].parameters, parameters);
        EXPECT_EQ(events[index].timestamp, 1234.5);
        EXPECT_EQ(events[index].isPublicEvent, cases[index].isPublicEvent);
        EXPECT_EQ(events[index].ignoreEnabled, cases[index].ignoreEnabled);
        EXPECT_EQ(events[index].ignoreInterceptor, cases[index].ignoreInterceptor);
        EXPECT_TRUE(events[index].addedScreenParameters.empty());
    }
}

TEST_F(EntryPointsTest, InvalidEventNamesBecomeErrorEvents) {
    start();
    MSRAnalytics::logEventWithName("_private", {});
    MSRAnalytics::logEventWithName("lumen_event", {});
    MSRAnalytics::logEventWithName(std::string(41, 'a'), {});
    settle();
    EXPECT_EQ(errorCodes(), (std::vector<std::int64_t>{2, 13, 2}));
    for (const auto& event : controller_->events()) {
        EXPECT_EQ(event.origin, "auto");
        EXPECT_FALSE(event.isPublicEvent);
    }
}

TEST_F(EntryPointsTest, AnAdEventIDTextBecomesItsIntegerPart) {
    start();
    MSRAnalytics::logInternalEventWithOrigin("am", "_xa", {{"_aeid", Value("12.7")}});
    MSRAnalytics::logInternalEventWithOrigin("am", "_xa", {{"_aeid", Value("x")}});
    MSRAnalytics::logInternalEventWithOrigin("auto", "_xa", {{"_aeid", Value("12.7")}});
    settle();
    const auto events = controller_->events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].parameters.at("_aeid"), Value(std::int64_t{12}));
    EXPECT_EQ(events[1].parameters.at("_aeid"), Value("x"));
    EXPECT_EQ(events[2].parameters.at("_aeid"), Value("12.7"));  // only "am" events convert
    EXPECT_TRUE(contains(codes(), 25024));
}

TEST_F(EntryPointsTest, TheInterceptorAndTheEnabledFlagTravelWithEachEvent) {
    start();
    std::atomic<int> intercepted{0};
    MSRAnalytics::setLogEventInterceptor(
        [&](std::string_view, std::string_view, const Value::Dictionary&, double) { ++intercepted; });
    MSRAnalytics::logEventWithName("generate_click", {});
    MSRAnalytics::setLogEventInterceptor(nullptr);
    MSRAnalytics::logEventWithName("generate_click", {});
    settle();
    const auto events = controller_->events();
    ASSERT_EQ(events.size(), 2u);
    ASSERT_TRUE(events[0].interceptor);
    events[0].interceptor("app", "generate_click", {}, 0);
    EXPECT_EQ(intercepted.load(), 1);
    EXPECT_FALSE(events[1].interceptor);
    EXPECT_TRUE(events[0].enabled);
}

// --- User properties

TEST_F(EntryPointsTest, UserPropertiesAreCheckedBeforeTheyReachTheController) {
    start();
    struct Row {
        std::optional<std::string> value;
        std::string name;
        std::optional<std::int64_t> errorCode;  // none: set
    };
    const Row rows[] = {
        {"pdf", "favourite_type", std::nullopt},
        {std::string(37, 'v'), "favourite_type", 7},  // value too long
        {"pdf", "1st_type", 6},                       // bad name
        {"pdf", "lumen_type", 15},                    // reserved prefix
        {"pdf", std::string(25, 'n'), 6},             // name too long
    };
    for (const Row& row : rows) {
        MSRAnalytics::setUserPropertyString(row.value, row.name);
    }
    settle();
    std::vector<std::int64_t> expected;
    for (const Row& row : rows) {
        if (row.errorCode) {
            expected.push_back(*row.errorCode);
        }
    }
    EXPECT_EQ(errorCodes(), expected);
    const auto attributes = controller_->attributes();
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0].first, "set");
    EXPECT_EQ(attributes[0].second.name(), "favourite_type");
    EXPECT_EQ(attributes[0].second.origin(), "app");
    EXPECT_EQ(attributes[0].second.value(), MSRValue::initWithString("pdf"));
}

TEST_F(EntryPointsTest, AnOriginOfThirtyTwoCharactersPassesAndThirtyThreeAreRefused) {
    start();
    MSRAnalytics::setInternalUserProperty(Value("x"), "_ldl", std::string(32, 'o'));
    MSRAnalytics::setInternalUserProperty(Value("x"), "_ldl", std::string(33, 'o'));
    MSRAnalytics::setInternalUserProperty(Value("x"), "_ldl", "");
    settle();
    const auto attributes = controller_->attributes();
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0].second.origin(), std::string(32, 'o'));
    const auto logged = codes();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), 25005), 2);
}

TEST_F(EntryPointsTest, UserIDAndRemovalsReachTheControllerAsRemovals) {
    start();
    MSRAnalytics::setUserID(Value("user-1"));
    MSRAnalytics::setUserID(std::nullopt);
    MSRAnalytics::setUserID(Value(5));
    MSRAnalytics::setUserPropertyString(std::nullopt, "favourite_type");
    MSRAnalytics::setUserAttributeNumber(Value(2.5), "ratio");
    settle();
    std::vector<std::string> seen;
    for (const auto& [kind, attribute] : controller_->attributes()) {
        seen.push_back(kind + ":" + attribute.name() + ":" + attribute.origin());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "set:_id:app", "remove:_id:", "remove:_lair:", "remove:favourite_type:", "set:ratio:auto"}));
    EXPECT_TRUE(contains(codes(), 25004));
}

TEST_F(EntryPointsTest, AllowPersonalizedAdsSetsOrRemovesNonPersonalizedAds) {
    start();
    controller_->disableAdPersonalization = true;
    MSRAnalytics::setUserPropertyString("NO", "allow_personalized_ads");
    settle();
    controller_->disableAdPersonalization = std::nullopt;
    MSRAnalytics::setUserPropertyString(std::nullopt, "allow_personalized_ads");
    settle();
    const auto attributes = controller_->attributes();
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[0].first, "set");
    EXPECT_EQ(attributes[0].second.name(), "_npa");
    EXPECT_EQ(attributes[0].second.value(), MSRValue::initWithInt64(1));
    EXPECT_EQ(attributes[1].first, "remove");
    EXPECT_FALSE(MSRPersistedConfig::sharedInstance()->allowPersonalizedAds());
}

// --- Queries, listeners

TEST_F(EntryPointsTest, MaxUserPropertiesWithAnEmptyOriginNeverCallsBack) {
    controller_->maxUserProperties = 25;
    start();
    std::atomic<int> answers{0};
    MSRAnalytics::maxUserPropertiesForOrigin("", mainQueue_.get(), [&](std::int64_t) { ++answers; });
    MSRAnalytics::maxUserPropertiesForOrigin("app", mainQueue_.get(), [&](std::int64_t count) {
        EXPECT_EQ(count, 25);
        ++answers;
    });
    settle();
    EXPECT_EQ(answers.load(), 1);
    EXPECT_TRUE(contains(codes(), 25009));
}

MSREvent makeEvent(std::string_view name) { return *MSREvent::initWithOrigin("app", true, name, 1000, 0, {}); }

TEST_F(EntryPointsTest, RemovingAListenerTwiceLogsAnInvalidToken) {
    start();
    std::atomic<int> heard{0};
    const auto token = MSRAnalytics::addLogEventListener([&](auto, auto, const auto&) { ++heard; });
    MSRAnalytics::notifyEventListeners(makeEvent("first"));
    MSRAnalytics::removeLogEventListener(token);
    MSRAnalytics::removeLogEventListener(token);
    MSRAnalytics::notifyEventListeners(makeEvent("second"));
    settle();
    EXPECT_EQ(heard.load(), 1);
    const auto logged = codes();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), 25015), 1);
    EXPECT_EQ(MSRAnalytics::addLogEventListener(nullptr), nullptr);
    EXPECT_TRUE(contains(codes(), 25012));
}

TEST_F(EntryPointsTest, AListenerAddedByAListenerHearsOnlyLaterEvents) {
    start();
    std::mutex mutex;
    std::vector<std::string> heard;  // guarded by mutex
    auto record = [&](std::string who, std::string_view name) {
        std::lock_guard lock(mutex);
        heard.push_back(who + ":" + std::string(name));
    };
    MSRAnalytics::ListenerToken added;
    MSRAnalytics::ListenerToken first;
    first = MSRAnalytics::addLogEventListener([&](std::string_view, std::string_view name, const auto&) {
        record("first", name);
        if (!added) {
            // From inside a listener, on the serial queue: inserted at once.
            added = MSRAnalytics::addLogEventListener(
                [&](std::string_view, std::string_view later, const auto&) { record("added", later); });
            MSRAnalytics::removeLogEventListener(first);
        }
    });
    MSRAnalytics::notifyEventListeners(makeEvent("one"));
    MSRAnalytics::notifyEventListeners(makeEvent("two"));
    settle();
    std::lock_guard lock(mutex);
    // The removal is queued behind "two"; the added listener missed "one".
    // Listeners of one event are called in no promised order.
    std::sort(heard.begin(), heard.end());
    EXPECT_EQ(heard, (std::vector<std::string>{"added:two", "first:one", "first:two"}));
}

// --- Links

TEST_F(EntryPointsTest, OpenedLinksAndWebActivitiesReachTheControllerAndTheListener) {
    start();
    std::promise<std::string> listened;
    MSRAnalytics::setOpenURLListener([&](const std::string& url) { listened.set_value(url); });
    MSRAnalytics::handleOpenURL("stubforge://open?utm_source=mail");
    MSRAnalytics::handleUserActivity({"NSUserActivityTypeBrowsingWeb", "https://example.com/a?utm_source=web"});
    MSRAnalytics::handleUserActivity({"NSUserActivityTypeHandoff", "https://example.com/b"});
    settle();
    EXPECT_EQ(listened.get_future().get(), "stubforge://open?utm_source=mail");
    const auto entries = journal_.entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "url:stubforge://open?utm_source=mail"), 1);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "url:https://example.com/a?utm_source=web"), 1);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "url:https://example.com/b"), 0);
    EXPECT_TRUE(contains(codes(), 23006));
}

}  // namespace
}  // namespace kit::measurement

namespace kit::measurement {
namespace {

TEST_F(EntryPointsTest, TheControllerServicesQueueErrorEventsThroughTheFacade) {
    installMeasurementControllerServices();
    start();
    MSRAnalytics::setUserPropertyString(std::string(37, 'v'), "favourite_type");
    MeasurementServices::current().logInternalEventWithOrigin("auto", "_vs", 1234.5, {});
    MeasurementServices::current().setInternalUserProperty(MSRValue::initWithInt64(3), "_sno", "auto");
    settle();
    EXPECT_EQ(errorCodes(), std::vector<std::int64_t>{7});
    const auto events = controller_->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].name, "_vs");
    EXPECT_EQ(events[1].timestamp, 1234.5);
    const auto attributes = controller_->attributes();
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0].second.name(), "_sno");
    EXPECT_EQ(attributes[0].second.value(), MSRValue::initWithInt64(3));
}

}  // namespace
}  // namespace kit::measurement

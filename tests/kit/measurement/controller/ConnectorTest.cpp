#include "FacadeTestSupport.h"

#include "kit/measurement/controller/HLOConnectorUtils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace kit::measurement {
namespace {

using platform::Value;
using testing::FacadeTest;

TEST(ConnectorUtilsTest, UserPropertiesFollowTheListsAndPatterns) {
    struct Row {
        const char* name;
        const char* origin;
        bool allowed;
    };
    const Row rows[] = {
        {"_ln", "fcm", true},     {"_ln", "fiam", true},      {"_ln", "frc", false},  {"_ltv_USD", "fcm", false},
        {"_ltv_US", "fcm", true}, {"_ltv_USDX", "fcm", true}, {"_cc1", "fcm", false}, {"_cc5", "fcm", false},
        {"_cc6", "fcm", true},    {"_cc12", "fcm", true},     {"_fot", "fcm", false}, {"_id", "fcm", false},
        {"", "fcm", false},       {"plan", "fcm", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " from " + row.origin);
        EXPECT_EQ(HLOConnectorUtils::isUserPropertyAllowed(row.name, row.origin), row.allowed);
    }
    EXPECT_TRUE(HLOConnectorUtils::isAppOrigin("app"));
    EXPECT_TRUE(HLOConnectorUtils::isAppOrigin("app+web"));
    EXPECT_FALSE(HLOConnectorUtils::isAppOrigin("apple"));
    EXPECT_TRUE(HLOConnectorUtils::isUserPropertyAllowedForQuery("_fot"));
    EXPECT_FALSE(HLOConnectorUtils::isUserPropertyAllowedForQuery("_id"));
}

class ConnectorTest : public FacadeTest {
protected:
    std::shared_ptr<HLOAnalyticsConnector> connector_ = std::make_shared<HLOAnalyticsConnector>();
};

TEST_F(ConnectorTest, EventsPassOnlyFromAllowedOriginsCompleted) {
    struct Row {
        const char* origin;
        const char* name;
        Value::Dictionary parameters;
        bool logged;
        Value::Dictionary expected;
    };
    const Row rows[] = {
        {"app", "purchase", {}, false, {}},
        {"auto", "purchase", {}, false, {}},
        {"am", "purchase", {}, false, {}},
        {"fcm", "_e", {}, false, {}},
        {"fcm", "notification_open", {{"_r", Value(1)}}, false, {}},
        {"fcm", "notification_open", {{"_dbg", Value(1)}}, false, {}},
        {"fcm", "", {}, false, {}},
        {"fdl", "_cmp", {{"source", Value("x")}}, true, {{"source", Value("x")}, {"_cis", Value("fdl_integration")}}},
        {"crash", "_cmp", {}, true, {}},
        {"clx", "_ae", {}, true, {{"_r", Value(std::int64_t{1})}}},
        {"fcm", "notification_open", {}, true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.origin) + " " + row.name);
        const std::size_t before = entryPoints_->calls().size();
        connector_->logEventWithOrigin(row.origin, row.name, row.parameters);
        const auto calls = entryPoints_->calls();
        ASSERT_EQ(calls.size(), before + (row.logged ? 1 : 0));
        if (row.logged) {
            EXPECT_EQ(calls.back().kind, "internal");
            EXPECT_EQ(calls.back().origin, row.origin);
            EXPECT_EQ(calls.back().parameters, row.expected);
        }
    }
}

TEST_F(ConnectorTest, UserPropertiesAreSetUnderTheComponentsOrigin) {
    connector_->setUserPropertyWithOrigin("fcm", "_ln", Value("label"));
    connector_->setUserPropertyWithOrigin("frc", "_ln", Value("label"));
    connector_->setUserPropertyWithOrigin("app", "plan", Value("gold"));
    const auto calls = entryPoints_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "internalProperty");
    EXPECT_EQ(calls[0].origin, "fcm");
    EXPECT_EQ(calls[0].name, "_ln");
}

TEST_F(ConnectorTest, AQueryGivesFirstOpenTimeAndPublicNamesOnly) {
    controller_->userProperties = {{"_fot", Value(1)}, {"_id", Value("u")}, {"plan", Value("gold")}, {"", Value(2)}};
    start();
    std::promise<Value::Dictionary> answer;
    connector_->getUserPropertiesWithCallback([&](Value::Dictionary properties) {
        EXPECT_TRUE(HLOAnalyticsConnector::connectorQueue().isCurrent());
        answer.set_value(std::move(properties));
    });
    settle();
    EXPECT_EQ(answer.get_future().get(), (Value::Dictionary{{"_fot", Value(1)}, {"plan", Value("gold")}}));
}

TEST_F(ConnectorTest, MaxUserPropertiesAnswersZeroAfterItsTimeout) {
    start();
    HLOAnalyticsConnector::setMaxUserPropertiesTimeout(std::chrono::milliseconds(50));
    EXPECT_EQ(connector_->maxUserProperties("fcm"), 0);  // the engine never answers
    controller_->maxUserProperties = 25;
    HLOAnalyticsConnector::setMaxUserPropertiesTimeout(std::chrono::seconds(10));
    EXPECT_EQ(connector_->maxUserProperties("fcm"), 25);
}

class RecordingListener final : public HLOAnalyticsListener {
public:
    void messageTriggered(std::string_view name, const Value::Dictionary& parameters) override {
        const platform::SerialQueue* queue = platform::SerialQueue::current();
        std::lock_guard lock(mutex_);
        received_.push_back(std::string(name));
        onMainQueue_ = onMainQueue_ && queue != nullptr && queue->label() == "TestMainQueue";
        lastParameters_ = parameters;
    }
    std::vector<std::string> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    bool onMainQueue() const {
        std::lock_guard lock(mutex_);
        return onMainQueue_;
    }
    Value::Dictionary lastParameters() const {
        std::lock_guard lock(mutex_);
        return lastParameters_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    bool onMainQueue_ = true;
    Value::Dictionary lastParameters_;
};

TEST_F(ConnectorTest, ListenersGetTheirEventsOnTheMainQueue) {
    auto clx = std::make_shared<RecordingListener>();
    auto fiam = std::make_shared<RecordingListener>();
    connector_->registerAnalyticsListener(clx, "clx");
    connector_->registerAnalyticsListener(fiam, "fiam");
    connector_->registerAnalyticsListener(std::make_shared<RecordingListener>(), "fcm");  // not allowed
    EXPECT_EQ(entryPoints_->listenerCount(), 1u);

    struct Event {
        const char* origin;
        const char* name;
    };
    const Event events[] = {
        {"fdl", "_vs"},         // no listener of its own: to "clx"
        {"fdl", "purchase"},    // nobody
        {"fiam", "_vs"},        // its own listener
        {"app", "generate"},    // app origin: everyone
        {"app", "_exp_set"},    // hidden: nobody
        {"clx", "crash_seen"},  // its own
    };
    MSRAnalytics::queue().sync([&] {
        for (const Event& event : events) {
            entryPoints_->notifyListeners(event.origin, event.name,
                                          {{"count", Value(2)}, {"items", Value(Value::Array{})}});
        }
    });
    HLOAnalyticsConnector::connectorQueue().sync([] {});
    mainQueue_->sync([] {});
    EXPECT_EQ(clx->received(), (std::vector<std::string>{"_vs", "generate", "crash_seen"}));
    EXPECT_EQ(fiam->received(), (std::vector<std::string>{"_vs", "generate"}));
    EXPECT_TRUE(clx->onMainQueue());
    EXPECT_TRUE(fiam->onMainQueue());
    EXPECT_EQ(clx->lastParameters(), (Value::Dictionary{{"count", Value(2)}}));

    connector_->unregisterAnalyticsListenerWithOrigin("clx");
    EXPECT_EQ(entryPoints_->listenerCount(), 1u);
    connector_->unregisterAnalyticsListenerWithOrigin("fiam");
    EXPECT_EQ(entryPoints_->listenerCount(), 0u);
}

TEST_F(ConnectorTest, RegistrationFromManyThreadsWhileEventsFlow) {
    std::atomic<bool> stop{false};
    std::thread events([&] {
        while (!stop.load()) {
            entryPoints_->notifyListeners("app", "generate", {{"n", Value(1)}});
            entryPoints_->notifyListeners("fdl", "_vs", {});
        }
    });
    const char* origins[] = {"fiam", "crash", "clx", "fiam"};
    std::vector<std::thread> registrars;
    for (const char* origin : origins) {
        registrars.emplace_back([&, origin] {
            for (int round = 0; round < 200; ++round) {
                connector_->registerAnalyticsListener(std::make_shared<RecordingListener>(), origin);
                connector_->unregisterAnalyticsListenerWithOrigin(origin);
            }
        });
    }
    for (auto& registrar : registrars) {
        registrar.join();
    }
    stop.store(true);
    events.join();
    HLOAnalyticsConnector::connectorQueue().sync([] {});
    mainQueue_->sync([] {});
    EXPECT_LE(entryPoints_->listenerCount(), 1u);
}

class RecordingPropertyStore final : public HLOConditionalUserPropertyStore {
public:
    void setConditionalUserProperty(const HLOAConditionalUserProperty& property, std::string_view name) override {
        stored.push_back(property);
        names.push_back(std::string(name));
    }
    void clearConditionalUserPropertyWithClearEvent(const MSREvent& clearEvent, std::string_view name) override {
        cleared.emplace_back(clearEvent.name(), std::string(name));
    }
    std::vector<HLOAConditionalUserProperty> conditionalUserPropertiesWithNamePrefix(std::string_view,
                                                                                     std::string_view) override {
        return stored;
    }
    std::vector<HLOAConditionalUserProperty> stored;
    std::vector<std::string> names;
    std::vector<std::pair<std::string, std::string>> cleared;
};

TEST_F(ConnectorTest, ConditionalUserPropertiesAreConvertedAndClearedByTheirName) {
    auto store = std::make_shared<RecordingPropertyStore>();
    HLOAnalyticsConnector::installConditionalUserPropertyStore(store);
    connector_->setConditionalUserProperty({});
    EXPECT_TRUE(store->stored.empty());
    connector_->setConditionalUserProperty({
        {"name", Value("experiment_plan")},
        {"origin", Value("frc")},
        {"value", Value("variant_b")},
        {"creationTimestamp", Value(1700000000)},
        {"triggeredEvent",
         Value(Value::Dictionary{
             {"origin", Value("frc")}, {"name", Value("_exp_activate")}, {"timestamp", Value(1700000001.5)}})},
        {"timeToLive", Value(3600)},
    });
    ASSERT_EQ(store->stored.size(), 1u);
    const auto& property = store->stored[0];
    EXPECT_EQ(store->names, std::vector<std::string>{"experiment_plan"});
    EXPECT_EQ(property.value, MSRValue::initWithString("variant_b"));
    EXPECT_EQ(property.creationTimestamp, 1700000000.0);
    ASSERT_TRUE(property.triggeredEvent);
    EXPECT_EQ(property.triggeredEvent->timestamp(), 1700000001.5);
    EXPECT_EQ(property.otherFields, (Value::Dictionary{{"timeToLive", Value(3600)}}));
    EXPECT_EQ(connector_->conditionalUserProperties("frc", "exp"),
              (std::vector<Value::Dictionary>{{{"name", Value("experiment_plan")}, {"value", Value("variant_b")}}}));

    connector_->clearConditionalUserProperty("experiment_plan", "frc", "_exp_clear", {});
    EXPECT_TRUE(store->cleared.empty());
    connector_->clearConditionalUserProperty("experiment_plan", "frc", "_exp_clear", {{"_ffr", Value("reason")}});
    EXPECT_EQ(store->cleared, (std::vector<std::pair<std::string, std::string>>{{"_exp_clear", "experiment_plan"}}));
    HLOAnalyticsConnector::installConditionalUserPropertyStore(nullptr);
}

TEST_F(ConnectorTest, TheRegistryMakesAConnectorForTheInteropProtocol) {
    kit::HLOOptions options("1:123:ios:ab", "sender");
    kit::HLOApp::configureWithOptions(&options);
    const auto interop = kit::HLOApp::defaultApp()->container().instanceFor<HLOAnalyticsInterop>();
    ASSERT_NE(interop, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<HLOAnalyticsConnector>(interop), nullptr);
}

}  // namespace
}  // namespace kit::measurement

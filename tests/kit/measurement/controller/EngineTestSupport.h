#pragma once

#include "ControllerTestSupport.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/messages/MSRExperimentManager.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "platform/concurrency/Timers.h"

#include <chrono>
#include <functional>
#include <memory>

namespace kit::measurement::testing {

// A controller over fresh XDG folders and a test clock, with no network
// unless a test gives one. The controller is not the shared instance.
// No experiments: the engine tests keep the shared experiment manager, and
// the queues it starts, out of their way.
class NoExperiments final : public MSREManager {
public:
    std::shared_ptr<MSREClient> registerSDKProperty(const MSRESDKProperty&,
                                                    const platform::Value::Dictionary&) override {
        return nullptr;
    }
    std::vector<std::int64_t> experimentIDs() override { return {}; }
    void reset() override {}
};

class EngineTest : public ControllerTest {
protected:
    static constexpr std::string_view kAppID = "1:1234567890:ios:abcdef0123456789";

    EngineTest() : clock_(platform::TimePoint{std::chrono::seconds(1'700'000'000)}, std::chrono::hours(1)) {}
    ~EngineTest() override {
        if (controller_ != nullptr) {
            onWorkerQueue([] {});
            controller_.reset();
        }
    }

    platform::TestClock& clock() { return clock_; }

    // What each controller is made with; change it before makeController.
    MSRMeasurementEnvironment& environment() { return environment_; }

    // Whether the first start of the app is still to come. By default the
    // controller starts as on a later launch: the store marks the first
    // open as reported while it starts (the mark is taken away afterwards),
    // so the start stores nothing and the tests see only what they log.
    // Tests of the first start set it.
    void setFirstStart(bool firstStart) { firstStart_ = firstStart; }

    // Makes the controller and waits until its construction-time enable
    // (and so the component start) has run.
    MSRMeasurement& makeController(MSRMeasurementStartOptions options = {}) {
        if (options.appID.empty()) {
            options.appID = std::string(kAppID);
        }
        const auto persisted =
            environment_.persistedConfig ? environment_.persistedConfig : MSRPersistedConfig::sharedInstance();
        const auto previousFirstOpenCount = persisted->previousFirstOpenCount();
        if (!firstStart_) {
            markFirstOpenReported();
        }
        auto environment = environment_;
        environment.clock = &clock_;
        if (!environment.network.has_value()) {
            environment.network = std::shared_ptr<LMUNetwork>();
        }
        controller_ = MSRMeasurement::initWithAppID(options, std::move(environment));
        onWorkerQueue([&] {
            if (!firstStart_ && controller_->database() != nullptr) {
                ASSERT_TRUE(controller_->database()->deleteUserAttributeWithName("_fot"));
                // A later launch counts the earlier first open; the mark made none.
                persisted->setPreviousFirstOpenCount(previousFirstOpenCount);
            }
        });
        return *controller_;
    }

    MSRMeasurement& controller() { return *controller_; }

    // Runs `block` on the worker queue and waits for it (and so for every
    // block queued before it).
    void onWorkerQueue(const std::function<void()>& block) {
        controller_->scheduler().dispatchSyncOnWorkerQueueBlockID("test", block);
    }

private:
    void markFirstOpenReported() {
        auto persisted =
            environment_.persistedConfig ? environment_.persistedConfig : MSRPersistedConfig::sharedInstance();
        auto store = MSRDatabase::initWithDatabaseName(environment_.databaseName, persisted, clock_);
        ASSERT_TRUE(store) << store.error().what();
        const double now = std::chrono::duration<double>(clock_.now().time_since_epoch()).count();
        auto firstOpen = MSRUserAttribute::initWithOrigin("auto", "_fot", MSRValue::initWithInt64(1), now);
        ASSERT_TRUE(firstOpen);
        ASSERT_TRUE((*store)->updateUserAttribute(*firstOpen));
    }

    bool firstStart_ = false;
    platform::TestClock clock_;
    MSRMeasurementEnvironment environment_ = withoutExperiments();

    static MSRMeasurementEnvironment withoutExperiments() {
        MSRMeasurementEnvironment environment;
        environment.experimentManager = std::make_shared<NoExperiments>();
        return environment;
    }
    std::shared_ptr<MSRMeasurement> controller_;
};

}  // namespace kit::measurement::testing

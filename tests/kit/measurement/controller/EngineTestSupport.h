#pragma once

#include "ControllerTestSupport.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "platform/concurrency/Timers.h"

#include <chrono>
#include <functional>
#include <memory>

namespace kit::measurement::testing {

// A controller over fresh XDG folders and a test clock, with no network
// unless a test gives one. The controller is not the shared instance.
class EngineTest : public ControllerTest {
protected:
    static constexpr std::string_view kAppID = "1:1234567890:ios:abcdef0123456789";

    EngineTest() : clock_(platform::TimePoint{std::chrono::seconds(1'700'000'000)}, std::chrono::hours(1)) {}
    ~EngineTest() override {
        if (controller_ != nullptr) {
            onWorkerQueue([] {});
            controller_.reset();
        }
        MSRMeasurement::resetSharedInstanceForTesting();
        MSRRemoteConfig::resetDefaultInstanceForTesting();
    }

    platform::TestClock& clock() { return clock_; }

    // What each controller is made with; change it before makeController.
    MSRMeasurementEnvironment& environment() { return environment_; }

    // Makes the controller and waits until its construction-time enable
    // (and so the component start) has run.
    MSRMeasurement& makeController(MSRMeasurementStartOptions options = {}) {
        if (options.appID.empty()) {
            options.appID = std::string(kAppID);
        }
        auto environment = environment_;
        environment.clock = &clock_;
        if (!environment.network.has_value()) {
            environment.network = std::shared_ptr<LMUNetwork>();
        }
        controller_ = MSRMeasurement::initWithAppID(options, std::move(environment));
        onWorkerQueue([] {});
        return *controller_;
    }

    MSRMeasurement& controller() { return *controller_; }

    // Runs `block` on the worker queue and waits for it (and so for every
    // block queued before it).
    void onWorkerQueue(const std::function<void()>& block) {
        controller_->scheduler().dispatchSyncOnWorkerQueueBlockID("test", block);
    }

private:
    platform::TestClock clock_;
    MSRMeasurementEnvironment environment_;
    std::shared_ptr<MSRMeasurement> controller_;
};

}  // namespace kit::measurement::testing

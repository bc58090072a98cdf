#pragma once

#include "../support/MeasurementTestSupport.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <mutex>
#include <vector>

namespace kit::measurement::testing {

// The services of a running engine: internal events go to the facade, and
// the screen on show is what the test sets. Every monitor line's code is
// kept, the silent levels' too.
class RoutingServices final : public MeasurementServices {
public:
    RoutingServices() {
        MSRMonitor::Environment environment;
        environment.observer = [this](int, std::uint64_t code, std::string_view, const MSRLogContexts&) {
            std::lock_guard lock(mutex_);
            codes_.push_back(static_cast<std::int64_t>(code));
        };
        monitor_ = std::make_unique<MSRMonitor>(6, std::make_shared<CaptureLogging>(), kMSRDefaultLibraryVersion,
                                                std::move(environment));
    }
    ~RoutingServices() override { monitor_->waitUntilIdle(); }
    MSRMonitor& monitor() override { return *monitor_; }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return kMSRDefaultLibraryVersion; }
    std::vector<std::int64_t> drainCodes() {
        std::lock_guard lock(mutex_);
        return std::exchange(codes_, {});
    }
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                    const MSRParameters& parameters) override {
        platform::Value::Dictionary plain;
        for (const auto& [key, value] : parameters) {
            plain.emplace(key, value.plainValue());
        }
        MSRAnalytics::logInternalEventWithOrigin(origin, name, plain);
    }
    MSRParameters screenParameters() override {
        std::lock_guard lock(mutex_);
        return screen_;
    }
    void setScreen(MSRParameters screen) {
        std::lock_guard lock(mutex_);
        screen_ = std::move(screen);
    }

private:
    std::unique_ptr<MSRMonitor> monitor_;
    std::mutex mutex_;
    MSRParameters screen_;             // guarded by mutex_
    std::vector<std::int64_t> codes_;  // guarded by mutex_
};

}  // namespace kit::measurement::testing

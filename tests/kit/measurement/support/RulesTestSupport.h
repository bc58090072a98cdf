#pragma once

#include "MeasurementTestSupport.h"
#include "kit/measurement/support/MSRValue.h"

#include <algorithm>

namespace kit::measurement::testing {

struct LoggedLine {
    int level = 0;
    std::int64_t code = 0;
    std::string message;
};

struct InternalEvent {
    std::string origin;
    std::string name;
    MSRParameters parameters;
};

// Services for the event rules: every logged line is kept as it is logged,
// the remote limits and the screen parameters are the test's, and internal
// events are recorded instead of queued.
class RulesServices final : public MeasurementServices {
public:
    RulesServices() {
        MSRMonitor::Environment environment;
        environment.observer = [this](int level, std::uint64_t code, std::string_view message, const MSRLogContexts&) {
            std::lock_guard lock(mutex_);
            lines_.push_back({level, static_cast<std::int64_t>(code), std::string(message)});
        };
        monitor_ = std::make_unique<MSRMonitor>(6, std::make_shared<CaptureLogging>(), kMSRDefaultLibraryVersion,
                                                std::move(environment));
    }
    MSRMonitor& monitor() override { return *monitor_; }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return kMSRDefaultLibraryVersion; }
    MSRRemoteConfigLimits remoteConfig() override {
        std::lock_guard lock(mutex_);
        return limits;
    }
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                    const MSRParameters& parameters) override {
        std::lock_guard lock(mutex_);
        internalEvents.push_back({std::string(origin), std::string(name), parameters});
    }
    MSRParameters screenParameters() override { return screen; }

    std::vector<LoggedLine> drainLines() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }
    std::vector<std::int64_t> drainCodes() {
        std::vector<std::int64_t> codes;
        for (const LoggedLine& line : drainLines()) {
            codes.push_back(line.code);
        }
        return codes;
    }
    bool logged(std::int64_t code) {
        std::lock_guard lock(mutex_);
        return std::any_of(lines_.begin(), lines_.end(), [code](const LoggedLine& line) { return line.code == code; });
    }

    MSRRemoteConfigLimits limits;  // set before use
    MSRParameters screen;
    std::vector<InternalEvent> internalEvents;

private:
    std::mutex mutex_;
    std::vector<LoggedLine> lines_;  // guarded by mutex_
    std::unique_ptr<MSRMonitor> monitor_;
};

class RulesTest : public ContextTest {
protected:
    RulesTest() { MeasurementServices::install(services_); }
    ~RulesTest() override { services_->monitor().waitUntilIdle(); }
    RulesServices& services() { return *services_; }

private:
    std::shared_ptr<RulesServices> services_ = std::make_shared<RulesServices>();
};

}  // namespace kit::measurement::testing

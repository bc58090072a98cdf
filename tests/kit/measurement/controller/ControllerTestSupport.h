#pragma once

#include "../support/MeasurementTestSupport.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace kit::measurement::testing {

struct InternalEvent {
    std::string origin;
    std::string name;
    MSRParameters parameters;
};

// Services that keep the internal events the controller logs, and a
// monitor over a capture console.
class RecordingServices final : public MeasurementServices {
public:
    RecordingServices() {
        MSRMonitor::Environment environment;
        environment.isFromAppStore = [] { return false; };
        environment.observer = [this](int level, std::uint64_t code, std::string_view, const MSRLogContexts& contexts) {
            std::lock_guard lock(mutex_);
            codes_.push_back(static_cast<std::int64_t>(code));
            lines_.push_back({static_cast<std::int64_t>(code), level, contexts.size()});
        };
        monitor_ = std::make_unique<MSRMonitor>(8, console_, kMSRDefaultLibraryVersion, std::move(environment));
    }
    MSRMonitor& monitor() override { return *monitor_; }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return kMSRDefaultLibraryVersion; }
    bool isAppActive() override { return appActive_.load(); }
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                    const MSRParameters& parameters) override {
        std::lock_guard lock(mutex_);
        events_.push_back({std::string(origin), std::string(name), parameters});
    }

    // Whether the application counts as in front; not by default.
    void setAppActive(bool active) { appActive_.store(active); }

    std::vector<InternalEvent> drainEvents() {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }
    // Every line's code, as logged so far.
    std::vector<std::int64_t> drainCodes() {
        monitor_->waitUntilIdle();
        std::lock_guard lock(mutex_);
        return std::exchange(codes_, {});
    }

    struct Line {
        std::int64_t code = 0;
        int level = 0;
        std::size_t contextCount = 0;
    };
    // Every line as the console printed it, since the last call.
    std::vector<ConsoleLine> drainConsole() {
        monitor_->waitUntilIdle();
        return console_->drain();
    }
    // Every line's code, level and number of contexts, as logged.
    std::vector<Line> drainLines() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }

private:
    std::shared_ptr<CaptureLogging> console_ = std::make_shared<CaptureLogging>();
    std::unique_ptr<MSRMonitor> monitor_;
    std::atomic<bool> appActive_{false};
    std::mutex mutex_;
    std::vector<InternalEvent> events_;  // guarded by mutex_
    std::vector<std::int64_t> codes_;    // guarded by mutex_
    std::vector<Line> lines_;            // guarded by mutex_
};

// A controller test: fresh XDG folders, recording services, consent and
// registry back to their first-use state.
class ControllerTest : public ContextTest {
protected:
    ControllerTest() { MeasurementServices::install(services_); }
    ~ControllerTest() override { services_->monitor().waitUntilIdle(); }

    RecordingServices& services() { return *services_; }

private:
    std::shared_ptr<RecordingServices> services_ = std::make_shared<RecordingServices>();
};

}  // namespace kit::measurement::testing

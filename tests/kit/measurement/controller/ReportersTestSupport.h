#pragma once

#include "../../core/KitTestSupport.h"
#include "../support/MeasurementTestSupport.h"
#include "kit/measurement/controller/MSRAdExposureReporter.h"
#include "kit/measurement/controller/MSRReportersController.h"
#include "kit/measurement/controller/MSRScreenViewReporter.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Random.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kit::measurement::testing {

using namespace std::chrono_literals;

struct ReportedEvent {
    std::string origin;
    std::string name;
    MSRParameters parameters;
    std::optional<double> timestamp;

    std::optional<std::int64_t> integer(std::string_view key) const {
        const auto found = parameters.find(key);
        if (found == parameters.end() || !found->second.isInt64()) {
            return std::nullopt;
        }
        return found->second.int64Value();
    }
    std::optional<std::string> text(std::string_view key) const {
        const auto found = parameters.find(key);
        if (found == parameters.end() || !found->second.isString()) {
            return std::nullopt;
        }
        return *found->second.stringValue();
    }
};

struct ReportedProperty {
    std::optional<MSRValue> value;
    std::string name;
    std::string origin;
};

// The facade's internal entries, recorded instead of queued, and every
// monitor line's code.
class ReporterServices final : public MeasurementServices {
public:
    ReporterServices() {
        MSRMonitor::Environment environment;
        environment.observer = [this](int, std::uint64_t code, std::string_view, const MSRLogContexts&) {
            std::lock_guard lock(mutex_);
            codes_.push_back(static_cast<std::int64_t>(code));
        };
        monitor_ = std::make_unique<MSRMonitor>(6, std::make_shared<CaptureLogging>(), kMSRDefaultLibraryVersion,
                                                std::move(environment));
    }
    MSRMonitor& monitor() override { return *monitor_; }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return kMSRDefaultLibraryVersion; }
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                    const MSRParameters& parameters) override {
        std::lock_guard lock(mutex_);
        events_.push_back({std::string(origin), std::string(name), parameters, std::nullopt});
    }
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name, double timestamp,
                                    const MSRParameters& parameters) override {
        std::lock_guard lock(mutex_);
        events_.push_back({std::string(origin), std::string(name), parameters, timestamp});
    }
    void setInternalUserProperty(const std::optional<MSRValue>& value, std::string_view name,
                                 std::string_view origin) override {
        std::lock_guard lock(mutex_);
        properties_.push_back({value, std::string(name), std::string(origin)});
    }

    std::vector<ReportedEvent> drainEvents() {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }
    std::vector<ReportedProperty> drainProperties() {
        std::lock_guard lock(mutex_);
        return std::exchange(properties_, {});
    }
    std::vector<std::int64_t> drainCodes() {
        std::lock_guard lock(mutex_);
        return std::exchange(codes_, {});
    }
    bool logged(std::int64_t code) {
        std::lock_guard lock(mutex_);
        return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
    }
    std::size_t countEvents(std::string_view name) {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(
            std::count_if(events_.begin(), events_.end(), [&](const auto& event) { return event.name == name; }));
    }

private:
    std::mutex mutex_;
    std::vector<ReportedEvent> events_;         // guarded by mutex_
    std::vector<ReportedProperty> properties_;  // guarded by mutex_
    std::vector<std::int64_t> codes_;           // guarded by mutex_
    std::unique_ptr<MSRMonitor> monitor_;
};

// Stands for the measurement controller: its components, session reporter
// and remote settings are the test's.
class ReportersControllerFake final : public MSRReportersController {
public:
    bool didInitializeComponents() override { return initialized.load(); }
    std::shared_ptr<MSRSessionReporter> sessionReporter() override {
        std::lock_guard lock(mutex_);
        return session_;
    }
    std::shared_ptr<MSRRemoteConfig> remoteConfig() override { return remote; }

    void setSessionReporter(std::shared_ptr<MSRSessionReporter> session) {
        std::lock_guard lock(mutex_);
        session_ = std::move(session);
    }

    std::atomic<bool> initialized{true};
    const std::shared_ptr<MSRRemoteConfig> remote =
        MSRRemoteConfig::initWithAppID("1:42:test", nullptr, std::nullopt, nullptr);

private:
    std::mutex mutex_;
    std::shared_ptr<MSRSessionReporter> session_;  // guarded by mutex_
};

class FixedRandom final : public platform::RandomSource {
public:
    explicit FixedRandom(std::uint64_t value) : value_(value) {}
    std::uint64_t next() override { return value_; }

private:
    std::uint64_t value_;
};

inline constexpr std::int64_t kFirstInstanceID = 7'000;
// 2027-01-15, well after the epoch, so a clock set back stays positive.
inline const platform::TimePoint kStart = platform::TimePoint{} + 1'800'000'000s;

// Temporary XDG directories, a test clock for wall time, uptime and timers,
// a main queue of the test's own, and the reporters made afresh over them.
class ReportersTest : public kit::testing::KitTest {
protected:
    ReportersTest() {
        platform::MainQueue::install(mainQueue);
        MeasurementServices::install(services);
        MSRReportersController::install(controller);
        MSRScreenViewReporter::setSharedInstanceSources(clock, random);
        MSRAdExposureReporter::setSharedInstanceClock(clock);
        // The controller makes them at its start; they observe from then on.
        screens();
        ads();
    }
    ~ReportersTest() override {
        controller->setSessionReporter(nullptr);
        flushMainQueue();
        // The reporters end with the test's kit context, after this
        // fixture: nothing of theirs may still read its clock.
        screens()->waitUntilIdleForTesting();
        ads()->waitUntilIdleForTesting();
        MSRReportersController::install(nullptr);
        services->monitor().waitUntilIdle();
        MeasurementServices::install(nullptr);
        platform::MainQueue::reset();
    }

    std::shared_ptr<MSRScreenViewReporter> screens() { return MSRScreenViewReporter::sharedInstance(); }
    std::shared_ptr<MSRAdExposureReporter> ads() { return MSRAdExposureReporter::sharedInstance(); }

    void setRemote(std::string_view key, platform::Value value) { controller->remote->cacheValue(value, key); }
    void setEfficientReporting(bool efficient, bool removal = false) {
        setRemote("measurement.collection.efficient_engagement_reporting_enabled", std::int64_t{efficient ? 1 : 0});
        setRemote("measurement.collection.redundant_engagement_removal_enabled", std::int64_t{removal ? 1 : 0});
    }

    void flushMainQueue() {
        mainQueue->sync([] {});
    }
    // A screen view as the facade hands it in, waited for.
    void trackScreen(platform::Value::Dictionary parameters) {
        screens()->trackScreenWithParameters(parameters, nowSeconds());
        screens()->waitUntilIdleForTesting();
    }
    double nowSeconds() const { return std::chrono::duration<double>(clock.now().time_since_epoch()).count(); }
    std::vector<ReportedEvent> drainEvents() {
        screens()->waitUntilIdleForTesting();
        ads()->waitUntilIdleForTesting();
        return services->drainEvents();
    }

    platform::TestClock clock{kStart, 1000s};
    FixedRandom random{static_cast<std::uint64_t>(kFirstInstanceID)};
    const std::shared_ptr<platform::SerialQueue> mainQueue = std::make_shared<platform::SerialQueue>("test.main");
    const std::shared_ptr<ReporterServices> services = std::make_shared<ReporterServices>();
    const std::shared_ptr<ReportersControllerFake> controller = std::make_shared<ReportersControllerFake>();
};

}  // namespace kit::measurement::testing

#pragma once

#include "MeasurementTestSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "platform/concurrency/Timers.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kit::measurement::testing {

struct ObservedLine {
    int level = 0;
    std::int64_t code = 0;
    std::string message;
    std::vector<std::string> errors;  // the descriptions of the errors among the contexts
};

// The controller's services as the audience and conditional-property tests
// want them: every line kept as it is logged, the test's limits, a real
// database and worker queue, and the events handed to the pipeline kept.
class AudienceServices final : public MeasurementServices {
public:
    AudienceServices() {
        MSRMonitor::Environment environment;
        environment.observer = [this](int level, std::uint64_t code, std::string_view message,
                                      const MSRLogContexts& contexts) {
            ObservedLine line{level, static_cast<std::int64_t>(code), std::string(message), {}};
            for (const MSRLogContext& context : contexts) {
                if (const auto* error = std::get_if<platform::Error>(&context.storage())) {
                    line.errors.push_back(error->what());
                }
            }
            std::lock_guard lock(mutex_);
            lines_.push_back(std::move(line));
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
    bool isEnabled() override {
        std::lock_guard lock(mutex_);
        return enabled;
    }
    MSRDatabase* database() override { return database_; }
    MSRScheduler* scheduler() override { return scheduler_; }
    void writeEventOnWorkerQueue(const MSREvent& event) override {
        std::lock_guard lock(mutex_);
        writtenEvents_.push_back(event);
    }
    void writeFilteredEventOnWorkerQueue(const MSREvent& event) override {
        std::lock_guard lock(mutex_);
        filteredEvents_.push_back(event);
    }

    void attach(MSRDatabase* database, MSRScheduler* scheduler) {
        database_ = database;
        scheduler_ = scheduler;
    }
    std::vector<ObservedLine> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    void clearLines() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }
    // The first line logged with `code`, if any.
    std::optional<ObservedLine> line(std::int64_t code) {
        std::lock_guard lock(mutex_);
        const auto found =
            std::find_if(lines_.begin(), lines_.end(), [code](const ObservedLine& line) { return line.code == code; });
        return found == lines_.end() ? std::nullopt : std::optional<ObservedLine>(*found);
    }
    bool logged(std::int64_t code) { return line(code).has_value(); }
    std::vector<MSREvent> writtenEvents() {
        std::lock_guard lock(mutex_);
        return writtenEvents_;
    }
    std::vector<MSREvent> filteredEvents() {
        std::lock_guard lock(mutex_);
        return filteredEvents_;
    }

    MSRRemoteConfigLimits limits;  // guarded by mutex_
    bool enabled = true;           // guarded by mutex_

private:
    std::mutex mutex_;
    std::vector<ObservedLine> lines_;       // guarded by mutex_
    std::vector<MSREvent> writtenEvents_;   // guarded by mutex_
    std::vector<MSREvent> filteredEvents_;  // guarded by mutex_
    std::unique_ptr<MSRMonitor> monitor_;
    MSRDatabase* database_ = nullptr;
    MSRScheduler* scheduler_ = nullptr;
};

inline constexpr double kStartSeconds = 1'800'000'000;

// A fresh measurement database on a TestClock, behind the services above.
class AudienceTest : public ContextTest {
protected:
    AudienceTest() {
        MeasurementServices::install(services_);
        persistedConfig_ = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);
        auto database = MSRDatabase::initWithDatabaseName(kMSRDatabaseFileName, persistedConfig_, clock_);
        if (!database) {
            ADD_FAILURE() << "database: " << database.error().what();
        } else {
            database_ = std::move(*database);
        }
        services_->attach(database_.get(), &scheduler_);
    }
    ~AudienceTest() override {
        scheduler_.dispatchSyncOnWorkerQueueBlockID("drain", [] {});
        services_->monitor().waitUntilIdle();
        services_->attach(nullptr, nullptr);
        database_.reset();
        if (persistedConfig_) {
            persistedConfig_->cancelScheduledSynchronize();
        }
    }

    AudienceServices& services() { return *services_; }
    MSRDatabase& database() { return *database_; }
    MSRScheduler& scheduler() { return scheduler_; }
    platform::TestClock& clock() { return clock_; }
    // Runs `work` on the worker queue and waits for it.
    void onWorker(const std::function<void()>& work) { scheduler_.dispatchSyncOnWorkerQueueBlockID("test", work); }

private:
    platform::TestClock clock_{platform::TimePoint(std::chrono::seconds(static_cast<long long>(kStartSeconds)))};
    std::shared_ptr<AudienceServices> services_ = std::make_shared<AudienceServices>();
    std::shared_ptr<MSRPersistedConfig> persistedConfig_;
    std::unique_ptr<MSRDatabase> database_;
    MSRScheduler scheduler_{"com.lumen.halo-analytics.worker.test"};
};

}  // namespace kit::measurement::testing

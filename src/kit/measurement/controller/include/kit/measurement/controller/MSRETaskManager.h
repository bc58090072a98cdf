#pragma once

#include "kit/core/Endpoints.h"
#include "kit/core/network/Reachability.h"
#include "kit/measurement/controller/MSREDatabase.h"
#include "kit/measurement/controller/MSRExperimentSnapshots.h"
#include "kit/measurement/messages/MSRExperimentManager.h"
#include "platform/Error.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kit {
class LMUNetwork;
}

// The experiment component's worker: it owns the snapshot store, fetches
// snapshots for every registered SDK with one POST to the experiment
// service, keeps the fetch times in a user-defaults suite, schedules the
// next fetch on an alarm and reports to its delegate (the manager).
namespace kit::measurement {

class MSRAlarm;
class MSRKeyValueStore;

inline constexpr std::string_view kMSRExperimentSuiteName = "MSRExperimentSuiteName";
inline constexpr std::string_view kMSRExperimentFetchSuccessTimestampKey = "MSRExperimentFetchSuccessTimestamp";
inline constexpr std::string_view kMSRExperimentFetchFailureTimestampKey = "MSRExperimentFetchFailureTimestamp";
inline constexpr std::string_view kMSRExperimentFetchBackoffTimestampKey = "MSRExperimentFetchBackoffTimestamp";
inline constexpr std::string_view kMSRExperimentAlarmName = "MSRExperimentAlarm";
inline constexpr std::string_view kMSRExperimentWorkerQueueLabel = "MSRExperimentWorkerQueue";
inline constexpr std::string_view kMSRExperimentPath = "/sdk-exp";
inline constexpr std::string_view kMSRExperimentErrorDomain = "com.lumen.lmp.measurement.experiment.ErrorDomain";

// Seconds.
inline constexpr double kMSRExperimentFetchInterval = 14400;
inline constexpr double kMSRExperimentInitialFetchDelay = 10;
inline constexpr double kMSRExperimentRetryInterval = 1800;
inline constexpr int kMSRExperimentMaxRetries = 6;
inline constexpr double kMSRExperimentBackoffInterval = 43200;

// What the request describes besides the SDKs; each has a default.
struct MSREExperimentRequestEnvironment {
    // The engine's diversion key, for SDKs without their own.
    std::function<std::string()> diversionKey;
    // The user's first preferred language, if any.
    std::function<std::optional<std::string>()> preferredLanguage;
    // The main bundle's identifier.
    std::function<std::string()> bundleIdentifier;
    // Installed from the App Store.
    std::function<bool()> isFromAppStore;
};

// Builds the experiment request from the registered SDK properties. Safe
// from any thread.
class MSREExperimentRequestBuilder {
public:
    explicit MSREExperimentRequestBuilder(MSREExperimentRequestEnvironment environment = {});

    // Replaces a property of the same name; an empty name is refused (logged).
    void addSDKProperty(const MSRESDKProperty& property);
    MSRPBAppProperty appPropertyProto() const;
    MSRPBExperimentRequest request() const;

    // Nothing (logged) when neither the property nor the engine has a
    // diversion key.
    static std::optional<MSRPBClientProperty> clientPropertyProto(const MSRESDKProperty& property,
                                                                  const std::function<std::string()>& diversionKey);

private:
    MSREExperimentRequestEnvironment environment_;
    mutable std::mutex mutex_;
    std::map<std::string, MSRESDKProperty, std::less<>> clientPropertyBySDKName_;  // guarded by mutex_
};

using MSRESnapshotList = std::vector<MSRESnapshot>;
using MSREFetchErrors = std::map<std::string, platform::Error, std::less<>>;

// The manager, as the task manager sees it. Called on the worker queue.
class MSRETaskManagerDelegate {
public:
    virtual ~MSRETaskManagerDelegate() = default;
    virtual bool taskManagerShouldFetchExperiments() = 0;
    virtual void taskManagerDidStart(const MSRESnapshotList& activated, const MSRESnapshotList& pending,
                                     const MSRESnapshotList& launched) = 0;
    virtual void taskManagerDidFinishFetching(const MSRESnapshotList& snapshots, const MSREFetchErrors& errors) = 0;
    virtual void taskManagerDidUpsertPendingSnapshots(const MSRESnapshotList& snapshots) = 0;
};

struct MSRETaskManagerEnvironment {
    // The system's when null; must outlive the task manager.
    platform::SchedulingClock* clock = nullptr;
    // The suite "MSRExperimentSuiteName" when null.
    std::shared_ptr<MSRKeyValueStore> persistedStorage;
    // The store's file in the measurement directory when empty.
    std::filesystem::path databasePath;
    // Endpoints::current() when none.
    std::optional<kit::Endpoints> endpoints;
    // rtnetlink when none.
    std::optional<kit::LMUReachabilityApi> reachabilityApi;
    MSREExperimentRequestEnvironment request;
    // Called on the worker queue once a fetch's answer (or failure) has
    // been handled (tests).
    std::function<void()> fetchHandled;
};

class MSRETaskManager : public std::enable_shared_from_this<MSRETaskManager> {
public:
    using Environment = MSRETaskManagerEnvironment;

    static std::shared_ptr<MSRETaskManager> create(Environment environment = {});
    ~MSRETaskManager();
    MSRETaskManager(const MSRETaskManager&) = delete;
    MSRETaskManager& operator=(const MSRETaskManager&) = delete;

    void setDelegate(std::weak_ptr<MSRETaskManagerDelegate> delegate);
    MSREExperimentRequestBuilder& requestBuilder() noexcept { return requestBuilder_; }

    // Opens the store, drops stale and activates automatic snapshots, tells
    // the delegate what is stored and schedules the next fetch.
    void startTaskManager();
    void scheduleFetchingExperimentsOnWorkerQueue();
    // Seconds since 1970 of the next fetch; 0 after too many attempts.
    double fetchTimeFromLastSuccessfulTimestamp(double lastSuccess, double lastFailure);
    void fetchExperiments();
    void postponeFetchExperiments();
    // `statusCode` 0 stands for no answer at all.
    void handleFetchingExperimentsResponse(int statusCode, std::span<const std::uint8_t> data,
                                           const std::optional<platform::Error>& error);

    void activatePendingSnapshot(const std::optional<MSRESnapshot>& snapshot, double timestamp);
    void resetToDefaultsForSDKName(std::string_view sdkName);
    void upsertPendingSnapshots(const MSRESnapshotList& snapshots);
    void reset();
    void clearAndDelete();

    static MSRESnapshotList experimentSnapshotsFromExperimentResponse(
        const std::optional<MSRPBExperimentResponse>& response, double timestamp);
    static MSREFetchErrors errorsFromExperimentResponse(const std::optional<MSRPBExperimentResponse>& response);

    void dispatchAsyncOnWorkerQueue(std::function<void()> block);
    void dispatchSyncOnWorkerQueue(const std::function<void()>& block);

    // When the pending fetch is due (tests, diagnostics).
    std::optional<platform::TimePoint> scheduledFetchTime();
    const std::filesystem::path& databasePath() const noexcept { return databasePath_; }

    struct Private;
    MSRETaskManager(Private, Environment environment);

private:
    void startTaskManagerOnWorkerQueue();
    void recordFailedFetch(int statusCode, const std::optional<platform::Error>& error);
    void handleSuccessfulFetch(int statusCode, const std::optional<MSRPBExperimentResponse>& response);
    void removeFetchTimes();
    double now() const;
    std::shared_ptr<MSRETaskManagerDelegate> delegate();

    platform::SchedulingClock& clock_;
    std::shared_ptr<MSRKeyValueStore> persistedStorage_;
    const std::filesystem::path databasePath_;
    const std::string experimentURL_;  // empty without an experiment host
    std::function<void()> fetchHandled_;
    MSREExperimentRequestBuilder requestBuilder_;
    const double initializationTimestamp_;

    std::mutex delegateMutex_;
    std::weak_ptr<MSRETaskManagerDelegate> delegate_;  // guarded by delegateMutex_

    // Confined to the worker queue.
    std::unique_ptr<MSREDatabase> database_;
    bool hasMadeInitialFetch_ = false;

    std::shared_ptr<platform::SerialQueue> workerQueue_;
    std::unique_ptr<MSRAlarm> alarm_;
    std::shared_ptr<kit::LMUNetwork> network_;  // null without an experiment host
};

}  // namespace kit::measurement

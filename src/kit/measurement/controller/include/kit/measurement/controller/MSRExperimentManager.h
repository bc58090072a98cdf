#pragma once

#include "kit/measurement/controller/MSRETaskManager.h"
#include "kit/measurement/controller/MSRExperimentSnapshots.h"
#include "kit/measurement/messages/ExperimentFlags.h"
#include "kit/measurement/messages/MSRExperimentManager.h"
#include "platform/Expected.h"
#include "platform/Value.h"
#include "platform/concurrency/SerialQueue.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The experiment manager behind the remote settings' seam: SDKs register
// with default flags, fetched snapshots wait as pending until activated,
// and flag values follow the activated snapshot, then the launched one,
// then the defaults.
namespace kit::measurement {

class MSRExperimentManager;

// The experiment component's lines through the engine's monitor; the
// manager installs one for the flag functions of the messages library.
class MSREMonitor final : public ExperimentMonitor {
public:
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message) override;
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message,
                      const platform::Value& context) override;
};

// One SDK's handle.
class MSRExperimentClient final : public MSREClient, public std::enable_shared_from_this<MSRExperimentClient> {
public:
    MSRExperimentClient(MSRESDKProperty property, std::map<std::string, MSRPBFlag, std::less<>> defaultFlags,
                        std::weak_ptr<MSRExperimentManager> manager);

    // MSREClient. Activation with nothing pending succeeds without change.
    platform::Expected<void> activateLatestSnapshot() override;
    void setDelegate(std::weak_ptr<MSREExperimentObserverDelegate> delegate) override;
    std::optional<platform::Value> objectForKeyedSubscript(std::string_view flagName) override;

    std::optional<platform::Value> valueForFlag(std::string_view flagName);
    bool hasStaleSnapshot();
    void resetToDefaults();
    const std::string& SDKName() const noexcept { return property_.name; }
    const MSRESDKProperty& SDKProperty() const noexcept { return property_; }
    const std::map<std::string, MSRPBFlag, std::less<>>& defaultFlags() const noexcept { return defaultFlags_; }
    std::shared_ptr<MSREExperimentObserverDelegate> delegate() const;

private:
    const MSRESDKProperty property_;
    const std::map<std::string, MSRPBFlag, std::less<>> defaultFlags_;
    const std::weak_ptr<MSRExperimentManager> manager_;
    mutable std::mutex mutex_;
    std::weak_ptr<MSREExperimentObserverDelegate> delegate_;  // guarded by mutex_
};

class MSRExperimentManager final : public MSREManager,
                                   public MSRETaskManagerDelegate,
                                   public std::enable_shared_from_this<MSRExperimentManager> {
public:
    using Environment = MSRETaskManagerEnvironment;

    // Made once, its task manager started at once.
    static std::shared_ptr<MSRExperimentManager> sharedInstance();
    // A manager of its own (tests); its task manager is started.
    static std::shared_ptr<MSRExperimentManager> create(Environment environment = {});
    // The experiment component's version.
    static std::int64_t version();

    // MSREManager
    std::shared_ptr<MSREClient> registerSDKProperty(const MSRESDKProperty& property,
                                                    const platform::Value::Dictionary& defaultFlags) override;
    // The activated experiments of SDKs without a diversion key of their
    // own, ascending.
    std::vector<std::int64_t> experimentIDs() override;
    void reset() override;

    std::shared_ptr<MSRExperimentClient> clientForSDKName(std::string_view sdkName);
    std::optional<platform::Value> flagValueForFlagName(std::string_view flagName, std::string_view sdkName);
    // False (no error) when nothing is pending.
    platform::Expected<bool> activateSnapshotOfSDK(std::string_view sdkName);
    // -1 unregistered, -2 nothing activated, 1 stale (over 3 days), 0 fresh.
    int activatedSnapshotStatusOfSDKName(std::string_view sdkName);
    void resetToDefaultsOfSDKName(std::string_view sdkName);
    void clearAndDelete();

    void dispatchAsyncOnSerialQueue(std::function<void()> block);
    void dispatchSyncOnSerialQueue(const std::function<void()>& block);

    MSRETaskManager& taskManager() noexcept { return *taskManager_; }
    // What the manager holds for the SDK (tests, diagnostics).
    std::optional<MSRESnapshot> activatedSnapshot(std::string_view sdkName);
    std::optional<MSRESnapshot> pendingSnapshot(std::string_view sdkName);
    std::optional<MSRESnapshot> launchedSnapshot(std::string_view sdkName);

    // MSRETaskManagerDelegate; called on the task manager's worker queue.
    bool taskManagerShouldFetchExperiments() override;
    void taskManagerDidStart(const MSRESnapshotList& activated, const MSRESnapshotList& pending,
                             const MSRESnapshotList& launched) override;
    void taskManagerDidFinishFetching(const MSRESnapshotList& snapshots, const MSREFetchErrors& errors) override;
    void taskManagerDidUpsertPendingSnapshots(const MSRESnapshotList& snapshots) override;

    struct Private;
    MSRExperimentManager(Private, Environment environment);
    ~MSRExperimentManager() override;

private:
    using SnapshotsBySDKName = std::map<std::string, MSRESnapshot, std::less<>>;

    double now() const;
    void forgetSnapshots();
    std::optional<MSRESnapshot> snapshotIn(const SnapshotsBySDKName& snapshots, std::string_view sdkName);

    platform::SchedulingClock& clock_;

    // Confined to queue_.
    SnapshotsBySDKName activatedSnapshotsBySDKName_;
    SnapshotsBySDKName pendingSnapshotsBySDKName_;
    SnapshotsBySDKName launchedSnapshotsBySDKName_;
    std::map<std::string, std::shared_ptr<MSRExperimentClient>, std::less<>> registeredClientsBySDKName_;
    std::map<std::string, std::map<std::string, MSRPBFlag, std::less<>>, std::less<>> defaultFlagsBySDKName_;

    std::shared_ptr<MSRETaskManager> taskManager_;
    std::unique_ptr<platform::SerialQueue> queue_;
};

}  // namespace kit::measurement

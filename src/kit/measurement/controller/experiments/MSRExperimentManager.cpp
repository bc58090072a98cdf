#include "kit/measurement/controller/MSRExperimentManager.h"

#include "ExperimentTexts.h"
#include "kit/measurement/support/MeasurementErrors.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace kit::measurement {
namespace {

namespace text = experiment_text;

constexpr std::string_view kManagerQueueLabel = "MSREExperimentSerialQueue";
constexpr std::int64_t kVersion = 10000;
// An activated snapshot older than this is stale.
constexpr double kStaleAge = 259200;

constexpr int kStatusUnregistered = -1;
constexpr int kStatusNoSnapshot = -2;
constexpr int kStatusStale = 1;
constexpr int kStatusFresh = 0;

}  // namespace

struct MSRExperimentManager::Private {};

std::shared_ptr<MSRExperimentManager> MSRExperimentManager::sharedInstance() {
    // Never destroyed: its queues serve the engine until the process ends.
    static const auto* shared = new std::shared_ptr<MSRExperimentManager>(create());
    return *shared;
}

std::shared_ptr<MSRExperimentManager> MSRExperimentManager::create(Environment environment) {
    installExperimentMonitor(std::make_shared<MSREMonitor>());
    auto manager = std::make_shared<MSRExperimentManager>(Private{}, std::move(environment));
    manager->taskManager_->setDelegate(manager);
    manager->taskManager_->startTaskManager();
    return manager;
}

MSRExperimentManager::MSRExperimentManager(Private, Environment environment)
    : clock_(environment.clock != nullptr ? *environment.clock : platform::systemSchedulingClock()),
      taskManager_(MSRETaskManager::create(std::move(environment))),
      queue_(std::make_unique<platform::SerialQueue>(std::string(kManagerQueueLabel))) {}

MSRExperimentManager::~MSRExperimentManager() = default;

std::int64_t MSRExperimentManager::version() { return kVersion; }

double MSRExperimentManager::now() const { return platform::secondsSince1970(clock_.now()); }

void MSRExperimentManager::dispatchAsyncOnSerialQueue(std::function<void()> block) {
    queue_->async([weakSelf = weak_from_this(), block = std::move(block)] {
        const auto self = weakSelf.lock();
        if (self == nullptr) {
            return;
        }
        text::runLogged(block, text::asyncQueueException);
    });
}

void MSRExperimentManager::dispatchSyncOnSerialQueue(const std::function<void()>& block) {
    queue_->sync([&block] { text::runLogged(block, text::syncQueueException); });
}

std::shared_ptr<MSREClient> MSRExperimentManager::registerSDKProperty(const MSRESDKProperty& property,
                                                                      const platform::Value::Dictionary& defaultFlags) {
    if (property.name.empty()) {
        text::log(text::registerNoName);
        return nullptr;
    }
    std::map<std::string, MSRPBFlag, std::less<>> flags;
    for (const auto& [name, value] : defaultFlags) {
        auto flag = MSRFlagProtoWithNameValue(platform::Value(name), value);
        if (!flag) {
            text::log(text::registerInvalidFlags, name, value);
            return nullptr;
        }
        flags.insert_or_assign(name, std::move(*flag));
    }
    auto client = std::make_shared<MSRExperimentClient>(property, flags, weak_from_this());
    dispatchAsyncOnSerialQueue([this, client, flags] {
        const std::string& name = client->SDKName();
        if (registeredClientsBySDKName_.contains(name)) {
            text::log(text::registeredTwice, name);
        }
        registeredClientsBySDKName_.insert_or_assign(name, client);
        defaultFlagsBySDKName_.insert_or_assign(name, flags);
        taskManager_->requestBuilder().addSDKProperty(client->SDKProperty());
        text::log(text::registeredClient, name);
    });
    return client;
}

std::shared_ptr<MSRExperimentClient> MSRExperimentManager::clientForSDKName(std::string_view sdkName) {
    if (sdkName.empty()) {
        text::log(text::clientForEmptyName);
        return nullptr;
    }
    std::shared_ptr<MSRExperimentClient> client;
    dispatchSyncOnSerialQueue([&] {
        if (const auto found = registeredClientsBySDKName_.find(sdkName); found != registeredClientsBySDKName_.end()) {
            client = found->second;
        }
    });
    return client;
}

std::optional<platform::Value> MSRExperimentManager::flagValueForFlagName(std::string_view flagName,
                                                                          std::string_view sdkName) {
    if (sdkName.empty()) {
        text::log(text::flagForEmptySDKName);
        return std::nullopt;
    }
    if (flagName.empty()) {
        text::log(text::flagForEmptyFlagName);
        return std::nullopt;
    }
    std::optional<platform::Value> value;
    dispatchSyncOnSerialQueue([&] {
        if (!registeredClientsBySDKName_.contains(sdkName)) {
            text::log(text::sdkNotRegistered, sdkName);
            return;
        }
        const auto defaults = defaultFlagsBySDKName_.find(sdkName);
        if (defaults == defaultFlagsBySDKName_.end()) {
            text::log(text::noDefaultFlags, sdkName, flagName);
            return;
        }
        const bool hasActivated = activatedSnapshotsBySDKName_.contains(sdkName);
        text::log(text::lookingForActivated, sdkName, flagName, hasActivated);
        if (const auto found = activatedSnapshotsBySDKName_.find(sdkName);
            found != activatedSnapshotsBySDKName_.end()) {
            if (auto flag = found->second.flagByName(flagName)) {
                value = MSRFlagValueFromProto(*flag);
                return;
            }
        }
        text::log(text::lookingForLaunched, sdkName, flagName);
        if (const auto found = launchedSnapshotsBySDKName_.find(sdkName); found != launchedSnapshotsBySDKName_.end()) {
            if (auto flag = found->second.flagByName(flagName)) {
                value = MSRFlagValueFromProto(*flag);
                return;
            }
        }
        if (const auto flag = defaults->second.find(flagName); flag != defaults->second.end()) {
            text::log(text::returningDefault, sdkName, flagName);
            value = MSRFlagValueFromProto(flag->second);
            return;
        }
        text::log(text::noDefaultFlag, sdkName, flagName);
    });
    return value;
}

platform::Expected<bool> MSRExperimentManager::activateSnapshotOfSDK(std::string_view sdkName) {
    if (sdkName.empty()) {
        text::log(text::activateEmptyName);
        return platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidArgument, text::activateEmptyNameError));
    }
    bool activated = false;
    dispatchSyncOnSerialQueue([&] {
        const auto pending = pendingSnapshotsBySDKName_.find(sdkName);
        if (pending == pendingSnapshotsBySDKName_.end()) {
            text::log(text::noPendingSnapshot, sdkName);
            return;
        }
        const double timestamp = now();
        std::vector<MSREExperiment> activatedExperiments;
        std::optional<MSREExperiment> launchedExperiment;
        for (const auto& [experimentID, experiment] : pending->second.experimentsByExperimentID()) {
            if (experimentID == 0) {
                launchedExperiment = experiment;
            } else {
                activatedExperiments.push_back(experiment);
            }
        }
        const std::string name(sdkName);
        if (auto snapshot = MSRESnapshot::initWithSDKName(name, activatedExperiments, timestamp)) {
            activatedSnapshotsBySDKName_.insert_or_assign(name, std::move(*snapshot));
        }
        if (launchedExperiment) {
            if (auto snapshot = MSRESnapshot::initWithSDKName(name, {*launchedExperiment}, timestamp)) {
                launchedSnapshotsBySDKName_.insert_or_assign(name, std::move(*snapshot));
            }
        }
        MSRESnapshot activatedPending = pending->second;
        pendingSnapshotsBySDKName_.erase(pending);
        taskManager_->activatePendingSnapshot(activatedPending, timestamp);
        text::log(text::activated, name);
        activated = true;
    });
    return activated;
}

int MSRExperimentManager::activatedSnapshotStatusOfSDKName(std::string_view sdkName) {
    if (sdkName.empty()) {
        text::log(text::statusForEmptyName);
        return kStatusUnregistered;
    }
    int status = kStatusUnregistered;
    dispatchSyncOnSerialQueue([&] {
        if (!registeredClientsBySDKName_.contains(sdkName)) {
            return;
        }
        const auto found = activatedSnapshotsBySDKName_.find(sdkName);
        if (found == activatedSnapshotsBySDKName_.end() ||
            found->second.timestamp() <= std::numeric_limits<double>::epsilon()) {
            status = kStatusNoSnapshot;
            return;
        }
        status = std::fabs(now() - found->second.timestamp()) > kStaleAge ? kStatusStale : kStatusFresh;
    });
    return status;
}

void MSRExperimentManager::resetToDefaultsOfSDKName(std::string_view sdkName) {
    if (sdkName.empty()) {
        text::log(text::resetEmptyName);
        return;
    }
    dispatchSyncOnSerialQueue([&] {
        if (!registeredClientsBySDKName_.contains(sdkName)) {
            text::log(text::resetUnregistered, sdkName);
            return;
        }
        if (const auto found = activatedSnapshotsBySDKName_.find(sdkName);
            found != activatedSnapshotsBySDKName_.end()) {
            activatedSnapshotsBySDKName_.erase(found);
        }
        taskManager_->resetToDefaultsForSDKName(sdkName);
        text::log(text::resetToDefaults, sdkName);
    });
}

std::vector<std::int64_t> MSRExperimentManager::experimentIDs() {
    std::vector<std::int64_t> identifiers;
    dispatchSyncOnSerialQueue([&] {
        for (const auto& [name, client] : registeredClientsBySDKName_) {
            if (!client->SDKProperty().diversionKey.empty()) {
                continue;
            }
            const auto found = activatedSnapshotsBySDKName_.find(name);
            if (found == activatedSnapshotsBySDKName_.end()) {
                continue;
            }
            for (const auto& entry : found->second.experimentsByExperimentID()) {
                identifiers.push_back(entry.first);
            }
        }
    });
    std::sort(identifiers.begin(), identifiers.end());
    return identifiers;
}

void MSRExperimentManager::reset() {
    taskManager_->reset();
    dispatchAsyncOnSerialQueue([this] { forgetSnapshots(); });
}

void MSRExperimentManager::clearAndDelete() {
    taskManager_->clearAndDelete();
    dispatchAsyncOnSerialQueue([this] { forgetSnapshots(); });
}

void MSRExperimentManager::forgetSnapshots() {
    activatedSnapshotsBySDKName_.clear();
    pendingSnapshotsBySDKName_.clear();
    launchedSnapshotsBySDKName_.clear();
}

std::optional<MSRESnapshot> MSRExperimentManager::snapshotIn(const SnapshotsBySDKName& snapshots,
                                                             std::string_view sdkName) {
    std::optional<MSRESnapshot> snapshot;
    dispatchSyncOnSerialQueue([&] {
        if (const auto found = snapshots.find(sdkName); found != snapshots.end()) {
            snapshot = found->second;
        }
    });
    return snapshot;
}

std::optional<MSRESnapshot> MSRExperimentManager::activatedSnapshot(std::string_view sdkName) {
    return snapshotIn(activatedSnapshotsBySDKName_, sdkName);
}

std::optional<MSRESnapshot> MSRExperimentManager::pendingSnapshot(std::string_view sdkName) {
    return snapshotIn(pendingSnapshotsBySDKName_, sdkName);
}

std::optional<MSRESnapshot> MSRExperimentManager::launchedSnapshot(std::string_view sdkName) {
    return snapshotIn(launchedSnapshotsBySDKName_, sdkName);
}

bool MSRExperimentManager::taskManagerShouldFetchExperiments() {
    std::vector<std::shared_ptr<MSRExperimentClient>> clients;
    dispatchSyncOnSerialQueue([&] {
        for (const auto& entry : registeredClientsBySDKName_) {
            clients.push_back(entry.second);
        }
    });
    // Asked outside the queue: an observer may call back into the manager.
    return std::any_of(clients.begin(), clients.end(), [](const auto& client) {
        const auto delegate = client->delegate();
        return delegate == nullptr || delegate->shouldFetchExperimentsForClient(*client);
    });
}

void MSRExperimentManager::taskManagerDidStart(const MSRESnapshotList& activated, const MSRESnapshotList& pending,
                                               const MSRESnapshotList& launched) {
    dispatchAsyncOnSerialQueue([this, activated, pending, launched] {
        for (const MSRESnapshot& snapshot : activated) {
            activatedSnapshotsBySDKName_.insert_or_assign(snapshot.SDKName(), snapshot);
        }
        for (const MSRESnapshot& snapshot : pending) {
            pendingSnapshotsBySDKName_.insert_or_assign(snapshot.SDKName(), snapshot);
        }
        for (const MSRESnapshot& snapshot : launched) {
            launchedSnapshotsBySDKName_.insert_or_assign(snapshot.SDKName(), snapshot);
        }
    });
}

void MSRExperimentManager::taskManagerDidFinishFetching(const MSRESnapshotList& snapshots,
                                                        const MSREFetchErrors& errors) {
    if (snapshots.empty() && errors.empty()) {
        text::log(text::nothingToNotify);
        return;
    }
    dispatchAsyncOnSerialQueue([this, snapshots, errors] {
        MSRESnapshotList manual;
        for (MSRESnapshot snapshot : snapshots) {
            const auto client = registeredClientsBySDKName_.find(snapshot.SDKName());
            // An SDK that hears of new snapshots activates them itself.
            if (client != registeredClientsBySDKName_.end() && client->second->delegate() != nullptr) {
                snapshot.setManuallyActivated(true);
                manual.push_back(snapshot);
            }
            pendingSnapshotsBySDKName_.insert_or_assign(snapshot.SDKName(), std::move(snapshot));
        }
        for (const auto& [name, error] : errors) {
            const auto client = registeredClientsBySDKName_.find(name);
            if (client == registeredClientsBySDKName_.end()) {
                continue;
            }
            if (const auto delegate = client->second->delegate()) {
                delegate->clientDidReceiveFetchError(*client->second, error);
            }
        }
        if (!manual.empty()) {
            taskManager_->upsertPendingSnapshots(manual);
        }
    });
}

void MSRExperimentManager::taskManagerDidUpsertPendingSnapshots(const MSRESnapshotList& snapshots) {
    std::vector<std::shared_ptr<MSRExperimentClient>> clients;
    dispatchSyncOnSerialQueue([&] {
        for (const MSRESnapshot& snapshot : snapshots) {
            if (const auto found = registeredClientsBySDKName_.find(snapshot.SDKName());
                found != registeredClientsBySDKName_.end()) {
                clients.push_back(found->second);
            }
        }
    });
    for (const auto& client : clients) {
        platform::MainQueue::get()->async([client] {
            if (const auto delegate = client->delegate()) {
                delegate->clientDidReceiveNewSnapshot(*client);
            }
        });
    }
}

}  // namespace kit::measurement

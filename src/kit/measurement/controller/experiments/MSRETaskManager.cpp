#include "kit/measurement/controller/MSRETaskManager.h"

#include "ExperimentTexts.h"
#include "kit/core/Gzip.h"
#include "kit/core/network/Network.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRPersistedConfig.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace kit::measurement {
namespace {

namespace text = experiment_text;

constexpr double epsilon = std::numeric_limits<double>::epsilon();
// A due time at or before now still waits this long, so the alarm fires
// from its own turn of the queue.
constexpr double minimumDelay = 0.001;
// An experiment reply holds a few snapshots; a longer one is refused.
constexpr std::size_t maximumReplySize = std::size_t{1} << 20;

// Slots of ExperimentResponse and SdkResponse.
constexpr int responseSnapshotsSlot = 0;
constexpr int responseSdkResponsesSlot = 1;
constexpr int sdkResponseNameSlot = 0;
constexpr int sdkResponseStatusSlot = 1;
constexpr int sdkResponseSnapshotSlot = 2;
constexpr int snapshotSDKNameSlot = 0;

// A host may carry its own scheme (a test's "http://127.0.0.1:8080");
// otherwise it is reached over https.
std::string experimentURLForHost(const std::string& host) {
    if (host.empty()) {
        return {};
    }
    if (host.starts_with("https://") || host.starts_with("http://")) {
        return host + std::string(kMSRExperimentPath);
    }
    return "https://" + host + std::string(kMSRExperimentPath);
}

// The host name alone, for the reachability probe.
std::string reachabilityHostFor(const std::string& host) {
    std::string_view rest = host;
    if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) {
        rest.remove_prefix(scheme + 3);
    }
    return std::string(rest.substr(0, rest.find_first_of(":/")));
}

platform::Error responseError(int status) {
    int code = -1;
    switch (status) {
    case 1:
        code = -2;
        break;
    case 2:
        code = -3;
        break;
    case 3:
        code = -4;
        break;
    default:
        break;
    }
    return platform::Error(std::string(kMSRExperimentErrorDomain), code,
                           "The experiment service refused the SDK's request");
}

}  // namespace

struct MSRETaskManager::Private {};

std::shared_ptr<MSRETaskManager> MSRETaskManager::create(Environment environment) {
    return std::make_shared<MSRETaskManager>(Private{}, std::move(environment));
}

MSRETaskManager::MSRETaskManager(Private, Environment environment)
    : clock_(environment.clock != nullptr ? *environment.clock : platform::systemSchedulingClock()),
      persistedStorage_(environment.persistedStorage != nullptr
                            ? std::move(environment.persistedStorage)
                            : std::make_shared<MSRUserDefaults>(std::string(kMSRExperimentSuiteName))),
      databasePath_(!environment.databasePath.empty() ? environment.databasePath
                                                      : MSRMeasurementFilePath(kMSREDatabaseFileName)),
      experimentURL_(experimentURLForHost(
          (environment.endpoints ? *environment.endpoints : kit::Endpoints::current()).experimentHost)),
      fetchHandled_(std::move(environment.fetchHandled)),
      requestBuilder_(std::move(environment.request)),
      initializationTimestamp_(platform::secondsSince1970(clock_.now())),
      workerQueue_(std::make_shared<platform::SerialQueue>(std::string(kMSRExperimentWorkerQueueLabel))),
      alarm_(std::make_unique<MSRAlarm>(*workerQueue_, kMSRExperimentAlarmName, clock_)) {
    if (experimentURL_.empty()) {
        return;
    }
    const kit::Endpoints endpoints = environment.endpoints ? *environment.endpoints : kit::Endpoints::current();
    kit::LMUNetworkConfiguration configuration;
    configuration.transport = kit::TransportOptions::fromEndpoints(endpoints);
    configuration.reachabilityApi = std::move(environment.reachabilityApi);
    network_ = kit::LMUNetwork::initWithReachabilityHost(reachabilityHostFor(endpoints.experimentHost),
                                                         std::move(configuration));
}

MSRETaskManager::~MSRETaskManager() = default;

void MSRETaskManager::setDelegate(std::weak_ptr<MSRETaskManagerDelegate> delegate) {
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<MSRETaskManagerDelegate> MSRETaskManager::delegate() {
    std::lock_guard lock(delegateMutex_);
    return delegate_.lock();
}

double MSRETaskManager::now() const { return platform::secondsSince1970(clock_.now()); }

void MSRETaskManager::dispatchAsyncOnWorkerQueue(std::function<void()> block) {
    workerQueue_->async([weakSelf = weak_from_this(), block = std::move(block)] {
        // Held for the block: it works on the task manager's fields.
        const auto self = weakSelf.lock();
        if (self == nullptr) {
            return;
        }
        text::runLogged(block, text::asyncWorkerException);
    });
}

void MSRETaskManager::dispatchSyncOnWorkerQueue(const std::function<void()>& block) {
    workerQueue_->sync([&block] { text::runLogged(block, text::syncWorkerException); });
}

void MSRETaskManager::startTaskManager() {
    dispatchAsyncOnWorkerQueue([this] { startTaskManagerOnWorkerQueue(); });
}

void MSRETaskManager::startTaskManagerOnWorkerQueue() {
    database_ = MSREDatabase::initWithPath(databasePath_);
    if (database_ == nullptr) {
        return;
    }
    const double startTime = now();
    const bool started = database_->performTransaction([&] {
        if (auto deleted = database_->deleteStaleActivatedSnapshots(startTime); !deleted) {
            text::log(text::staleDeletionFailed, deleted.error());
            return false;
        }
        if (auto activated = database_->activatePendingSnapshotsAutomatically(); !activated) {
            text::log(text::autoActivationFailed, activated.error());
            return false;
        }
        return true;
    });
    if (!started) {
        text::log(text::startFailed);
    } else {
        text::log(text::started);
        if (auto target = delegate()) {
            auto read = [](platform::Expected<MSRESnapshotList> snapshots, const text::Line& failure) {
                if (!snapshots) {
                    text::log(failure, snapshots.error());
                    return MSRESnapshotList{};
                }
                return std::move(*snapshots);
            };
            const MSRESnapshotList activated =
                read(database_->fetchAllActivatedSnapshots(), text::fetchActivatedFailed);
            const MSRESnapshotList pending = read(database_->fetchAllPendingSnapshots(), text::fetchPendingFailed);
            const MSRESnapshotList launched = read(database_->fetchAllLaunchedSnapshots(), text::fetchLaunchedFailed);
            target->taskManagerDidStart(activated, pending, launched);
        }
    }
    scheduleFetchingExperimentsOnWorkerQueue();
}

double MSRETaskManager::fetchTimeFromLastSuccessfulTimestamp(double lastSuccess, double lastFailure) {
    const double current = now();
    // A success in the future (a clock set back) counts as far in the past.
    const double base = current - std::fabs(lastSuccess - current);
    const double next = base + kMSRExperimentFetchInterval;
    if (!hasMadeInitialFetch_) {
        hasMadeInitialFetch_ = true;
        return std::max(next, current + kMSRExperimentInitialFetchDelay);
    }
    if (lastFailure <= 0) {
        return next;
    }
    double attempt = std::fabs(base) < epsilon ? initializationTimestamp_ : next;
    for (int retry = 0; retry < kMSRExperimentMaxRetries; ++retry) {
        attempt += kMSRExperimentRetryInterval * std::ldexp(1.0, retry);
        if (attempt > lastFailure) {
            return attempt;
        }
    }
    return 0;
}

void MSRETaskManager::scheduleFetchingExperimentsOnWorkerQueue() {
    if (experimentURL_.empty() || network_ == nullptr) {
        text::log(text::noExperimentHost);
        return;
    }
    double fetchTime =
        fetchTimeFromLastSuccessfulTimestamp(persistedStorage_->doubleForKey(kMSRExperimentFetchSuccessTimestampKey),
                                             persistedStorage_->doubleForKey(kMSRExperimentFetchFailureTimestampKey));
    if (std::fabs(fetchTime) < epsilon) {
        persistedStorage_->removeObjectForKey(kMSRExperimentFetchSuccessTimestampKey);
        text::log(text::tooManyAttempts);
        return;
    }
    const double current = now();
    if (const auto scheduled = alarm_->scheduledTimestamp()) {
        const double scheduledTime = platform::secondsSince1970(*scheduled);
        if (scheduledTime <= fetchTime) {
            text::log(text::fetchAlreadyScheduled, scheduledTime - current);
            return;
        }
    }
    const double backoff = persistedStorage_->doubleForKey(kMSRExperimentFetchBackoffTimestampKey);
    if (std::fabs(backoff) >= epsilon && current - backoff < kMSRExperimentBackoffInterval) {
        fetchTime = std::max(fetchTime, backoff + kMSRExperimentBackoffInterval);
    }
    double delay = fetchTime - current;
    if (delay <= epsilon) {
        delay = minimumDelay;
    }
    alarm_->runAfterDelay(delay, [weakSelf = weak_from_this()] {
        const auto self = weakSelf.lock();
        if (self == nullptr) {
            return;
        }
        const auto target = self->delegate();
        if (target != nullptr && !target->taskManagerShouldFetchExperiments()) {
            self->postponeFetchExperiments();
        } else {
            self->fetchExperiments();
        }
    });
}

void MSRETaskManager::postponeFetchExperiments() {
    persistedStorage_->setDouble(now(), kMSRExperimentFetchSuccessTimestampKey);
    persistedStorage_->removeObjectForKey(kMSRExperimentFetchFailureTimestampKey);
    persistedStorage_->removeObjectForKey(kMSRExperimentFetchBackoffTimestampKey);
    scheduleFetchingExperimentsOnWorkerQueue();
}

void MSRETaskManager::fetchExperiments() {
    if (network_ == nullptr) {
        text::log(text::noExperimentHost);
        return;
    }
    const MSRPBExperimentRequest request = requestBuilder_.request();
    const auto payload = request.protoBuffer().value_or(NanoBytes{});
    text::log(text::fetching, static_cast<long>(payload.size()));
    network_->postURL(
        experimentURL_, {}, payload, workerQueue_, false,
        [weakSelf = weak_from_this()](std::optional<kit::HTTPURLResponse> response, std::vector<std::uint8_t> data,
                                      std::optional<platform::Error> error) {
            const auto self = weakSelf.lock();
            if (self == nullptr) {
                return;
            }
            const int status = response ? response->statusCode : 0;
            std::vector<std::uint8_t> inflated;
            bool unreadable = false;
            if (!data.empty()) {
                auto expanded = kit::lmu_dataByInflatingGzippedData(data);
                if (!expanded) {
                    text::log(text::inflateFailed, expanded.error());
                    unreadable = true;
                } else if (*expanded) {
                    inflated = std::move(**expanded);
                }
            }
            if (unreadable && (status == 200 || status == 204)) {
                // A body that was sent but cannot be read is no answer.
                text::log(text::undecodableReply, status);
                self->recordFailedFetch(status, error);
            } else {
                self->handleFetchingExperimentsResponse(status, inflated, error);
            }
            if (self->fetchHandled_) {
                self->fetchHandled_();
            }
        },
        maximumReplySize);
}

void MSRETaskManager::recordFailedFetch(int statusCode, const std::optional<platform::Error>& error) {
    const double current = now();
    persistedStorage_->setDouble(current, kMSRExperimentFetchFailureTimestampKey);
    if (statusCode == 503 || statusCode == 429) {
        persistedStorage_->setDouble(current, kMSRExperimentFetchBackoffTimestampKey);
    }
    if (error) {
        text::log(text::fetchFailed, statusCode, *error);
    } else {
        text::log(text::fetchFailed, statusCode);
    }
    scheduleFetchingExperimentsOnWorkerQueue();
}

void MSRETaskManager::handleFetchingExperimentsResponse(int statusCode, std::span<const std::uint8_t> data,
                                                        const std::optional<platform::Error>& error) {
    if (statusCode != 200 && statusCode != 204) {
        recordFailedFetch(statusCode, error);
        return;
    }
    std::optional<MSRPBExperimentResponse> response;
    if (!data.empty()) {
        response = MSRPBExperimentResponse::initWithBuffer(data);
        if (!response) {
            text::log(text::undecodableReply, statusCode);
            recordFailedFetch(statusCode, error);
            return;
        }
    }
    handleSuccessfulFetch(statusCode, response);
}

void MSRETaskManager::handleSuccessfulFetch(int statusCode, const std::optional<MSRPBExperimentResponse>& response) {
    const double current = now();
    text::log(text::fetchSucceeded, statusCode);
    persistedStorage_->setDouble(current, kMSRExperimentFetchSuccessTimestampKey);
    persistedStorage_->removeObjectForKey(kMSRExperimentFetchFailureTimestampKey);
    persistedStorage_->removeObjectForKey(kMSRExperimentFetchBackoffTimestampKey);
    // An empty reply (204, or 200 without a body) is a fetch without news.
    MSRESnapshotList snapshots;
    MSREFetchErrors errors;
    if (response) {
        snapshots = experimentSnapshotsFromExperimentResponse(response, current);
        errors = errorsFromExperimentResponse(response);
    }
    if (!snapshots.empty() && database_ != nullptr) {
        if (auto stored = database_->upsertPendingExperimentSnapshots(snapshots); !stored) {
            text::log(text::upsertFetchedFailed, stored.error());
        }
    }
    if (auto target = delegate()) {
        target->taskManagerDidFinishFetching(snapshots, errors);
    }
    scheduleFetchingExperimentsOnWorkerQueue();
}

MSRESnapshotList MSRETaskManager::experimentSnapshotsFromExperimentResponse(
    const std::optional<MSRPBExperimentResponse>& response, double timestamp) {
    if (!response) {
        text::log(text::nilResponse);
        return {};
    }
    auto messages =
        NanoMessageGetArray<MSRPBSnapshot>(*response, responseSnapshotsSlot).value_or(std::vector<MSRPBSnapshot>{});
    if (messages.empty()) {
        for (const MSRPBSdkResponse& sdkResponse :
             NanoMessageGetArray<MSRPBSdkResponse>(*response, responseSdkResponsesSlot)
                 .value_or(std::vector<MSRPBSdkResponse>{})) {
            auto snapshot = NanoMessageGetMessage<MSRPBSnapshot>(sdkResponse, sdkResponseSnapshotSlot);
            if (!snapshot) {
                continue;
            }
            if (auto name = NanoMessageGetString(sdkResponse, sdkResponseNameSlot); name && !name->empty()) {
                NanoMessageSetString(*snapshot, snapshotSDKNameSlot, *name);
            }
            messages.push_back(std::move(*snapshot));
        }
    }
    MSRESnapshotList snapshots;
    for (const MSRPBSnapshot& message : messages) {
        if (auto snapshot = MSRESnapshot::initWithProtobuf(message, timestamp)) {
            snapshots.push_back(std::move(*snapshot));
        } else {
            text::log(text::snapshotFromProtoFailed);
        }
    }
    return snapshots;
}

MSREFetchErrors MSRETaskManager::errorsFromExperimentResponse(const std::optional<MSRPBExperimentResponse>& response) {
    MSREFetchErrors errors;
    if (!response) {
        return errors;
    }
    for (const MSRPBSdkResponse& sdkResponse :
         NanoMessageGetArray<MSRPBSdkResponse>(*response, responseSdkResponsesSlot)
             .value_or(std::vector<MSRPBSdkResponse>{})) {
        const int status = NanoMessageGetInt32(sdkResponse, sdkResponseStatusSlot);
        auto name = NanoMessageGetString(sdkResponse, sdkResponseNameSlot);
        if (status != 0 && name && !name->empty()) {
            errors.insert_or_assign(std::move(*name), responseError(status));
        }
    }
    return errors;
}

void MSRETaskManager::activatePendingSnapshot(const std::optional<MSRESnapshot>& snapshot, double timestamp) {
    if (!snapshot) {
        text::log(text::activateEmptySnapshot);
        return;
    }
    dispatchAsyncOnWorkerQueue([this, snapshot, timestamp] {
        if (database_ == nullptr) {
            return;
        }
        std::optional<platform::Error> failure;
        database_->performTransaction([&] {
            if (auto activated = database_->activateSnapshot(snapshot, timestamp); !activated) {
                failure = activated.error();
                return false;
            }
            return true;
        });
        if (failure) {
            text::log(text::activateSnapshotFailed, snapshot->SDKName(), *failure);
        }
    });
}

void MSRETaskManager::resetToDefaultsForSDKName(std::string_view sdkName) {
    if (sdkName.empty()) {
        text::log(text::resetEmptySDKName);
        return;
    }
    dispatchAsyncOnWorkerQueue([this, name = std::string(sdkName)] {
        if (database_ == nullptr) {
            return;
        }
        if (auto deleted = database_->deleteActivatedExperimentsOfSDKName(name); !deleted) {
            text::log(text::resetInDatabaseFailed, name, deleted.error());
        }
    });
}

void MSRETaskManager::upsertPendingSnapshots(const MSRESnapshotList& snapshots) {
    if (snapshots.empty()) {
        text::log(text::upsertEmptyList);
        return;
    }
    dispatchAsyncOnWorkerQueue([this, snapshots] {
        if (database_ == nullptr) {
            return;
        }
        if (auto stored = database_->upsertPendingExperimentSnapshots(snapshots); !stored) {
            text::log(text::upsertPendingFailed, stored.error());
            return;
        }
        if (auto target = delegate()) {
            target->taskManagerDidUpsertPendingSnapshots(snapshots);
        }
    });
}

void MSRETaskManager::reset() {
    dispatchAsyncOnWorkerQueue([this] {
        if (database_ != nullptr) {
            database_->reset();
        }
        removeFetchTimes();
        scheduleFetchingExperimentsOnWorkerQueue();
    });
}

void MSRETaskManager::clearAndDelete() {
    dispatchAsyncOnWorkerQueue([this] {
        if (database_ != nullptr) {
            database_->closeAndDelete();
        }
        removeFetchTimes();
    });
}

void MSRETaskManager::removeFetchTimes() {
    for (const std::string_view key : {kMSRExperimentFetchBackoffTimestampKey, kMSRExperimentFetchFailureTimestampKey,
                                       kMSRExperimentFetchSuccessTimestampKey}) {
        persistedStorage_->removeObjectForKey(key);
    }
}

std::optional<platform::TimePoint> MSRETaskManager::scheduledFetchTime() {
    std::optional<platform::TimePoint> scheduled;
    dispatchSyncOnWorkerQueue([&] { scheduled = alarm_->scheduledTimestamp(); });
    return scheduled;
}

}  // namespace kit::measurement

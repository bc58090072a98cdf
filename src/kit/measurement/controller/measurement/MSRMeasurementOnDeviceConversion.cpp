#include "kit/measurement/controller/MSRMeasurement.h"

#include "UserPropertyNames.h"
#include "kit/core/LaunchArguments.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRPrivateSetMembershipClient.h"
#include "kit/measurement/messages/MSRQueryString.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRLogDescriptions.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

// On-device conversion measurement through the optional membership client:
// the checks before a start, the request with its query additions, the
// retries with a doubling delay, the per-kind request counters and the
// expiry of a match.
namespace kit::measurement {

namespace {

constexpr std::string_view kDebugArgument = "-DebugOnDeviceConversionMeasurement";
constexpr std::string_view kDebugKeyQueryName = "debug_psm_key";
constexpr std::string_view kFirstOpenQueryName = "timestamp_first_open";
// A match is dropped at the first start this long after it was stored.
constexpr double kPSMValueLifetimeSeconds = 7'776'000;  // 90 days

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

// The stored counter of a client's kind and the query name that carries it.
struct PSMCounter {
    std::string_view propertyName;
    std::string_view queryName;
};

PSMCounter counterForInputType(std::int64_t inputType) {
    switch (static_cast<MSRPSMInputType>(inputType)) {
    case MSRPSMInputType::phoneNumber:
        return {kPSMPhoneCountProperty, "psm_phone_count"};
    case MSRPSMInputType::hashedEmailAddress:
        return {kPSMHashedEmailCountProperty, "psm_count"};
    case MSRPSMInputType::hashedPhoneNumber:
        return {kPSMHashedPhoneCountProperty, "psm_phone_count"};
    default:
        return {kPSMEmailCountProperty, "psm_count"};
    }
}

// Hands the network's completions to the controller's worker queue until
// detached; afterwards they are dropped.
class WorkerQueueExecutor final : public platform::Executor {
public:
    explicit WorkerQueueExecutor(MSRScheduler& scheduler) : scheduler_(&scheduler) {}
    void async(platform::Work work) override {
        std::lock_guard lock(mutex_);
        if (scheduler_ != nullptr) {
            scheduler_->scheduleOnWorkerQueueBlockID("MSRMeasurement:PSMResponse", std::move(work));
        }
    }
    void detach() {
        std::lock_guard lock(mutex_);
        scheduler_ = nullptr;
    }

private:
    std::mutex mutex_;
    MSRScheduler* scheduler_;  // guarded by mutex_; null once detached
};

}  // namespace

std::shared_ptr<MSRPrivateSetMembershipClientClass> MSRMeasurement::PSMClientClass() const {
    return kit::classRegistry().lookup<MSRPrivateSetMembershipClientClass>(
        MSRPrivateSetMembershipClientClass::kClassName);
}

void MSRMeasurement::checkPSMDependencyOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("checkPSMDependencyOnWorkerQueue");
    if (PSMClientClass() != nullptr) {
        monitor().logWithLevel(7, 23253,
                               "LumenMeasurementOnDeviceConversion dependency is linked. On-device conversion "
                               "measurement is ready to initiate.");
        return;
    }
    if (database_ == nullptr) {
        return;
    }
    if (database_->containsUserAttributeWithName(kPSMEmailCountProperty).valueOr(false) ||
        database_->containsUserAttributeWithName(kPSMPhoneCountProperty).valueOr(false)) {
        monitor().logWithLevel(4, 23254,
                               "LumenMeasurementOnDeviceConversion dependency is not currently linked. On-device "
                               "conversion measurement will fail to initiate.");
    }
}

// --- Checks before a start

bool MSRMeasurement::shouldRetrievePSMResponse() {
    if (PSMClientClass() == nullptr) {
        monitor().logWithLevel(1, 23233,
                               "Failed to initiate on-device conversion measurement. "
                               "LumenMeasurementOnDeviceConversion dependency not linked in.");
        return false;
    }
    const auto settings = remoteConfigInstance() != nullptr ? remoteConfigInstance() : MSRRemoteConfig::defaultInstance();
    const std::int64_t firstOpenMillis = persistedConfig_->firstOpenTimestampMilliseconds();
    const double firstOpen = firstOpenMillis != 0 ? static_cast<double>(firstOpenMillis) / 1000 : initTimestamp_;
    // In 64 bits: a setting read from the cache is not bounded here.
    const double window = static_cast<double>(std::int64_t{settings->maxSignInDelayInDays()} * 86'400);
    if (!(std::fabs(nowSince1970() - firstOpen) <= window)) {
        monitor().logWithLevel(1, 23261,
                               "Failed to initiate on-device conversion measurement. Attempted to initiate outside the "
                               "first open window.");
        return false;
    }
    if (isPSMRequestInProgress_) {
        monitor().logWithLevel(1, 23235,
                               "Failed to initiate on-device conversion measurement. Request to query data set for "
                               "on-device conversion measurement already in progress.");
        return false;
    }
    if (PSMStartCount_ >= settings->maxPSMStartCount()) {
        monitor().logWithLevel(1, 23236,
                               "Failed to initiate on-device conversion measurement. Exceeded limit per app run.");
        return false;
    }
    if (database_ != nullptr && database_->containsUserAttributeWithName(kPSMValueProperty).valueOr(false)) {
        monitor().logWithLevel(1, 23237, "Failed to initiate on-device conversion measurement. Found existing match.");
        return false;
    }
    if (PSMRetryCount_ >= settings->maxPSMRetryCount()) {
        monitor().logWithLevel(1, 23238, "Failed to initiate on-device conversion measurement. Exceeded retry limit.");
        return false;
    }
    return true;
}

bool MSRMeasurement::shouldRetrievePSMResponseWithEmailAddress(std::string_view emailAddress) {
    if (emailAddress.empty()) {
        monitor().logWithLevel(1, 23234, "Failed to initiate on-device conversion measurement. Email address was empty.");
        return false;
    }
    return shouldRetrievePSMResponse();
}

bool MSRMeasurement::shouldRetrievePSMResponseWithPhoneNumber(std::string_view phoneNumber) {
    if (phoneNumber.empty()) {
        monitor().logWithLevel(1, 23239, "Failed to initiate on-device conversion measurement. Phone number was empty.");
        return false;
    }
    // Without any client class the general check below says so.
    if (const auto clientClass = PSMClientClass();
        clientClass != nullptr && !clientClass->initWithPhoneNumber && !clientClass->initWithPhoneNumberPrefixBitLength) {
        monitor().logWithLevel(1, 23262,
                               "Failed to initiate on-device conversion measurement. Linked "
                               "LumenMeasurementOnDeviceConversion dependency does not support phone numbers.");
        return false;
    }
    return shouldRetrievePSMResponse();
}

bool MSRMeasurement::shouldRetrievePSMResponseWithHashedIdentifier(std::span<const std::uint8_t> hashedIdentifier) {
    if (hashedIdentifier.empty()) {
        monitor().logWithLevel(1, 23264,
                               "Failed to initiate on-device conversion measurement. Hashed identifier was empty.");
        return false;
    }
    if (const auto clientClass = PSMClientClass();
        clientClass != nullptr && !clientClass->initWithHashedEmailAddress && !clientClass->initWithHashedPhoneNumber) {
        monitor().logWithLevel(1, 23265,
                               "Failed to initiate on-device conversion measurement. Linked "
                               "LumenMeasurementOnDeviceConversion dependency does not support hashed identifiers.");
        return false;
    }
    return shouldRetrievePSMResponse();
}

// --- Clients

namespace {

std::string clientAppID(const std::shared_ptr<MSRIdentity>& identity) {
    return identity != nullptr ? identity->appID() : std::string();
}

std::shared_ptr<MSRRemoteConfig> settingsOf(MSRMeasurement& controller) {
    const auto settings = controller.remoteConfigInstance();
    return settings != nullptr ? settings : MSRRemoteConfig::defaultInstance();
}

}  // namespace

std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithEmailAddress(std::string_view emailAddress) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr) {
        return nullptr;
    }
    if (clientClass->initWithEmailAddressPrefixBitLength) {
        return clientClass->initWithEmailAddressPrefixBitLength(emailAddress, clientAppID(identity_),
                                                                settingsOf(*this)->hashPrefixBitLengthEmail());
    }
    return clientClass->initWithEmailAddress ? clientClass->initWithEmailAddress(emailAddress, clientAppID(identity_))
                                             : nullptr;
}

std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithPhoneNumber(std::string_view phoneNumber) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr) {
        return nullptr;
    }
    if (clientClass->initWithPhoneNumberPrefixBitLength) {
        return clientClass->initWithPhoneNumberPrefixBitLength(phoneNumber, clientAppID(identity_),
                                                               settingsOf(*this)->hashPrefixBitLengthPhone());
    }
    return clientClass->initWithPhoneNumber ? clientClass->initWithPhoneNumber(phoneNumber, clientAppID(identity_))
                                            : nullptr;
}

std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithHashedEmailAddress(
    std::span<const std::uint8_t> hashedEmailAddress) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr || !clientClass->initWithHashedEmailAddress) {
        return nullptr;
    }
    return clientClass->initWithHashedEmailAddress(hashedEmailAddress, clientAppID(identity_),
                                                   settingsOf(*this)->hashPrefixBitLengthEmail());
}

std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithHashedPhoneNumber(
    std::span<const std::uint8_t> hashedPhoneNumber) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr || !clientClass->initWithHashedPhoneNumber) {
        return nullptr;
    }
    return clientClass->initWithHashedPhoneNumber(hashedPhoneNumber, clientAppID(identity_),
                                                  settingsOf(*this)->hashPrefixBitLengthPhone());
}

// --- The request

void MSRMeasurement::retrievePSMResponse() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("retrievePSMResponse");
    const auto client = privateSetMembershipClient_;
    if (client == nullptr) {
        return;
    }
    const auto base = client->PSMRequestURLWithRetryCount(PSMRetryCount_);
    if (!base || base->empty()) {
        monitor().logWithLevel(1, 23227, "URL to query data set for on-device conversion measurement is invalid");
        return;
    }
    const PSMCounter counter = counterForInputType(client->inputType());
    std::int64_t requests = 0;
    if (database_ != nullptr) {
        if (const auto stored = database_->userAttributeWithName(counter.propertyName); stored && stored->has_value()) {
            requests = (*stored)->value().int64Value();
        }
    }
    std::vector<std::pair<std::string, std::string>> query{{std::string(counter.queryName), std::to_string(requests)}};
    if (const std::int64_t firstOpenSeconds = persistedConfig_->firstOpenTimestampMilliseconds() / 1000;
        firstOpenSeconds > 0) {
        // The minute after the first open's minute: the service never sees the exact time.
        query.emplace_back(std::string(kFirstOpenQueryName), std::to_string(firstOpenSeconds / 60 * 60 + 60));
    }
    const bool isFromAppStore =
        environment_.isFromAppStore ? environment_.isFromAppStore() : MeasurementServices::current().isFAS();
    if ((monitor().isDebugModeEnabled() || monitor().isVerboseLoggingEnabled()) && !isFromAppStore) {
        if (const auto debugKey = client->debugKey(); debugKey && kit::launchArgumentsContain(kDebugArgument)) {
            query.emplace_back(std::string(kDebugKeyQueryName), *debugKey);
        }
    }
    // The client's URL may or may not carry a query of its own.
    const std::string url = *base + (base->find('?') == std::string::npos ? "?" : "&") + msr_queryString(query);

    if (network_ == nullptr || !isNetworkReadyForRequest()) {
        // Without a network client (no collection host) the request waits for good.
        monitor().logWithLevel(7, 23232,
                               "Network operation is pending. Request to query data set for on-device conversion "
                               "measurement postponed.");
        isPSMRequestPostponed_ = true;
        return;
    }
    if (PSMRetryAlarm_ != nullptr) {
        PSMRetryAlarm_->cancel();
    }
    isPSMRequestInProgress_ = true;
    isPSMRequestPostponed_ = false;
    setIsNetworkRequestPending(true);
    network_->setTimeoutInterval(settingsOf(*this)->networkTimeout());
    if (PSMResponseQueue_ == nullptr) {
        auto queue = std::make_shared<WorkerQueueExecutor>(*scheduler_);
        PSMResponseQueueDetacher_ = std::shared_ptr<void>(nullptr, [queue](void*) { queue->detach(); });
        PSMResponseQueue_ = std::move(queue);
    }
    network_->getURL(url, {}, PSMResponseQueue_, shouldUseBackgroundSession(),
                     [weak = weak_from_this(), client](std::optional<HTTPURLResponse> response,
                                                       std::vector<std::uint8_t> body,
                                                       std::optional<platform::Error> error) {
                         if (const auto self = weak.lock()) {
                             self->handlePSMResponse(client, response, body, error);
                         }
                     });
}

void MSRMeasurement::retrievePostponedPSMResponseOnWorkerQueue() {
    if (!isPSMRequestPostponed_) {
        return;
    }
    isPSMRequestPostponed_ = false;
    retrievePSMResponse();
}

void MSRMeasurement::handlePSMResponse(const std::shared_ptr<MSRPrivateSetMembershipClient>& client,
                                       const std::optional<HTTPURLResponse>& response,
                                       std::span<const std::uint8_t> body,
                                       const std::optional<platform::Error>& error) {
    setIsNetworkRequestPending(false);
    incrementPSMCountOnWorkerQueueWithName(counterForInputType(client->inputType()).propertyName);
    const int statusCode = response ? response->statusCode : 0;
    if (!error && (statusCode == 200 || statusCode == 204 || statusCode == 304)) {
        if (const std::string value = client->parsedPSMValueFromResponse(body); !value.empty()) {
            monitor().logWithLevel(7, 23229, "On-device conversion measurement found a match");
            handlePSMValueOnWorkerQueue(value);
        } else {
            monitor().logWithLevel(7, 23230,
                                   "On-device conversion measurement did not find a match. Will try again given new "
                                   "user data.");
        }
        isPSMRequestInProgress_ = false;
        privateSetMembershipClient_ = nullptr;
        updateSchedule();
        return;
    }
    monitor().logWithLevel(1, 23228,
                           "Failed to query data set for on-device conversion measurement. Will retry later. Code, "
                           "error",
                           statusCode, error ? MSRLogContext(*error) : MSRLogContext(nullptr));
    isPSMRequestInProgress_ = false;
    maybeSchedulePSMRetry();
    updateSchedule();
}

void MSRMeasurement::maybeSchedulePSMRetry() {
    const std::int32_t previous = PSMRetryCount_;
    PSMRetryCount_ = previous + 1;
    if (PSMRetryCount_ >= settingsOf(*this)->maxPSMRetryCount()) {
        monitor().logWithLevel(4, 23231, "On-device conversion measurement failed to find a match. Reached retry limit.");
        return;
    }
    if (PSMRetryAlarm_ == nullptr) {
        PSMRetryAlarm_ =
            std::make_unique<MSRAlarm>(scheduler_->workerQueue(), "On-device conversion measurement timer", *clock_);
    }
    const double factor = static_cast<double>(std::uint64_t{1} << (static_cast<std::uint32_t>(previous) % 32));
    PSMRetryAlarm_->runAfterDelay(settingsOf(*this)->PSMRetryInterval() * factor, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->retrievePSMResponse();
        }
    });
}

// --- Matches and counters

void MSRMeasurement::handlePSMValueOnWorkerQueue(const std::string& value) {
    if (value.empty()) {
        return;
    }
    const double now = nowSince1970();
    if (const auto match = MSRUserAttribute::initWithOrigin("auto", kPSMValueProperty, MSRValue::initWithString(value),
                                                            now)) {
        setUserAttributeOnWorkerQueue(*match);
    } else {
        monitor().logWithLevel(1, 23085, "Unable to set user property. Name, value, error",
                               MSRUserPropertyNameDescription(kPSMValueProperty), value, nullptr);
    }
    if (auto event = MSREvent::initWithOrigin("auto", false, "_fx", now, 0, {{"_fxs", platform::Value("psm")}})) {
        event->setRealtime(true);
        writeEventOnWorkerQueue(*event);
    }
}

void MSRMeasurement::incrementPSMCountOnWorkerQueueWithName(std::string_view propertyName) {
    std::int64_t count = 0;
    if (database_ != nullptr) {
        if (const auto stored = database_->userAttributeWithName(propertyName); stored && stored->has_value()) {
            count = (*stored)->value().int64Value();
        }
    }
    if (count < std::numeric_limits<std::int64_t>::max()) {
        ++count;
    }
    if (const auto counter = MSRUserAttribute::initWithOrigin("auto", propertyName, MSRValue::initWithInt64(count),
                                                              nowSince1970())) {
        setUserAttributeOnWorkerQueue(*counter);
    }
}

void MSRMeasurement::maybeDeleteExpiredPSMValueOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("maybeDeleteExpiredPSMValueOnWorkerQueue");
    if (database_ == nullptr) {
        return;
    }
    const auto match = database_->userAttributeWithName(kPSMValueProperty);
    if (!match || !match->has_value() ||
        std::fabs(nowSince1970() - (*match)->lastSetTimestamp()) < kPSMValueLifetimeSeconds) {
        return;
    }
    for (const std::string_view name : {kPSMValueProperty, kPSMEmailCountProperty, kPSMPhoneCountProperty,
                                        kPSMHashedEmailCountProperty, kPSMHashedPhoneCountProperty}) {
        if (!database_->containsUserAttributeWithName(name).valueOr(false)) {
            continue;
        }
        if (const auto deleted = database_->deleteUserAttributeWithName(name); !deleted) {
            monitor().logWithLevel(1, 23077, "Unable to remove user property. Name, error",
                                   MSRUserPropertyNameDescription(name), deleted.error());
        }
    }
}

void MSRMeasurement::resetPSMCounts() {
    PSMStartCount_ = 0;
    PSMRetryCount_ = 0;
}

}  // namespace kit::measurement

#include "MSROnDeviceConversion.h"

#include "OnDeviceConversionLines.h"
#include "UserPropertiesLines.h"
#include "UserPropertyNames.h"
#include "kit/measurement/controller/MSRMeasurement.h"
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

namespace kit::measurement {

using namespace on_device_conversion_lines;

namespace {

constexpr std::string_view kDebugArgument = "-DebugOnDeviceConversionMeasurement";
constexpr std::string_view kDebugKeyQueryName = "debug_psm_key";
constexpr std::string_view kFirstOpenQueryName = "timestamp_first_open";
// A match is dropped at the first start this long after it was stored.
constexpr double kPSMValueLifetimeSeconds = 7'776'000;  // 90 days

// The user-data entries, in the order they are tried.
constexpr std::string_view kEmailAddressKey = "email_address";
constexpr std::string_view kPhoneNumberKey = "phone_number";
constexpr std::string_view kHashedEmailAddressKey = "hashed_email_address";
constexpr std::string_view kHashedPhoneNumberKey = "hashed_phone_number";

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

std::string clientAppID(const std::shared_ptr<MSRIdentity>& identity) {
    return identity != nullptr ? identity->appID() : std::string();
}

std::shared_ptr<MSRRemoteConfig> settingsOf(MSRMeasurement& controller) {
    const auto settings = controller.remoteConfigInstance();
    return settings != nullptr ? settings : MSRRemoteConfig::defaultInstance();
}

}  // namespace

MSROnDeviceConversion::MSROnDeviceConversion(MSRMeasurement& controller) : controller_(controller) {}

MSROnDeviceConversion::~MSROnDeviceConversion() = default;

std::shared_ptr<MSRPrivateSetMembershipClientClass> MSROnDeviceConversion::PSMClientClass() const {
    return kit::classRegistry().lookup<MSRPrivateSetMembershipClientClass>(
        MSRPrivateSetMembershipClientClass::kClassName);
}

void MSROnDeviceConversion::checkPSMDependencyOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("checkPSMDependencyOnWorkerQueue");
    if (PSMClientClass() != nullptr) {
        log(kDependencyLinked);
        return;
    }
    MSRDatabase* database = controller_.database();
    if (database == nullptr) {
        return;
    }
    if (database->containsUserAttributeWithName(kPSMEmailCountProperty).valueOr(false) ||
        database->containsUserAttributeWithName(kPSMPhoneCountProperty).valueOr(false)) {
        log(kDependencyMissing);
    }
}

// --- Checks before a start

bool MSROnDeviceConversion::shouldRetrievePSMResponse() {
    if (PSMClientClass() == nullptr) {
        log(kNotLinked);
        return false;
    }
    const auto settings = settingsOf(controller_);
    const std::int64_t firstOpenMillis = controller_.persistedConfig()->firstOpenTimestampMilliseconds();
    const double firstOpen =
        firstOpenMillis != 0 ? static_cast<double>(firstOpenMillis) / 1000 : controller_.initTimestamp();
    // In 64 bits: a setting read from the cache is not bounded here.
    const double window = static_cast<double>(std::int64_t{settings->maxSignInDelayInDays()} * 86'400);
    if (!(std::fabs(controller_.nowSince1970() - firstOpen) <= window)) {
        log(kOutsideFirstOpenWindow);
        return false;
    }
    if (isRequestInProgress_) {
        log(kAlreadyInProgress);
        return false;
    }
    if (startCount_ >= settings->maxPSMStartCount()) {
        log(kStartLimit);
        return false;
    }
    if (MSRDatabase* database = controller_.database();
        database != nullptr && database->containsUserAttributeWithName(kPSMValueProperty).valueOr(false)) {
        log(kExistingMatch);
        return false;
    }
    if (retryCount_ >= settings->maxPSMRetryCount()) {
        log(kRetryLimit);
        return false;
    }
    return true;
}

bool MSROnDeviceConversion::shouldRetrievePSMResponseWithEmailAddress(std::string_view emailAddress) {
    if (emailAddress.empty()) {
        log(kEmptyEmailAddress);
        return false;
    }
    return shouldRetrievePSMResponse();
}

bool MSROnDeviceConversion::shouldRetrievePSMResponseWithPhoneNumber(std::string_view phoneNumber) {
    if (phoneNumber.empty()) {
        log(kEmptyPhoneNumber);
        return false;
    }
    // Without any client class the general check below says so.
    if (const auto clientClass = PSMClientClass(); clientClass != nullptr && !clientClass->initWithPhoneNumber &&
                                                   !clientClass->initWithPhoneNumberPrefixBitLength) {
        log(kPhoneNumbersUnsupported);
        return false;
    }
    return shouldRetrievePSMResponse();
}

bool MSROnDeviceConversion::shouldRetrievePSMResponseWithHashedIdentifier(
    std::span<const std::uint8_t> hashedIdentifier) {
    if (hashedIdentifier.empty()) {
        log(kEmptyHashedIdentifier);
        return false;
    }
    if (const auto clientClass = PSMClientClass();
        clientClass != nullptr && !clientClass->initWithHashedEmailAddress && !clientClass->initWithHashedPhoneNumber) {
        log(kHashedIdentifiersUnsupported);
        return false;
    }
    return shouldRetrievePSMResponse();
}

// --- Clients

std::shared_ptr<MSRPrivateSetMembershipClient> MSROnDeviceConversion::PSMClientWithEmailAddress(
    std::string_view emailAddress) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr) {
        return nullptr;
    }
    const std::string appID = clientAppID(controller_.identity());
    if (clientClass->initWithEmailAddressPrefixBitLength) {
        return clientClass->initWithEmailAddressPrefixBitLength(emailAddress, appID,
                                                                settingsOf(controller_)->hashPrefixBitLengthEmail());
    }
    return clientClass->initWithEmailAddress ? clientClass->initWithEmailAddress(emailAddress, appID) : nullptr;
}

std::shared_ptr<MSRPrivateSetMembershipClient> MSROnDeviceConversion::PSMClientWithPhoneNumber(
    std::string_view phoneNumber) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr) {
        return nullptr;
    }
    const std::string appID = clientAppID(controller_.identity());
    if (clientClass->initWithPhoneNumberPrefixBitLength) {
        return clientClass->initWithPhoneNumberPrefixBitLength(phoneNumber, appID,
                                                               settingsOf(controller_)->hashPrefixBitLengthPhone());
    }
    return clientClass->initWithPhoneNumber ? clientClass->initWithPhoneNumber(phoneNumber, appID) : nullptr;
}

std::shared_ptr<MSRPrivateSetMembershipClient> MSROnDeviceConversion::PSMClientWithHashedEmailAddress(
    std::span<const std::uint8_t> hashedEmailAddress) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr || !clientClass->initWithHashedEmailAddress) {
        return nullptr;
    }
    return clientClass->initWithHashedEmailAddress(hashedEmailAddress, clientAppID(controller_.identity()),
                                                   settingsOf(controller_)->hashPrefixBitLengthEmail());
}

std::shared_ptr<MSRPrivateSetMembershipClient> MSROnDeviceConversion::PSMClientWithHashedPhoneNumber(
    std::span<const std::uint8_t> hashedPhoneNumber) {
    const auto clientClass = PSMClientClass();
    if (clientClass == nullptr || !clientClass->initWithHashedPhoneNumber) {
        return nullptr;
    }
    return clientClass->initWithHashedPhoneNumber(hashedPhoneNumber, clientAppID(controller_.identity()),
                                                  settingsOf(controller_)->hashPrefixBitLengthPhone());
}

// --- The request

void MSROnDeviceConversion::startWithUserData(const platform::Value::Dictionary& userData) {
    const auto text = [](const platform::Value& value) -> std::string_view {
        const std::string* string = value.asString();
        return string != nullptr ? std::string_view(*string) : std::string_view();
    };
    const auto bytes = [](const platform::Value& value) -> std::span<const std::uint8_t> {
        const auto* data = value.asData();
        return data != nullptr ? std::span<const std::uint8_t>(*data) : std::span<const std::uint8_t>();
    };
    std::shared_ptr<MSRPrivateSetMembershipClient> client;
    if (const auto entry = userData.find(kEmailAddressKey); !client && entry != userData.end()) {
        if (shouldRetrievePSMResponseWithEmailAddress(text(entry->second))) {
            client = PSMClientWithEmailAddress(text(entry->second));
        }
    }
    if (const auto entry = userData.find(kPhoneNumberKey); !client && entry != userData.end()) {
        if (shouldRetrievePSMResponseWithPhoneNumber(text(entry->second))) {
            client = PSMClientWithPhoneNumber(text(entry->second));
        }
    }
    if (const auto entry = userData.find(kHashedEmailAddressKey); !client && entry != userData.end()) {
        if (shouldRetrievePSMResponseWithHashedIdentifier(bytes(entry->second))) {
            client = PSMClientWithHashedEmailAddress(bytes(entry->second));
        }
    }
    if (const auto entry = userData.find(kHashedPhoneNumberKey); !client && entry != userData.end()) {
        if (shouldRetrievePSMResponseWithHashedIdentifier(bytes(entry->second))) {
            client = PSMClientWithHashedPhoneNumber(bytes(entry->second));
        }
    }
    if (client == nullptr) {
        return;
    }
    ++startCount_;
    retryCount_ = 0;
    client_ = std::move(client);
    retrievePSMResponse();
    log(kInitiated);
}

std::int64_t MSROnDeviceConversion::storedCount(std::string_view propertyName) {
    MSRDatabase* database = controller_.database();
    if (database == nullptr) {
        return 0;
    }
    if (const auto stored = database->userAttributeWithName(propertyName); stored && stored->has_value()) {
        return (*stored)->value().int64Value();
    }
    return 0;
}

std::optional<std::string> MSROnDeviceConversion::requestURL(MSRPrivateSetMembershipClient& client) {
    const auto base = client.PSMRequestURLWithRetryCount(retryCount_);
    if (!base || base->empty()) {
        log(kInvalidURL);
        return std::nullopt;
    }
    const PSMCounter counter = counterForInputType(client.inputType());
    std::vector<std::pair<std::string, std::string>> query{
        {std::string(counter.queryName), std::to_string(storedCount(counter.propertyName))}};
    if (const std::int64_t firstOpenSeconds = controller_.persistedConfig()->firstOpenTimestampMilliseconds() / 1000;
        firstOpenSeconds > 0) {
        // The minute after the first open's minute: the service never sees the exact time.
        query.emplace_back(std::string(kFirstOpenQueryName), std::to_string(firstOpenSeconds / 60 * 60 + 60));
    }
    const auto& isFromAppStoreProbe = controller_.environment().isFromAppStore;
    const bool isFromAppStore = isFromAppStoreProbe ? isFromAppStoreProbe() : MeasurementServices::current().isFAS();
    if ((monitor().isDebugModeEnabled() || monitor().isVerboseLoggingEnabled()) && !isFromAppStore) {
        if (const auto debugKey = client.debugKey(); debugKey && kit::launchArgumentsContain(kDebugArgument)) {
            query.emplace_back(std::string(kDebugKeyQueryName), *debugKey);
        }
    }
    // The client's URL may or may not carry a query of its own.
    return *base + (base->find('?') == std::string::npos ? "?" : "&") + msr_queryString(query);
}

void MSROnDeviceConversion::retrievePSMResponse() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("retrievePSMResponse");
    const auto client = client_;
    if (client == nullptr) {
        return;
    }
    const auto url = requestURL(*client);
    if (!url) {
        return;
    }
    if (controller_.network() == nullptr || !controller_.isNetworkReadyForRequest()) {
        // Without a network client (no collection host) the request waits for good.
        log(kRequestPostponed);
        isRequestPostponed_ = true;
        return;
    }
    send(client, *url);
}

void MSROnDeviceConversion::send(const std::shared_ptr<MSRPrivateSetMembershipClient>& client, const std::string& url) {
    if (retryAlarm_ != nullptr) {
        retryAlarm_->cancel();
    }
    isRequestInProgress_ = true;
    isRequestPostponed_ = false;
    controller_.setIsNetworkRequestPending(true);
    const auto network = controller_.network();
    network->setTimeoutInterval(settingsOf(controller_)->networkTimeout());
    if (responseQueue_ == nullptr) {
        auto queue = std::make_shared<WorkerQueueExecutor>(controller_.scheduler());
        responseQueueDetacher_ = std::shared_ptr<void>(nullptr, [queue](void*) { queue->detach(); });
        responseQueue_ = std::move(queue);
    }
    // This object lives as long as its controller, so the controller's
    // weak reference guards both.
    network->getURL(url, {}, responseQueue_, controller_.shouldUseBackgroundSession(),
                    [weak = controller_.weak_from_this(), this, client](std::optional<HTTPURLResponse> response,
                                                                        std::vector<std::uint8_t> body,
                                                                        std::optional<platform::Error> error) {
                        if (const auto self = weak.lock()) {
                            handlePSMResponse(client, response, body, error);
                        }
                    });
}

void MSROnDeviceConversion::retrievePostponedPSMResponseOnWorkerQueue() {
    if (!isRequestPostponed_) {
        return;
    }
    isRequestPostponed_ = false;
    retrievePSMResponse();
}

void MSROnDeviceConversion::handlePSMResponse(const std::shared_ptr<MSRPrivateSetMembershipClient>& client,
                                              const std::optional<HTTPURLResponse>& response,
                                              std::span<const std::uint8_t> body,
                                              const std::optional<platform::Error>& error) {
    controller_.setIsNetworkRequestPending(false);
    incrementPSMCountOnWorkerQueueWithName(counterForInputType(client->inputType()).propertyName);
    const int statusCode = response ? response->statusCode : 0;
    if (!error && (statusCode == 200 || statusCode == 204 || statusCode == 304)) {
        if (const std::string value = client->parsedPSMValueFromResponse(body); !value.empty()) {
            log(kMatchFound);
            handlePSMValueOnWorkerQueue(value);
        } else {
            log(kNoMatch);
        }
        isRequestInProgress_ = false;
        client_ = nullptr;
        controller_.updateSchedule();
        return;
    }
    log(kRequestFailed, statusCode, error ? MSRLogContext(*error) : MSRLogContext(nullptr));
    isRequestInProgress_ = false;
    maybeSchedulePSMRetry();
    controller_.updateSchedule();
}

void MSROnDeviceConversion::maybeSchedulePSMRetry() {
    const std::int32_t previous = retryCount_;
    retryCount_ = previous + 1;
    if (retryCount_ >= settingsOf(controller_)->maxPSMRetryCount()) {
        log(kRetriesExhausted);
        return;
    }
    if (retryAlarm_ == nullptr) {
        retryAlarm_ = std::make_unique<MSRAlarm>(controller_.scheduler().workerQueue(),
                                                 "On-device conversion measurement timer", controller_.clock());
    }
    const double factor = static_cast<double>(std::uint64_t{1} << (static_cast<std::uint32_t>(previous) % 32));
    retryAlarm_->runAfterDelay(settingsOf(controller_)->PSMRetryInterval() * factor,
                               [weak = controller_.weak_from_this()] {
                                   if (const auto self = weak.lock()) {
                                       self->retrievePSMResponse();
                                   }
                               });
}

// --- Matches and counters

void MSROnDeviceConversion::handlePSMValueOnWorkerQueue(const std::string& value) {
    if (value.empty()) {
        return;
    }
    const double now = controller_.nowSince1970();
    if (const auto match =
            MSRUserAttribute::initWithOrigin("auto", kPSMValueProperty, MSRValue::initWithString(value), now)) {
        controller_.setUserAttributeOnWorkerQueue(*match);
    } else {
        log(user_properties_lines::kPropertyNotSet, MSRUserPropertyNameDescription(kPSMValueProperty), value, nullptr);
    }
    if (auto event = MSREvent::initWithOrigin("auto", false, "_fx", now, 0, {{"_fxs", platform::Value("psm")}})) {
        event->setRealtime(true);
        controller_.writeEventOnWorkerQueue(*event);
    }
}

void MSROnDeviceConversion::incrementPSMCountOnWorkerQueueWithName(std::string_view propertyName) {
    std::int64_t count = storedCount(propertyName);
    if (count < std::numeric_limits<std::int64_t>::max()) {
        ++count;
    }
    if (const auto counter = MSRUserAttribute::initWithOrigin("auto", propertyName, MSRValue::initWithInt64(count),
                                                              controller_.nowSince1970())) {
        controller_.setUserAttributeOnWorkerQueue(*counter);
    }
}

void MSROnDeviceConversion::maybeDeleteExpiredPSMValueOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("maybeDeleteExpiredPSMValueOnWorkerQueue");
    MSRDatabase* database = controller_.database();
    if (database == nullptr) {
        return;
    }
    const auto match = database->userAttributeWithName(kPSMValueProperty);
    if (!match || !match->has_value() ||
        std::fabs(controller_.nowSince1970() - (*match)->lastSetTimestamp()) < kPSMValueLifetimeSeconds) {
        return;
    }
    for (const std::string_view name : {kPSMValueProperty, kPSMEmailCountProperty, kPSMPhoneCountProperty,
                                        kPSMHashedEmailCountProperty, kPSMHashedPhoneCountProperty}) {
        if (!database->containsUserAttributeWithName(name).valueOr(false)) {
            continue;
        }
        if (const auto deleted = database->deleteUserAttributeWithName(name); !deleted) {
            log(user_properties_lines::kPropertyNotRemoved, MSRUserPropertyNameDescription(name), deleted.error());
        }
    }
}

void MSROnDeviceConversion::resetPSMCounts() {
    startCount_ = 0;
    retryCount_ = 0;
}

}  // namespace kit::measurement

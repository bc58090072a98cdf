#pragma once

#include "kit/core/network/Network.h"
#include "platform/Error.h"
#include "platform/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {
class Executor;
}

namespace kit::measurement {

class MSRAlarm;
class MSRMeasurement;
class MSRPrivateSetMembershipClient;
struct MSRPrivateSetMembershipClientClass;

// On-device conversion measurement through the optional membership client:
// the checks before a start, the request with its query additions, the
// retries with a doubling delay, the per-kind request counters and the
// expiry of a match.
//
// Owned by the controller and confined to its worker queue, like all of its
// state. It reaches the store, the settings, the network and the other
// concerns only through the controller's public operations.
class MSROnDeviceConversion {
public:
    explicit MSROnDeviceConversion(MSRMeasurement& controller);
    ~MSROnDeviceConversion();
    MSROnDeviceConversion(const MSROnDeviceConversion&) = delete;
    MSROnDeviceConversion& operator=(const MSROnDeviceConversion&) = delete;

    // What is registered as "MSRPrivateSetMembershipClient"; null when nothing is.
    std::shared_ptr<MSRPrivateSetMembershipClientClass> PSMClientClass() const;
    void checkPSMDependencyOnWorkerQueue();

    bool shouldRetrievePSMResponse();
    bool shouldRetrievePSMResponseWithEmailAddress(std::string_view emailAddress);
    bool shouldRetrievePSMResponseWithPhoneNumber(std::string_view phoneNumber);
    bool shouldRetrievePSMResponseWithHashedIdentifier(std::span<const std::uint8_t> hashedIdentifier);

    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithEmailAddress(std::string_view emailAddress);
    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithPhoneNumber(std::string_view phoneNumber);
    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithHashedEmailAddress(
        std::span<const std::uint8_t> hashedEmailAddress);
    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithHashedPhoneNumber(
        std::span<const std::uint8_t> hashedPhoneNumber);

    // Starts a request for the first kind of user data that passes its
    // checks, if any does.
    void startWithUserData(const platform::Value::Dictionary& userData);
    void retrievePSMResponse();
    void retrievePostponedPSMResponseOnWorkerQueue();
    void maybeSchedulePSMRetry();

    void handlePSMValueOnWorkerQueue(const std::string& value);
    void incrementPSMCountOnWorkerQueueWithName(std::string_view propertyName);
    void maybeDeleteExpiredPSMValueOnWorkerQueue();
    void resetPSMCounts();

    bool isPSMRequestInProgress() const { return isRequestInProgress_; }
    bool isPSMRequestPostponed() const { return isRequestPostponed_; }
    // "On-device conversion measurement timer"; null until the first retry.
    const MSRAlarm* PSMRetryAlarm() const { return retryAlarm_.get(); }

private:
    // The client's URL with the counter, first-open and debug additions;
    // none when the client gives no usable URL (logged).
    std::optional<std::string> requestURL(MSRPrivateSetMembershipClient& client);
    void send(const std::shared_ptr<MSRPrivateSetMembershipClient>& client, const std::string& url);
    void handlePSMResponse(const std::shared_ptr<MSRPrivateSetMembershipClient>& client,
                           const std::optional<HTTPURLResponse>& response, std::span<const std::uint8_t> body,
                           const std::optional<platform::Error>& error);
    std::int64_t storedCount(std::string_view propertyName);

    MSRMeasurement& controller_;
    std::shared_ptr<MSRPrivateSetMembershipClient> client_;  // of the request in progress
    // The worker queue as the network hands it answers, made on first use;
    // the detacher cuts it loose when the controller goes, so a late answer
    // is dropped and never keeps the controller alive on the network thread.
    std::shared_ptr<platform::Executor> responseQueue_;
    std::shared_ptr<void> responseQueueDetacher_;
    bool isRequestInProgress_ = false;
    bool isRequestPostponed_ = false;  // sent when the pending upload finishes
    std::int32_t startCount_ = 0;      // starts in this run
    std::int32_t retryCount_ = 0;      // failed attempts of the current start
    std::unique_ptr<MSRAlarm> retryAlarm_;
};

}  // namespace kit::measurement

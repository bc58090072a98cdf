#pragma once

#include "platform/Clock.h"
#include "platform/Value.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class RandomSource;
class SerialQueue;
}  // namespace platform

namespace kit::measurement {

class MSRDefaultIdentitySupport;
class MSRPersistedConfig;

// The engine's library version; its integer form drops the last three digits.
inline constexpr std::string_view kMSRLibraryVersionString = "110900000";

// Tracking consent status as stored and sent.
inline constexpr std::int64_t kMSRTrackingRestricted = 1;
inline constexpr std::int64_t kMSRTrackingDenied = 2;
inline constexpr std::int64_t kMSRTrackingAuthorized = 3;
inline constexpr std::int64_t kMSRTrackingNotDetermined = 4;
inline constexpr std::int64_t kMSRTrackingUnknown = 5;
inline constexpr std::int64_t kMSRTrackingUnsupported = 6;

// What the identity takes from its surroundings; each has a default.
struct MSRIdentityEnvironment {
    // The system clock when null.
    const platform::Clock* clock = nullptr;
    // The system's random words when null.
    std::shared_ptr<platform::RandomSource> random;
    // The shared instance when null.
    std::shared_ptr<MSRDefaultIdentitySupport> identitySupport;
    // The remote settings "measurement.ad_id_cache_time" (seconds, 0-86400;
    // default 1) and "measurement.attmas_gate" (default NO).
    std::function<double()> adIDCacheTime;
    std::function<bool()> gateIDFAOnATTMASEnabled;
    // The main bundle's Info.plist when none.
    std::optional<platform::Value> infoDictionary;
    // The options file's dictionary ("LumenService-Info.plist") when none.
    std::optional<platform::Value::Dictionary> serviceFileDictionary;
};

// Who the app and the device are for measurement. Every field is confined
// to the queue "MSRIdentityWorkerQueue"; getters refresh there
// asynchronously and then read there synchronously.
class MSRIdentity {
public:
    // Made once per kit context over MSRPersistedConfig's shared instance;
    // null (with 20003 logged) when that cannot be made.
    static std::shared_ptr<MSRIdentity> sharedInstance();
    // 110900.
    static std::int64_t appMeasurementLibraryVersion();
    // Null (with 20004 logged) without a configuration.
    static std::shared_ptr<MSRIdentity> create(std::shared_ptr<MSRPersistedConfig> persistedConfig,
                                               MSRIdentityEnvironment environment = {});

    struct Private;
    MSRIdentity(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig, MSRIdentityEnvironment environment);
    ~MSRIdentity();
    MSRIdentity(const MSRIdentity&) = delete;
    MSRIdentity& operator=(const MSRIdentity&) = delete;

    // None while analytics storage is denied.
    std::optional<std::string> appInstanceID();
    void setAppInstanceID(std::optional<std::string> appInstanceID);
    // The MD5 of the device ID; none while ad storage is denied.
    std::optional<std::string> hashedResettableDeviceID();
    std::optional<std::string> resettableDeviceID();
    bool limitedAdTracking();
    std::int64_t appleConsentStatus();
    bool hasLimitedAdTracking();
    bool iOS14OrAbove() const { return true; }
    std::optional<std::string> identifierForVendor() const { return std::nullopt; }
    bool isFromAppStore() const;

    std::optional<std::string> appIDFromLMP();
    // Keeps the first non-empty value; an empty one logs 20005.
    void setAppIDFromLMP(std::string_view appID);

    void updateIdentifiers();
    void updateIdentifiersAndWait();

    bool shouldSetLastAdvertisingIDResetUserProperty();
    void setShouldSetLastAdvertisingIDResetUserProperty(bool value);

    // A fresh UUIDv4 in upper-case hexadecimal without dashes.
    std::string randomAppInstanceID();

    // The token that stitches sessions together; none while analytics
    // storage is denied.
    std::optional<std::string> sessionStitchingTokenWithSessionNumber(std::int64_t sessionNumber, bool sessionExpired,
                                                                      bool userIDAvailable);
    void resetSessionStitchingToken();
    // For code already on the identity queue.
    void resetSessionStitchingTokenOnWorkerQueue();

    // Five characters, made and persisted once.
    std::string diversionKey();

    std::string ephemeralAppInstanceID();
    void resetEphemeralAppInstanceID();
    void resetEphemeralAppInstanceIDOnWorkerQueue();

    const std::string& appID() const noexcept { return appID_; }
    const std::optional<std::string>& appVersion() const noexcept { return appVersion_; }
    const std::optional<std::int64_t>& appVersionMajor() const noexcept { return appVersionMajor_; }
    const std::optional<std::int64_t>& appVersionMinor() const noexcept { return appVersionMinor_; }
    const std::optional<std::int64_t>& appVersionRelease() const noexcept { return appVersionRelease_; }
    std::int64_t devCertHash() const noexcept { return 0; }
    const std::optional<platform::Value>& isIDFVCollectionEnabledNumber() const noexcept {
        return isIDFVCollectionEnabledNumber_;
    }
    std::optional<std::string> haloInstallationID() const;
    void setHaloInstallationID(std::optional<std::string> installationID);

    // The numeric fields of a version string: "1.2b3" gives 1 and 23.
    static std::vector<std::int64_t> numericFieldsFromAppVersionNumeric(std::string_view version);

    platform::SerialQueue& queue() noexcept { return *queue_; }

private:
    void refreshIdentifiersOnQueue();
    std::chrono::duration<double> adIDCacheTime() const;
    platform::TimePoint now() const;

    std::shared_ptr<MSRPersistedConfig> persistedConfig_;
    std::shared_ptr<MSRDefaultIdentitySupport> identitySupport_;
    std::shared_ptr<platform::RandomSource> random_;
    const platform::Clock* clock_;
    std::function<double()> adIDCacheTimeSetting_;
    std::function<bool()> gateIDFAOnATTMASEnabled_;

    // Set at creation, then read-only.
    std::string appID_;
    std::optional<std::string> appVersion_;
    std::optional<std::int64_t> appVersionMajor_;
    std::optional<std::int64_t> appVersionMinor_;
    std::optional<std::int64_t> appVersionRelease_;
    std::optional<platform::Value> isIDFVCollectionEnabledNumber_;

    // Confined to the queue.
    std::optional<platform::TimePoint> lastAppInstanceIDUpdateTimestamp_;
    std::int64_t appleConsentStatus_ = kMSRTrackingUnsupported;
    std::optional<std::string> resettableDeviceID_;
    bool limitedAdTracking_ = true;
    std::optional<std::string> appIDFromLMP_;
    bool appIDFromLMPTaken_ = false;
    std::optional<std::string> sessionStitchingToken_;
    std::int64_t lastSessionNumber_ = 0;
    bool lastIsSessionExpired_ = false;
    std::optional<platform::TimePoint> sessionStitchingTokenExpirationTime_;
    std::optional<std::string> ephemeralAppInstanceID_;

    mutable std::mutex installationMutex_;
    std::optional<std::string> haloInstallationID_;  // guarded by installationMutex_

    // Last: destroyed first, so blocks still queued run with every field alive.
    std::unique_ptr<platform::SerialQueue> queue_;
};

}  // namespace kit::measurement

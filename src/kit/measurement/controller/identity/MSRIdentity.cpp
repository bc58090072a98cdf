#include "kit/measurement/controller/MSRIdentity.h"

#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"

#include "IdentityTexts.h"
#include "kit/core/HLOOptions.h"
#include "kit/measurement/controller/MSRAEU.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRIdentitySupport.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/Bundle.h"
#include "platform/MessageFormat.h"
#include "platform/Random.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <iterator>
#include <cmath>

namespace kit::measurement {

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kLumenAppIDKey = "LUMEN_APP_ID";
constexpr std::string_view kIDFVCollectionKey = "LUMEN_ANALYTICS_IDFV_COLLECTION_ENABLED";
constexpr auto kTokenLifetime = std::chrono::seconds(86400);
constexpr double kDefaultAdIDCacheTime = 1.0;
constexpr double kMaximumAdIDCacheTime = 86400.0;
constexpr std::size_t kDiversionKeyLength = 5;

struct SharedIdentity {
    std::mutex mutex;
    bool made = false;                      // guarded by mutex
    std::shared_ptr<MSRIdentity> instance;  // guarded by mutex
};

SharedIdentity& sharedIdentity() { return KitContext::current().service<SharedIdentity>(); }

bool isUsableDeviceID(const std::optional<std::string>& deviceID) {
    return deviceID && !deviceID->empty() && *deviceID != kMSRZeroDeviceID;
}

}  // namespace

struct MSRIdentity::Private {};

std::shared_ptr<MSRIdentity> MSRIdentity::sharedInstance() {
    SharedIdentity& shared = sharedIdentity();
    std::lock_guard lock(shared.mutex);
    if (!shared.made) {
        // The advertising-ID settings are the shared controller's remote
        // settings, read at each refresh.
        MSRIdentityEnvironment environment;
        environment.adIDCacheTime = [] { return MSRMeasurement::remoteConfig()->adIDCacheTime(); };
        environment.gateIDFAOnATTMASEnabled = [] { return MSRMeasurement::remoteConfig()->gateIDFAOnATTMASEnabled(); };
        shared.instance = create(MSRPersistedConfig::sharedInstance(), std::move(environment));
        shared.made = shared.instance != nullptr;
    }
    if (!shared.instance) {
        identity_texts::log(identity_texts::kSharedIdentityNil);
    }
    return shared.instance;
}

std::int64_t MSRIdentity::appMeasurementLibraryVersion() {
    if (kMSRLibraryVersionString.size() < 4) {
        return 0;
    }
    const std::string_view digits = kMSRLibraryVersionString.substr(0, kMSRLibraryVersionString.size() - 3);
    return platform::Value(digits).integerValue().value_or(0);
}

std::shared_ptr<MSRIdentity> MSRIdentity::create(std::shared_ptr<MSRPersistedConfig> persistedConfig,
                                                 MSRIdentityEnvironment environment) {
    if (!persistedConfig) {
        identity_texts::log(identity_texts::kNoPersistedConfig);
        return nullptr;
    }
    return std::make_shared<MSRIdentity>(Private{}, std::move(persistedConfig), std::move(environment));
}

MSRIdentity::MSRIdentity(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig,
                         MSRIdentityEnvironment environment)
    : persistedConfig_(std::move(persistedConfig)),
      identitySupport_(environment.identitySupport ? std::move(environment.identitySupport)
                                                   : MSRDefaultIdentitySupport::sharedInstance()),
      random_(std::move(environment.random)),
      clock_(environment.clock),
      adIDCacheTimeSetting_(std::move(environment.adIDCacheTime)),
      gateIDFAOnATTMASEnabled_(std::move(environment.gateIDFAOnATTMASEnabled)),
      queue_(std::make_unique<platform::SerialQueue>("MSRIdentityWorkerQueue")) {
    const platform::Value info =
        environment.infoDictionary ? std::move(*environment.infoDictionary) : kit::mainBundle().infoDictionary();
    const auto serviceFile = environment.serviceFileDictionary ? std::move(environment.serviceFileDictionary)
                                                               : HLOOptions::defaultOptionsDictionary();
    if (serviceFile && !serviceFile->empty()) {
        const auto found = serviceFile->find(kLumenAppIDKey);
        if (found != serviceFile->end() && found->second.isString()) {
            appIDFromLMP_ = *found->second.asString();
        }
        if (kit::classRegistry().contains("HLOAnalytics") && appIDFromLMP_.value_or("").empty()) {
            identity_texts::log(identity_texts::kServiceFileAppIDEmpty);
        }
    }
    if (const platform::Value* idfv = info.find(kIDFVCollectionKey); idfv != nullptr && idfv->isNumber()) {
        isIDFVCollectionEnabledNumber_ = *idfv;
        MSRMeasurementMonitor().logWithLevel(
            identity_texts::kInfoPlistFlag.level, identity_texts::kInfoPlistFlag.code,
            platform::formatMessage(identity_texts::kInfoPlistFlag.text,
                                    {platform::MessageArgument(kIDFVCollectionKey),
                                     platform::MessageArgument(idfv->boolValue().value_or(false) ? "YES" : "NO")}));
    }
    if (const platform::Value* identifier = info.find("CFBundleIdentifier"); identifier && identifier->isString()) {
        appID_ = *identifier->asString();
    }
    if (const platform::Value* version = info.find("CFBundleShortVersionString"); version && version->isString()) {
        appVersion_ = *version->asString();
    }
    if (const platform::Value* build = info.find("CFBundleVersion"); build && build->isString()) {
        const auto fields = numericFieldsFromAppVersionNumeric(*build->asString());
        if (!fields.empty()) {
            appVersionMajor_ = fields[0];
        }
        if (fields.size() > 1) {
            appVersionMinor_ = fields[1];
        }
        if (fields.size() > 2) {
            appVersionRelease_ = fields[2];
        }
    }
    if (!persistedConfig_->appInstanceID() && !MSRConsentSettingsUtil::isAnalyticsStorageDenied()) {
        persistedConfig_->setAppInstanceID(randomAppInstanceID());
    }
}

MSRIdentity::~MSRIdentity() { queue_.reset(); }

platform::TimePoint MSRIdentity::now() const {
    return clock_ != nullptr ? clock_->now() : std::chrono::system_clock::now();
}

std::chrono::duration<double> MSRIdentity::adIDCacheTime() const {
    double seconds = adIDCacheTimeSetting_ ? adIDCacheTimeSetting_() : kDefaultAdIDCacheTime;
    if (!std::isfinite(seconds)) {
        seconds = kDefaultAdIDCacheTime;
    }
    return std::chrono::duration<double>(std::clamp(seconds, 0.0, kMaximumAdIDCacheTime));
}

void MSRIdentity::refreshIdentifiersOnQueue() {
    const platform::TimePoint current = now();
    std::optional<std::string> appInstanceID = persistedConfig_->appInstanceID();
    if (appInstanceID && lastAppInstanceIDUpdateTimestamp_ && *lastAppInstanceIDUpdateTimestamp_ <= current &&
        current - *lastAppInstanceIDUpdateTimestamp_ < adIDCacheTime()) {
        return;
    }
    bool changed = !appInstanceID;
    std::optional<std::string> hash = persistedConfig_->hashedResettableDeviceID();
    std::optional<std::string> deviceID = resettableDeviceID_;

    std::int64_t status = kMSRTrackingUnsupported;
    if (identitySupport_->hasPlatformIdentitySupport() && identitySupport_->hasLimitedAdTracking()) {
        status = kMSRTrackingUnknown;
        if (identitySupport_->hasAppDataConsentStatus()) {
            const std::int64_t platformStatus = identitySupport_->appDataConsentStatus();
            if (platformStatus == 0) {
                status = kMSRTrackingNotDetermined;
            } else if (platformStatus >= 1 && platformStatus <= 3) {
                status = platformStatus;
            }
        }
    }
    const bool gateOpen = status == kMSRTrackingAuthorized;

    const bool adStorageDenied = MSRConsentSettingsUtil::isAdStorageDenied();
    std::optional<std::string> candidate;
    if (adStorageDenied) {
        deviceID.reset();
    } else if (gateOpen || !(gateIDFAOnATTMASEnabled_ && gateIDFAOnATTMASEnabled_())) {
        candidate = identitySupport_->resettableDeviceID();
    }

    if (isUsableDeviceID(candidate)) {
        const std::optional<std::string> candidateHash = msr_MD5String(*candidate);
        if (candidateHash && candidateHash != hash) {
            if (hash) {
                // Another device ID: the app instance starts over.
                appInstanceID = randomAppInstanceID();
                persistedConfig_->setShouldSetLastAdvertisingIDResetUserProperty(true);
            }
            hash = candidateHash;
            changed = true;
        }
        deviceID = candidate;
    } else if (candidate && *candidate == kMSRZeroDeviceID) {
        deviceID.reset();
    }

    if (changed) {
        if (!MSRConsentSettingsUtil::isAnalyticsStorageDenied()) {
            persistedConfig_->setAppInstanceID(appInstanceID ? *appInstanceID : randomAppInstanceID());
        }
        if (!adStorageDenied) {
            persistedConfig_->setHashedResettableDeviceID(hash);
        }
    }
    lastAppInstanceIDUpdateTimestamp_ = current;
    // After the fetch: the answer follows the ID just read, not the one before.
    limitedAdTracking_ = identitySupport_->limitedAdTracking();
    resettableDeviceID_ = deviceID;
    appleConsentStatus_ = status;
}

void MSRIdentity::updateIdentifiers() {
    queue_->async([this] { refreshIdentifiersOnQueue(); });
}

// Each read below refreshes first, in the same turn of the queue: the same
// order as a queued refresh followed by the read, without a second turn.
void MSRIdentity::updateIdentifiersAndWait() {
    queue_->sync([this] { refreshIdentifiersOnQueue(); });
}

std::optional<std::string> MSRIdentity::appInstanceID() {
    if (MSRConsentSettingsUtil::isAnalyticsStorageDenied()) {
        return std::nullopt;
    }
    return queue_->syncResult([this] {
        refreshIdentifiersOnQueue();
        return persistedConfig_->appInstanceID();
    });
}

void MSRIdentity::setAppInstanceID(std::optional<std::string> appInstanceID) {
    queue_->async(
        [this, appInstanceID = std::move(appInstanceID)] { persistedConfig_->setAppInstanceID(appInstanceID); });
}

std::optional<std::string> MSRIdentity::hashedResettableDeviceID() {
    if (MSRConsentSettingsUtil::isAdStorageDenied()) {
        return std::nullopt;
    }
    return queue_->syncResult([this] {
        refreshIdentifiersOnQueue();
        return persistedConfig_->hashedResettableDeviceID();
    });
}

std::optional<std::string> MSRIdentity::resettableDeviceID() {
    return queue_->syncResult([this] {
        refreshIdentifiersOnQueue();
        return resettableDeviceID_;
    });
}

bool MSRIdentity::limitedAdTracking() {
    return queue_->syncResult([this] {
        refreshIdentifiersOnQueue();
        return limitedAdTracking_;
    });
}

std::int64_t MSRIdentity::appleConsentStatus() {
    return queue_->syncResult([this] {
        refreshIdentifiersOnQueue();
        return appleConsentStatus_;
    });
}

bool MSRIdentity::hasLimitedAdTracking() {
    updateIdentifiersAndWait();
    return identitySupport_->hasLimitedAdTracking();
}

bool MSRIdentity::isFromAppStore() const { return MSRAEU::isFAS(); }

std::optional<std::string> MSRIdentity::appIDFromLMP() {
    return queue_->syncResult([this] { return appIDFromLMP_; });
}

void MSRIdentity::setAppIDFromLMP(std::string_view appID) {
    if (appID.empty()) {
        identity_texts::log(identity_texts::kEmptyAppID);
        return;
    }
    queue_->async([this, appID = std::string(appID)] {
        if (appIDFromLMPTaken_) {
            return;
        }
        appIDFromLMPTaken_ = true;
        appIDFromLMP_ = appID;
    });
}

bool MSRIdentity::shouldSetLastAdvertisingIDResetUserProperty() {
    return queue_->syncResult([this] { return persistedConfig_->shouldSetLastAdvertisingIDResetUserProperty(); });
}

void MSRIdentity::setShouldSetLastAdvertisingIDResetUserProperty(bool value) {
    queue_->async([this, value] { persistedConfig_->setShouldSetLastAdvertisingIDResetUserProperty(value); });
}

std::string MSRIdentity::randomAppInstanceID() {
    platform::RandomSource& source = random_ ? *random_ : platform::systemRandom();
    std::uint64_t high = source.next();
    std::uint64_t low = source.next();
    // Version 4, variant 10.
    high = (high & ~std::uint64_t{0xF000}) | std::uint64_t{0x4000};
    low = (low & ~(std::uint64_t{0xC} << 60)) | (std::uint64_t{0x8} << 60);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(32, '0');
    for (int index = 0; index < 16; ++index) {
        text[static_cast<std::size_t>(15 - index)] = kHex[(high >> (4 * index)) & 0xF];
        text[static_cast<std::size_t>(31 - index)] = kHex[(low >> (4 * index)) & 0xF];
    }
    return text;
}

std::optional<std::string> MSRIdentity::sessionStitchingTokenWithSessionNumber(std::int64_t sessionNumber,
                                                                               bool sessionExpired,
                                                                               bool userIDAvailable) {
    if (MSRConsentSettingsUtil::isAnalyticsStorageDenied()) {
        return std::nullopt;
    }
    return queue_->syncResult([&]() -> std::optional<std::string> {
        const bool sameSession = sessionNumber == lastSessionNumber_ && sessionExpired == lastIsSessionExpired_;
        const bool resumedAfterExpiry =
            sessionNumber == lastSessionNumber_ + 1 && lastIsSessionExpired_ && !sessionExpired;
        if (!sameSession && !resumedAfterExpiry) {
            resetSessionStitchingTokenOnWorkerQueue();
        }
        lastSessionNumber_ = sessionNumber;
        lastIsSessionExpired_ = sessionExpired;
        const platform::TimePoint current = now();
        if (!userIDAvailable && sessionStitchingTokenExpirationTime_ &&
            *sessionStitchingTokenExpirationTime_ <= current) {
            resetSessionStitchingTokenOnWorkerQueue();
        }
        if (!sessionStitchingToken_) {
            sessionStitchingToken_ = randomAppInstanceID();
            if (!userIDAvailable) {
                sessionStitchingTokenExpirationTime_ =
                    current + std::chrono::duration_cast<platform::TimePoint::duration>(kTokenLifetime);
            }
        }
        return sessionStitchingToken_;
    });
}

void MSRIdentity::resetSessionStitchingToken() {
    queue_->async([this] { resetSessionStitchingTokenOnWorkerQueue(); });
}

void MSRIdentity::resetSessionStitchingTokenOnWorkerQueue() {
    sessionStitchingToken_.reset();
    sessionStitchingTokenExpirationTime_.reset();
}

std::string MSRIdentity::diversionKey() {
    return queue_->syncResult([this] {
        std::optional<std::string> key = persistedConfig_->diversionKey();
        if (!key || key->size() != kDiversionKeyLength) {
            key = randomAppInstanceID().substr(0, kDiversionKeyLength);
            persistedConfig_->setDiversionKey(key);
        }
        return *key;
    });
}

std::string MSRIdentity::ephemeralAppInstanceID() {
    return queue_->syncResult([this] {
        if (!ephemeralAppInstanceID_) {
            ephemeralAppInstanceID_ = randomAppInstanceID();
        }
        return *ephemeralAppInstanceID_;
    });
}

void MSRIdentity::resetEphemeralAppInstanceID() {
    queue_->async([this] { resetEphemeralAppInstanceIDOnWorkerQueue(); });
}

void MSRIdentity::resetEphemeralAppInstanceIDOnWorkerQueue() { ephemeralAppInstanceID_.reset(); }

std::optional<std::string> MSRIdentity::haloInstallationID() const {
    std::lock_guard lock(installationMutex_);
    return haloInstallationID_;
}

void MSRIdentity::setHaloInstallationID(std::optional<std::string> installationID) {
    std::lock_guard lock(installationMutex_);
    haloInstallationID_ = std::move(installationID);
}

std::vector<std::int64_t> MSRIdentity::numericFieldsFromAppVersionNumeric(std::string_view version) {
    std::vector<std::int64_t> fields;
    std::size_t start = 0;
    while (start <= version.size()) {
        const std::size_t end = std::min(version.find('.', start), version.size());
        const std::string_view part = version.substr(start, end - start);
        start = end + 1;
        if (part.empty()) {
            continue;
        }
        std::string digits;
        std::copy_if(part.begin(), part.end(), std::back_inserter(digits),
                     [](char character) { return character >= '0' && character <= '9'; });
        if (digits.size() != part.size()) {
            identity_texts::log(identity_texts::kVersionNotNumeric);
        }
        // Saturates rather than overflows on a long run of digits.
        fields.push_back(platform::Value(digits).integerValue().value_or(0));
    }
    return fields;
}

}  // namespace kit::measurement

#include "kit/measurement/controller/MSRMeasurement.h"

#include "MSRLifecycleReports.h"
#include "UserPropertiesLines.h"
#include "UserPropertyNames.h"
#include "kit/core/MainBundle.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRLogDescriptions.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Bundle.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

// User properties, the personalised-ads decision, the session ID and user
// data.
namespace kit::measurement {

using namespace user_properties_lines;

namespace {

constexpr std::string_view kAllowAdNetworkRegistrationKey = "LUMEN_ANALYTICS_REGISTRATION_WITH_AD_NETWORK_ENABLED";
// An internal property of one origin is refused once its origin has this
// many; the same number the public query reports.
constexpr std::int64_t kMaxUserPropertiesPerOrigin = 25;
constexpr std::int64_t kUserPropertyLimitErrorCode = 9;

platform::Error noStoreError() {
    return msr_errorWithCode(MSRErrorCode::invalidArgument, "The measurement store is not open");
}

// A stored value read as a 64-bit number: doubles cut toward zero, within range.
std::int64_t int64FromValue(const MSRValue& value) {
    if (value.isInt64()) {
        return value.int64Value();
    }
    if (value.isDouble()) {
        const double number = value.doubleValue();
        if (std::isfinite(number) && number >= -9.2e18 && number <= 9.2e18) {
            return static_cast<std::int64_t>(number);
        }
    }
    return 0;
}

// Plist numbers and booleans are both numbers to the settings read here.
bool isPlistNumber(const platform::Value& value) { return value.isNumber() || value.isBool(); }

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return text;
}

}  // namespace

const platform::Value& MSRMeasurement::infoDictionary() const {
    return environment_.infoDictionary ? *environment_.infoDictionary : kit::mainBundle().infoDictionary();
}

// --- Setting and removing

void MSRMeasurement::setUserAttribute(const MSRUserAttribute& attribute) {
    scheduleWeakBlock("MSRMeasurement:2894",
                      [attribute](MSRMeasurement& self) { self.setUserAttributeOnWorkerQueue(attribute); });
}

void MSRMeasurement::setUserAttributeOnWorkerQueue(const MSRUserAttribute& attribute) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setUserAttributeOnWorkerQueue");
    if (!isEnabled()) {
        log(kDisabledNotSet);
        return;
    }
    setUserPropertyInDatabaseOnWorkerQueue(attribute);
}

void MSRMeasurement::setUserPropertyInDatabaseOnWorkerQueue(const MSRUserAttribute& attribute) {
    storeUserPropertyOnWorkerQueue(attribute);
}

bool MSRMeasurement::storeUserPropertyOnWorkerQueue(const MSRUserAttribute& attribute) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setUserPropertyInDatabaseOnWorkerQueue");
    const std::string nameDescription = MSRUserPropertyNameDescription(attribute.name());
    if (database_ == nullptr) {
        log(kExistenceQueryFailed, nameDescription, noStoreError());
        return false;
    }
    const auto exists = database_->containsUserAttributeWithName(attribute.name());
    if (!exists) {
        log(kExistenceQueryFailed, nameDescription, exists.error());
        return false;
    }
    if (attribute.name() == kUserIDProperty && *exists) {
        // A new user: the stitching token and the reset marker belonged to the old one.
        const auto stored = database_->userAttributeWithName(kUserIDProperty);
        if (stored && stored->has_value() && (*stored)->value().description() != attribute.value().description()) {
            if (identity_ != nullptr) {
                identity_->resetSessionStitchingToken();
            }
            if (const auto deleted = database_->deleteUserAttributeWithName(kLastAdvertisingIDResetProperty);
                !deleted) {
                log(kPropertyNotRemoved, MSRUserPropertyNameDescription(kLastAdvertisingIDResetProperty),
                    deleted.error());
            }
        }
    }
    if (attribute.name() == kNonPersonalizedAdsProperty) {
        updateAdPersonalizationConsentFromNPAValue(MSRValue::initWithInt64(int64FromValue(attribute.value())));
    }
    if (!*exists) {
        const bool isPublic = attribute.isPublic();
        const auto count = isPublic ? database_->publicUserAttributeCount()
                                    : database_->userAttributeCountForOrigin(attribute.origin());
        if (!count) {
            log(kCountQueryFailed, attribute.origin(), count.error());
            return false;
        }
        const std::int64_t limit =
            isPublic ? std::int64_t{remoteConfigInstance() != nullptr
                                        ? remoteConfigInstance()->maxPublicUserProperties()
                                        : MSRRemoteConfig::defaultInstance()->maxPublicUserProperties()}
                     : kMaxUserPropertiesPerOrigin;
        if (*count >= limit) {
            log(kOriginLimitReached, attribute.origin(), nameDescription, attribute.value().description());
            MSRLogErrorEvent(kUserPropertyLimitErrorCode);
            return false;
        }
    }
    if (const auto stored = database_->updateUserAttribute(attribute); !stored) {
        log(kPropertyNotSet, nameDescription, attribute.value().description(), stored.error());
        return false;
    }
    log(kPropertySet, nameDescription, attribute.value().description());
    return true;
}

void MSRMeasurement::removeUserAttribute(const MSRUserAttribute& attribute) {
    scheduleWeakBlock("MSRMeasurement:2849",
                      [attribute](MSRMeasurement& self) { self.removeUserAttributeOnWorkerQueue(attribute); });
}

void MSRMeasurement::removeUserAttributeOnWorkerQueue(const MSRUserAttribute& attribute) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("removeUserAttributeOnWorkerQueue");
    if (!isEnabled()) {
        log(kDisabledNotRemoved);
        return;
    }
    const std::string nameDescription = MSRUserPropertyNameDescription(attribute.name());
    if (attribute.name() == kUserIDProperty && identity_ != nullptr) {
        identity_->resetSessionStitchingToken();
    }
    const auto deleted = database_ != nullptr ? database_->deleteUserAttributeWithName(attribute.name())
                                              : platform::Expected<void>(platform::unexpected(noStoreError()));
    if (!deleted) {
        log(kPropertyNotRemoved, nameDescription, deleted.error());
        return;
    }
    log(kPropertyRemoved, nameDescription);
}

// --- Reading back

void MSRMeasurement::userAttributeWithName(std::string_view name,
                                           std::function<void(std::optional<MSRUserAttribute>)> callback) {
    if (!callback) {
        log(kNoNameCallback);
        return;
    }
    scheduleWeakBlock(
        "MSRMeasurement:3035", [name = std::string(name), callback = std::move(callback)](MSRMeasurement& self) {
            std::optional<MSRUserAttribute> attribute;
            if (self.database_ != nullptr) {
                if (auto read = self.database_->userAttributeWithName(name)) {
                    attribute = std::move(*read);
                } else {
                    log(kReadByNameFailed, MSRUserPropertyNameDescription(name), read.error());
                }
            } else {
                log(kReadByNameFailed, MSRUserPropertyNameDescription(name), noStoreError());
            }
            platform::globalQueue().async([callback, attribute = std::move(attribute)] { callback(attribute); });
        });
}

void MSRMeasurement::userPropertiesIncludingInternal(bool includingInternal,
                                                     std::function<void(platform::Value::Dictionary)> callback) {
    if (!callback) {
        log(kNoPropertiesCallback);
        return;
    }
    scheduleWeakBlock("MSRMeasurement:3090", [includingInternal, callback = std::move(callback)](MSRMeasurement& self) {
        platform::Value::Dictionary properties;
        auto read = self.database_ != nullptr
                        ? self.database_->userAttributesIncludingInternal(includingInternal)
                        : platform::Expected<std::vector<MSRUserAttribute>>(platform::unexpected(noStoreError()));
        if (!read) {
            log(kReadAllFailed, read.error());
        } else {
            for (const auto& attribute : *read) {
                const MSRValue& value = attribute.value();
                if (attribute.name().empty()) {
                    log(kInvalidPublicProperty);
                } else if (const std::string* text = value.stringValue()) {
                    properties[attribute.name()] = platform::Value(*text);
                } else if (value.isDouble()) {
                    properties[attribute.name()] = platform::Value(value.doubleValue());
                } else if (value.isInt64()) {
                    properties[attribute.name()] = platform::Value(value.int64Value());
                }
            }
        }
        platform::globalQueue().async([callback, properties = std::move(properties)] { callback(properties); });
    });
}

void MSRMeasurement::maxUserPropertiesForOrigin(std::string_view origin, std::function<void(std::int64_t)> callback) {
    if (origin.empty()) {
        log(kNoMaxOrigin);
        return;
    }
    if (!callback) {
        log(kNoMaxCallback, origin);
        return;
    }
    platform::globalQueue().async([callback = std::move(callback)] { callback(kMaxUserPropertiesPerOrigin); });
}

// --- Personalised ads

std::optional<bool> MSRMeasurement::shouldDisableAdPersonalization() {
    if (const auto allowed = persistedConfig_->allowPersonalizedAds(); allowed && !allowed->isNull()) {
        return !allowed->boolValue().value_or(false);
    }
    if (const auto settings = MSRConsentSettingsUtil::consentSettings();
        settings && settings->find(kMSRConsentTypeAdPersonalization) != settings->end()) {
        // An entry that is neither granted nor denied allows nothing.
        return MSRConsentSettingsUtil::adPersonalization().value_or(0) == 0;
    }
    if (const platform::Value* flag = infoDictionary().find(kMSRPlistDefaultAllowAdPersonalization)) {
        if (isPlistNumber(*flag)) {
            lifecycleReports_->noteAdPersonalizationPlistFlag();
            return !flag->boolValue().value_or(false);
        }
        return false;
    }
    if (const auto defaults = MSRConsentSettingsUtil::defaultSettings()) {
        if (const auto entry = defaults->find(kMSRConsentTypeAdPersonalization);
            entry != defaults->end() && entry->second.isString()) {
            const std::string setting = lowerCased(*entry->second.asString());
            if (setting == kMSRConsentDenied) {
                return true;
            }
            if (setting == kMSRConsentGranted) {
                return false;
            }
        }
    }
    return std::nullopt;
}

bool MSRMeasurement::shouldAllowAdNetworkRegistration() const {
    if (const platform::Value* flag = infoDictionary().find(kAllowAdNetworkRegistrationKey);
        flag != nullptr && isPlistNumber(*flag)) {
        return flag->boolValue().value_or(false);
    }
    return true;
}

// --- User ID and the advertising-ID reset marker

void MSRMeasurement::setLastAdvertisingIDResetUserPropertyOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setLastAdvertisingIDResetUserPropertyOnWorkerQueue");
    if (!hasUserPropertyUserIDOnWorkerQueue()) {
        return;
    }
    const auto hasMarker = database_->containsUserAttributeWithName(kLastAdvertisingIDResetProperty);
    if (!hasMarker || *hasMarker) {
        return;
    }
    if (const auto marker = MSRUserAttribute::initWithOrigin("auto", kLastAdvertisingIDResetProperty,
                                                             MSRValue::initWithInt64(1), nowSince1970())) {
        setUserAttributeOnWorkerQueue(*marker);
    }
    if (identity_ != nullptr) {
        identity_->setShouldSetLastAdvertisingIDResetUserProperty(false);
    }
}

bool MSRMeasurement::hasUserPropertyUserIDOnWorkerQueue() {
    if (database_ == nullptr) {
        return false;
    }
    return database_->containsUserAttributeWithName(kUserIDProperty).valueOr(false);
}

// --- Session ID

void MSRMeasurement::sessionIDWithCompletion(MSRSessionIDCompletion completion) {
    if (!completion) {
        return;
    }
    scheduler_->scheduleOnWorkerQueueBlockID(
        "MSRMeasurement:3242", [weak = weak_from_this(), completion = std::move(completion)] {
            const auto self = weak.lock();
            if (self == nullptr) {
                completion(0, msr_errorWithCode(MSRErrorCode::sessionIDUnavailable, "Analytics deallocated"));
                return;
            }
            if (!self->isEnabled()) {
                completion(0, msr_errorWithCode(MSRErrorCode::sessionIDUnavailable, "Analytics disabled"));
                return;
            }
            if (self->sessionReporter_ == nullptr || self->sessionReporter_->isSessionExpired()) {
                completion(0, msr_errorWithCode(MSRErrorCode::sessionIDUnavailable, "Session expired"));
                return;
            }
            if (self->database_ != nullptr) {
                if (const auto stored = self->database_->userAttributeWithName(kSessionIDProperty);
                    stored && stored->has_value() && !(*stored)->value().isString() && !(*stored)->value().isArray()) {
                    completion(int64FromValue((*stored)->value()), std::nullopt);
                    return;
                }
            }
            completion(0, msr_errorWithCode(MSRErrorCode::sessionIDUnavailable, "Session ID not found"));
        });
}

// --- User data

void MSRMeasurement::setUserData(const platform::Value::Dictionary& userData) {
    scheduleWeakBlock("MSRMeasurement:3249",
                      [userData](MSRMeasurement& self) { self.setUserDataOnWorkerQueue(userData); });
}

}  // namespace kit::measurement

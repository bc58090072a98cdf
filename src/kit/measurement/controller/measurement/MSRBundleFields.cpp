#include "kit/measurement/controller/MSRMeasurement.h"

#include "BundleSlots.h"
#include "EventTexts.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <string>
#include <vector>

// The identity and consent fields every bundle carries, filled into the
// metadata template when an event is written and again at upload.
namespace kit::measurement {

namespace {

namespace slot = bundle_slots;

// The tracking consent status the platform reports when it has none to give.
constexpr std::int64_t kTrackingStatusUnavailable = 6;
// Denied by the user: the advertising identifier is gated when asked to.
constexpr std::int64_t kTrackingStatusDenied = 3;

// The consent signals give the ad-storage state at index 2 and the
// analytics-storage state at index 3.
constexpr std::size_t kAdStorageIndex = 2;
constexpr std::size_t kAnalyticsStorageIndex = 3;
constexpr std::size_t kMinimumSignalsLength = 4;

bool isDeniedState(char state) { return state == '0' || state == 'D' || state == 'd'; }

bool isDeniedAt(std::string_view signals, std::size_t index) {
    return signals.size() > index && isDeniedState(signals[index]);
}

void setStringIfUnset(MSRPBMeasurementBundle& bundle, int field, std::string_view value) {
    if (!NanoMessageHasField(bundle, field)) {
        NanoMessageSetString(bundle, field, value);
    }
}

}  // namespace

void MSRFillBundleIdentityFields(MSRPBMeasurementBundle& bundle, std::string_view consentSignals,
                                 bool gateIDFAOnATTMASEnabled, MSRIdentity& identity, bool overwrite) {
    bool adStorageDenied = false;
    bool analyticsStorageDenied = false;
    if (consentSignals.size() < kMinimumSignalsLength) {
        if (consentSignals.empty() && NanoMessageHasField(bundle, slot::kConsentSignals)) {
            NanoMessageClearField(bundle, slot::kConsentSignals);
        }
    } else {
        std::string signals(consentSignals);
        if (overwrite || !NanoMessageHasField(bundle, slot::kConsentSignals)) {
            NanoMessageSetString(bundle, slot::kConsentSignals, signals);
        } else {
            signals = NanoMessageGetString(bundle, slot::kConsentSignals).value_or("");
        }
        adStorageDenied = isDeniedAt(signals, kAdStorageIndex);
        analyticsStorageDenied = isDeniedAt(signals, kAnalyticsStorageIndex);
    }

    bool trackingGated = false;
    if (identity.iOS14OrAbove()) {
        const std::int64_t status = identity.appleConsentStatus();
        if (status != kTrackingStatusUnavailable) {
            NanoMessageSetInt32(bundle, slot::kTrackingConsentStatus, static_cast<std::int32_t>(status));
        }
        trackingGated = gateIDFAOnATTMASEnabled && status != kTrackingStatusDenied;
    }

    const bool hasLimitedAdTracking = identity.hasLimitedAdTracking();
    const std::optional<std::string> resettableDeviceID = identity.resettableDeviceID();
    const bool mayUseResettableDeviceID =
        hasLimitedAdTracking && resettableDeviceID.has_value() && !adStorageDenied && !trackingGated;
    const std::optional<std::string> vendorDeviceID = identity.identifierForVendor();
    if (mayUseResettableDeviceID) {
        setStringIfUnset(bundle, slot::kResettableDeviceID, *resettableDeviceID);
        NanoMessageClearField(bundle, slot::kVendorDeviceID);
    } else if (analyticsStorageDenied || !vendorDeviceID) {
        NanoMessageClearField(bundle, slot::kResettableDeviceID);
        NanoMessageClearField(bundle, slot::kVendorDeviceID);
    } else {
        setStringIfUnset(bundle, slot::kVendorDeviceID, *vendorDeviceID);
        NanoMessageClearField(bundle, slot::kResettableDeviceID);
    }

    if (!analyticsStorageDenied) {
        if (const auto appInstanceID = identity.appInstanceID(); appInstanceID && !appInstanceID->empty()) {
            setStringIfUnset(bundle, slot::kAppInstanceID, *appInstanceID);
        }
    }
    if (adStorageDenied) {
        NanoMessageClearField(bundle, slot::kResettableDeviceID);
    }
    if (analyticsStorageDenied) {
        NanoMessageClearField(bundle, slot::kVendorDeviceID);
        NanoMessageClearField(bundle, slot::kAppInstanceID);
        NanoMessageClearField(bundle, slot::kSessionStitchingToken);
        NanoMessageClearField(bundle, slot::kAudienceEvaluationResults);
    }
    if (hasLimitedAdTracking) {
        NanoMessageSetBool(bundle, slot::kLimitedAdTracking, identity.limitedAdTracking());
    }
}

void MSRFillBundleConsentFields(MSRPBMeasurementBundle& bundle, std::string_view consentDiagnostics,
                                bool adUserDataDenied, const std::optional<MSRPBUserAttribute>& npaAttribute,
                                const MSRRemoteConfig& remoteConfig, bool overwrite) {
    if (overwrite || !NanoMessageHasField(bundle, slot::kConsentDiagnostics)) {
        NanoMessageSetString(bundle, slot::kConsentDiagnostics, consentDiagnostics);
    }
    const bool isDMARegion = remoteConfig.isDMARegion();
    if (overwrite || !NanoMessageHasField(bundle, slot::kDMARegion)) {
        NanoMessageSetBool(bundle, slot::kDMARegion, isDMARegion);
    }
    if (overwrite || !NanoMessageHasField(bundle, slot::kCorePlatformServices)) {
        // A set keeps the names sorted.
        const std::set<std::string> services = remoteConfig.corePlatformServices();
        if (adUserDataDenied || services.empty()) {
            NanoMessageSetString(bundle, slot::kCorePlatformServices, "-");
        } else if (!isDMARegion) {
            NanoMessageClearField(bundle, slot::kCorePlatformServices);
        } else if (NanoMessageGetBool(bundle, slot::kDMARegion)) {
            std::string joined;
            for (const std::string& service : services) {
                joined += service;
            }
            NanoMessageSetString(bundle, slot::kCorePlatformServices, joined);
        }
    }
    if (!npaAttribute) {
        return;
    }
    std::vector<MSRPBUserAttribute> attributes = NanoMessageGetArray<MSRPBUserAttribute>(bundle, slot::kUserAttributes)
                                                     .value_or(std::vector<MSRPBUserAttribute>{});
    bool found = false;
    for (MSRPBUserAttribute& attribute : attributes) {
        if (NanoMessageGetString(attribute, slot::kUserAttributeName) == event_texts::kNonPersonalizedAdsPropertyName) {
            found = true;
            if (overwrite) {
                attribute = *npaAttribute;
            }
            break;
        }
    }
    if (found && !overwrite) {
        return;
    }
    if (!found) {
        attributes.push_back(*npaAttribute);
    }
    NanoMessageSetArray(bundle, slot::kUserAttributes, attributes);
}

}  // namespace kit::measurement

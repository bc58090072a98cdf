#include "kit/measurement/controller/MSRMeasurement.h"

#include "BundleSlots.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <algorithm>

// What decides which bundles travel together and which fields they lose.
namespace kit::measurement {

namespace {

namespace bundle = bundle_slots;

std::vector<MSRPBUserAttribute> userAttributes(const MSRPBMeasurementBundle& message) {
    return NanoMessageGetArray<MSRPBUserAttribute>(message, bundle::kUserAttributes)
        .value_or(std::vector<MSRPBUserAttribute>{});
}

// The integer value of the bundle's "_npa" attribute; nothing without one.
std::optional<std::int64_t> npaValue(const MSRPBMeasurementBundle& message) {
    for (const MSRPBUserAttribute& attribute : userAttributes(message)) {
        if (NanoMessageGetString(attribute, bundle_slots::kUserAttributeName) == "_npa") {
            return NanoMessageGetInt64(attribute, bundle_slots::kUserAttributeIntValue);
        }
    }
    return std::nullopt;
}

}  // namespace

bool MSRBundleHasFirstOpenEvent(const MSRPBMeasurementBundle& message) {
    const auto events = NanoMessageGetArray<MSRPBEvent>(message, bundle::kEvents).value_or(std::vector<MSRPBEvent>{});
    return std::ranges::any_of(
        events, [](const MSRPBEvent& event) { return NanoMessageGetString(event, event_slots::kName) == "_f"; });
}

bool MSRBundlesHaveCompatibleMetadata(const MSRPBMeasurementBundle& first, const MSRPBMeasurementBundle& second) {
    for (const int slot : {bundle::kConsentSignals, bundle::kConsentDiagnostics, bundle::kCorePlatformServices}) {
        if (NanoMessageGetString(first, slot) != NanoMessageGetString(second, slot)) {
            return false;
        }
    }
    if (NanoMessageGetBool(first, bundle::kDMARegion) != NanoMessageGetBool(second, bundle::kDMARegion)) {
        return false;
    }
    const auto firstNPA = npaValue(first);
    const auto secondNPA = npaValue(second);
    if (!firstNPA && !secondNPA) {
        return true;
    }
    return firstNPA.value_or(0) == secondNPA.value_or(0);
}

void MSRApplyDataControls(MSRPBMeasurementBundle& message, const std::set<std::string, std::less<>>& redactedFields,
                          MSRIdentity& identity) {
    if (redactedFields.empty()) {
        return;
    }
    const auto redacts = [&](std::string_view field) { return redactedFields.contains(field); };
    if (redacts("app_instance_id")) {
        NanoMessageClearField(message, bundle::kAppInstanceID);
        const std::string signals = NanoMessageGetString(message, bundle::kConsentSignals).value_or(std::string());
        if (MSRIsAnalyticsStorageDeniedInSignals(signals)) {
            NanoMessageClearField(message, bundle::kEphemeralAppInstanceID);
        } else {
            NanoMessageSetString(message, bundle::kEphemeralAppInstanceID, identity.ephemeralAppInstanceID());
        }
    }
    if (redacts("user_id")) {
        std::vector<MSRPBUserAttribute> attributes = userAttributes(message);
        const auto removed = std::ranges::remove_if(attributes, [](const MSRPBUserAttribute& attribute) {
            return NanoMessageGetString(attribute, bundle_slots::kUserAttributeName) == "_id";
        });
        if (!removed.empty()) {
            attributes.erase(removed.begin(), removed.end());
            NanoMessageSetArray(message, bundle::kUserAttributes, attributes);
        }
    }
    if (redacts("os_version") || redacts("device_info")) {
        if (auto version = NanoMessageGetString(message, bundle::kOSVersion)) {
            if (const auto dot = version->find('.'); dot != std::string::npos) {
                NanoMessageSetString(message, bundle::kOSVersion, std::string_view(*version).substr(0, dot));
            }
        }
    }
    if (redacts("device_model") || redacts("device_info")) {
        NanoMessageClearField(message, bundle::kDeviceModel);
    }
    if (redacts("enhanced_user_id")) {
        NanoMessageClearField(message, bundle::kSessionStitchingToken);
    }
    NanoMessageSetArray(message, bundle::kRedactedFields,
                        std::vector<std::string>(redactedFields.begin(), redactedFields.end()));
}

bool MSRIsAnalyticsStorageDeniedInSignals(std::string_view consentSignals) {
    return consentSignals.size() > 3 &&
           (consentSignals[3] == '0' || consentSignals[3] == 'D' || consentSignals[3] == 'd');
}

}  // namespace kit::measurement

#include "kit/measurement/controller/HLOConnectorUtils.h"

namespace kit::measurement {
namespace {

// The two anchored patterns "^_ltv_[A-Z]{3}$" and "^_cc[1-5]$", checked by
// hand: fixed shapes that need no expression engine on every call.
bool matchesBlocklistedPattern(std::string_view name) {
    const auto isCapital = [](char character) { return character >= 'A' && character <= 'Z'; };
    if (name.size() == 8 && name.starts_with("_ltv_")) {
        return isCapital(name[5]) && isCapital(name[6]) && isCapital(name[7]);
    }
    return name.size() == 4 && name.starts_with("_cc") && name[3] >= '1' && name[3] <= '5';
}

}  // namespace

const HLOConnectorUtils::NameSet& HLOConnectorUtils::allowedListenerOrigins() {
    static const NameSet& names = *new NameSet{"fiam", "crash", "clx"};
    return names;
}

const HLOConnectorUtils::NameSet& HLOConnectorUtils::blocklistedOrigins() {
    static const NameSet& names = *new NameSet{"auto", "app", "am"};
    return names;
}

const HLOConnectorUtils::NameSet& HLOConnectorUtils::blocklistedEventNames() {
    static const NameSet& names = *new NameSet{"_e", "_f", "_iap", "_s", "_au"};
    return names;
}

const HLOConnectorUtils::NameSet& HLOConnectorUtils::blocklistedParameters() {
    static const NameSet& names = *new NameSet{"_r", "_dbg"};
    return names;
}

const HLOConnectorUtils::NameSet& HLOConnectorUtils::blocklistedUserProperties() {
    static const NameSet& names = *new NameSet{"_fot", "_ln", "_id", "_fi", "_lte", "_sid", "_sno"};
    return names;
}

const HLOConnectorUtils::NameSet& HLOConnectorUtils::hiddenEventNames() {
    static const NameSet& names =
        *new NameSet{"_xa",   "_xu", "_aq",      "_aa",        "_ai",           "_ac",          "campaign_details",
                     "_iapx", "_ug", "_exp_set", "_exp_clear", "_exp_activate", "_exp_timeout", "_exp_expire"};
    return names;
}

bool HLOConnectorUtils::isOriginAllowed(std::string_view origin) { return !blocklistedOrigins().contains(origin); }

bool HLOConnectorUtils::isAppOrigin(std::string_view origin) { return origin == "app" || origin.starts_with("app+"); }

bool HLOConnectorUtils::isListenerOriginAllowed(std::string_view origin) {
    return allowedListenerOrigins().contains(origin);
}

bool HLOConnectorUtils::isEventNameAllowedForListeners(std::string_view name) {
    return !hiddenEventNames().contains(name);
}

bool HLOConnectorUtils::isEventNameAllowedForListenerOrigin(std::string_view name, std::string_view origin) {
    return name == "_vs" && origin == "clx";
}

bool HLOConnectorUtils::shouldLogEventWithName(std::string_view name, const platform::Value::Dictionary& parameters) {
    if (name.empty() || blocklistedEventNames().contains(name)) {
        return false;
    }
    for (const auto& parameter : blocklistedParameters()) {
        if (parameters.contains(parameter)) {
            return false;
        }
    }
    return true;
}

bool HLOConnectorUtils::isUserPropertyAllowed(std::string_view name, std::string_view origin) {
    if (name.empty()) {
        return false;
    }
    if (name == "_ln") {
        return origin == "fcm" || origin == "fiam";
    }
    return !blocklistedUserProperties().contains(name) && !matchesBlocklistedPattern(name);
}

bool HLOConnectorUtils::isUserPropertyAllowedForQuery(std::string_view name) {
    return !name.empty() && (name == "_fot" || !name.starts_with("_"));
}

}  // namespace kit::measurement

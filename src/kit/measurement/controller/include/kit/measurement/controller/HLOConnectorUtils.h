#pragma once

#include "platform/Value.h"

#include <set>
#include <string>
#include <string_view>

namespace kit::measurement {

// The fixed lists that decide which origins, events, parameters and user
// properties other components may pass through the connector.
class HLOConnectorUtils {
public:
    using NameSet = std::set<std::string, std::less<>>;

    static const NameSet& allowedListenerOrigins();
    static const NameSet& blocklistedOrigins();
    static const NameSet& blocklistedEventNames();
    static const NameSet& blocklistedParameters();
    static const NameSet& blocklistedUserProperties();
    static const NameSet& hiddenEventNames();

    static bool isOriginAllowed(std::string_view origin);
    // "app", or "app" followed by "+" and more.
    static bool isAppOrigin(std::string_view origin);
    static bool isListenerOriginAllowed(std::string_view origin);
    static bool isEventNameAllowedForListeners(std::string_view name);
    static bool isEventNameAllowedForListenerOrigin(std::string_view name, std::string_view origin);
    static bool shouldLogEventWithName(std::string_view name, const platform::Value::Dictionary& parameters);
    static bool isUserPropertyAllowed(std::string_view name, std::string_view origin);
    static bool isUserPropertyAllowedForQuery(std::string_view name);
};

}  // namespace kit::measurement

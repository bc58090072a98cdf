#pragma once

#include "kit/core/MainBundle.h"
#include "platform/Bundle.h"
#include "platform/Value.h"

#include <filesystem>
#include <optional>

namespace kit::measurement {

// The service-info file "LumenService-Info.plist" of the application.
class MSRLumenServiceFileUtil {
public:
    // Its path in the bundle's resources (the main bundle by default), when there.
    static std::optional<std::filesystem::path> lumenServiceInfoPlistPath(
        const platform::Bundle& bundle = kit::mainBundle());
    // Its dictionary; none when absent or not a dictionary plist.
    static std::optional<platform::Value> dictionaryFromLumenServiceInfoPlist(
        const platform::Bundle& bundle = kit::mainBundle());
};

}  // namespace kit::measurement

#include "kit/core/KitPaths.h"

#include "kit/core/MainBundle.h"
#include "platform/Bundle.h"
#include "platform/Paths.h"

namespace kit {

std::filesystem::path kitDataDirectory() {
    std::string identifier = kit::mainBundle().bundleIdentifier();
    if (identifier.empty() || identifier.find('/') != std::string::npos || identifier == "." || identifier == "..") {
        identifier = "org.stubforge.Stubforge";
    }
    return platform::paths::dataHome() / identifier;
}

}  // namespace kit

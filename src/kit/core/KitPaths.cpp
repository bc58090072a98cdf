#include "kit/core/KitPaths.h"

#include "platform/Bundle.h"
#include "platform/Paths.h"

namespace kit {

std::filesystem::path kitDataDirectory() {
    std::string identifier = platform::Bundle::main().bundleIdentifier();
    if (identifier.empty() || identifier.find('/') != std::string::npos || identifier == "." || identifier == "..") {
        identifier = "org.stubforge.Stubforge";
    }
    return platform::paths::dataHome() / identifier;
}

}  // namespace kit

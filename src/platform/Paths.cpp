#include "platform/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform::paths {

namespace fs = std::filesystem;

fs::path home() {
    if (const char* value = std::getenv("HOME"); value != nullptr && value[0] == '/') {
        return value;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

namespace {

fs::path fromEnvironment(const char* variable, const char* fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    return home() / fallbackUnderHome;
}

}  // namespace

fs::path dataHome() { return fromEnvironment("XDG_DATA_HOME", ".local/share"); }
fs::path configHome() { return fromEnvironment("XDG_CONFIG_HOME", ".config"); }
fs::path cacheHome() { return fromEnvironment("XDG_CACHE_HOME", ".cache"); }
fs::path applicationSupport() { return dataHome(); }
fs::path settingsFolder() { return configHome() / "Stubforge"; }

}  // namespace platform::paths

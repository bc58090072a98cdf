#pragma once

#include <filesystem>

namespace platform::paths {

// The user's home folder ($HOME, else the password database).
std::filesystem::path home();

// XDG base directories. A relative value in the variable is ignored, as the
// XDG base directory rules say, and the default under the home folder used.
std::filesystem::path dataHome();    // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path configHome();  // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path cacheHome();   // $XDG_CACHE_HOME or ~/.cache

// What the application calls "Application Support": the XDG data home.
std::filesystem::path applicationSupport();

// Where the application keeps its settings suites: <config>/Stubforge.
std::filesystem::path settingsFolder();

}  // namespace platform::paths

#pragma once

#include <filesystem>

namespace kit {

// $XDG_DATA_HOME/<bundle identifier>/: every file of the kit lives here.
// Read afresh on each call; nothing is created.
std::filesystem::path kitDataDirectory();

}  // namespace kit

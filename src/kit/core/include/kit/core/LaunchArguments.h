#pragma once

#include <string>
#include <string_view>
#include <vector>

// The process's launch arguments, as the kit's debug switches read them.
// The host's main() sets them; until it does they are read once from
// /proc/self/cmdline.
namespace kit {

void setLaunchArguments(std::vector<std::string> arguments);
std::vector<std::string> launchArguments();
bool launchArgumentsContain(std::string_view argument);

// Tests only: forget what was set, so the next read goes to /proc again.
void resetLaunchArgumentsForTesting();

}  // namespace kit

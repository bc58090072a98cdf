#pragma once

#include <string>
#include <string_view>
#include <vector>

// The launch arguments, as the kit's debug switches read them: the
// process's, which the host's main() sets (until it does they are read
// once from /proc/self/cmdline), unless the current kit context was given
// its own.
namespace kit {

// The process's; main() calls it before anything reads them.
void setLaunchArguments(std::vector<std::string> arguments);
// The current kit context's own, in place of the process's.
void setContextLaunchArguments(std::vector<std::string> arguments);
std::vector<std::string> launchArguments();
bool launchArgumentsContain(std::string_view argument);

}  // namespace kit

#include "kit/core/LaunchArguments.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

namespace kit {

namespace {

std::mutex argumentsMutex;
std::optional<std::vector<std::string>> knownArguments;  // guarded by argumentsMutex

std::vector<std::string> readProcessArguments() {
    std::ifstream stream("/proc/self/cmdline", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        arguments.emplace_back(bytes, start, end - start);
        start = end + 1;
    }
    return arguments;
}

}  // namespace

void setLaunchArguments(std::vector<std::string> arguments) {
    std::lock_guard lock(argumentsMutex);
    knownArguments = std::move(arguments);
}

std::vector<std::string> launchArguments() {
    std::lock_guard lock(argumentsMutex);
    if (!knownArguments) {
        knownArguments = readProcessArguments();
    }
    return *knownArguments;
}

bool launchArgumentsContain(std::string_view argument) {
    const auto arguments = launchArguments();
    return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
}

void resetLaunchArgumentsForTesting() {
    std::lock_guard lock(argumentsMutex);
    knownArguments.reset();
}

}  // namespace kit

#include "kit/core/LaunchArguments.h"

#include "kit/core/KitContext.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

namespace kit {

namespace {

// The process's: a fact of the process, set once by main() or read once.
std::mutex argumentsMutex;
std::optional<std::vector<std::string>> knownArguments;  // guarded by argumentsMutex

// A kit context's own, when it was given some.
struct ContextArguments {
    std::mutex mutex;
    std::optional<std::vector<std::string>> arguments;  // guarded by mutex
};

ContextArguments& contextArguments() { return KitContext::current().service<ContextArguments>(); }

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

void setContextLaunchArguments(std::vector<std::string> arguments) {
    ContextArguments& context = contextArguments();
    std::lock_guard lock(context.mutex);
    context.arguments = std::move(arguments);
}

std::vector<std::string> launchArguments() {
    {
        ContextArguments& context = contextArguments();
        std::lock_guard lock(context.mutex);
        if (context.arguments) {
            return *context.arguments;
        }
    }
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

}  // namespace kit

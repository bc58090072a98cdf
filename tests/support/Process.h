#pragma once

// Runs a shell command for a test and collects what it printed.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::testing {

struct CommandResult {
    int exitCode = -1;   // -1 when the command did not exit normally
    std::string output;  // stdout, and stderr unless the command redirects it
};

// `text` as one single-quoted shell word.
inline std::string shellQuote(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs `command` through the shell with stderr joined to stdout (unless
// `joinStderr` is false). Throws when the shell cannot be started.
inline CommandResult runCommand(const std::string& command, bool joinStderr = true) {
    CommandResult result;
    FILE* pipe = ::popen((joinStderr ? command + " 2>&1" : command).c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + command);
    }
    std::array<char, 4096> buffer{};
    for (std::size_t read = 0; (read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        result.output.append(buffer.data(), read);
    }
    const int status = ::pclose(pipe);
    result.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// True when `tool` is on the PATH.
inline bool toolInstalled(std::string_view tool) {
    return runCommand("command -v " + shellQuote(tool) + " >/dev/null").exitCode == 0;
}

}  // namespace platform::testing

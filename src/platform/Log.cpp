#include "platform/Log.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

namespace platform {

std::string_view logTypeName(LogType type) {
    static constexpr std::array<std::string_view, 6> names{"debug", "info", "notice", "warning", "error", "fault"};
    return names[static_cast<std::size_t>(type)];
}

void LogSink::log(std::string_view subsystem, std::string_view category, LogType type, std::string_view line) {
    write(LogEntry{std::string(subsystem), std::string(category), type, std::string(line)});
}

void StderrLogSink::write(const LogEntry& entry) {
    std::string text = entry.line;
    text.push_back('\n');
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nowhere left to report a failing stderr
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

void CaptureLogSink::write(const LogEntry& entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
}

std::vector<LogEntry> CaptureLogSink::drain() {
    std::lock_guard lock(mutex_);
    return std::exchange(entries_, {});
}

std::vector<std::string> CaptureLogSink::drainLines() {
    std::vector<std::string> lines;
    for (auto& entry : drain()) {
        lines.push_back(std::move(entry.line));
    }
    return lines;
}

LogSink& standardLogSink() {
    static StderrLogSink& sink = *new StderrLogSink();
    return sink;
}

}  // namespace platform

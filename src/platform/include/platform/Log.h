#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The one road for diagnostics. Library code never prints: it hands whole
// lines to a LogSink, which writes them to stderr by default; tests capture
// them. A program's standard output carries only its result.
namespace platform {

enum class LogType { debug, info, notice, warning, error, fault };

std::string_view logTypeName(LogType type);

struct LogEntry {
    std::string subsystem;  // "org.stubforge.sham", "org.stubforge.core", the kit's service
    std::string category;   // the component: "Parser", "Utils", …
    LogType type = LogType::info;
    std::string line;  // the text as the system words it, without a line end
};

class LogSink {
public:
    virtual ~LogSink() = default;
    // Takes one whole line; safe to call from any thread.
    virtual void write(const LogEntry& entry) = 0;

    void log(std::string_view subsystem, std::string_view category, LogType type, std::string_view line);
};

// Writes each entry's line to stderr in one write(2), so lines from several
// threads never interleave.
class StderrLogSink final : public LogSink {
public:
    void write(const LogEntry& entry) override;
};

// Keeps every entry until drained; for tests.
class CaptureLogSink final : public LogSink {
public:
    void write(const LogEntry& entry) override;
    // The entries written since the last drain, oldest first.
    std::vector<LogEntry> drain();
    // Only the lines of drain().
    std::vector<std::string> drainLines();

private:
    std::mutex mutex_;
    std::vector<LogEntry> entries_;  // guarded by mutex_
};

// The process's stderr sink; what a context or component logs to unless it
// is handed another.
LogSink& standardLogSink();

}  // namespace platform

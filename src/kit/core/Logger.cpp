#include "kit/core/Logger.h"

#include "kit/core/MainBundle.h"
#include "kit/core/Environment.h"
#include "kit/core/KitContext.h"
#include "kit/core/LaunchArguments.h"
#include "platform/UserDefaults.h"
#include "platform/concurrency/SerialQueue.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <limits>
#include <mutex>
#include <string>

namespace kit {

std::atomic<int> detail::kitWrittenUpTo{detail::kKitSlowPath};

namespace {

constexpr std::string_view kSDKVersion = "11.9.0";
constexpr int kDefaultMaximumLevel = LMULoggerLevelNotice;

// The logger of a kit context. Levels and flags are atomics read on every
// call; set-up runs once under its mutex and publishes through the ready
// flags.
struct LoggerState {
    LoggerState() {
        // Built first, so destroyed after the queue that may still write to it.
        platform::standardLogSink();
        // Nothing is decided yet in this context: every kit line takes the
        // slow path until the set-up publishes the level.
        detail::kitWrittenUpTo.store(detail::kKitSlowPath, std::memory_order_relaxed);
    }

    std::mutex setUpMutex;
    std::atomic<bool> utilitiesReady{false};  // written under setUpMutex
    std::atomic<bool> kitReady{false};        // written under setUpMutex

    std::atomic<int> maximumLevel{kDefaultMaximumLevel};
    std::atomic<bool> debugMode{false};
    std::atomic<bool> analyticsDebugMode{false};

    std::mutex outputMutex;
    std::string versionPrefix;                // guarded by outputMutex
    std::shared_ptr<platform::LogSink> sink;  // guarded by outputMutex; null: the stderr sink

    // Lines keep their submission order here.
    platform::SerialQueue queue{std::string(kLMULoggingQueueLabel)};
};

// The current context's logger. Without a context, the process's stand-in
// holds it: other objects' destructors and the last blocks of other queues
// may log while the process exits, and the lines queued by then are written
// out by an exit handler.
LoggerState& state() {
    static const bool flushedAtExit = [] {
        std::atexit([] { state().queue.sync([] {}); });
        return true;
    }();
    (void)flushedAtExit;
    return KitContext::current().service<LoggerState>();
}

// With setUpMutex held, after any change of the level or the flags.
void publishKitThreshold(LoggerState& logger) {
    int upTo = detail::kKitSlowPath;
    if (logger.kitReady.load(std::memory_order_relaxed) && !logger.analyticsDebugMode.load(std::memory_order_relaxed)) {
        upTo = logger.debugMode.load(std::memory_order_relaxed) ? std::numeric_limits<int>::max()
                                                                : logger.maximumLevel.load(std::memory_order_relaxed);
    }
    detail::kitWrittenUpTo.store(upTo, std::memory_order_relaxed);
}

bool levelWanted(LoggerState& logger, int level, bool forced) noexcept {
    return forced || logger.debugMode.load(std::memory_order_relaxed) ||
           level <= logger.maximumLevel.load(std::memory_order_relaxed);
}

void ensureUtilities(LoggerState& logger) {
    if (logger.utilitiesReady.load(std::memory_order_acquire)) {
        return;
    }
    std::lock_guard lock(logger.setUpMutex);
    if (!logger.utilitiesReady.load(std::memory_order_relaxed)) {
        logger.maximumLevel.store(kDefaultMaximumLevel, std::memory_order_relaxed);
        logger.utilitiesReady.store(true, std::memory_order_release);
    }
}

void submit(LoggerState& logger, int level, std::string_view subsystem, std::string_view category,
            std::string_view code, const std::string& message) {
    std::string prefix;
    {
        std::lock_guard lock(logger.outputMutex);
        prefix = logger.versionPrefix;
    }
    platform::LogEntry entry;
    entry.subsystem = std::string(subsystem);
    entry.category = std::string(category);
    entry.type = LMULogTypeForLevel(level);
    entry.line.reserve(prefix.size() + category.size() + code.size() + message.size() + 6);
    entry.line.append(prefix).append(" - ").append(category).append("[").append(code).append("] ").append(message);
    // Decided now, so that a line keeps the debug mode it was written in.
    const bool stderrTakes = entry.type != platform::LogType::debug || logger.debugMode.load(std::memory_order_relaxed);
    logger.queue.async([&logger, stderrTakes, entry = std::move(entry)] {
        std::shared_ptr<platform::LogSink> sink;
        {
            std::lock_guard lock(logger.outputMutex);
            sink = logger.sink;
        }
        if (sink) {
            sink->write(entry);
        } else if (stderrTakes) {
            platform::standardLogSink().write(entry);
        }
    });
}

void writeLine(int level, std::string_view subsystem, std::string_view category, bool forced, std::string_view code,
               std::string_view message, const LogArguments* arguments) {
    LoggerState& logger = state();
    ensureUtilities(logger);
    if (!levelWanted(logger, level, forced)) {
        return;
    }
    submit(logger, level, subsystem, category, code,
           arguments != nullptr ? platform::formatMessage(message, *arguments) : std::string(message));
}

// The kit's debug switches, once per process.
void ensureKit(LoggerState& logger) {
    if (logger.kitReady.load(std::memory_order_acquire)) {
        return;
    }
    std::unique_lock lock(logger.setUpMutex);
    if (logger.kitReady.load(std::memory_order_relaxed)) {
        return;
    }
    {
        std::lock_guard output(logger.outputMutex);
        logger.versionPrefix = std::string(kSDKVersion);
    }
    bool enableDebugMode = false;
    std::string failure;
    try {
        platform::UserDefaults& defaults = kit::standardDefaults();
        const bool stored = defaults.boolForKey(kHLODebugModeDefaultsKey);
        if (launchArgumentsContain(kHLODebugDisabledArgument)) {
            defaults.removeObject(kHLODebugModeDefaultsKey);
        } else if (launchArgumentsContain(kHLODebugEnabledArgument) || stored) {
            enableDebugMode = true;
            // Kept for later launches without the argument.
            defaults.set(kHLODebugModeDefaultsKey, true);
        }
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (!logger.utilitiesReady.load(std::memory_order_relaxed)) {
        logger.maximumLevel.store(kDefaultMaximumLevel, std::memory_order_relaxed);
        logger.utilitiesReady.store(true, std::memory_order_release);
    }
    if (enableDebugMode && !LMUAppEnvironmentUtil::isFromAppStore()) {
        logger.debugMode.store(true, std::memory_order_relaxed);
        logger.maximumLevel.store(LMULoggerLevelDebug, std::memory_order_relaxed);
    }
    logger.kitReady.store(true, std::memory_order_release);
    publishKitThreshold(logger);
    lock.unlock();
    if (!failure.empty()) {
        LMULogWarningMessage(kHLOLoggerSubsystem, kHLOLoggerServiceCore, false, "I-COR000024",
                             "Cannot store the debug mode setting: %@", failure);
    }
}

}  // namespace

std::string_view HLOSDKVersionString() { return kSDKVersion; }

platform::LogType LMULogTypeForLevel(int level) {
    switch (level) {
    case 4:
    case 5:
        return platform::LogType::notice;
    case 6:
        return platform::LogType::info;
    case 7:
        return platform::LogType::debug;
    default:
        return platform::LogType::error;
    }
}

void LMULoggerEnsureSetUp() { ensureUtilities(state()); }

void LMULoggerEnableDebugMode() {
    LoggerState& logger = state();
    ensureUtilities(logger);
    if (LMUAppEnvironmentUtil::isFromAppStore()) {
        return;
    }
    std::lock_guard lock(logger.setUpMutex);
    logger.debugMode.store(true, std::memory_order_relaxed);
    logger.maximumLevel.store(LMULoggerLevelDebug, std::memory_order_relaxed);
    publishKitThreshold(logger);
}

void LMUSetLoggerMaximumLevel(long level) {
    if (level < LMULoggerLevelMin || level > LMULoggerLevelMax) {
        LMULogErrorMessage(kLMULoggerSubsystem, "[LMULogger]", true, "I-COR000023", "Invalid logger level, %ld", level);
        return;
    }
    LoggerState& logger = state();
    ensureUtilities(logger);
    // An App Store build never logs above warning.
    if (level >= LMULoggerLevelNotice && LMUAppEnvironmentUtil::isFromAppStore()) {
        return;
    }
    std::lock_guard lock(logger.setUpMutex);
    logger.maximumLevel.store(static_cast<int>(level), std::memory_order_relaxed);
    publishKitThreshold(logger);
}

int LMULoggerMaximumLevel() {
    LoggerState& logger = state();
    ensureUtilities(logger);
    return logger.maximumLevel.load(std::memory_order_relaxed);
}

void LMULoggerSetVersionPrefix(std::string_view prefix) {
    LoggerState& logger = state();
    std::lock_guard lock(logger.outputMutex);
    logger.versionPrefix = std::string(prefix);
}

bool LMUIsLevelLoggable(int level) {
    LoggerState& logger = state();
    ensureUtilities(logger);
    return levelWanted(logger, level, false);
}

void LMULogMessageWithLevel(int level, std::string_view subsystem, std::string_view category, bool forced,
                            std::string_view code, std::string_view format, const LogArguments& arguments) {
    writeLine(level, subsystem, category, forced, code, format, &arguments);
}

void LMULogMessageWithLevel(int level, std::string_view subsystem, std::string_view category, bool forced,
                            std::string_view code, std::string_view message) {
    writeLine(level, subsystem, category, forced, code, message, nullptr);
}

namespace detail {

bool utilitiesLineWanted(int level, bool forced) noexcept {
    LoggerState& logger = state();
    ensureUtilities(logger);
    return levelWanted(logger, level, forced);
}

bool kitLineWanted(int level, std::string_view service, bool& forced) noexcept {
    LoggerState& logger = state();
    ensureKit(logger);
    forced = logger.analyticsDebugMode.load(std::memory_order_relaxed) && service == kHLOLoggerServiceAnalytics;
    return levelWanted(logger, level, forced);
}

}  // namespace detail

void LMULoggerWrapper::logWithLevel(int level, std::string_view subsystem, std::string_view category,
                                    std::string_view messageCode, std::string_view message,
                                    const LogArguments& arguments) {
    LMULogMessageWithLevel(level, subsystem, category, false, messageCode, message, arguments);
}

void LMULoggerWrapper::logWithLevel(int level, std::string_view service, std::string_view code,
                                    std::string_view message, const LogArguments& arguments) {
    LMULogMessageWithLevel(level, kLMULoggerSubsystem, service, false, code, message, arguments);
}

void HLOLoggerEnsureSetUp() { ensureKit(state()); }

void HLOSetAnalyticsDebugModeFlag(bool enabled) {
    LoggerState& logger = state();
    ensureKit(logger);
    std::lock_guard lock(logger.setUpMutex);
    logger.analyticsDebugMode.store(enabled, std::memory_order_relaxed);
    publishKitThreshold(logger);
}

void HLOSetLoggerMaximumLevel(long level) {
    HLOLoggerEnsureSetUp();
    LMUSetLoggerMaximumLevel(level);
}

int HLOLoggerMaximumLevel() {
    HLOLoggerEnsureSetUp();
    return LMULoggerMaximumLevel();
}

void HLOSetLoggerLevelToNotice() { HLOSetLoggerMaximumLevel(LMULoggerLevelNotice); }
void HLOSetLoggerLevelToWarning() { HLOSetLoggerMaximumLevel(LMULoggerLevelWarning); }
void HLOSetLoggerLevelToError() { HLOSetLoggerMaximumLevel(LMULoggerLevelError); }
void HLOSetLoggerLevelToDebug() { HLOSetLoggerMaximumLevel(LMULoggerLevelDebug); }

bool HLOIsLevelLoggable(int level, bool analyticsComponent) {
    LoggerState& logger = state();
    ensureKit(logger);
    if (logger.analyticsDebugMode.load(std::memory_order_relaxed) && analyticsComponent) {
        return true;
    }
    return LMUIsLevelLoggable(level);
}

bool HLOIsNoticeLoggable() { return HLOIsLevelLoggable(LMULoggerLevelNotice, false); }
bool HLOIsWarningLoggable() { return HLOIsLevelLoggable(LMULoggerLevelWarning, false); }
bool HLOIsErrorLoggable() { return HLOIsLevelLoggable(LMULoggerLevelError, false); }
bool HLOIsDebugLoggable() { return HLOIsLevelLoggable(LMULoggerLevelDebug, false); }

void HLOLogMessageWithLevel(int level, std::string_view service, std::string_view code, std::string_view format,
                            const LogArguments& arguments) {
    bool forced = false;
    if (detail::kitLineWanted(level, service, forced)) {
        LMULogMessageWithLevel(level, kHLOLoggerSubsystem, service, forced, code, format, arguments);
    }
}

void HLOLogErrorMessageV(std::string_view service, std::string_view code, std::string_view format,
                         const LogArguments& arguments) {
    HLOLogMessageWithLevel(LMULoggerLevelError, service, code, format, arguments);
}
void HLOLogWarningMessageV(std::string_view service, std::string_view code, std::string_view format,
                           const LogArguments& arguments) {
    HLOLogMessageWithLevel(LMULoggerLevelWarning, service, code, format, arguments);
}
void HLOLogNoticeMessageV(std::string_view service, std::string_view code, std::string_view format,
                          const LogArguments& arguments) {
    HLOLogMessageWithLevel(LMULoggerLevelNotice, service, code, format, arguments);
}
void HLOLogInfoMessageV(std::string_view service, std::string_view code, std::string_view format,
                        const LogArguments& arguments) {
    HLOLogMessageWithLevel(LMULoggerLevelInfo, service, code, format, arguments);
}
void HLOLogDebugMessageV(std::string_view service, std::string_view code, std::string_view format,
                         const LogArguments& arguments) {
    HLOLogMessageWithLevel(LMULoggerLevelDebug, service, code, format, arguments);
}

void HLOLoggerWrapper::logWithLevel(int level, std::string_view service, std::string_view code,
                                    std::string_view message) {
    bool forced = false;
    if (detail::kitLineWanted(level, service, forced)) {
        LMULogMessageWithLevel(level, kHLOLoggerSubsystem, service, forced, code, message);
    }
}

void LMULoggerInstallSink(std::shared_ptr<platform::LogSink> sink) {
    LoggerState& logger = state();
    std::lock_guard lock(logger.outputMutex);
    logger.sink = std::move(sink);
}

void LMULoggerFlush() {
    state().queue.sync([] {});
}

}  // namespace kit

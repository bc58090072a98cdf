#pragma once

#include "platform/Log.h"
#include "platform/MessageFormat.h"

#include <atomic>
#include <memory>
#include <string_view>
#include <vector>

// The kit's logger, in two layers. The utilities layer keeps the maximum
// level, the debug-mode flag and the serial output queue; the kit layer adds
// the SDK version prefix, the debug switches of the launch arguments and the
// user defaults, and the forced lines of the analytics service.
//
// Callers log from any thread. A dropped line costs a flag check and one
// comparison: the arguments are not even converted. A written line is
// formatted on the caller's thread and handed to the output queue; the
// caller never waits for the sink.
namespace kit {

using LogArguments = std::vector<platform::MessageArgument>;

// Levels; a valid maximum level lies between error and debug.
enum LMULoggerLevel : int {
    LMULoggerLevelError = 3,
    LMULoggerLevelWarning = 4,
    LMULoggerLevelNotice = 5,
    LMULoggerLevelInfo = 6,
    LMULoggerLevelDebug = 7,
    LMULoggerLevelMin = LMULoggerLevelError,
    LMULoggerLevelMax = LMULoggerLevelDebug,
};

inline constexpr std::string_view kLMULoggerSubsystem = "com.lumen.utilities.logger";
inline constexpr std::string_view kHLOLoggerSubsystem = "com.lumen.halo";
inline constexpr std::string_view kHLOLoggerServiceCore = "[HaloCore]";
inline constexpr std::string_view kHLOLoggerServiceAnalytics = "[HaloAnalytics]";
inline constexpr std::string_view kLMULoggingQueueLabel = "LMULoggingClientQueue";
inline constexpr std::string_view kHLODebugEnabledArgument = "-HLODebugEnabled";
inline constexpr std::string_view kHLODebugDisabledArgument = "-HLODebugDisabled";
inline constexpr std::string_view kHLODebugModeDefaultsKey = "/lumen/halo/debug_mode";

// "11.9.0".
std::string_view HLOSDKVersionString();

// The platform log type a level is written with.
platform::LogType LMULogTypeForLevel(int level);

// --- Utilities layer

void LMULoggerEnsureSetUp();
// Debug mode and the maximum level 7, unless the app comes from the App Store.
void LMULoggerEnableDebugMode();
// A level outside 3…7 is refused with a forced error line.
void LMUSetLoggerMaximumLevel(long level);
int LMULoggerMaximumLevel();
void LMULoggerSetVersionPrefix(std::string_view prefix);
bool LMUIsLevelLoggable(int level);

// Fills `format` from `arguments` and writes the line unless it is dropped.
void LMULogMessageWithLevel(int level, std::string_view subsystem, std::string_view category, bool forced,
                            std::string_view code, std::string_view format, const LogArguments& arguments);
// With no argument list: `message` is written as it is.
void LMULogMessageWithLevel(int level, std::string_view subsystem, std::string_view category, bool forced,
                            std::string_view code, std::string_view message);

namespace detail {
// Set-up, then: would a line of `level` be written?
bool utilitiesLineWanted(int level, bool forced) noexcept;
// Kit set-up, then: is a line of `service` forced, and would it be written?
bool kitLineWanted(int level, std::string_view service, bool& forced) noexcept;

template <int Level, typename... Arguments>
void logUtilities(std::string_view subsystem, std::string_view category, bool forced, std::string_view code,
                  std::string_view format, const Arguments&... arguments) {
    if (utilitiesLineWanted(Level, forced)) {
        LMULogMessageWithLevel(Level, subsystem, category, forced, code, format,
                               LogArguments{platform::MessageArgument(arguments)...});
    }
}
}  // namespace detail

template <typename... Arguments>
void LMULogErrorMessage(std::string_view subsystem, std::string_view category, bool forced, std::string_view code,
                        std::string_view format, const Arguments&... arguments) {
    detail::logUtilities<LMULoggerLevelError>(subsystem, category, forced, code, format, arguments...);
}
template <typename... Arguments>
void LMULogWarningMessage(std::string_view subsystem, std::string_view category, bool forced, std::string_view code,
                          std::string_view format, const Arguments&... arguments) {
    detail::logUtilities<LMULoggerLevelWarning>(subsystem, category, forced, code, format, arguments...);
}
template <typename... Arguments>
void LMULogNoticeMessage(std::string_view subsystem, std::string_view category, bool forced, std::string_view code,
                         std::string_view format, const Arguments&... arguments) {
    detail::logUtilities<LMULoggerLevelNotice>(subsystem, category, forced, code, format, arguments...);
}
template <typename... Arguments>
void LMULogInfoMessage(std::string_view subsystem, std::string_view category, bool forced, std::string_view code,
                       std::string_view format, const Arguments&... arguments) {
    detail::logUtilities<LMULoggerLevelInfo>(subsystem, category, forced, code, format, arguments...);
}
template <typename... Arguments>
void LMULogDebugMessage(std::string_view subsystem, std::string_view category, bool forced, std::string_view code,
                        std::string_view format, const Arguments&... arguments) {
    detail::logUtilities<LMULoggerLevelDebug>(subsystem, category, forced, code, format, arguments...);
}

struct LMULoggerWrapper {
    // Not forced.
    static void logWithLevel(int level, std::string_view subsystem, std::string_view category,
                             std::string_view messageCode, std::string_view message, const LogArguments& arguments);
    // Subsystem "com.lumen.utilities.logger", not forced.
    static void logWithLevel(int level, std::string_view service, std::string_view code, std::string_view message,
                             const LogArguments& arguments);
};

// --- Kit layer

// Once per process: the version prefix, then the debug switches (see the
// launch arguments and "/lumen/halo/debug_mode").
void HLOLoggerEnsureSetUp();
void HLOSetAnalyticsDebugModeFlag(bool enabled);
void HLOSetLoggerMaximumLevel(long level);
int HLOLoggerMaximumLevel();
void HLOSetLoggerLevelToNotice();
void HLOSetLoggerLevelToWarning();
void HLOSetLoggerLevelToError();
void HLOSetLoggerLevelToDebug();
bool HLOIsLevelLoggable(int level, bool analyticsComponent);
bool HLOIsNoticeLoggable();
bool HLOIsWarningLoggable();
bool HLOIsErrorLoggable();
bool HLOIsDebugLoggable();

void HLOLogMessageWithLevel(int level, std::string_view service, std::string_view code, std::string_view format,
                            const LogArguments& arguments);

namespace detail {
// The highest level a kit line is written at, published once the kit layer
// is set up, so that a dropped line costs one load and one comparison.
// kKitSlowPath before set-up and while the analytics flag may force lines.
inline constexpr int kKitSlowPath = -1;
extern std::atomic<int> kitWrittenUpTo;

template <int Level, typename... Arguments>
void logKit(std::string_view service, std::string_view code, std::string_view format, const Arguments&... arguments) {
    if (const int upTo = kitWrittenUpTo.load(std::memory_order_relaxed); upTo != kKitSlowPath && Level > upTo) {
        return;
    }
    bool forced = false;
    if (kitLineWanted(Level, service, forced)) {
        LMULogMessageWithLevel(Level, kHLOLoggerSubsystem, service, forced, code, format,
                               LogArguments{platform::MessageArgument(arguments)...});
    }
}
}  // namespace detail

template <typename... Arguments>
void HLOLogErrorMessage(std::string_view service, std::string_view code, std::string_view format,
                        const Arguments&... arguments) {
    detail::logKit<LMULoggerLevelError>(service, code, format, arguments...);
}
template <typename... Arguments>
void HLOLogWarningMessage(std::string_view service, std::string_view code, std::string_view format,
                          const Arguments&... arguments) {
    detail::logKit<LMULoggerLevelWarning>(service, code, format, arguments...);
}
template <typename... Arguments>
void HLOLogNoticeMessage(std::string_view service, std::string_view code, std::string_view format,
                         const Arguments&... arguments) {
    detail::logKit<LMULoggerLevelNotice>(service, code, format, arguments...);
}
template <typename... Arguments>
void HLOLogInfoMessage(std::string_view service, std::string_view code, std::string_view format,
                       const Arguments&... arguments) {
    detail::logKit<LMULoggerLevelInfo>(service, code, format, arguments...);
}
template <typename... Arguments>
void HLOLogDebugMessage(std::string_view service, std::string_view code, std::string_view format,
                        const Arguments&... arguments) {
    detail::logKit<LMULoggerLevelDebug>(service, code, format, arguments...);
}

void HLOLogErrorMessageV(std::string_view service, std::string_view code, std::string_view format,
                         const LogArguments& arguments);
void HLOLogWarningMessageV(std::string_view service, std::string_view code, std::string_view format,
                           const LogArguments& arguments);
void HLOLogNoticeMessageV(std::string_view service, std::string_view code, std::string_view format,
                          const LogArguments& arguments);
void HLOLogInfoMessageV(std::string_view service, std::string_view code, std::string_view format,
                        const LogArguments& arguments);
void HLOLogDebugMessageV(std::string_view service, std::string_view code, std::string_view format,
                         const LogArguments& arguments);

struct HLOLoggerWrapper {
    // `message` is written as it is, never used as a format.
    static void logWithLevel(int level, std::string_view service, std::string_view code, std::string_view message);
};

// --- Output

// Where written lines go. Until one is installed they go to the stderr sink,
// which takes debug-type lines only in debug mode; an installed sink (a
// host's, a test's capture sink) takes every written line.
void LMULoggerInstallSink(std::shared_ptr<platform::LogSink> sink);

// Waits until every line submitted so far has reached the sink.
void LMULoggerFlush();

}  // namespace kit

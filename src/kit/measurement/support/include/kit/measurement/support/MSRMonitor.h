#pragma once

#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/Random.h"
#include "platform/Value.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {
class SerialQueue;
}

// The measurement engine's one logging interface. Each line has a level,
// a code unique to its call site, a message and up to three contexts. The
// monitor decides whether the line reaches the console (through the SDK
// log) and whether it is counted in the sampled health data that leaves
// with each bundle; contexts are encoded so that no user data leaves.
namespace kit::measurement {

class MSRUserDefaults;

// Where the measurement engine's lines go in the SDK log: the subsystem, and
// the category every line carries unless the options name another tag.
inline constexpr std::string_view kMSRLogSubsystem = "com.lumen.halo.analytics";
inline constexpr std::string_view kMSRDefaultLogTag = "<LumenMeasurement>";

// What a block raised, as far as a context needs it: its name and reason.
// Without call stacks the last measurement symbol is the name.
struct MSRException {
    std::string name;
    std::string reason;
    std::vector<std::string> callStackSymbols;
};

// The exception a caught block failure stands for.
MSRException MSRExceptionFromCurrentException();

// One context object of a log line.
class MSRLogContext {
public:
    struct Null {};
    using Storage =
        std::variant<Null, std::string, std::int64_t, double, platform::Error, MSRException, platform::Value>;

    MSRLogContext() = default;
    MSRLogContext(std::nullptr_t) {}                                           // NOLINT: implicit by design
    MSRLogContext(std::string text) : storage_(std::move(text)) {}             // NOLINT
    MSRLogContext(std::string_view text) : storage_(std::string(text)) {}      // NOLINT
    MSRLogContext(const char* text) : storage_(std::string(text)) {}           // NOLINT
    MSRLogContext(int value) : storage_(std::int64_t{value}) {}                // NOLINT
    MSRLogContext(long value) : storage_(std::int64_t{value}) {}               // NOLINT
    MSRLogContext(long long value) : storage_(std::int64_t{value}) {}          // NOLINT
    MSRLogContext(unsigned value) : storage_(std::int64_t{value}) {}           // NOLINT
    MSRLogContext(double value) : storage_(value) {}                           // NOLINT
    MSRLogContext(platform::Error error) : storage_(std::move(error)) {}       // NOLINT
    MSRLogContext(MSRException exception) : storage_(std::move(exception)) {}  // NOLINT
    // Numbers and text become those kinds; anything else stays a value.
    MSRLogContext(const platform::Value& value);  // NOLINT

    const Storage& storage() const noexcept { return storage_; }

private:
    Storage storage_;
};

using MSRLogContexts = std::vector<MSRLogContext>;

// Where console lines go: the SDK log, or a test's capture.
class MSRLogging {
public:
    virtual ~MSRLogging() = default;
    virtual void logMessage(std::string_view message, std::string_view logTag, std::int64_t messageCode,
                            std::int64_t logLevel) = 0;
};

// The adapter into the SDK log: subsystem "com.lumen.halo.analytics", the
// tag as category, code "I-ACS%06ld", forced at level 7. The message is
// written exactly as given.
class MSRASLLogger final : public MSRLogging {
public:
    static int LMULoggerLevelFromLogLevel(std::int64_t logLevel);
    void logMessage(std::string_view message, std::string_view logTag, std::int64_t messageCode,
                    std::int64_t logLevel) override;
};

// The one sampled line, or none, of the health data.
class MSRMonitoringSampledData {
public:
    struct Entry {
        std::string context;
        std::int32_t population = 0;
        std::string key;
        platform::TimePoint start;
    };

    MSRMonitoringSampledData() = default;
    // From the stored four-element array; anything else gives an empty sample.
    explicit MSRMonitoringSampledData(const std::optional<platform::Value>& array);

    // The first line starts the entry; each later one adds to the
    // population (saturating) and replaces key and context with
    // probability 1/population.
    void insertOrUpdateSampledDataWithKey(std::string_view key, std::string_view encodedContext,
                                          platform::TimePoint now, platform::RandomSource& random);
    // The URL parameter when the entry is due (dropping it), "0:" when there
    // is none and the last sample is older than the period, else nothing.
    std::optional<std::string> monitoringDataForDispatchWithSamplePeriod(double samplePeriod,
                                                                         double lastSampledTimestamp,
                                                                         platform::TimePoint now);

    const std::optional<Entry>& entry() const noexcept { return entry_; }
    // The stored array of the entry, or nothing.
    std::optional<platform::Value> sampledData() const;

    static bool isValidUserDefaultsArrayEntry(const platform::Value& array);
    static std::optional<platform::Value> sampledDataEntryWithKey(std::optional<std::string_view> key,
                                                                  std::optional<platform::TimePoint> timestamp,
                                                                  std::optional<std::string_view> context,
                                                                  std::optional<std::int32_t> population);
    static std::string monitoringURLParamWithKey(std::string_view key, std::int32_t population,
                                                 std::string_view context);

private:
    std::optional<Entry> entry_;
};

// What a monitor takes from its surroundings; each has a default.
struct MSRMonitorEnvironment {
    // The App Store probe; the default says no.
    std::function<bool()> isFromAppStore;
    // The shared user defaults (standard suite) and the monitor's suite.
    std::shared_ptr<MSRUserDefaults> sharedUserDefaults;
    std::shared_ptr<MSRUserDefaults> monitorUserDefaults;
    std::shared_ptr<platform::RandomSource> random;
    const platform::Clock* clock = nullptr;
    // Sees every line as it is logged, before any filtering (tests).
    std::function<void(int level, std::uint64_t messageCode, std::string_view message, const MSRLogContexts&)> observer;
};

class MSRMonitor {
public:
    using Environment = MSRMonitorEnvironment;

    explicit MSRMonitor(std::int64_t libraryVersion);
    MSRMonitor(int logLevel, std::shared_ptr<MSRLogging> logger, std::int64_t libraryVersion,
               Environment environment = {});
    ~MSRMonitor();
    MSRMonitor(const MSRMonitor&) = delete;
    MSRMonitor& operator=(const MSRMonitor&) = delete;

    int logLevel() const noexcept { return logLevel_.load(std::memory_order_relaxed); }
    void setLogLevel(int level) noexcept { logLevel_.store(level, std::memory_order_relaxed); }
    std::string logTag() const;
    void setLogTag(std::string tag);
    bool encodeContexts() const noexcept { return encodeContexts_.load(std::memory_order_relaxed); }
    void setEncodeContexts(bool encode) noexcept { encodeContexts_.store(encode, std::memory_order_relaxed); }
    bool isDebugModeEnabled() const noexcept { return debugModeEnabled_.load(std::memory_order_relaxed); }
    bool isVerboseLoggingEnabled() const noexcept { return verboseLoggingEnabled_.load(std::memory_order_relaxed); }
    bool sdkLogLevelFromConfiguration() const noexcept { return sdkLogLevelFromConfiguration_; }

    void setDebugModeEnabled(bool enabled);
    void setVerboseLoggingEnabled(bool enabled);
    void setSSTDebugModeEnabled(bool enabled);

    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message) {
        logWithLevel(level, messageCode, message, MSRLogContexts{});
    }
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message, MSRLogContext context) {
        if (wantsLine(level)) {
            logWithLevel(level, messageCode, message, MSRLogContexts{std::move(context)});
        }
    }
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message, MSRLogContext first,
                      MSRLogContext second) {
        if (wantsLine(level)) {
            logWithLevel(level, messageCode, message, MSRLogContexts{std::move(first), std::move(second)});
        }
    }
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message, MSRLogContext first,
                      MSRLogContext second, MSRLogContext third) {
        if (wantsLine(level)) {
            logWithLevel(level, messageCode, message,
                         MSRLogContexts{std::move(first), std::move(second), std::move(third)});
        }
    }
    // Would a line of this level be written or sampled at all? Cheap: no
    // allocation, so callers can skip building costly contexts.
    bool wantsLine(int level) const;
    // The one logging operation; safe from any thread.
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message, const MSRLogContexts& contexts);

    // Synchronous on the monitor queue; never call them from it.
    std::optional<std::string> monitoringDataForDispatchWithSamplePeriod(double samplePeriod,
                                                                         double lastSampledTimestamp);
    void clearMonitoringData();
    // The current entry (tests, diagnostics); synchronous on the monitor queue.
    std::optional<MSRMonitoringSampledData::Entry> sampledEntry();
    // Waits until the lines logged so far have been handled and their sample saved.
    void waitUntilIdle();

    // The level table.
    static std::optional<std::string_view> logLevelDescriptionFromLogLevel(int level);
    static bool isSilentLevel(int level);
    static bool isMonitorableLevel(int level);
    static int sdkLevelFromLogLevel(int level);

    static std::string encodedStringWithContextArray(const MSRLogContexts& contexts, bool insertSpaces);
    static std::string encodedStringWithContextObject(const MSRLogContext& context);
    static std::string stringWithLogMessage(std::optional<std::string_view> message, int logLevel,
                                            const MSRLogContexts& contexts, bool encodeContexts);
    static std::optional<std::string> lastMSRSymbolFromException(const MSRException* exception);
    static std::string monitoringDataKeyWithMessage(std::string_view message, int logLevel,
                                                    std::int64_t libraryVersion);

private:
    struct State;

    bool isLoggable(int level) const;
    void setSDKLevel(int level);
    void applyLaunchSwitches();

    std::atomic<int> logLevel_;
    std::atomic<bool> debugModeEnabled_{false};
    std::atomic<bool> verboseLoggingEnabled_{false};
    std::atomic<bool> encodeContexts_{false};
    bool sdkLogLevelFromConfiguration_ = false;  // set once, before the monitor is shared
    const std::int64_t libraryVersion_;
    mutable std::mutex tagMutex_;
    std::string logTag_{kMSRDefaultLogTag};  // guarded by tagMutex_
    std::function<bool()> isFromAppStore_;
    // Set once at construction; called on the logging thread.
    std::function<void(int, std::uint64_t, std::string_view, const MSRLogContexts&)> observer_;
    std::shared_ptr<MSRUserDefaults> sharedUserDefaults_;
    // Shared with the blocks on the monitor queue, which may outlive a call.
    std::shared_ptr<State> state_;
    std::unique_ptr<platform::SerialQueue> monitorQueue_;
};

// Message codes of the monitor's own lines.
inline constexpr std::uint64_t kMSRDebugModeOnCode = 24000;
inline constexpr std::uint64_t kMSRDebugModeOffCode = 24001;
inline constexpr std::uint64_t kMSRVerboseOnCode = 24003;
inline constexpr std::uint64_t kMSRVerboseOffCode = 24004;
inline constexpr std::uint64_t kMSRSSTDebugOnCode = 24006;
inline constexpr std::uint64_t kMSRSSTDebugOffCode = 24007;

// Keys.
inline constexpr std::string_view kMSRMonitorSuiteName = "com.lumen.lmp.measurement.monitor";
inline constexpr std::string_view kMSRDebugModeKey = "/lumen/measurement/debug_mode";
inline constexpr std::string_view kMSRVerboseLoggingKey = "/lumen/measurement/verbose_logging";
inline constexpr std::string_view kMSRHealthMonitorKey = "/lumen/measurement/health_monitor";
inline constexpr std::string_view kMSRMonitorMigrationStateKey = "/lumen/measurement/monitor_migration_state";

}  // namespace kit::measurement

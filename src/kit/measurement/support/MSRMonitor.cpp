#include "kit/measurement/support/MSRMonitor.h"

#include "MonitorLines.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "platform/MessageFormat.h"
#include "platform/ProgrammerError.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

namespace kit::measurement {

namespace {

constexpr std::string_view kHLOConfigurationClassName = "HLOConfiguration";

std::string int128ToString(__int128 value) {
    if (value == 0) {
        return "0";
    }
    const bool negative = value < 0;
    // Work on the negative side so the most negative value needs no negation.
    __int128 rest = negative ? value : -value;
    std::string digits;
    while (rest != 0) {
        digits.push_back(static_cast<char>('0' - static_cast<int>(rest % 10)));
        rest /= 10;
    }
    if (negative) {
        digits.push_back('-');
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::string encodedInteger(std::int64_t value) {
    const __int128 magnitude = value < 0 ? -static_cast<__int128>(value) : static_cast<__int128>(value);
    if (magnitude <= 99) {
        return std::to_string(value);
    }
    // The decade, exactly: a double's log10 misplaces values just below a power of ten.
    __int128 decade = 1;
    while (decade * 10 <= magnitude) {
        decade *= 10;
    }
    if (value >= 0) {
        return int128ToString(decade) + "..." + int128ToString(decade * 10 - 1);
    }
    return int128ToString(1 - decade * 10) + "..." + int128ToString(-decade);
}

std::int64_t saturatingInteger(double value) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (value >= kTwoTo63) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value <= -kTwoTo63) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

std::string shortestDouble(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string errorDescription(const platform::Error& error) {
    return "Error Domain=" + error.domain() + " Code=" + std::to_string(error.code()) + " \"" + error.what() + "\"";
}

char levelLetter(int level) {
    if (level >= 0 && level <= 2) {
        return 'E';
    }
    if (level >= 3 && level <= 5) {
        return 'W';
    }
    return '?';
}

std::vector<platform::Error> errorsAmong(const MSRLogContexts& contexts) {
    std::vector<platform::Error> errors;
    for (const MSRLogContext& context : contexts) {
        if (const auto* error = std::get_if<platform::Error>(&context.storage())) {
            errors.push_back(*error);
        }
    }
    return errors;
}

}  // namespace

// --- Contexts

MSRLogContext::MSRLogContext(const platform::Value& value) {
    if (value.isNull()) {
        storage_ = Null{};
    } else if (const auto* text = value.asString()) {
        storage_ = *text;
    } else if (value.isDouble()) {
        storage_ = *value.asDouble();
    } else if (value.isBool()) {
        storage_ = std::int64_t{*value.asBool() ? 1 : 0};
    } else if (value.isInteger()) {
        storage_ = *value.asInteger();
    } else {
        storage_ = value;
    }
}

MSRException MSRExceptionFromCurrentException() {
    try {
        throw;
    } catch (const platform::ProgrammerError& error) {
        return {error.name(), error.reason(), {}};
    } catch (const platform::Error& error) {
        return {error.domain(), error.what(), {}};
    } catch (const std::exception& error) {
        return {"std::exception", error.what(), {}};
    } catch (...) {
        return {"unknown exception", "", {}};
    }
}

// --- Adapter

int MSRASLLogger::LMULoggerLevelFromLogLevel(std::int64_t logLevel) {
    static constexpr int kTable[] = {3, 3, 3, 4, 4, 4, 5, 7, 7};
    return logLevel >= 0 && logLevel <= 8 ? kTable[logLevel] : 4;
}

void MSRASLLogger::logMessage(std::string_view message, std::string_view logTag, std::int64_t messageCode,
                              std::int64_t logLevel) {
    const std::string code = platform::formatMessage("I-ACS%06ld", {platform::MessageArgument(messageCode)});
    kit::LMULogMessageWithLevel(LMULoggerLevelFromLogLevel(logLevel), kMSRLogSubsystem, logTag, logLevel == 7, code,
                                message);
}

// --- Sampled data

MSRMonitoringSampledData::MSRMonitoringSampledData(const std::optional<platform::Value>& array) {
    if (!array || !isValidUserDefaultsArrayEntry(*array)) {
        return;
    }
    const platform::Value::Array& items = *array->asArray();
    const std::int64_t population = *items[1].asInteger();
    entry_ =
        Entry{*items[0].asString(), static_cast<std::int32_t>(std::clamp<std::int64_t>(population, 0, INT32_MAX)),
              *items[2].asString(), std::chrono::time_point_cast<platform::TimePoint::duration>(*items[3].asDate())};
}

bool MSRMonitoringSampledData::isValidUserDefaultsArrayEntry(const platform::Value& array) {
    const auto* items = array.asArray();
    return items != nullptr && items->size() == 4 && (*items)[0].isString() && (*items)[1].isInteger() &&
           (*items)[2].isString() && (*items)[3].isDate();
}

std::optional<platform::Value> MSRMonitoringSampledData::sampledDataEntryWithKey(
    std::optional<std::string_view> key, std::optional<platform::TimePoint> timestamp,
    std::optional<std::string_view> context, std::optional<std::int32_t> population) {
    if (!key || !timestamp || !context || !population) {
        return std::nullopt;
    }
    return platform::Value(platform::Value::Array{
        platform::Value(*context), platform::Value(static_cast<std::int64_t>(*population)), platform::Value(*key),
        platform::Value(std::chrono::time_point_cast<std::chrono::microseconds>(*timestamp))});
}

std::string MSRMonitoringSampledData::monitoringURLParamWithKey(std::string_view key, std::int32_t population,
                                                                std::string_view context) {
    std::string param = std::to_string(population) + ":" + std::string(key);
    if (!context.empty()) {
        param += ":" + std::string(context);
    }
    return param;
}

void MSRMonitoringSampledData::insertOrUpdateSampledDataWithKey(std::string_view key, std::string_view encodedContext,
                                                                platform::TimePoint now,
                                                                platform::RandomSource& random) {
    if (!entry_) {
        entry_ = Entry{std::string(encodedContext), 1, std::string(key), now};
        return;
    }
    if (entry_->population < INT32_MAX) {
        ++entry_->population;
    }
    if (random.below(static_cast<std::uint64_t>(entry_->population)) == 0) {
        entry_->key = key;
        entry_->context = encodedContext;
    }
}

std::optional<std::string> MSRMonitoringSampledData::monitoringDataForDispatchWithSamplePeriod(
    double samplePeriod, double lastSampledTimestamp, platform::TimePoint now) {
    const double nowSeconds = platform::secondsSince1970(now);
    if (!entry_) {
        if (lastSampledTimestamp > 0 && std::fabs(nowSeconds - lastSampledTimestamp) > samplePeriod) {
            return "0:";
        }
        return std::nullopt;
    }
    if (platform::secondsSince1970(entry_->start) < nowSeconds - samplePeriod) {
        std::string param = monitoringURLParamWithKey(entry_->key, entry_->population, entry_->context);
        entry_.reset();
        return param;
    }
    return std::nullopt;
}

std::optional<platform::Value> MSRMonitoringSampledData::sampledData() const {
    if (!entry_) {
        return std::nullopt;
    }
    return sampledDataEntryWithKey(entry_->key, entry_->start, entry_->context, entry_->population);
}

// --- Monitor

struct MSRMonitor::State {
    std::shared_ptr<MSRLogging> logger;
    std::shared_ptr<MSRUserDefaults> sharedUserDefaults;
    std::shared_ptr<MSRUserDefaults> monitorUserDefaults;
    std::shared_ptr<platform::RandomSource> random;
    const platform::Clock* clock = nullptr;
    MSRMonitoringSampledData sample;  // confined to the monitor queue
    bool savePending = false;         // confined to the monitor queue

    void migrate() {
        std::int64_t migrationState = monitorUserDefaults->integerForKey(kMSRMonitorMigrationStateKey);
        if (migrationState == 0) {
            const auto old = sharedUserDefaults->arrayForKey(kMSRHealthMonitorKey);
            if (old && !monitorUserDefaults->objectForKey(kMSRHealthMonitorKey)) {
                monitorUserDefaults->setObject(platform::Value(*old), kMSRHealthMonitorKey);
            }
            monitorUserDefaults->setInteger(1, kMSRMonitorMigrationStateKey);
            monitorUserDefaults->synchronize();
            migrationState = 1;
        }
        if (migrationState == 1) {
            sharedUserDefaults->removeObjectForKey(kMSRHealthMonitorKey);
            sharedUserDefaults->synchronize();
            monitorUserDefaults->setInteger(2, kMSRMonitorMigrationStateKey);
            monitorUserDefaults->synchronize();
        }
    }

    void load() { sample = MSRMonitoringSampledData(monitorUserDefaults->objectForKey(kMSRHealthMonitorKey)); }

    void save() {
        monitorUserDefaults->setObject(sample.sampledData(), kMSRHealthMonitorKey);
        monitorUserDefaults->synchronize();
    }

    void savePendingSample() {
        if (savePending) {
            savePending = false;
            save();
        }
    }
};

MSRMonitor::MSRMonitor(std::int64_t libraryVersion) : MSRMonitor(6, std::make_shared<MSRASLLogger>(), libraryVersion) {}

MSRMonitor::MSRMonitor(int logLevel, std::shared_ptr<MSRLogging> logger, std::int64_t libraryVersion,
                       Environment environment)
    : logLevel_(logLevel), libraryVersion_(libraryVersion), state_(std::make_shared<State>()) {
    isFromAppStore_ = environment.isFromAppStore ? std::move(environment.isFromAppStore) : [] { return false; };
    observer_ = std::move(environment.observer);
    sharedUserDefaults_ = environment.sharedUserDefaults ? std::move(environment.sharedUserDefaults)
                                                         : MSRUserDefaults::sharedUserDefaults();
    state_->logger = std::move(logger);
    state_->sharedUserDefaults = sharedUserDefaults_;
    state_->monitorUserDefaults = environment.monitorUserDefaults
                                      ? std::move(environment.monitorUserDefaults)
                                      : std::make_shared<MSRUserDefaults>(std::string(kMSRMonitorSuiteName));
    state_->random = environment.random
                         ? std::move(environment.random)
                         : std::shared_ptr<platform::RandomSource>(std::shared_ptr<void>(), &platform::systemRandom());
    state_->clock = environment.clock != nullptr ? environment.clock : &platform::systemClock();

    monitorQueue_ = std::make_unique<platform::SerialQueue>("MSRMonitorQueue");
    // Background priority: the queue's thread runs at a raised nice value.
    monitorQueue_->async([] { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10); });
    monitorQueue_->async([state = state_] {
        state->migrate();
        state->load();
    });
    if (!isFromAppStore_()) {
        applyLaunchSwitches();
    }
}

MSRMonitor::~MSRMonitor() = default;

std::string MSRMonitor::logTag() const {
    std::lock_guard lock(tagMutex_);
    return logTag_;
}

void MSRMonitor::setLogTag(std::string tag) {
    std::lock_guard lock(tagMutex_);
    logTag_ = std::move(tag);
}

void MSRMonitor::applyLaunchSwitches() {
    const bool storedDebugMode = sharedUserDefaults_->boolForKey(kMSRDebugModeKey);
    sdkLogLevelFromConfiguration_ =
        (launchArgumentsContain("-HLODebugDisabled") || launchArgumentsContain("-HLODebugEnabled")) &&
        kit::classRegistry().contains(kHLOConfigurationClassName);
    if (launchArgumentsContain("-noMSRAnalyticsDebugEnabled") ||
        launchArgumentsContain("-noHLOAnalyticsDebugEnabled") || launchArgumentsContain("-HLODebugDisabled")) {
        setDebugModeEnabled(false);
    } else if (storedDebugMode || launchArgumentsContain("-MSRAnalyticsDebugEnabled") ||
               launchArgumentsContain("-HLOAnalyticsDebugEnabled") || launchArgumentsContain("-HLODebugEnabled")) {
        setDebugModeEnabled(true);
    }
    const bool storedVerbose = sharedUserDefaults_->boolForKey(kMSRVerboseLoggingKey);
    if (launchArgumentsContain("-MSRAnalyticsVerboseLoggingDisabled") ||
        launchArgumentsContain("-HLOAnalyticsVerboseLoggingDisabled")) {
        setVerboseLoggingEnabled(false);
    } else if (storedVerbose || launchArgumentsContain("-MSRAnalyticsVerboseLoggingEnabled") ||
               launchArgumentsContain("-HLOAnalyticsVerboseLoggingEnabled")) {
        setVerboseLoggingEnabled(true);
    }
}

void MSRMonitor::setSDKLevel(int level) {
    if (!sdkLogLevelFromConfiguration_) {
        kit::LMUSetLoggerMaximumLevel(level);
    }
}

void MSRMonitor::setDebugModeEnabled(bool enabled) {
    if (enabled && !isFromAppStore_()) {
        setLogLevel(7);
        setSDKLevel(7);
        sharedUserDefaults_->setObject(platform::Value(true), kMSRDebugModeKey);
        monitor_lines::log(*this, monitor_lines::kDebugModeOn);
        debugModeEnabled_.store(true, std::memory_order_relaxed);
    } else {
        setLogLevel(6);
        setSDKLevel(5);
        sharedUserDefaults_->removeObjectForKey(kMSRDebugModeKey);
        monitor_lines::log(*this, monitor_lines::kDebugModeOff);
        debugModeEnabled_.store(false, std::memory_order_relaxed);
    }
}

void MSRMonitor::setVerboseLoggingEnabled(bool enabled) {
    if (enabled && !isFromAppStore_()) {
        setLogLevel(8);
        setSDKLevel(7);
        sharedUserDefaults_->setObject(platform::Value(true), kMSRVerboseLoggingKey);
        verboseLoggingEnabled_.store(true, std::memory_order_relaxed);
        monitor_lines::log(*this, monitor_lines::kVerboseLoggingOn);
    } else {
        setLogLevel(isDebugModeEnabled() ? 7 : 6);
        sharedUserDefaults_->removeObjectForKey(kMSRVerboseLoggingKey);
        // Logged while still on, so the line that says so can be seen.
        monitor_lines::log(*this, monitor_lines::kVerboseLoggingOff);
        verboseLoggingEnabled_.store(false, std::memory_order_relaxed);
    }
}

void MSRMonitor::setSSTDebugModeEnabled(bool enabled) {
    if (enabled) {
        setLogLevel(7);
        setSDKLevel(7);
        monitor_lines::log(*this, monitor_lines::kSSTDebugModeOn);
    } else {
        setLogLevel(6);
        setSDKLevel(5);
        monitor_lines::log(*this, monitor_lines::kSSTDebugModeOff);
    }
    debugModeEnabled_.store(enabled, std::memory_order_relaxed);
}

std::optional<std::string_view> MSRMonitor::logLevelDescriptionFromLogLevel(int level) {
    static constexpr std::string_view kNames[] = {"ERROR",   "ERROR",   "ERROR",  "WARNING",
                                                  "WARNING", "WARNING", "NOTICE", "DEBUG"};
    if (level >= 0 && level <= 7) {
        return kNames[level];
    }
    return std::nullopt;
}

bool MSRMonitor::isSilentLevel(int level) { return level == 2 || level == 5 || level >= 9 || level < 0; }

bool MSRMonitor::isMonitorableLevel(int level) {
    return level == 1 || level == 2 || level == 4 || level == 5 || level >= 9 || level < 0;
}

int MSRMonitor::sdkLevelFromLogLevel(int level) { return MSRASLLogger::LMULoggerLevelFromLogLevel(level); }

bool MSRMonitor::isLoggable(int level) const {
    return !isSilentLevel(level) && kit::LMUIsLevelLoggable(sdkLevelFromLogLevel(level));
}

bool MSRMonitor::wantsLine(int level) const {
    if (level >= 8 && !isVerboseLoggingEnabled()) {
        return false;
    }
    return isMonitorableLevel(level) || isLoggable(level);
}

void MSRMonitor::logWithLevel(int level, std::uint64_t messageCode, std::string_view message,
                              const MSRLogContexts& contexts) {
    if (observer_) {
        observer_(level, messageCode, message, contexts);
    }
    if (!wantsLine(level)) {
        return;
    }
    if (isLoggable(level)) {
        std::string text = stringWithLogMessage(message, level, contexts, encodeContexts());
        monitorQueue_->async([state = state_, text = std::move(text), tag = logTag(), messageCode, level] {
            state->logger->logMessage(text, tag, static_cast<std::int64_t>(messageCode), level);
        });
    }
    if (isMonitorableLevel(level)) {
        std::string context = encodedStringWithContextArray(contexts, false);
        if (const std::string extra = MSRErrorContextsFromErrors(errorsAmong(contexts)); !extra.empty()) {
            context += "," + extra;
        }
        std::string key = monitoringDataKeyWithMessage(message, level, libraryVersion_);
        monitorQueue_->async(
            [state = state_, queue = monitorQueue_.get(), key = std::move(key), context = std::move(context)] {
                state->sample.insertOrUpdateSampledDataWithKey(key, context, state->clock->now(), *state->random);
                // One write for a burst of lines: the save runs after what is
                // queued now, so the file never lags the queue's idle state.
                if (!state->savePending) {
                    state->savePending = true;
                    queue->async([state] { state->savePendingSample(); });
                }
            });
    }
}

std::optional<std::string> MSRMonitor::monitoringDataForDispatchWithSamplePeriod(double samplePeriod,
                                                                                 double lastSampledTimestamp) {
    return monitorQueue_->syncResult([&]() -> std::optional<std::string> {
        auto result = state_->sample.monitoringDataForDispatchWithSamplePeriod(samplePeriod, lastSampledTimestamp,
                                                                               state_->clock->now());
        if (result) {
            state_->save();
        }
        return result;
    });
}

void MSRMonitor::clearMonitoringData() {
    monitorQueue_->sync([&] {
        state_->sharedUserDefaults->removeObjectForKey(kMSRDebugModeKey);
        state_->sharedUserDefaults->removeObjectForKey(kMSRHealthMonitorKey);
        state_->monitorUserDefaults->removeObjectForKey(kMSRHealthMonitorKey);
        state_->load();
    });
}

std::optional<MSRMonitoringSampledData::Entry> MSRMonitor::sampledEntry() {
    return monitorQueue_->syncResult([&] { return state_->sample.entry(); });
}

void MSRMonitor::waitUntilIdle() {
    monitorQueue_->sync([state = state_] { state->savePendingSample(); });
}

std::string MSRMonitor::encodedStringWithContextObject(const MSRLogContext& context) {
    struct Encoder {
        std::string operator()(const MSRLogContext::Null&) const { return {}; }
        std::string operator()(const std::string&) const { return "-"; }
        std::string operator()(std::int64_t value) const { return encodedInteger(value); }
        std::string operator()(double value) const {
            return std::isnan(value) ? std::string("?") : encodedInteger(saturatingInteger(value));
        }
        std::string operator()(const platform::Error& error) const {
            return error.domain().empty() ? std::string("-") : error.domain();
        }
        std::string operator()(const MSRException& exception) const {
            return lastMSRSymbolFromException(&exception).value_or("-");
        }
        std::string operator()(const platform::Value&) const { return "?"; }
    };
    return std::visit(Encoder{}, context.storage());
}

std::string MSRMonitor::encodedStringWithContextArray(const MSRLogContexts& contexts, bool insertSpaces) {
    std::string joined;
    for (std::size_t index = 0; index < contexts.size(); ++index) {
        if (index > 0) {
            joined += insertSpaces ? ", " : ",";
        }
        joined += encodedStringWithContextObject(contexts[index]);
    }
    return joined;
}

std::string MSRMonitor::stringWithLogMessage(std::optional<std::string_view> message, int /*logLevel*/,
                                             const MSRLogContexts& contexts, bool encodeContexts) {
    std::string text = !message           ? std::string("(Message was nil)")
                       : message->empty() ? std::string("(Message was empty)")
                                          : std::string(*message);
    if (contexts.empty()) {
        return text;
    }
    if (encodeContexts) {
        return text + ": " + encodedStringWithContextArray(contexts, true);
    }
    struct Describer {
        std::string operator()(const MSRLogContext::Null&) const { return "(nil)"; }
        std::string operator()(const std::string& value) const { return value; }
        std::string operator()(std::int64_t value) const { return std::to_string(value); }
        std::string operator()(double value) const { return shortestDouble(value); }
        std::string operator()(const platform::Error& error) const { return errorDescription(error); }
        std::string operator()(const MSRException& exception) const {
            // An exception describes itself by its reason.
            const std::string& description = exception.reason;
            const auto symbol = lastMSRSymbolFromException(&exception);
            return symbol ? *symbol + ": " + description : description;
        }
        std::string operator()(const platform::Value& value) const { return value.toJson(); }
    };
    text += ": ";
    for (std::size_t index = 0; index < contexts.size(); ++index) {
        if (index > 0) {
            text += ", ";
        }
        text += std::visit(Describer{}, contexts[index].storage());
    }
    return text;
}

std::optional<std::string> MSRMonitor::lastMSRSymbolFromException(const MSRException* exception) {
    if (exception == nullptr) {
        return std::nullopt;
    }
    const auto& lines = exception->callStackSymbols;
    if (lines.size() < 2) {
        return exception->name;
    }
    for (std::size_t index = 2; index < lines.size(); ++index) {
        std::istringstream words(lines[index]);
        std::vector<std::string> parts;
        for (std::string part; words >> part;) {
            parts.push_back(part);
        }
        if (parts.size() < 5) {
            continue;
        }
        const std::string symbol = parts[4] == "+" ? parts[3] : parts[3] + " " + parts[4];
        std::string lower = symbol;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower.find("msr") != std::string::npos) {
            return symbol;
        }
    }
    return exception->name;
}

std::string MSRMonitor::monitoringDataKeyWithMessage(std::string_view message, int logLevel,
                                                     std::int64_t libraryVersion) {
    return std::string("1") + levelLetter(logLevel) + "_" + std::to_string(libraryVersion) + ":" + std::string(message);
}

}  // namespace kit::measurement

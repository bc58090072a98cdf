#include "kit/measurement/messages/ExperimentFlags.h"
#include "kit/core/KitContext.h"

#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/MessageTexts.h"
#include "kit/measurement/messages/MessagesLog.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "platform/MessageFormat.h"

#include "ExperimentFlagLines.h"

#include <mutex>

namespace kit::measurement {
namespace {

namespace lines = experiment_flag_lines;

// The Flag slots.
constexpr int flagName = 0;
constexpr int flagIntegerValue = 1;
constexpr int flagStringValue = 2;
constexpr int flagDoubleValue = 3;
constexpr int flagBooleanValue = 4;

// Until the experiment manager installs its monitor: plain lines.
class LogMonitor final : public ExperimentMonitor {
public:
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message) override {
        write(platform::formatMessage("[%d] %ld: %@", {level, static_cast<long>(messageCode), message}));
    }
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message,
                      const platform::Value& context) override {
        write(platform::formatMessage("[%d] %ld: %@, %@",
                                      {level, static_cast<long>(messageCode), message, context.toJson()}));
    }

private:
    static void write(std::string_view line) {
        messagesLog().log(messagesLogSubsystem, messagesLogCategory, platform::LogType::error, line);
    }
};

class ForwardingMonitor final : public ExperimentMonitor {
public:
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message) override {
        target()->logWithLevel(level, messageCode, message);
    }
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message,
                      const platform::Value& context) override {
        target()->logWithLevel(level, messageCode, message, context);
    }

    void install(std::shared_ptr<ExperimentMonitor> monitor) {
        std::lock_guard lock(mutex_);
        installed_ = std::move(monitor);
    }

private:
    std::shared_ptr<ExperimentMonitor> target() {
        std::lock_guard lock(mutex_);
        return installed_ != nullptr ? installed_ : fallback_;
    }

    std::mutex mutex_;
    std::shared_ptr<ExperimentMonitor> installed_;  // guarded by mutex_
    const std::shared_ptr<ExperimentMonitor> fallback_ = std::make_shared<LogMonitor>();
};

// One per kit context.
ForwardingMonitor& forwardingMonitor() { return KitContext::current().service<ForwardingMonitor>(); }

}  // namespace

ExperimentMonitor& experimentMonitor() { return forwardingMonitor(); }

void installExperimentMonitor(std::shared_ptr<ExperimentMonitor> monitor) {
    forwardingMonitor().install(std::move(monitor));
}

std::optional<platform::Value> MSRFlagValueFromProto(const MSRPBFlag& flag) {
    if (NanoMessageHasField(flag, flagIntegerValue)) {
        return platform::Value(NanoMessageGetInt64(flag, flagIntegerValue));
    }
    if (NanoMessageHasField(flag, flagDoubleValue)) {
        return platform::Value(NanoMessageGetDouble(flag, flagDoubleValue));
    }
    if (NanoMessageHasField(flag, flagStringValue)) {
        auto value = NanoMessageGetString(flag, flagStringValue);
        if (!value) {
            return std::nullopt;
        }
        return platform::Value(std::move(*value));
    }
    if (NanoMessageHasField(flag, flagBooleanValue)) {
        return platform::Value(NanoMessageGetBool(flag, flagBooleanValue));
    }
    return std::nullopt;
}

std::optional<platform::Value> MSRFlagValueFromProto(const std::optional<MSRPBFlag>& flag) {
    if (!flag) {
        return std::nullopt;
    }
    return MSRFlagValueFromProto(*flag);
}

std::optional<MSRPBFlag> MSRFlagProtoWithNameValue(const platform::Value& name, const platform::Value& value,
                                                   ExperimentMonitor& monitor) {
    if (name.isNull()) {
        monitor.logWithLevel(lines::kFlagNameNil.level, lines::kFlagNameNil.code, lines::kFlagNameNil.text);
        return std::nullopt;
    }
    const std::string* nameText = name.asString();
    if (nameText == nullptr) {
        monitor.logWithLevel(lines::kFlagNameNotString.level, lines::kFlagNameNotString.code,
                             lines::kFlagNameNotString.text, platform::Value(detail::valueClassName(name)));
        return std::nullopt;
    }
    auto flag = MSRPBFlag::initWithBuffer({});
    if (!flag) {
        return std::nullopt;
    }
    NanoMessageSetString(*flag, flagName, *nameText);
    if (const std::string* text = value.asString()) {
        NanoMessageSetString(*flag, flagStringValue, *text);
    } else if (value.isDouble()) {
        NanoMessageSetDouble(*flag, flagDoubleValue, *value.asDouble());
    } else if (value.isInteger()) {
        NanoMessageSetInt64(*flag, flagIntegerValue, *value.asInteger());
    } else if (value.isBool()) {
        NanoMessageSetInt64(*flag, flagIntegerValue, *value.asBool() ? 1 : 0);
    } else {
        monitor.logWithLevel(lines::kFlagValueInvalid.level, lines::kFlagValueInvalid.code,
                             lines::kFlagValueInvalid.text, platform::Value(detail::valueClassName(value)));
        return std::nullopt;
    }
    return flag;
}

}  // namespace kit::measurement

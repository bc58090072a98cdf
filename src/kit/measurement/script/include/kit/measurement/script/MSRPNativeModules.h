#pragma once

#include "kit/measurement/script/ScriptModules.h"
#include "platform/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The modules a program reaches beside the event modules: the logger, the
// configuration's settings and the application facts.
namespace kit::measurement::script {

// Where script log lines go.
class MSRPLoggerDelegate {
public:
    virtual ~MSRPLoggerDelegate() = default;
    virtual void logWithLevel(std::int64_t level, const std::string& message, const std::vector<std::string>& context,
                              bool silent, bool monitored) = 0;
};

// Logs through the engine's monitor with code 24005, the message as data.
class MSRScriptLogger final : public MSRPLoggerDelegate {
public:
    static constexpr std::uint64_t messageCode = 24005;
    // The monitor level of a script level.
    static int monitorLevel(std::int64_t level, bool silent, bool monitored);
    void logWithLevel(std::int64_t level, const std::string& message, const std::vector<std::string>& context,
                      bool silent, bool monitored) override;
};

class MSRPFunctionLog final : public MSRPNativeFunctionValue {
public:
    MSRPFunctionLog(std::shared_ptr<MSRPLoggerDelegate> logger, bool silent, bool monitored);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;

private:
    bool silent_;
    bool monitored_;
    std::shared_ptr<MSRPLoggerDelegate> logger_;
};

// "silent" and "unmonitored": called, they answer themselves; their "log"
// member logs.
class MSRPFunctionLogSilent final : public MSRPNativeFunctionValue {
public:
    explicit MSRPFunctionLogSilent(std::shared_ptr<MSRPLoggerDelegate> logger);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;
};

class MSRPFunctionLogUnmonitored final : public MSRPNativeFunctionValue {
public:
    explicit MSRPFunctionLogUnmonitored(std::shared_ptr<MSRPLoggerDelegate> logger);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;
};

// "internal.logger".
class MSRPMessageLogger final : public MSRPNativeFunctionValue {
public:
    explicit MSRPMessageLogger(std::shared_ptr<MSRPLoggerDelegate> logger);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;
};

using GetValueBlock = std::function<std::optional<std::string>(std::string_view key)>;

class MSRPKeyValueStoreGetValue final : public MSRPNativeFunctionValue {
public:
    explicit MSRPKeyValueStoreGetValue(GetValueBlock block);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;

private:
    GetValueBlock block_;
};

// A module whose "getValue" answers a text by key, or the default given.
class MSRPKeyValueStore final : public MSRPNativeFunctionValue {
public:
    MSRPKeyValueStore(std::u16string functionName, GetValueBlock block);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;
};

// A module that, called, converts the block's object (null: nothing) to a
// script value.
class MSRPObjectProvider final : public MSRPNativeFunctionValue {
public:
    using Block = std::function<platform::Value()>;
    MSRPObjectProvider(std::u16string name, Block block);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;

private:
    Block block_;
};

namespace module_names {
inline constexpr std::u16string_view logger = u"internal.logger";
inline constexpr std::u16string_view log = u"log";
inline constexpr std::u16string_view silent = u"silent";
inline constexpr std::u16string_view unmonitored = u"unmonitored";
inline constexpr std::u16string_view remoteConfig = u"internal.remoteConfig";
inline constexpr std::u16string_view getValue = u"getValue";
inline constexpr std::u16string_view appMetadata = u"internal.appMetadata";
inline constexpr std::u16string_view registerCallback = u"internal.registerCallback";
inline constexpr std::u16string_view eventLogger = u"internal.eventLogger";
}  // namespace module_names

}  // namespace kit::measurement::script

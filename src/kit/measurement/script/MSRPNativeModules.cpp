#include "kit/measurement/script/MSRPNativeModules.h"

#include "kit/measurement/script/MSRPRuntimeEntityConverter.h"
#include "kit/measurement/script/ScriptRoutines.h"

namespace kit::measurement::script {

namespace {

constexpr std::size_t maximumLogContexts = 3;

}  // namespace

MSRPFunctionLog::MSRPFunctionLog(std::shared_ptr<MSRPLoggerDelegate> logger, bool silent, bool monitored)
    : MSRPNativeFunctionValue(std::u16string(module_names::log)),
      silent_(silent),
      monitored_(monitored),
      logger_(std::move(logger)) {}

ValueRef MSRPFunctionLog::invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtLeastArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    ValueList values = evaluateArgumentList(arguments, scope, error);
    if (error) {
        return undefinedValue();
    }
    std::int64_t level = 4;
    std::u16string message;
    std::vector<std::string> context;
    if (values.size() == 1) {
        message = values[0]->stringValueOrError(error);
    } else {
        double number = values[0]->doubleValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        level = toInt64Saturated(number);
        message = values[1]->stringValueOrError(error);
        for (std::size_t index = 2; !error && index < values.size() && index < 2 + maximumLogContexts; ++index) {
            context.push_back(utf8FromUtf16(values[index]->stringValueOrError(error)));
        }
    }
    if (error) {
        return undefinedValue();
    }
    if (logger_) {
        logger_->logWithLevel(level, utf8FromUtf16(message), context, silent_, monitored_);
    }
    return undefinedValue();
}

MSRPFunctionLogSilent::MSRPFunctionLogSilent(std::shared_ptr<MSRPLoggerDelegate> logger)
    : MSRPNativeFunctionValue(std::u16string(module_names::silent)) {
    setValue(makeRef<MSRPFunctionLog>(std::move(logger), true, true), module_names::log);
}

ValueRef MSRPFunctionLogSilent::invokeWithArguments(const ValueList&, MSRPScope&, ScriptError&) {
    return ValueRef(this);
}

MSRPFunctionLogUnmonitored::MSRPFunctionLogUnmonitored(std::shared_ptr<MSRPLoggerDelegate> logger)
    : MSRPNativeFunctionValue(std::u16string(module_names::unmonitored)) {
    setValue(makeRef<MSRPFunctionLog>(std::move(logger), false, false), module_names::log);
}

ValueRef MSRPFunctionLogUnmonitored::invokeWithArguments(const ValueList&, MSRPScope&, ScriptError&) {
    return ValueRef(this);
}

MSRPMessageLogger::MSRPMessageLogger(std::shared_ptr<MSRPLoggerDelegate> logger)
    : MSRPNativeFunctionValue(std::u16string(module_names::logger)) {
    setValue(makeRef<MSRPFunctionLog>(logger, false, true), module_names::log);
    setValue(makeRef<MSRPFunctionLogSilent>(logger), module_names::silent);
    setValue(makeRef<MSRPFunctionLogUnmonitored>(logger), module_names::unmonitored);
}

ValueRef MSRPMessageLogger::invokeWithArguments(const ValueList&, MSRPScope&, ScriptError&) { return undefinedValue(); }

MSRPKeyValueStoreGetValue::MSRPKeyValueStoreGetValue(GetValueBlock block)
    : MSRPNativeFunctionValue(std::u16string(module_names::getValue)), block_(std::move(block)) {}

ValueRef MSRPKeyValueStoreGetValue::invokeWithArguments(const ValueList& arguments, MSRPScope& scope,
                                                        ScriptError& error) {
    ValueList values;
    if (!evaluateCountedArguments(arguments, 2, scope, values, error)) {
        return undefinedValue();
    }
    std::u16string key = values[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    std::optional<std::string> found = block_ ? block_(utf8FromUtf16(key)) : std::nullopt;
    if (!found) {
        return values[1];
    }
    return makeStringValue(utf16FromUtf8(*found), scope, error);
}

MSRPKeyValueStore::MSRPKeyValueStore(std::u16string functionName, GetValueBlock block)
    : MSRPNativeFunctionValue(std::move(functionName)) {
    setValue(makeRef<MSRPKeyValueStoreGetValue>(std::move(block)), module_names::getValue);
}

ValueRef MSRPKeyValueStore::invokeWithArguments(const ValueList&, MSRPScope&, ScriptError&) { return undefinedValue(); }

MSRPObjectProvider::MSRPObjectProvider(std::u16string name, Block block)
    : MSRPNativeFunctionValue(std::move(name)), block_(std::move(block)) {}

ValueRef MSRPObjectProvider::invokeWithArguments(const ValueList&, MSRPScope& scope, ScriptError& error) {
    platform::Value object = block_ ? block_() : platform::Value();
    return MSRPRuntimeEntityConverter::runtimeValueFromNSObject(object, scope, error);
}

}  // namespace kit::measurement::script

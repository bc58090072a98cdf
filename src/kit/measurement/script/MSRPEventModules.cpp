#include "kit/measurement/script/MSRPEventModules.h"

#include "kit/measurement/script/MSRPNativeModules.h"
#include "kit/measurement/script/MSRPRuntimeEntityConverter.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <cmath>

namespace kit::measurement::script {

namespace {

constexpr std::u16string_view typeOption = u"type";
constexpr std::u16string_view priorityOption = u"priority";

}  // namespace

MSRPRegisterCallbackNativeFunctionValue::MSRPRegisterCallbackNativeFunctionValue(MSRPEditingCallbackHandler& handler)
    : MSRPNativeFunctionValue(std::u16string(module_names::registerCallback)), handler_(&handler) {}

ValueRef MSRPRegisterCallbackNativeFunctionValue::invokeWithArguments(const ValueList& arguments, MSRPScope& scope,
                                                                      ScriptError& error) {
    ValueList values;
    if (!evaluateCountedArguments(arguments, 3, scope, values, error)) {
        return undefinedValue();
    }
    auto* callback = valueAs<MSRPFunctionValue>(values[1].get());
    auto* options = valueAs<MSRPMapValue>(values[2].get());
    if (callback == nullptr || options == nullptr) {
        setScriptError(error, ScriptErrorCode::wrongArgumentKind);
        return undefinedValue();
    }
    if (!options->hasProperty(typeOption)) {
        error.emplace(MSRPEventEditingErrorCode::ruleWithoutType, std::string());
        return undefinedValue();
    }
    std::u16string ruleType = options->valueForProperty(typeOption)->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    std::int64_t priority = editing_limits::defaultPriority;
    if (options->hasProperty(priorityOption)) {
        double number = options->valueForProperty(priorityOption)->doubleValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        priority = toInt32Value(number);
    }
    handler_->registerWithPriority(priority, Ref<MSRPFunctionValue>(callback), ruleType, error);
    return undefinedValue();
}

MSRPEventLogger::MSRPEventLogger(MSRPEventContext& context)
    : MSRPNativeFunctionValue(std::u16string(module_names::eventLogger)), context_(&context) {}

ValueRef MSRPEventLogger::invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    ValueList values;
    if (!evaluateCountedArguments(arguments, 3, scope, values, error)) {
        return undefinedValue();
    }
    std::u16string name = values[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    double timestamp = values[1]->doubleValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    const auto* parameters = valueAs<MSRPMapValue>(values[2].get());
    if (parameters == nullptr) {
        setScriptError(error, ScriptErrorCode::wrongArgumentKind);
        return undefinedValue();
    }
    // Each created event is written by the pipeline: their number is bounded.
    if (context_->eventsToLog().size() >= editing_limits::maximumCreatedEvents) {
        setScriptError(error, ScriptErrorCode::limitReached);
        return undefinedValue();
    }
    platform::Value::Dictionary converted =
        MSRPRuntimeEntityConverter::dictionaryFromMapValue(*parameters, scope.executionState(), error);
    if (error) {
        return undefinedValue();
    }
    context_->logEventWithName(utf8FromUtf16(name), static_cast<double>(toInt64Saturated(timestamp)),
                               std::move(converted));
    return undefinedValue();
}

}  // namespace kit::measurement::script

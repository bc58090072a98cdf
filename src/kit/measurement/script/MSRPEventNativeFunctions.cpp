#include "kit/measurement/script/MSRPEventModules.h"
#include "kit/measurement/script/MSRPRuntimeEntityConverter.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <array>

namespace kit::measurement::script {

namespace {

using Routine = ValueRef (*)(MSRPEventContext& context, const ValueList& values, MSRPScope& scope, ScriptError& error);

ValueRef getEventName(MSRPEventContext& context, const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 0, error)) {
        return undefinedValue();
    }
    return makeStringValue(utf16FromUtf8(context.outputEvent().name()), scope, error);
}

ValueRef getParamValue(MSRPEventContext& context, const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 1, error)) {
        return undefinedValue();
    }
    std::u16string name = values[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    const platform::Value* parameter = context.outputEvent().parameterForName(utf8FromUtf16(name));
    if (parameter == nullptr) {
        return nullValue();
    }
    return MSRPRuntimeEntityConverter::runtimeValueFromNSObject(*parameter, scope, error);
}

ValueRef getParams(MSRPEventContext& context, const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 0, error)) {
        return undefinedValue();
    }
    Ref<MSRPMapValue> map = MSRPObjectManager::mapValueWithScope(scope);
    for (const auto& [key, parameter] : context.outputEvent().parameters()) {
        ValueRef converted = MSRPRuntimeEntityConverter::runtimeValueFromNSObject(parameter, scope, error);
        if (error) {
            return undefinedValue();
        }
        map->setValue(std::move(converted), utf16FromUtf8(key));
    }
    return map;
}

ValueRef getTimestamp(MSRPEventContext& context, const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 0, error)) {
        return undefinedValue();
    }
    return numberValue(context.outputEvent().timestamp(), scope.executionState());
}

ValueRef setEventName(MSRPEventContext& context, const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 1, error)) {
        return undefinedValue();
    }
    if (valueIs<MSRPUndefinedValue>(values[0].get()) || valueIs<MSRPNullValue>(values[0].get())) {
        setScriptError(error, ScriptErrorCode::wrongArgumentKind);
        return undefinedValue();
    }
    std::u16string name = values[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    context.outputEvent().setName(utf8FromUtf16(name));
    return makeStringValue(std::move(name), scope, error);
}

ValueRef setParamValue(MSRPEventContext& context, const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 2, error)) {
        return undefinedValue();
    }
    std::u16string name = values[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    std::optional<platform::Value> value =
        MSRPRuntimeEntityConverter::objectFromRuntimeValue(*values[1], scope.executionState(), error);
    if (error) {
        return undefinedValue();
    }
    context.outputEvent().setParameter(std::move(value), utf8FromUtf16(name));
    return values[1];
}

struct NamedRoutine {
    std::u16string_view name;
    Routine routine;
};

constexpr std::array<NamedRoutine, 6> routines = {{
    {u"getEventName", getEventName},
    {u"getParamValue", getParamValue},
    {u"getParams", getParams},
    {u"getTimestamp", getTimestamp},
    {u"setEventName", setEventName},
    {u"setParamValue", setParamValue},
}};

}  // namespace

ValueRef MSRPEventNativeFunctions::applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                                                 ScriptError& error) {
    for (const NamedRoutine& entry : routines) {
        if (entry.name == name) {
            Ref<MSRPEventNativeFunctions> self(this);
            ValueList values = evaluateArgumentList(arguments, scope, error);
            if (error) {
                return undefinedValue();
            }
            return entry.routine(*context_, values, scope, error);
        }
    }
    return MSRPMapValue::applyWithName(name, arguments, scope, error);
}

}  // namespace kit::measurement::script

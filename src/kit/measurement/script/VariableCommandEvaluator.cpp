#include "EvaluatorSupport.h"

// Variables, literals and properties: every argument arrives evaluated.
namespace kit::measurement::script {

namespace {

using Arguments = MSRPTableCommandEvaluator::Arguments;
using Command = MSRPCommandEvaluator::Command;

ValueRef assign(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 2, error)) {
        return undefinedValue();
    }
    const MSRPStringValue* name = stringArgument(values[0]);
    if (name == nullptr) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    if (scope.scopeHoldingName(name->value()) == nullptr) {
        return failWith(error, ScriptErrorCode::assignmentToUndeclaredName);
    }
    scope.setValue(values[1], name->value());
    return values[1];
}

ValueRef declareVariables(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    for (const ValueRef& value : values) {
        const MSRPStringValue* name = stringArgument(value);
        if (name == nullptr) {
            return failWith(error, ScriptErrorCode::wrongArgumentKind);
        }
        scope.addValue(undefinedValue(), name->value());
    }
    return undefinedValue();
}

ValueRef declareConstants(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (values.size() % 2 != 0) {
        return failWith(error, ScriptErrorCode::wrongArgumentCount);
    }
    for (std::size_t position = 0; position < values.size(); position += 2) {
        const MSRPStringValue* name = stringArgument(values[position]);
        if (name == nullptr) {
            return failWith(error, ScriptErrorCode::wrongArgumentKind);
        }
        scope.addImmutableValue(values[position + 1], name->value());
    }
    return undefinedValue();
}

ValueRef arrayLiteral(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (values.size() > limits::maximumArrayLength) {
        return failWith(error, ScriptErrorCode::invalidArrayLength);
    }
    return MSRPObjectManager::arrayValueWithArray(values, scope);
}

ValueRef objectLiteral(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (values.size() % 2 != 0) {
        return failWith(error, ScriptErrorCode::wrongArgumentCount);
    }
    Ref<MSRPMapValue> map = MSRPObjectManager::mapValueWithScope(scope);
    for (std::size_t position = 0; position < values.size(); position += 2) {
        std::u16string key = values[position]->stringValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        map->setValue(values[position + 1], key);
    }
    return map;
}

ValueRef readVariable(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 1, error)) {
        return undefinedValue();
    }
    const MSRPStringValue* name = stringArgument(values[0]);
    if (name == nullptr) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    return scope.valueForName(name->value());
}

ValueRef getProperty(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 2, error)) {
        return undefinedValue();
    }
    MSRPRuntimeValue& object = *values[0];
    const MSRPRuntimeValue& key = *values[1];
    if (auto* array = valueAs<MSRPArrayValue>(&object)) {
        return array->valueForProperty(key, error);
    }
    if (auto* map = valueAs<MSRPMapValue>(&object)) {
        std::u16string name = key.stringValueOrError(error);
        return error ? undefinedValue() : map->valueForProperty(name);
    }
    if (auto* function = valueAs<MSRPFunctionValue>(&object)) {
        std::u16string name = key.stringValueOrError(error);
        return error ? undefinedValue() : function->valueForProperty(name);
    }
    if (auto* string = valueAs<MSRPStringValue>(&object)) {
        std::u16string name = key.stringValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        const std::u16string& text = string->value();
        if (name == u"length") {
            return numberValue(static_cast<double>(text.size()), scope.executionState());
        }
        if (isIndexValue(key)) {
            double index = key.doubleValueOrError(error);
            if (!error && index < static_cast<double>(text.size())) {
                return makeRef<MSRPStringValue>(std::u16string(1, text[static_cast<std::size_t>(index)]),
                                                scope.executionState());
            }
        }
        return undefinedValue();
    }
    return undefinedValue();
}

ValueRef setProperty(const ValueList& values, MSRPScope&, ScriptError& error) {
    if (!requireArgumentCount(values, 3, error)) {
        return undefinedValue();
    }
    MSRPRuntimeValue& object = *values[0];
    if (isNothing(object)) {
        return failWith(error, ScriptErrorCode::propertyStoreOnNothing);
    }
    if (auto* array = valueAs<MSRPArrayValue>(&object)) {
        array->setValue(values[2], *values[1], error);
        return error ? undefinedValue() : values[2];
    }
    if (valueIs<MSRPMapValue>(&object) || valueIs<MSRPFunctionValue>(&object)) {
        std::u16string name = values[1]->stringValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        if (auto* map = valueAs<MSRPMapValue>(&object)) {
            map->setValue(values[2], name);
        } else {
            valueAs<MSRPFunctionValue>(&object)->setValue(values[2], name);
        }
    }
    return values[2];
}

ValueRef typeOf(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 1, error)) {
        return undefinedValue();
    }
    std::u16string_view name = u"object";
    switch (values[0]->kind()) {
    case MSRPRuntimeValue::Kind::booleanValue:
        name = u"boolean";
        break;
    case MSRPRuntimeValue::Kind::functionValue:
        name = u"function";
        break;
    case MSRPRuntimeValue::Kind::numberValue:
        name = u"number";
        break;
    case MSRPRuntimeValue::Kind::stringValue:
        name = u"string";
        break;
    case MSRPRuntimeValue::Kind::undefinedValue:
        name = u"undefined";
        break;
    default:
        break;
    }
    return makeRef<MSRPStringValue>(std::u16string(name), scope.executionState());
}

ValueRef undefinedLiteral(const ValueList&, MSRPScope&, ScriptError&) { return undefinedValue(); }
ValueRef nullLiteral(const ValueList&, MSRPScope&, ScriptError&) { return nullValue(); }

constexpr Command variableCommands[] = {
    {u"3", assign},        {u"41", declareVariables}, {u"52", declareConstants}, {u"7", arrayLiteral},
    {u"8", objectLiteral}, {u"15", readVariable},     {u"16", getProperty},      {u"17", getProperty},
    {u"43", setProperty},  {u"40", typeOf},           {u"44", undefinedLiteral}, {u"45", nullLiteral},
};

}  // namespace

std::unique_ptr<MSRPTableCommandEvaluator> makeVariableCommandEvaluator() {
    return std::make_unique<MSRPTableCommandEvaluator>(Arguments::evaluated, variableCommands);
}

}  // namespace kit::measurement::script

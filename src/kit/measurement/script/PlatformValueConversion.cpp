// Platform values to script values and back: event parameters, module
// objects and created events cross here.

#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/MSRPRuntimeEntityConverter.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kit::measurement::script {
namespace {

// One conversion of script values: the run it is charged to, the depth it
// counts on (the run's, else its own) and the containers being converted, so
// that one met again holds itself.
struct ConversionPath {
    explicit ConversionPath(ExecutionState* state) : run(state), depth(state != nullptr ? state->depth : ownDepth) {}
    ExecutionState* run;
    int ownDepth = 0;
    int& depth;
    std::vector<const MSRPRuntimeValue*> containers;
};

std::optional<platform::Value> objectFrom(const MSRPRuntimeValue& value, ConversionPath& path, ScriptError& error);

platform::Value::Dictionary dictionaryFrom(const MSRPMapValue& map, ConversionPath& path, ScriptError& error) {
    platform::Value::Dictionary dictionary;
    const MSRPPropertyMap* properties = map.propertyMap();
    if (properties == nullptr) {
        return dictionary;
    }
    // Names first: a conversion may not change the map, but a copy keeps the
    // walk independent of it anyway.
    std::vector<std::pair<std::u16string, ValueRef>> entries;
    entries.reserve(properties->count());
    properties->forEach(
        [&entries](const std::u16string& name, const ValueRef& entry) { entries.emplace_back(name, entry); });
    for (const auto& [name, entry] : entries) {
        if (!chargeWork(path.run, 1 + name.size(), error)) {
            return dictionary;
        }
        std::optional<platform::Value> converted = objectFrom(*entry, path, error);
        if (error) {
            return dictionary;
        }
        if (converted) {
            dictionary.insert_or_assign(utf8FromUtf16(name), std::move(*converted));
        }
    }
    return dictionary;
}

std::optional<platform::Value> objectFrom(const MSRPRuntimeValue& value, ConversionPath& path, ScriptError& error) {
    if (!chargeWork(path.run, 1, error)) {
        return std::nullopt;
    }
    switch (value.kind()) {
    case MSRPRuntimeValue::Kind::nullValue:
        return std::nullopt;
    case MSRPRuntimeValue::Kind::undefinedValue:
    case MSRPRuntimeValue::Kind::plain:  // an array hole reads as undefined
        return platform::Value(std::string());
    case MSRPRuntimeValue::Kind::mapValue:
    case MSRPRuntimeValue::Kind::arrayValue: {
        DepthGuard depth(path.depth);
        if (!depth.ok() || std::find(path.containers.begin(), path.containers.end(), &value) != path.containers.end()) {
            setScriptError(error, ScriptErrorCode::wrongArgumentKind);
            return std::nullopt;
        }
        path.containers.push_back(&value);
        std::optional<platform::Value> result;
        if (const auto* map = valueAs<MSRPMapValue>(&value)) {
            result = platform::Value(dictionaryFrom(*map, path, error));
        } else {
            // Elements that give nothing have no place in a platform list.
            platform::Value::Array list;
            ValueList elements = static_cast<const MSRPArrayValue&>(value).slots();
            for (const ValueRef& element : elements) {
                std::optional<platform::Value> converted = objectFrom(*element, path, error);
                if (error) {
                    break;
                }
                if (converted) {
                    list.push_back(std::move(*converted));
                }
            }
            result = platform::Value(std::move(list));
        }
        path.containers.pop_back();
        return result;
    }
    default:
        break;
    }
    ScriptError numberError;
    double number = value.doubleValueOrError(numberError);
    if (!numberError && !std::isnan(number)) {
        return platform::Value(number);
    }
    std::u16string text = value.stringValueOrError(error);
    if (error || !chargeWork(path.run, text.size(), error)) {
        return std::nullopt;
    }
    return platform::Value(utf8FromUtf16(text));
}

ValueRef valueFrom(const platform::Value& object, MSRPScope& scope, int& depth, ScriptError& error) {
    ExecutionState* run = scope.executionState();
    DepthGuard guard(depth);
    if (!guard.check(error) || !chargeWork(run, 1, error)) {
        return undefinedValue();
    }
    if (object.isNull()) {
        return nullValue();
    }
    if (object.isBool()) {
        return booleanValue(*object.asBool());
    }
    if (object.isNumber()) {
        return numberValue(*object.asDouble(), run);
    }
    if (const std::string* text = object.asString()) {
        return makeStringValue(utf16FromUtf8(*text), run, error);
    }
    if (const auto* dictionary = object.asDictionary()) {
        Ref<MSRPMapValue> map = MSRPObjectManager::mapValueWithScope(scope);
        for (const auto& [key, entry] : *dictionary) {
            ValueRef converted = valueFrom(entry, scope, depth, error);
            if (error) {
                return undefinedValue();
            }
            map->setValue(std::move(converted), utf16FromUtf8(key));
        }
        return map;
    }
    if (const auto* list = object.asArray()) {
        if (list->size() > limits::maximumArrayLength) {
            setScriptError(error, ScriptErrorCode::limitReached);
            return undefinedValue();
        }
        ValueList elements;
        elements.reserve(list->size());
        for (const platform::Value& entry : *list) {
            elements.push_back(valueFrom(entry, scope, depth, error));
            if (error) {
                return undefinedValue();
            }
        }
        return MSRPObjectManager::arrayValueWithArray(std::move(elements), scope);
    }
    setScriptError(error, ScriptErrorCode::platformObjectWithoutScriptForm);
    return undefinedValue();
}

}  // namespace

std::optional<platform::Value> MSRPRuntimeEntityConverter::objectFromRuntimeValue(const MSRPRuntimeValue& value,
                                                                                  ExecutionState* run,
                                                                                  ScriptError& error) {
    ConversionPath path(run);
    return objectFrom(value, path, error);
}

platform::Value::Dictionary MSRPRuntimeEntityConverter::dictionaryFromMapValue(const MSRPMapValue& map,
                                                                               ExecutionState* run,
                                                                               ScriptError& error) {
    ConversionPath path(run);
    path.containers.push_back(&map);
    return dictionaryFrom(map, path, error);
}

ValueRef MSRPRuntimeEntityConverter::runtimeValueFromNSObject(const platform::Value& object, MSRPScope& scope,
                                                              ScriptError& error) {
    ExecutionState* run = scope.executionState();
    int ownDepth = 0;
    return valueFrom(object, scope, run != nullptr ? run->depth : ownDepth, error);
}

}  // namespace kit::measurement::script

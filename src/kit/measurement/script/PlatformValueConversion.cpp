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

// The containers being converted on this walk: one met again holds itself.
using ConversionPath = std::vector<const MSRPRuntimeValue*>;

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
        if (!chargeWork(1 + name.size(), error)) {
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
    if (!chargeWork(1, error)) {
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
        DepthGuard depth;
        if (!depth.ok() || std::find(path.begin(), path.end(), &value) != path.end()) {
            setScriptError(error, ScriptErrorCode::wrongArgumentKind);
            return std::nullopt;
        }
        path.push_back(&value);
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
        path.pop_back();
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
    if (error || !chargeWork(text.size(), error)) {
        return std::nullopt;
    }
    return platform::Value(utf8FromUtf16(text));
}

}  // namespace

std::optional<platform::Value> MSRPRuntimeEntityConverter::objectFromRuntimeValue(const MSRPRuntimeValue& value,
                                                                                  ScriptError& error) {
    ConversionPath path;
    return objectFrom(value, path, error);
}

platform::Value::Dictionary MSRPRuntimeEntityConverter::dictionaryFromMapValue(const MSRPMapValue& map,
                                                                               ScriptError& error) {
    ConversionPath path{&map};
    return dictionaryFrom(map, path, error);
}

ValueRef MSRPRuntimeEntityConverter::runtimeValueFromNSObject(const platform::Value& object, MSRPScope& scope,
                                                              ScriptError& error) {
    DepthGuard depth;
    if (!depth.check(error) || !chargeWork(1, error)) {
        return undefinedValue();
    }
    if (object.isNull()) {
        return nullValue();
    }
    if (object.isBool()) {
        return booleanValue(*object.asBool());
    }
    if (object.isNumber()) {
        return numberValue(*object.asDouble());
    }
    if (const std::string* text = object.asString()) {
        return makeStringValue(utf16FromUtf8(*text), error);
    }
    if (const auto* dictionary = object.asDictionary()) {
        Ref<MSRPMapValue> map = MSRPObjectManager::mapValueWithScope(scope);
        for (const auto& [key, entry] : *dictionary) {
            ValueRef converted = runtimeValueFromNSObject(entry, scope, error);
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
            elements.push_back(runtimeValueFromNSObject(entry, scope, error));
            if (error) {
                return undefinedValue();
            }
        }
        return MSRPObjectManager::arrayValueWithArray(std::move(elements), scope);
    }
    setScriptError(error, ScriptErrorCode::platformObjectWithoutScriptForm);
    return undefinedValue();
}

}  // namespace kit::measurement::script

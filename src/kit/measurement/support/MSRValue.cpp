#include "kit/measurement/support/MSRValue.h"

#include "EventLines.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <cstdio>
#include <functional>

namespace kit::measurement {

std::optional<MSRValue> MSRValue::valueFromObject(const platform::Value& object, bool allowArray) {
    if (object.isNull()) {
        event_lines::log(event_lines::kCannotCreateValueTypeNilValue);
        return std::nullopt;
    }
    if (const std::string* text = object.asString()) {
        return initWithString(*text);
    }
    if (object.isBool()) {
        return initWithInt64(*object.asBool() ? 1 : 0);
    }
    if (object.isInteger()) {
        return initWithInt64(*object.asInteger());
    }
    if (object.isDouble()) {
        return initWithDouble(*object.asDouble());
    }
    if (allowArray && object.isArray()) {
        return initWithArray(*object.asArray());
    }
    event_lines::log(event_lines::kCannotCreateValueTypeUnsupportedValue, MSRLogContext(object));
    return std::nullopt;
}

double MSRValue::doubleValue() const {
    const double* value = std::get_if<double>(&storage_);
    return value ? *value : 0.0;
}

std::int64_t MSRValue::int64Value() const {
    const std::int64_t* value = std::get_if<std::int64_t>(&storage_);
    return value ? *value : 0;
}

platform::Value MSRValue::plainValue() const {
    return std::visit([](const auto& value) { return platform::Value(value); }, storage_);
}

std::string MSRValue::description() const {
    switch (valueType()) {
    case Type::Double: {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", doubleValue());
        return text;
    }
    case Type::Int64:
        return std::to_string(int64Value());
    case Type::String:
        return *stringValue();
    case Type::Array:
        return plainValue().toJson();
    }
    return {};
}

std::size_t MSRValue::hash() const {
    std::size_t objectHash = 0;
    switch (valueType()) {
    case Type::Double:
        objectHash = std::hash<double>{}(doubleValue());
        break;
    case Type::Int64:
        objectHash = std::hash<std::int64_t>{}(int64Value());
        break;
    case Type::String:
        objectHash = std::hash<std::string>{}(*stringValue());
        break;
    case Type::Array:
        objectHash = arrayValue()->size();
        break;
    }
    return objectHash ^ (31 * static_cast<std::size_t>(valueType()));
}

std::string_view MSRObjectClassName(const platform::Value& object) {
    if (object.isNull())
        return "NSNull";
    if (object.isString())
        return "NSString";
    if (object.isNumber() || object.isBool())
        return "NSNumber";
    if (object.isArray())
        return "NSArray";
    if (object.isDictionary())
        return "NSDictionary";
    if (object.isData())
        return "NSData";
    return "NSDate";
}

std::string_view MSRObjectClassName(const MSRObject& object) {
    if (const auto* plain = std::get_if<platform::Value>(&object)) {
        return MSRObjectClassName(*plain);
    }
    return "MSRValue";
}

}  // namespace kit::measurement

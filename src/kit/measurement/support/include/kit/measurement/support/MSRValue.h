#pragma once

#include "platform/Value.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace kit::measurement {

// The typed value of event parameters and user properties. Numbers keep
// their kind: an int64 5 and a double 5.0 are different values.
class MSRValue {
public:
    enum class Type : int { Double = 0, Int64 = 1, String = 2, Array = 3 };
    // An array holds the plain dictionaries of its elements (items).
    using Array = platform::Value::Array;

    static MSRValue initWithDouble(double value) { return MSRValue(value); }
    static MSRValue initWithInt64(std::int64_t value) { return MSRValue(value); }
    static MSRValue initWithString(std::string value) { return MSRValue(std::move(value)); }
    static MSRValue initWithArray(Array value) { return MSRValue(std::move(value)); }

    // Text, numbers (a Bool becomes int64 0 or 1) and, when allowed, arrays;
    // nothing else, logged as 35000 (null) or 35001.
    static std::optional<MSRValue> valueFromObject(const platform::Value& object, bool allowArray = false);

    Type valueType() const { return static_cast<Type>(storage_.index()); }
    bool isDouble() const { return valueType() == Type::Double; }
    bool isInt64() const { return valueType() == Type::Int64; }
    bool isString() const { return valueType() == Type::String; }
    bool isArray() const { return valueType() == Type::Array; }

    // No conversion between the kinds: the wrong kind answers 0 or nothing.
    double doubleValue() const;
    std::int64_t int64Value() const;
    const std::string* stringValue() const { return std::get_if<std::string>(&storage_); }
    const Array* arrayValue() const { return std::get_if<Array>(&storage_); }

    // The plain object the value stands for.
    platform::Value plainValue() const;
    std::string description() const;
    std::size_t hash() const;

    bool operator==(const MSRValue&) const = default;

private:
    explicit MSRValue(double value) : storage_(value) {}
    explicit MSRValue(std::int64_t value) : storage_(value) {}
    explicit MSRValue(std::string value) : storage_(std::move(value)) {}
    explicit MSRValue(Array value) : storage_(std::move(value)) {}

    std::variant<double, std::int64_t, std::string, Array> storage_;
};

// Parameters of an event: sorted keys, so encoded messages are deterministic.
using MSRParameters = std::map<std::string, MSRValue, std::less<>>;

// A parameter as callers hand it in: a plain object or an already typed value.
using MSRObject = std::variant<platform::Value, MSRValue>;
using MSRObjectDictionary = std::map<std::string, MSRObject, std::less<>>;

// The class name a log line shows for an object.
std::string_view MSRObjectClassName(const platform::Value& object);
std::string_view MSRObjectClassName(const MSRObject& object);

}  // namespace kit::measurement

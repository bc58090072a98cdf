#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

// Property-list data: what settings files, the bundle's Info.plist and the
// analytics options hold. Dictionaries keep their keys sorted.
class Value {
public:
    struct Null {
        bool operator==(const Null&) const = default;
    };
    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value, std::less<>>;
    // Dates keep microseconds; XML plist files store whole seconds.
    using Date = std::chrono::sys_time<std::chrono::microseconds>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool value) : storage_(value) {}
    Value(int value) : storage_(static_cast<std::int64_t>(value)) {}
    Value(std::int64_t value) : storage_(value) {}
    Value(double value) : storage_(value) {}
    Value(const char* value) : storage_(std::string(value)) {}
    Value(std::string value) : storage_(std::move(value)) {}
    Value(std::string_view value) : storage_(std::string(value)) {}
    Value(Data value) : storage_(std::move(value)) {}
    Value(Date value) : storage_(value) {}
    Value(Array value) : storage_(std::move(value)) {}
    Value(Dictionary value) : storage_(std::move(value)) {}

    bool isNull() const { return std::holds_alternative<Null>(storage_); }
    bool isBool() const { return std::holds_alternative<bool>(storage_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(storage_); }
    bool isDouble() const { return std::holds_alternative<double>(storage_); }
    bool isNumber() const { return isInteger() || isDouble(); }
    bool isString() const { return std::holds_alternative<std::string>(storage_); }
    bool isData() const { return std::holds_alternative<Data>(storage_); }
    bool isDate() const { return std::holds_alternative<Date>(storage_); }
    bool isArray() const { return std::holds_alternative<Array>(storage_); }
    bool isDictionary() const { return std::holds_alternative<Dictionary>(storage_); }

    // Typed views; each gives nothing when the value holds another kind.
    // Numbers convert between integer and double.
    std::optional<bool> asBool() const;
    std::optional<std::int64_t> asInteger() const;
    std::optional<double> asDouble() const;
    const std::string* asString() const { return std::get_if<std::string>(&storage_); }
    const Data* asData() const { return std::get_if<Data>(&storage_); }
    const Date* asDate() const { return std::get_if<Date>(&storage_); }
    const Array* asArray() const { return std::get_if<Array>(&storage_); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&storage_); }
    Array* asArray() { return std::get_if<Array>(&storage_); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&storage_); }

    // The Boolean a value answers when asked for one: a Boolean itself; a
    // number, true when not zero; text skips leading blanks, a sign and
    // zeros, then is true for Y, y, T, t or a digit 1-9. Nothing for other
    // kinds.
    std::optional<bool> boolValue() const;
    // The integer a value answers: a number (doubles cut toward zero), a
    // Boolean as 0 or 1, or the leading decimal integer of text after
    // blanks (0 when there is none). Saturates at the 64-bit bounds and
    // never throws. Nothing for other kinds.
    std::optional<std::int64_t> integerValue() const;
    // The text a value shows when written into a message: text as it is, a
    // number in its shortest form that reads back the same, a Boolean as 1
    // or 0; other kinds in JSON.
    std::string descriptionText() const;

    // Dictionary member lookup; nullptr when absent or not a dictionary.
    const Value* find(std::string_view key) const;

    bool operator==(const Value&) const = default;

    // XML property list text. A null value has no plist form and is written
    // as an empty string; dictionary members that are null are left out.
    // Throws platform::Error (ValueError) for what a plist file cannot
    // hold: a date outside 1932-12-13…2069-01-19, text or a key with a NUL
    // character, or nesting deeper than 512.
    std::string toXmlPlist() const;
    // Reads XML or binary plists; nothing when the bytes are not a plist or
    // nest arrays and dictionaries deeper than 512.
    static std::optional<Value> fromPlist(std::string_view bytes);

    // JSON text. Data becomes base64 text and dates ISO 8601 text in UTC.
    std::string toJson(int indent = -1) const;
    // Nothing when the text is not JSON or nests deeper than 512.
    static std::optional<Value> fromJson(std::string_view text);

private:
    std::variant<Null, bool, std::int64_t, double, std::string, Data, Date, Array, Dictionary> storage_;
};

}  // namespace platform

#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "platform/Value.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

// Typed access to the fields of a message by slot (the field's 0-based position in
// the message's declaration order, not its tag). Every call first checks that the
// wrapper holds a record, that the slot exists and that the slot's flags allow the
// call; a failed check writes one line to messagesLog() and answers the empty
// result (0, false, 0.0 or nothing). Nothing throws.
namespace kit::measurement {

// True for a repeated slot even when empty; for a singular slot, whether it is set.
bool NanoMessageHasField(const NanoMessage& message, int field);
// A singular field becomes absent, a repeated one empty.
void NanoMessageClearField(NanoMessage& message, int field);

bool NanoMessageGetBool(const NanoMessage& message, int field);
void NanoMessageSetBool(NanoMessage& message, int field, bool value);

// Serve int32, uint32 and enum fields: a uint32 above 2^31 reads negative.
std::int32_t NanoMessageGetInt32(const NanoMessage& message, int field);
void NanoMessageSetInt32(NanoMessage& message, int field, std::int32_t value);

// Serve int64 and uint64 fields.
std::int64_t NanoMessageGetInt64(const NanoMessage& message, int field);
void NanoMessageSetInt64(NanoMessage& message, int field, std::int64_t value);

float NanoMessageGetFloat(const NanoMessage& message, int field);
void NanoMessageSetFloat(NanoMessage& message, int field, float value);

double NanoMessageGetDouble(const NanoMessage& message, int field);
void NanoMessageSetDouble(NanoMessage& message, int field, double value);

// Nothing when absent or when the bytes are not valid UTF-8.
std::optional<std::string> NanoMessageGetString(const NanoMessage& message, int field);
// std::nullopt clears the field.
void NanoMessageSetString(NanoMessage& message, int field, std::optional<std::string_view> value);

// No field of the schema carries bytes: these only log.
std::optional<NanoBytes> NanoMessageGetBytes(const NanoMessage& message, int field);
void NanoMessageSetBytes(NanoMessage& message, int field, std::optional<std::span<const std::uint8_t>> value);

// A deep copy of the embedded message; nothing when absent or when `Wrapper` is
// not the wrapper of the field's message type.
template <NanoMessageClass Wrapper>
std::optional<Wrapper> NanoMessageGetMessage(const NanoMessage& message, int field);

// Stores a deep copy of `value`. A value of another message type than the field's
// is refused with a log line and changes nothing; a wrapper without a record, or
// std::nullopt, clears the field.
void NanoMessageSetMessage(NanoMessage& message, int field, const NanoMessage& value);
void NanoMessageSetMessage(NanoMessage& message, int field, std::nullopt_t);
template <NanoMessageClass Wrapper>
void NanoMessageSetMessage(NanoMessage& message, int field, const std::optional<Wrapper>& value) {
    if (value) {
        NanoMessageSetMessage(message, field, static_cast<const NanoMessage&>(*value));
    } else {
        NanoMessageSetMessage(message, field, std::nullopt);
    }
}

// Arrays. Elements may be bool, std::int32_t, std::uint32_t, std::int64_t,
// std::uint64_t, float, double, std::string, NanoBytes, platform::Value or a
// wrapper class.
//
// Get converts each element by the slot's flags and then to `Element`; an element
// that does not convert is skipped (numbers convert among themselves, a
// floating-point value only when it fits the integer type; strings, bytes and
// messages only to their own kind, messages only to their own wrapper class).
// Nothing when the slot is not repeated.
template <class Element>
std::optional<std::vector<Element>> NanoMessageGetArray(const NanoMessage& message, int field);

// Replaces the list with converted copies of the elements. An element the slot's
// flags don't allow (a string in a number list, a message of another type) logs
// one line and leaves the field empty. std::nullopt and an empty array empty it.
template <class Element>
void NanoMessageSetArray(NanoMessage& message, int field, const std::vector<Element>& array);
void NanoMessageSetArray(NanoMessage& message, int field, std::nullopt_t);

// --- Implementation of the templates

namespace detail {

// A list element as the record gives it out, after the slot's flags were applied.
using NanoArrayValue =
    std::variant<bool, std::int64_t, std::uint64_t, float, double, std::string, NanoBytes, NanoMessageInfo>;

// An element handed to the setter, with the class name its wrong-type line shows.
struct NanoArrayWrongType {};
using NanoArrayInputValue = std::variant<bool, std::int64_t, std::uint64_t, double, std::string_view,
                                         std::span<const std::uint8_t>, const NanoMessage*, NanoArrayWrongType>;
struct NanoArrayInput {
    NanoArrayInputValue value;
    std::string_view className;
};

// The list's elements; nothing after a failed check (already logged).
std::optional<std::vector<NanoArrayValue>> arrayValues(const NanoMessage& message, int field);
void setArrayValues(NanoMessage& message, int field, std::span<const NanoArrayInput> values);
// The embedded record's deep copy; nothing after a failed check or when absent.
std::optional<NanoMessageInfo> embeddedRecord(const NanoMessage& message, int field);

// The name a Value kind is logged under.
std::string_view valueClassName(const platform::Value& value);

template <class Integer>
std::optional<Integer> integerFromFloating(double value) {
    // Only values the integer type holds convert; a cast of others is undefined.
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double truncated = std::trunc(value);
    const double upper = std::ldexp(1.0, std::numeric_limits<Integer>::digits);
    const double lower = std::is_signed_v<Integer> ? -upper : 0.0;
    if (truncated < lower || truncated >= upper) {
        return std::nullopt;
    }
    return static_cast<Integer>(truncated);
}

template <class Element>
std::optional<Element> convertArrayValue(NanoArrayValue&& value) {
    if constexpr (std::is_same_v<Element, bool>) {
        return std::visit(
            [](auto& item) -> std::optional<bool> {
                using Item = std::decay_t<decltype(item)>;
                if constexpr (std::is_arithmetic_v<Item>) {
                    return item != 0;
                } else {
                    return std::nullopt;
                }
            },
            value);
    } else if constexpr (std::is_integral_v<Element>) {
        return std::visit(
            [](auto& item) -> std::optional<Element> {
                using Item = std::decay_t<decltype(item)>;
                if constexpr (std::is_floating_point_v<Item>) {
                    return integerFromFloating<Element>(static_cast<double>(item));
                } else if constexpr (std::is_arithmetic_v<Item>) {
                    return static_cast<Element>(item);
                } else {
                    return std::nullopt;
                }
            },
            value);
    } else if constexpr (std::is_floating_point_v<Element>) {
        return std::visit(
            [](auto& item) -> std::optional<Element> {
                using Item = std::decay_t<decltype(item)>;
                if constexpr (std::is_same_v<Element, float> && std::is_same_v<Item, double>) {
                    // Out of float's range is undefined in C++; NaN and infinities pass.
                    if (std::isfinite(item) && std::fabs(item) > std::numeric_limits<float>::max()) {
                        return item > 0 ? std::numeric_limits<float>::infinity()
                                        : -std::numeric_limits<float>::infinity();
                    }
                    return static_cast<float>(item);
                } else if constexpr (std::is_arithmetic_v<Item>) {
                    return static_cast<Element>(item);
                } else {
                    return std::nullopt;
                }
            },
            value);
    } else if constexpr (std::is_same_v<Element, std::string>) {
        if (auto* text = std::get_if<std::string>(&value)) {
            return std::move(*text);
        }
        return std::nullopt;
    } else if constexpr (std::is_same_v<Element, NanoBytes>) {
        if (auto* bytes = std::get_if<NanoBytes>(&value)) {
            return std::move(*bytes);
        }
        return std::nullopt;
    } else if constexpr (std::is_same_v<Element, platform::Value>) {
        return std::visit(
            [](auto& item) -> std::optional<platform::Value> {
                using Item = std::decay_t<decltype(item)>;
                if constexpr (std::is_same_v<Item, bool>) {
                    return platform::Value(item);
                } else if constexpr (std::is_integral_v<Item>) {
                    return platform::Value(static_cast<std::int64_t>(item));
                } else if constexpr (std::is_floating_point_v<Item>) {
                    return platform::Value(static_cast<double>(item));
                } else if constexpr (std::is_same_v<Item, std::string>) {
                    return platform::Value(std::move(item));
                } else if constexpr (std::is_same_v<Item, NanoBytes>) {
                    return platform::Value(platform::Value::Data(std::move(item)));
                } else {
                    return std::nullopt;
                }
            },
            value);
    } else {
        static_assert(NanoMessageClass<Element>, "not an array element type");
        if (auto* record = std::get_if<NanoMessageInfo>(&value)) {
            return Element::withRecord(std::move(*record));
        }
        return std::nullopt;
    }
}

// Class names for the wrong-element line.
template <class Element>
constexpr std::string_view arrayElementClassName() {
    if constexpr (std::is_same_v<Element, bool>) {
        return "bool";
    } else if constexpr (std::is_same_v<Element, std::int32_t>) {
        return "int32_t";
    } else if constexpr (std::is_same_v<Element, std::uint32_t>) {
        return "uint32_t";
    } else if constexpr (std::is_same_v<Element, std::int64_t>) {
        return "int64_t";
    } else if constexpr (std::is_same_v<Element, std::uint64_t>) {
        return "uint64_t";
    } else if constexpr (std::is_same_v<Element, float>) {
        return "float";
    } else if constexpr (std::is_same_v<Element, double>) {
        return "double";
    } else if constexpr (std::is_same_v<Element, std::string>) {
        return "std::string";
    } else if constexpr (std::is_same_v<Element, NanoBytes>) {
        return "NanoBytes";
    } else {
        static_assert(NanoMessageClass<Element>, "not an array element type");
        return Element::className;
    }
}

template <class Element>
NanoArrayInput arrayInput(const Element& element) {
    if constexpr (std::is_same_v<Element, platform::Value>) {
        const std::string_view className = valueClassName(element);
        if (element.isBool()) {
            return {*element.asBool(), className};
        }
        if (element.isInteger()) {
            return {*element.asInteger(), className};
        }
        if (element.isDouble()) {
            return {*element.asDouble(), className};
        }
        if (const std::string* text = element.asString()) {
            return {std::string_view(*text), className};
        }
        if (const platform::Value::Data* data = element.asData()) {
            return {std::span<const std::uint8_t>(*data), className};
        }
        return {NanoArrayWrongType{}, className};
    } else {
        constexpr std::string_view className = arrayElementClassName<Element>();
        if constexpr (std::is_same_v<Element, bool>) {
            return {element, className};
        } else if constexpr (std::is_integral_v<Element> && std::is_signed_v<Element>) {
            return {static_cast<std::int64_t>(element), className};
        } else if constexpr (std::is_integral_v<Element>) {
            return {static_cast<std::uint64_t>(element), className};
        } else if constexpr (std::is_floating_point_v<Element>) {
            return {static_cast<double>(element), className};
        } else if constexpr (std::is_same_v<Element, std::string>) {
            return {std::string_view(element), className};
        } else if constexpr (std::is_same_v<Element, NanoBytes>) {
            return {std::span<const std::uint8_t>(element), className};
        } else {
            return {static_cast<const NanoMessage*>(&element), className};
        }
    }
}

}  // namespace detail

template <NanoMessageClass Wrapper>
std::optional<Wrapper> NanoMessageGetMessage(const NanoMessage& message, int field) {
    auto record = detail::embeddedRecord(message, field);
    if (!record) {
        return std::nullopt;
    }
    return Wrapper::withRecord(std::move(*record));
}

template <class Element>
std::optional<std::vector<Element>> NanoMessageGetArray(const NanoMessage& message, int field) {
    auto values = detail::arrayValues(message, field);
    if (!values) {
        return std::nullopt;
    }
    std::vector<Element> elements;
    elements.reserve(values->size());
    for (detail::NanoArrayValue& value : *values) {
        if (auto element = detail::convertArrayValue<Element>(std::move(value))) {
            elements.push_back(std::move(*element));
        }
    }
    return elements;
}

template <class Element>
void NanoMessageSetArray(NanoMessage& message, int field, const std::vector<Element>& array) {
    std::vector<detail::NanoArrayInput> inputs;
    inputs.reserve(array.size());
    for (const Element& element : array) {
        inputs.push_back(detail::arrayInput(element));
    }
    detail::setArrayValues(message, field, inputs);
}

// std::vector<bool> has no element references.
template <>
inline void NanoMessageSetArray<bool>(NanoMessage& message, int field, const std::vector<bool>& array) {
    std::vector<detail::NanoArrayInput> inputs;
    inputs.reserve(array.size());
    for (const bool element : array) {
        inputs.push_back(detail::arrayInput(element));
    }
    detail::setArrayValues(message, field, inputs);
}

}  // namespace kit::measurement

#include "kit/measurement/messages/MSRPEvent.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <vector>

namespace kit::measurement {
namespace {

constexpr std::array<std::string_view, 3> wholeNumberParameters = {"_syn", "_err", "_el"};
constexpr double timestampTolerance = 2.220446049250313e-16;

// Truncated toward zero; NaN gives 0 and the rest saturates.
std::int64_t truncatedInteger(double number) {
    if (std::isnan(number)) {
        return 0;
    }
    if (number >= 9223372036854775807.0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (number <= -9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(number);
}

std::int64_t asWholeNumber(const platform::Value& number) {
    if (number.isInteger()) {
        return *number.asInteger();
    }
    return truncatedInteger(number.asDouble().value_or(0));
}

std::string decimalText(const platform::Value& number) {
    char buffer[64];
    std::to_chars_result written{};
    if (number.isInteger()) {
        written = std::to_chars(buffer, buffer + sizeof buffer, *number.asInteger());
    } else {
        double value = number.asDouble().value_or(0);
        if (std::isnan(value)) {
            return "nan";
        }
        if (std::isinf(value)) {
            return value > 0 ? "inf" : "-inf";
        }
        // Whole numbers print without a fraction, as 12 and not 12.0.
        if (value == std::trunc(value) && std::fabs(value) < 1e15) {
            written = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(value));
        } else {
            written = std::to_chars(buffer, buffer + sizeof buffer, value);
        }
    }
    return std::string(buffer, written.ptr);
}

bool numbersEqual(const platform::Value& first, const platform::Value& second) {
    if (first.isInteger() && second.isInteger()) {
        return *first.asInteger() == *second.asInteger();
    }
    if (first.isInteger() || second.isInteger()) {
        // An integer and a double: equal when the double is exactly that integer.
        const platform::Value& integer = first.isInteger() ? first : second;
        double other = (first.isInteger() ? second : first).asDouble().value_or(0);
        return other == std::trunc(other) && other >= -9223372036854775808.0 && other < 9223372036854775808.0 &&
               static_cast<std::int64_t>(other) == *integer.asInteger();
    }
    return *first.asDouble() == *second.asDouble();
}

}  // namespace

platform::Value coercedParameterValue(std::string_view name, const platform::Value* existing, platform::Value value) {
    if (!value.isNumber()) {
        return value;
    }
    for (std::string_view whole : wholeNumberParameters) {
        if (name == whole) {
            return platform::Value(asWholeNumber(value));
        }
    }
    if (existing == nullptr) {
        return value;
    }
    if (existing->isDouble()) {
        return value;
    }
    if (existing->isInteger()) {
        if (name.starts_with("_")) {
            return *existing;
        }
        return platform::Value(asWholeNumber(value));
    }
    if (existing->isString()) {
        return platform::Value(decimalText(value));
    }
    return value;
}

bool parameterValuesEqual(const platform::Value& first, const platform::Value& second) {
    // An explicit stack: values from scripts may nest deeply.
    std::vector<std::pair<const platform::Value*, const platform::Value*>> pending{{&first, &second}};
    while (!pending.empty()) {
        auto [left, right] = pending.back();
        pending.pop_back();
        if (left->isNumber() || right->isNumber()) {
            if (!left->isNumber() || !right->isNumber() || !numbersEqual(*left, *right)) {
                return false;
            }
        } else if (const auto* leftArray = left->asArray()) {
            const auto* rightArray = right->asArray();
            if (rightArray == nullptr || rightArray->size() != leftArray->size()) {
                return false;
            }
            for (std::size_t index = 0; index < leftArray->size(); ++index) {
                pending.emplace_back(&(*leftArray)[index], &(*rightArray)[index]);
            }
        } else if (const auto* leftDictionary = left->asDictionary()) {
            const auto* rightDictionary = right->asDictionary();
            if (rightDictionary == nullptr || rightDictionary->size() != leftDictionary->size()) {
                return false;
            }
            for (auto leftEntry = leftDictionary->begin(), rightEntry = rightDictionary->begin();
                 leftEntry != leftDictionary->end(); ++leftEntry, ++rightEntry) {
                if (leftEntry->first != rightEntry->first) {
                    return false;
                }
                pending.emplace_back(&leftEntry->second, &rightEntry->second);
            }
        } else if (!(*left == *right)) {
            return false;
        }
    }
    return true;
}

const platform::Value* MSRPEvent::parameterForName(std::string_view name) const {
    auto found = parameters_.find(name);
    return found == parameters_.end() ? nullptr : &found->second;
}

void MSRPEvent::setParameter(std::optional<platform::Value> value, std::string_view name) {
    if (!value) {
        if (auto found = parameters_.find(name); found != parameters_.end()) {
            parameters_.erase(found);
        }
        return;
    }
    platform::Value fitted = coercedParameterValue(name, parameterForName(name), std::move(*value));
    parameters_.insert_or_assign(std::string(name), std::move(fitted));
}

bool MSRPEvent::isEqualToEvent(const MSRPEvent& other) const {
    if (this == &other) {
        return true;
    }
    if (std::fabs(timestamp_ - other.timestamp_) > timestampTolerance || name_ != other.name_) {
        return false;
    }
    // Both sides count: a parameter only the other event has (one a script
    // removed) is a difference too.
    if (parameters_.size() != other.parameters_.size()) {
        return false;
    }
    for (const auto& [key, value] : parameters_) {
        const platform::Value* otherValue = other.parameterForName(key);
        if (otherValue == nullptr || !parameterValuesEqual(value, *otherValue)) {
            return false;
        }
        if (value.isNumber() && value.isDouble() != otherValue->isDouble()) {
            return false;
        }
    }
    return true;
}

}  // namespace kit::measurement

#include "kit/measurement/script/ScriptRoutines.h"

#include "kit/measurement/script/MSRPArrayValue.h"

#include <unicode/unorm.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace kit::measurement::script {

ValueList evaluateArgumentList(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    ValueList values;
    values.reserve(arguments.size());
    for (const ValueRef& argument : arguments) {
        values.push_back(MSRPEvaluator::evaluateStatement(argument, scope, error));
        if (error) {
            break;
        }
    }
    return values;
}

bool requireArgumentCount(const ValueList& arguments, std::size_t count, ScriptError& error) {
    if (arguments.size() != count) {
        setScriptError(error, ScriptErrorCode::wrongArgumentCount);
        return false;
    }
    return true;
}

bool requireAtLeastArgumentCount(const ValueList& arguments, std::size_t count, ScriptError& error) {
    if (arguments.size() < count) {
        setScriptError(error, ScriptErrorCode::wrongArgumentCount);
        return false;
    }
    return true;
}

bool requireAtMostArgumentCount(const ValueList& arguments, std::size_t count, ScriptError& error) {
    if (arguments.size() > count) {
        setScriptError(error, ScriptErrorCode::wrongArgumentCount);
        return false;
    }
    return true;
}

bool evaluateCountedArguments(const ValueList& arguments, std::size_t count, MSRPScope& scope, ValueList& values,
                              ScriptError& error) {
    if (!requireArgumentCount(arguments, count, error)) {
        return false;
    }
    values = evaluateArgumentList(arguments, scope, error);
    return !error;
}

bool isStringLikeValue(const MSRPRuntimeValue& value) noexcept {
    return value.isContainer() || valueIs<MSRPStringValue>(&value);
}

bool isIndexValue(const MSRPRuntimeValue& value) {
    if (!valueIs<MSRPNumberValue>(&value) && !valueIs<MSRPStringValue>(&value)) {
        return false;
    }
    ScriptError error;
    double number = value.doubleValueOrError(error);
    return !error && std::isfinite(number) && number >= 0 && std::trunc(number) == number;
}

double toIntegerValue(double number) noexcept {
    if (std::isnan(number)) {
        return 0;
    }
    if (number == 0 || std::isinf(number)) {
        return number;
    }
    return std::trunc(number);
}

std::uint32_t toUint32Value(double number) noexcept {
    if (!std::isfinite(number)) {
        return 0;
    }
    double remainder = std::fmod(std::trunc(number), 4294967296.0);
    if (remainder < 0) {
        remainder += 4294967296.0;
    }
    return static_cast<std::uint32_t>(remainder);
}

std::int32_t toInt32Value(double number) noexcept { return static_cast<std::int32_t>(toUint32Value(number)); }

std::int64_t toInt64Saturated(double number) noexcept {
    if (std::isnan(number)) {
        return 0;
    }
    if (number >= 9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (number < -9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(number);
}

bool isStrictlyEqualValue(const MSRPRuntimeValue& first, const MSRPRuntimeValue& second) noexcept {
    if (first.kind() != second.kind()) {
        return false;
    }
    switch (first.kind()) {
    case MSRPRuntimeValue::Kind::numberValue:
        return static_cast<const MSRPNumberValue&>(first).value() ==
               static_cast<const MSRPNumberValue&>(second).value();
    case MSRPRuntimeValue::Kind::booleanValue:
        return static_cast<const MSRPBooleanValue&>(first).value() ==
               static_cast<const MSRPBooleanValue&>(second).value();
    case MSRPRuntimeValue::Kind::stringValue:
        return static_cast<const MSRPStringValue&>(first).value() ==
               static_cast<const MSRPStringValue&>(second).value();
    default:
        return &first == &second;
    }
}

namespace {

int equalityClass(const MSRPRuntimeValue& value) noexcept {
    switch (value.kind()) {
    case MSRPRuntimeValue::Kind::undefinedValue:
    case MSRPRuntimeValue::Kind::nullValue:
        return 0;
    case MSRPRuntimeValue::Kind::numberValue:
    case MSRPRuntimeValue::Kind::booleanValue:
        return 1;
    case MSRPRuntimeValue::Kind::stringValue:
        return 2;
    default:
        return 3;
    }
}

}  // namespace

bool isLooselyEqualValue(const MSRPRuntimeValue& first, const MSRPRuntimeValue& second, ScriptError& error) {
    const MSRPRuntimeValue* x = &first;
    const MSRPRuntimeValue* y = &second;
    if (equalityClass(*y) < equalityClass(*x)) {
        std::swap(x, y);
    }
    switch (equalityClass(*x)) {
    case 0:
        return equalityClass(*y) == 0;
    case 1: {
        double left = x->doubleValueOrError(error);
        if (error) {
            return false;
        }
        double right = y->doubleValueOrError(error);
        return !error && left == right;
    }
    case 2: {
        std::u16string left = x->stringValueOrError(error);
        if (error) {
            return false;
        }
        std::u16string right = y->stringValueOrError(error);
        return !error && left == right;
    }
    default:
        return x == y;
    }
}

int compareStrings(std::u16string_view first, std::u16string_view second) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t result =
        unorm_compare(reinterpret_cast<const UChar*>(first.data()), static_cast<int32_t>(first.size()),
                      reinterpret_cast<const UChar*>(second.data()), static_cast<int32_t>(second.size()), 0, &status);
    if (U_FAILURE(status)) {
        // Only allocation failures end here; code unit order is the fallback.
        result = first.compare(second);
    }
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

std::u16string canonicalOrderKey(std::u16string text) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* decomposition = unorm2_getNFDInstance(&status);
    const auto* units = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    if (U_FAILURE(status) || unorm2_isNormalized(decomposition, units, length, &status) || U_FAILURE(status)) {
        return text;
    }
    // Decomposition grows a text by at most a few units per unit; ICU says how
    // much when the first guess is short.
    std::u16string decomposed(text.size() * 2 + 8, u'\0');
    int32_t needed = unorm2_normalize(decomposition, units, length, reinterpret_cast<UChar*>(decomposed.data()),
                                      static_cast<int32_t>(decomposed.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        decomposed.assign(static_cast<std::size_t>(needed), u'\0');
        needed = unorm2_normalize(decomposition, units, length, reinterpret_cast<UChar*>(decomposed.data()),
                                  static_cast<int32_t>(decomposed.size()), &status);
    }
    if (U_FAILURE(status)) {
        return text;
    }
    decomposed.resize(static_cast<std::size_t>(needed));
    return decomposed;
}

int compareValues(const MSRPRuntimeValue& first, const MSRPRuntimeValue& second, ExecutionState* run,
                  ScriptError& error) {
    if (isStringLikeValue(first) && isStringLikeValue(second)) {
        std::u16string left = first.stringValueOrError(error);
        if (error) {
            return 1;
        }
        std::u16string right = second.stringValueOrError(error);
        if (error) {
            return 1;
        }
        if (!chargeWork(run, left.size() + right.size(), error)) {
            return 1;
        }
        return compareStrings(left, right);
    }
    double left = first.doubleValueOrError(error);
    if (error) {
        return 1;
    }
    double right = second.doubleValueOrError(error);
    if (error) {
        return 1;
    }
    if (left == right) {
        return 0;
    }
    return left < right ? -1 : 1;
}

ValueRef makeStringValue(std::u16string text, ExecutionState* run, ScriptError& error) {
    if (text.size() > limits::maximumStringLength) {
        setScriptError(error, ScriptErrorCode::limitReached);
        return undefinedValue();
    }
    if (!chargeWork(run, text.size(), error)) {
        return undefinedValue();
    }
    return makeRef<MSRPStringValue>(std::move(text), run);
}

ValueRef makeStringValue(std::u16string text, const MSRPScope& scope, ScriptError& error) {
    return makeStringValue(std::move(text), scope.executionState(), error);
}

std::u16string numberToString(double number) {
    if (std::isnan(number)) {
        return u"NaN";
    }
    if (std::isinf(number)) {
        return number > 0 ? u"Infinity" : u"-Infinity";
    }
    if (number == 0) {
        return u"0";
    }
    // The shortest digits that read back exactly (never more than 17), then
    // laid out in decimal or scientific form.
    char buffer[64];
    auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::scientific);
    std::string scientific(buffer, status == std::errc() ? end : buffer);
    bool negative = scientific.front() == '-';
    if (negative) {
        scientific.erase(0, 1);
    }
    std::size_t exponentAt = scientific.find('e');
    std::string digits;
    for (std::size_t position = 0; position < exponentAt; ++position) {
        if (scientific[position] != '.') {
            digits += scientific[position];
        }
    }
    int exponent = std::stoi(scientific.substr(exponentAt + 1));
    std::string text = negative ? "-" : "";
    double magnitude = std::fabs(number);
    if (magnitude >= 1e-6 && magnitude < 1e21) {
        int pointAt = exponent + 1;  // digits before the decimal point
        if (pointAt <= 0) {
            text += "0." + std::string(static_cast<std::size_t>(-pointAt), '0') + digits;
        } else if (static_cast<std::size_t>(pointAt) >= digits.size()) {
            text += digits + std::string(static_cast<std::size_t>(pointAt) - digits.size(), '0');
        } else {
            text += digits.substr(0, static_cast<std::size_t>(pointAt)) + "." +
                    digits.substr(static_cast<std::size_t>(pointAt));
        }
    } else {
        text += digits.substr(0, 1);
        if (digits.size() > 1) {
            text += "." + digits.substr(1);
        }
        text += exponent < 0 ? "e-" : "e+";
        text += std::to_string(exponent < 0 ? -exponent : exponent);
    }
    return std::u16string(text.begin(), text.end());
}

bool isTrimmedSpace(char16_t unit) noexcept {
    switch (unit) {
    case 0x0020:
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return (unit >= 0x0009 && unit <= 0x000D) || (unit >= 0x2000 && unit <= 0x200A);
    }
}

namespace {

bool isDigit(char16_t unit) noexcept { return unit >= u'0' && unit <= u'9'; }

}  // namespace

double stringToNumber(std::u16string_view text) {
    while (!text.empty() && isTrimmedSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isTrimmedSpace(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return 0;
    }
    if (text == u"NaN") {
        return std::nan("");
    }
    if (text == u"Infinity") {
        return std::numeric_limits<double>::infinity();
    }
    if (text == u"-Infinity") {
        return -std::numeric_limits<double>::infinity();
    }
    // Our own scanner for the accepted grammar (sign, digits, fraction,
    // exponent; nothing else), so that from_chars never sees "inf", "nan" or hex.
    std::size_t position = 0;
    bool negative = false;
    if (text[position] == u'+' || text[position] == u'-') {
        negative = text[position] == u'-';
        ++position;
    }
    std::string ascii;
    std::size_t integerDigits = 0;
    std::size_t fractionDigits = 0;
    // The decimal magnitude of the first significant digit, to tell an
    // overflow from an underflow.
    long long leadingZerosInFraction = 0;
    bool sawSignificant = false;
    long long significantIntegerDigits = 0;
    while (position < text.size() && isDigit(text[position])) {
        if (text[position] != u'0' || sawSignificant) {
            sawSignificant = true;
            ++significantIntegerDigits;
        }
        ascii += static_cast<char>(text[position++]);
        ++integerDigits;
    }
    if (position < text.size() && text[position] == u'.') {
        ascii += '.';
        ++position;
        while (position < text.size() && isDigit(text[position])) {
            if (!sawSignificant) {
                if (text[position] == u'0') {
                    ++leadingZerosInFraction;
                } else {
                    sawSignificant = true;
                }
            }
            ascii += static_cast<char>(text[position++]);
            ++fractionDigits;
        }
    }
    if (integerDigits + fractionDigits == 0) {
        return std::nan("");
    }
    long long exponent = 0;
    if (position < text.size() && (text[position] == u'e' || text[position] == u'E')) {
        ascii += 'e';
        ++position;
        bool exponentNegative = false;
        if (position < text.size() && (text[position] == u'+' || text[position] == u'-')) {
            exponentNegative = text[position] == u'-';
            ascii += static_cast<char>(text[position++]);
        }
        std::size_t exponentDigits = 0;
        while (position < text.size() && isDigit(text[position])) {
            if (exponent < 1'000'000'000) {
                exponent = exponent * 10 + (text[position] - u'0');
            }
            ascii += static_cast<char>(text[position++]);
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nan("");
        }
        if (exponentNegative) {
            exponent = -exponent;
        }
    }
    if (position != text.size()) {
        return std::nan("");
    }
    double value = 0;
    auto [end, status] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (status == std::errc::result_out_of_range) {
        if (!sawSignificant) {
            value = 0;
        } else {
            long long magnitude =
                (significantIntegerDigits > 0 ? significantIntegerDigits : -leadingZerosInFraction) + exponent;
            value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
    } else if (status != std::errc() || end != ascii.data() + ascii.size()) {
        return std::nan("");
    }
    return negative ? -value : value;
}

std::u16string utf16FromUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    std::u16string result(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(result.data()), static_cast<int32_t>(result.size()), &length,
                         text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::string utf8FromUtf16(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    std::string result(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length,
                       reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                       &status);
    if (U_FAILURE(status)) {
        return {};
    }
    result.resize(static_cast<std::size_t>(length));
    return result;
}

}  // namespace kit::measurement::script

#include "platform/Decimal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace platform {

namespace {

using Mantissa = unsigned __int128;

Mantissa powerOfTen(int exponent) {
    Mantissa result = 1;
    for (int i = 0; i < exponent; ++i) {
        result *= 10;
    }
    return result;
}

}  // namespace

int Decimal::digitCount(Mantissa value) {
    int count = 0;
    while (value != 0) {
        value /= 10;
        ++count;
    }
    return count;
}

Decimal Decimal::fromInt64(std::int64_t value) {
    Decimal result;
    result.negative_ = value < 0;
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    while (magnitude != 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        ++result.exponent_;
    }
    result.mantissa_ = magnitude;
    if (magnitude == 0) {
        result = Decimal();
    }
    return result;
}

std::optional<Decimal> Decimal::fromDouble(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    // Shortest round trip, scientific so the text stays short for any
    // magnitude; the exponent part is folded in below.
    std::array<char, 64> buffer{};
    const auto written =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
    if (written.ec != std::errc()) {
        return std::nullopt;
    }
    const std::string_view text(buffer.data(), static_cast<std::size_t>(written.ptr - buffer.data()));
    const std::size_t marker = text.find('e');
    auto mantissa = parse(text.substr(0, marker));
    if (!mantissa || marker == std::string_view::npos) {
        return mantissa;
    }
    std::string_view exponentText = text.substr(marker + 1);
    if (!exponentText.empty() && exponentText.front() == '+') {
        exponentText.remove_prefix(1);
    }
    int exponent = 0;
    const auto read = std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    if (read.ec != std::errc() || read.ptr != exponentText.data() + exponentText.size()) {
        return std::nullopt;
    }
    return mantissa->scaledByPowerOfTen(exponent);
}

std::optional<Decimal> Decimal::parse(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t dot = text.find('.');
    const std::string_view integerPart = text.substr(0, dot);
    const std::string_view fractionPart = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (integerPart.empty() && fractionPart.empty()) {
        return std::nullopt;
    }
    const auto allDigits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!allDigits(integerPart) || !allDigits(fractionPart)) {
        return std::nullopt;
    }

    // The digits as one run, value = run * 10^exponent; counted in 64-bit so
    // an absurdly long text cannot wrap the exponent.
    std::string digits;
    digits.reserve(integerPart.size() + fractionPart.size());
    digits.append(integerPart).append(fractionPart);
    std::int64_t exponent = -static_cast<std::int64_t>(fractionPart.size());
    const std::size_t firstSignificant = digits.find_first_not_of('0');
    if (firstSignificant == std::string::npos) {
        return Decimal();
    }
    std::string_view significant = std::string_view(digits).substr(firstSignificant);
    const std::size_t lastSignificant = significant.find_last_not_of('0');
    exponent += static_cast<std::int64_t>(significant.size() - lastSignificant - 1);
    significant = significant.substr(0, lastSignificant + 1);
    if (significant.size() > static_cast<std::size_t>(kMaxDigits)) {
        exponent += static_cast<std::int64_t>(significant.size() - kMaxDigits);
        significant = significant.substr(0, kMaxDigits);
    }
    Mantissa mantissa = 0;
    for (char digit : significant) {
        mantissa = mantissa * 10 + static_cast<unsigned>(digit - '0');
    }
    while (mantissa % 10 == 0) {
        mantissa /= 10;
        ++exponent;
    }
    if (exponent < kMinExponent || exponent > kMaxExponent) {
        return std::nullopt;
    }
    Decimal result;
    result.mantissa_ = mantissa;
    result.exponent_ = static_cast<int>(exponent);
    result.negative_ = negative;
    return result;
}

Decimal Decimal::negated() const {
    Decimal result = *this;
    if (!isZero()) {
        result.negative_ = !negative_;
    }
    return result;
}

std::optional<Decimal> Decimal::scaledByPowerOfTen(int power) const {
    if (isZero()) {
        return *this;
    }
    const std::int64_t exponent = static_cast<std::int64_t>(exponent_) + power;
    if (exponent < kMinExponent || exponent > kMaxExponent) {
        return std::nullopt;
    }
    Decimal result = *this;
    result.exponent_ = static_cast<int>(exponent);
    return result;
}

std::optional<std::int64_t> Decimal::toInt64(Rounding rounding) const {
    // 2^63 has 19 digits: a leading digit past the 20th place never fits.
    const int digits = digitCount(mantissa_);
    if (digits + exponent_ > 20) {
        return std::nullopt;
    }
    Mantissa magnitude = mantissa_;
    if (exponent_ >= 0) {
        magnitude *= powerOfTen(exponent_);
    } else if (-exponent_ > digits) {
        // Below 0.1: rounds to zero either way.
        magnitude = 0;
    } else {
        const Mantissa divisor = powerOfTen(-exponent_);
        const Mantissa remainder = magnitude % divisor;
        magnitude /= divisor;
        if (rounding == Rounding::halfAwayFromZero && remainder * 2 >= divisor) {
            ++magnitude;
        }
    }
    const Mantissa limit = static_cast<Mantissa>(std::numeric_limits<std::int64_t>::max()) + (negative_ ? 1 : 0);
    if (magnitude > limit) {
        return std::nullopt;
    }
    if (negative_) {
        return static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(magnitude));
    }
    return static_cast<std::int64_t>(magnitude);
}

std::string Decimal::toString() const {
    if (isZero()) {
        return "0";
    }
    std::string digits;
    for (Mantissa value = mantissa_; value != 0; value /= 10) {
        digits.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
    }
    std::reverse(digits.begin(), digits.end());
    std::string text = negative_ ? "-" : "";
    if (exponent_ >= 0) {
        text += digits;
        text.append(static_cast<std::size_t>(exponent_), '0');
    } else {
        const std::size_t fraction = static_cast<std::size_t>(-exponent_);
        if (digits.size() <= fraction) {
            text += "0.";
            text.append(fraction - digits.size(), '0');
            text += digits;
        } else {
            text += digits.substr(0, digits.size() - fraction);
            text += '.';
            text += digits.substr(digits.size() - fraction);
        }
    }
    return text;
}

double Decimal::toDouble() const {
    // strtod rounds correctly; the canonical text is in its "C" grammar.
    const std::string text = toString();
    return std::strtod(text.c_str(), nullptr);
}

std::strong_ordering Decimal::compareMagnitude(const Decimal& other) const {
    if (isZero() || other.isZero()) {
        return other.isZero() <=> isZero();
    }
    const int digits = digitCount(mantissa_);
    const int otherDigits = digitCount(other.mantissa_);
    // The place of the leading digit decides first.
    if (const auto order = (digits + exponent_) <=> (otherDigits + other.exponent_); order != 0) {
        return order;
    }
    const Mantissa scaled = mantissa_ * powerOfTen(kMaxDigits - digits);
    const Mantissa otherScaled = other.mantissa_ * powerOfTen(kMaxDigits - otherDigits);
    return scaled <=> otherScaled;
}

std::strong_ordering Decimal::operator<=>(const Decimal& other) const {
    if (negative_ != other.negative_) {
        return negative_ ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    const std::strong_ordering magnitude = compareMagnitude(other);
    return negative_ ? 0 <=> magnitude : magnitude;
}

}  // namespace platform

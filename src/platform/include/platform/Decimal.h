#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An exact decimal number: up to 38 significant digits times a power of ten
// between -128 and 127. Money and the filters of the analytics kit compare
// these rather than doubles, which would round "0.1".
class Decimal {
public:
    static constexpr int kMaxDigits = 38;
    static constexpr int kMinExponent = -128;
    static constexpr int kMaxExponent = 127;

    Decimal() = default;
    static Decimal fromInt64(std::int64_t value);
    // The shortest decimal that reads back as `value`; nothing for NaN, an
    // infinity, or a value whose exponent leaves the range.
    static std::optional<Decimal> fromDouble(double value);

    // The fixed grammar [+-]?digits[.digits] (or .digits), independent of the
    // process locale. Digits past the 38th are dropped (the caller can tell
    // by comparing the canonical text); nothing for other text or when the
    // exponent leaves its range.
    static std::optional<Decimal> parse(std::string_view text);

    bool isZero() const { return mantissa_ == 0; }
    bool isNegative() const { return negative_; }
    Decimal negated() const;
    // This number times 10^power; nothing when the exponent leaves its range.
    std::optional<Decimal> scaledByPowerOfTen(int power) const;

    enum class Rounding { towardZero, halfAwayFromZero };
    // The integer this number rounds to; nothing when it does not fit 64 bits.
    std::optional<std::int64_t> toInt64(Rounding rounding) const;

    // Plain digits without exponent: "0.5", "-12", "1200", "0".
    std::string toString() const;
    // The nearest double.
    double toDouble() const;

    std::strong_ordering operator<=>(const Decimal& other) const;
    bool operator==(const Decimal& other) const = default;

private:
    using Mantissa = unsigned __int128;
    static int digitCount(Mantissa value);
    std::strong_ordering compareMagnitude(const Decimal& other) const;

    // Normalised: no trailing zero in the mantissa; zero is positive with
    // exponent 0. So equal numbers have equal fields.
    Mantissa mantissa_ = 0;
    int exponent_ = 0;
    bool negative_ = false;
};

}  // namespace platform

#include "kit/measurement/controller/MSRInAppPurchaseItem.h"

#include "platform/Format.h"

#include <chrono>

namespace kit::measurement {

namespace {

// Reads exactly `count` ASCII digits at `position`, moving past them.
bool readDigits(std::string_view text, std::size_t& position, std::size_t count, int& value) {
    if (position + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t index = 0; index < count; ++index) {
        const char character = text[position + index];
        if (character < '0' || character > '9') {
            return false;
        }
        value = value * 10 + (character - '0');
    }
    position += count;
    return true;
}

bool readCharacter(std::string_view text, std::size_t& position, char expected) {
    if (position >= text.size() || text[position] != expected) {
        return false;
    }
    ++position;
    return true;
}

// A time point holds nanoseconds in 64 bits: about 292 years either side of
// 1970.
constexpr std::int64_t kLargestSeconds = 9'000'000'000;

}  // namespace

std::optional<platform::TimePoint> MSRInAppPurchaseItem::purchaseDate() const {
    if (!purchaseDateIA5String) {
        return std::nullopt;
    }
    return MSRParseReceiptDate(*purchaseDateIA5String);
}

std::optional<platform::TimePoint> MSRParseReceiptDate(std::string_view text) {
    std::size_t position = 0;
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!readDigits(text, position, 4, year) || !readCharacter(text, position, '-') ||
        !readDigits(text, position, 2, month) || !readCharacter(text, position, '-') ||
        !readDigits(text, position, 2, day) || !readCharacter(text, position, 'T') ||
        !readDigits(text, position, 2, hour) || !readCharacter(text, position, ':') ||
        !readDigits(text, position, 2, minute) || !readCharacter(text, position, ':') ||
        !readDigits(text, position, 2, second)) {
        return std::nullopt;
    }
    std::int64_t offsetSeconds = 0;
    if (readCharacter(text, position, 'Z')) {
        offsetSeconds = 0;
    } else if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        const bool negative = text[position] == '-';
        ++position;
        int offsetHours = 0;
        int offsetMinutes = 0;
        if (!readDigits(text, position, 2, offsetHours) || !readCharacter(text, position, ':') ||
            !readDigits(text, position, 2, offsetMinutes) || offsetHours > 23 || offsetMinutes > 59) {
            return std::nullopt;
        }
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (negative ? -1 : 1);
    } else {
        return std::nullopt;
    }
    if (position != text.size() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) {
        return std::nullopt;
    }
    const std::int64_t days = std::chrono::sys_days{date}.time_since_epoch().count();
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    if (seconds > kLargestSeconds || seconds < -kLargestSeconds) {
        return std::nullopt;
    }
    return platform::TimePoint{std::chrono::seconds{seconds}};
}

std::string MSRFormatReceiptDate(platform::TimePoint at) {
    return platform::format::patternUtc(at, "yyyy-MM-dd'T'HH:mm:ss'Z'");
}

}  // namespace kit::measurement

#include "platform/Format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace platform::format {

namespace {

constexpr std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 12> kShortMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 7> kShortWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::string groupDigits(std::string_view digits) {
    std::string grouped;
    const std::size_t length = digits.size();
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0 && (length - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

// Fixed-point text of |value| with `digits` fraction digits. printf rounds
// the binary value, not the decimal one written in the source: 2.675 is
// stored as 2.67499999…, so it prints as "2.67" where a decimal formatter
// would give "2.68". Only exact ties (0.125) round half to even.
std::string fixed(double magnitude, int digits) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, magnitude);
    return buffer;
}

// The magnitude with at most `maximum` fraction digits, trailing zeros
// dropped down to `minimum`, the integer part grouped.
std::string trimmedGrouped(double magnitude, int minimum, int maximum) {
    std::string text = fixed(magnitude, std::max(maximum, minimum));
    std::size_t dot = text.find('.');
    if (dot != std::string::npos) {
        std::size_t keep = text.size();
        while (keep > dot + 1 + static_cast<std::size_t>(std::max(minimum, 0)) && text[keep - 1] == '0') {
            --keep;
        }
        if (keep == dot + 1) {
            keep = dot;
        }
        text.resize(keep);
    }
    dot = text.find('.');
    const std::string integerPart = dot == std::string::npos ? text : text.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? "" : text.substr(dot);
    return groupDigits(integerPart) + fraction;
}

// Whether grouped digits show anything but zeros, so that "-0" is never printed.
bool showsNonZero(std::string_view text) { return text.find_first_not_of("0.,") != std::string_view::npos; }

std::string formatTm(const std::tm& parts, std::string_view datePattern) {
    std::string out;
    std::size_t i = 0;
    auto number = [&](int value, int width) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
        out += buffer;
    };
    const auto doubledQuoteAt = [&](std::size_t at) {
        return at + 1 < datePattern.size() && datePattern[at] == '\'' && datePattern[at + 1] == '\'';
    };
    while (i < datePattern.size()) {
        const char c = datePattern[i];
        if (c == '\'') {
            // '' is a quote, inside a quoted run or outside one.
            if (doubledQuoteAt(i)) {
                out += '\'';
                i += 2;
                continue;
            }
            for (++i; i < datePattern.size(); ++i) {
                if (doubledQuoteAt(i)) {
                    out += '\'';
                    ++i;
                } else if (datePattern[i] == '\'') {
                    ++i;
                    break;
                } else {
                    out += datePattern[i];
                }
            }
            continue;
        }
        std::size_t run = 1;
        while (i + run < datePattern.size() && datePattern[i + run] == c) {
            ++run;
        }
        const int hour12 = parts.tm_hour % 12 == 0 ? 12 : parts.tm_hour % 12;
        switch (c) {
        case 'y':
            if (run == 2) {
                number((parts.tm_year + 1900) % 100, 2);
            } else {
                number(parts.tm_year + 1900, static_cast<int>(run));
            }
            break;
        case 'M':
            if (run >= 4) {
                out += kMonths[parts.tm_mon];
            } else if (run == 3) {
                out += kShortMonths[parts.tm_mon];
            } else {
                number(parts.tm_mon + 1, static_cast<int>(run));
            }
            break;
        case 'd':
            number(parts.tm_mday, static_cast<int>(run));
            break;
        case 'E':
            out += run >= 4 ? kWeekdays[parts.tm_wday] : kShortWeekdays[parts.tm_wday];
            break;
        case 'H':
            number(parts.tm_hour, static_cast<int>(run));
            break;
        case 'h':
            number(hour12, static_cast<int>(run));
            break;
        case 'm':
            number(parts.tm_min, static_cast<int>(run));
            break;
        case 's':
            number(parts.tm_sec, static_cast<int>(run));
            break;
        case 'a':
            out += parts.tm_hour < 12 ? "AM" : "PM";
            break;
        default:
            out.append(run, c);
            break;
        }
        i += run;
    }
    return out;
}

}  // namespace

std::string groupedInteger(long long value) {
    const std::string digits = std::to_string(value < 0 ? -(value + 1) + 1ULL : static_cast<unsigned long long>(value));
    std::string text = value < 0 ? "-" : "";
    text += groupDigits(digits);
    return text;
}

std::string decimal(double value, int minimumFractionDigits, int maximumFractionDigits) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-∞" : "∞";
    }
    const std::string text = trimmedGrouped(std::fabs(value), minimumFractionDigits, maximumFractionDigits);
    return (std::signbit(value) && showsNonZero(text) ? "-" : "") + text;
}

std::string currency(double value, int fractionDigits) { return currency(value, fractionDigits, fractionDigits); }

std::string currency(double value, int minimumFractionDigits, int maximumFractionDigits) {
    if (!std::isfinite(value)) {
        return {};
    }
    const std::string text = trimmedGrouped(std::fabs(value), minimumFractionDigits, maximumFractionDigits);
    return (value < 0 && showsNonZero(text) ? "-$" : "$") + text;
}

std::string date(TimePoint at, DateStyle dateStyle, DateStyle timeStyle) {
    const std::tm parts = localTime(at);
    std::string datePart;
    switch (dateStyle) {
    case DateStyle::shortStyle:
        datePart = formatTm(parts, "M/d/yy");
        break;
    case DateStyle::medium:
        datePart = formatTm(parts, "MMM d, yyyy");
        break;
    case DateStyle::longStyle:
        datePart = formatTm(parts, "MMMM d, yyyy");
        break;
    case DateStyle::full:
        datePart = formatTm(parts, "EEEE, MMMM d, yyyy");
        break;
    case DateStyle::none:
        break;
    }
    std::string timePart;
    switch (timeStyle) {
    case DateStyle::none:
        break;
    case DateStyle::shortStyle:
        timePart = formatTm(parts, "h:mm a");
        break;
    case DateStyle::medium:
        timePart = formatTm(parts, "h:mm:ss a");
        break;
    case DateStyle::longStyle:
    case DateStyle::full:
        timePart = formatTm(parts, "h:mm:ss a");
        break;
    }
    if (datePart.empty()) {
        return timePart;
    }
    if (timePart.empty()) {
        return datePart;
    }
    // en-US joins a short date to its time with a comma, longer ones with "at".
    return datePart + (dateStyle == DateStyle::shortStyle ? ", " : " at ") + timePart;
}

std::string pattern(TimePoint at, std::string_view datePattern) { return formatTm(localTime(at), datePattern); }

std::string patternUtc(TimePoint at, std::string_view datePattern) { return formatTm(utcTime(at), datePattern); }

}  // namespace platform::format

#include "platform/Format.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <tuple>

namespace platform::format {

namespace {

using namespace std::chrono;

// More fraction digits than a double carries; keeps the digit text bounded.
constexpr int kMostFractionDigits = 40;
// Formatters a thread keeps; a caller cycling through more makes them anew.
constexpr std::size_t kKeptFormatters = 32;

void checkICU(UErrorCode status, const char* what) {
    if (U_FAILURE(status)) {
        throw Error(FormatError::icuFailed, std::string("ICU could not ") + what + ".",
                    Error(std::string(kICUErrorDomain), status, u_errorName(status)));
    }
}

// Fixed, so that documents read the same whatever the user's locale.
const icu::Locale& usEnglish() {
    static const icu::Locale& locale = *new icu::Locale("en_US");
    return locale;
}

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

enum class NumberKind { decimal, currency };

// ICU number formatters are immutable; each thread keeps the ones it used.
const icu::number::LocalizedNumberFormatter& numberFormatter(NumberKind kind, int minimum, int maximum) {
    thread_local std::map<std::tuple<NumberKind, int, int>, icu::number::LocalizedNumberFormatter> formatters;
    const auto key = std::make_tuple(kind, minimum, maximum);
    if (const auto found = formatters.find(key); found != formatters.end()) {
        return found->second;
    }
    if (formatters.size() >= kKeptFormatters) {
        formatters.clear();
    }
    auto formatter = icu::number::NumberFormatter::withLocale(usEnglish())
                         .precision(icu::number::Precision::minMaxFraction(minimum, maximum));
    if (kind == NumberKind::currency) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::CurrencyUnit dollar(u"USD", status);
        checkICU(status, "make the dollar unit");
        formatter = formatter.unit(dollar);
    }
    return formatters.emplace(key, std::move(formatter)).first->second;
}

// ICU rounds the shortest decimal form of a double, so 2.675 would give
// "2.68"; the documents round the binary value (just below 2.675: "2.67"),
// so std::to_chars makes the digits, whatever the C locale, and ICU lays
// them out.
std::string roundedDigits(double value, int fractionDigits) {
    // The largest double has 309 integer digits.
    std::array<char, 320 + kMostFractionDigits> buffer{};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                                       std::chars_format::fixed, fractionDigits);
    std::string digits(buffer.data(), written.ptr);
    // "-0" is never shown.
    if (std::signbit(value) && digits.find_first_not_of("0.") != std::string::npos) {
        digits.insert(digits.begin(), '-');
    }
    return digits;
}

std::string formatNumber(NumberKind kind, double value, int minimumFractionDigits, int maximumFractionDigits) {
    const int minimum = std::clamp(minimumFractionDigits, 0, kMostFractionDigits);
    const int maximum = std::clamp(maximumFractionDigits, minimum, kMostFractionDigits);
    const auto& formatter = numberFormatter(kind, minimum, maximum);
    UErrorCode status = U_ZERO_ERROR;
    // ICU shows "NaN" with the sign bit of the NaN; it has none here.
    const auto formatted = std::isnan(value) ? formatter.formatDouble(std::numeric_limits<double>::quiet_NaN(), status)
                           : std::isinf(value) ? formatter.formatDouble(value, status)
                                               : formatter.formatDecimal(roundedDigits(value, maximum), status);
    checkICU(status, "format a number");
    std::string text = utf8(formatted.toString(status));
    checkICU(status, "format a number");
    return text;
}

// Whole seconds as ICU's milliseconds.
UDate icuDate(sys_seconds at) { return static_cast<UDate>(at.time_since_epoch().count()) * 1000.0; }

// The wall-clock time of `parts` as if it were UTC: ICU then formats it in
// GMT, never in its own idea of the local zone, which may differ from TZ.
sys_seconds wallClock(const std::tm& parts) {
    const sys_days day = year(parts.tm_year + 1900) / month(static_cast<unsigned>(parts.tm_mon + 1)) /
                         std::chrono::day(static_cast<unsigned>(parts.tm_mday));
    return day + hours(parts.tm_hour) + minutes(parts.tm_min) + seconds(parts.tm_sec);
}

// Date formats are costly to make and not safe to share between threads.
std::string formatDate(sys_seconds at, std::string_view datePattern) {
    thread_local std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>, std::less<>> formats;
    auto found = formats.find(datePattern);
    if (found == formats.end()) {
        if (formats.size() >= kKeptFormatters) {
            formats.clear();
        }
        UErrorCode status = U_ZERO_ERROR;
        auto format =
            std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                                        datePattern.data(), static_cast<int32_t>(datePattern.size()))),
                                                    usEnglish(), status);
        checkICU(status, "read a date pattern");
        format->setTimeZone(*icu::TimeZone::getGMT());
        found = formats.emplace(std::string(datePattern), std::move(format)).first;
    }
    icu::UnicodeString text;
    icu::FieldPosition position;
    found->second->format(icuDate(at), text, position);
    return utf8(text);
}

}  // namespace

std::string groupedInteger(long long value) {
    UErrorCode status = U_ZERO_ERROR;
    const auto formatted = numberFormatter(NumberKind::decimal, 0, 0).formatInt(value, status);
    std::string text = utf8(formatted.toString(status));
    checkICU(status, "format a number");
    return text;
}

std::string decimal(double value, int minimumFractionDigits, int maximumFractionDigits) {
    return formatNumber(NumberKind::decimal, value, minimumFractionDigits, maximumFractionDigits);
}

std::string currency(double value, int fractionDigits) { return currency(value, fractionDigits, fractionDigits); }

std::string currency(double value, int minimumFractionDigits, int maximumFractionDigits) {
    if (!std::isfinite(value)) {
        return {};
    }
    return formatNumber(NumberKind::currency, value, minimumFractionDigits, maximumFractionDigits);
}

std::string date(TimePoint at, DateStyle dateStyle, DateStyle timeStyle) {
    // ICU's own en-US styles put a narrow no-break space before AM and PM
    // and differ between releases; the documents keep these fixed patterns.
    std::string_view datePattern;
    switch (dateStyle) {
    case DateStyle::shortStyle:
        datePattern = "M/d/yy";
        break;
    case DateStyle::medium:
        datePattern = "MMM d, yyyy";
        break;
    case DateStyle::longStyle:
        datePattern = "MMMM d, yyyy";
        break;
    case DateStyle::full:
        datePattern = "EEEE, MMMM d, yyyy";
        break;
    case DateStyle::none:
        break;
    }
    std::string_view timePattern;
    switch (timeStyle) {
    case DateStyle::none:
        break;
    case DateStyle::shortStyle:
        timePattern = "h:mm a";
        break;
    case DateStyle::medium:
    case DateStyle::longStyle:
    case DateStyle::full:
        timePattern = "h:mm:ss a";
        break;
    }
    if (datePattern.empty() || timePattern.empty()) {
        return pattern(at, std::string(datePattern) + std::string(timePattern));
    }
    // en-US joins a short date to its time with a comma, longer ones with "at".
    const std::string joined =
        std::string(datePattern) + (dateStyle == DateStyle::shortStyle ? ", " : " 'at' ") + std::string(timePattern);
    return pattern(at, joined);
}

std::string pattern(TimePoint at, std::string_view datePattern) {
    return formatDate(wallClock(localTime(at)), datePattern);
}

std::string patternUtc(TimePoint at, std::string_view datePattern) {
    return formatDate(floor<seconds>(at), datePattern);
}

}  // namespace platform::format

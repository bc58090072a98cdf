#pragma once

#include "platform/Clock.h"

#include <string>
#include <string_view>

// The en-US number and date styles the documents print, through ICU with the
// locale "en_US". Fixed rather than taken from the process locale, so that
// documents read the same everywhere.
namespace platform::format {

// 1234.5 -> "1,234.5": grouped, between minimum and maximum fraction digits.
// Rounds the binary value (2.675 is just below 2.675, so it gives "2.67");
// exact ties go to even.
std::string decimal(double value, int minimumFractionDigits = 0, int maximumFractionDigits = 3);

// 1234.5 -> "$1,234.50", -3 -> "-$3.00". Empty for a value that is not finite.
std::string currency(double value, int fractionDigits = 2);
// Between minimum and maximum fraction digits, trailing zeros dropped as in
// decimal(): (12345.6, 0, 2) -> "$12,345.6", (12345, 0, 2) -> "$12,345".
std::string currency(double value, int minimumFractionDigits, int maximumFractionDigits);

// Integer digits with grouping: 1234567 -> "1,234,567".
std::string groupedInteger(long long value);

enum class DateStyle { none, shortStyle, medium, longStyle, full };

// Date and time styles in local time:
//   short "1/5/26", medium "Jan 5, 2026", long "January 5, 2026",
//   full "Monday, January 5, 2026"; time short "3:04 PM".
// A short date and a time are joined with ", " ("1/5/26, 3:04 PM"), the
// other date styles with " at ".
std::string date(TimePoint at, DateStyle dateStyle, DateStyle timeStyle = DateStyle::none);

// An ICU date pattern in local time (TZ honoured), with such fields as yyyy,
// yy, MMMM, MMM, MM, M, dd, d, EEEE, EEE, HH, H, hh, h, mm, ss and a; text in
// single quotes is literal, '' is a single quote (inside quotes too), and
// other characters but ASCII letters are copied. Letters meant literally
// must be quoted. Throws platform::Error (domain "Format") for a pattern
// ICU refuses.
std::string pattern(TimePoint at, std::string_view datePattern);

// The same pattern in UTC.
std::string patternUtc(TimePoint at, std::string_view datePattern);

}  // namespace platform::format

#pragma once

#include "platform/Clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace sham {

// The generators' fixed "yyyy-MM-dd" formatter, in local time.
class DateFormatter {
public:
    static constexpr std::string_view dateFormat = "yyyy-MM-dd";

    // Local midnight of the day the text names; nothing unless the text is
    // exactly four, two and two digits joined by "-" and names a real day.
    std::optional<platform::TimePoint> date(std::string_view text) const;

    // The same day read as midnight UTC, whatever the local time zone.
    std::optional<platform::TimePoint> utcDate(std::string_view text) const;

    // The local day of `at` in the same form.
    std::string string(platform::TimePoint at) const;
};

}  // namespace sham

#pragma once

#include "platform/Value.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kit {

// An immutable point in time: whole seconds since 1970-01-01T00:00:00Z and
// nanoseconds within the second, between years 0001 and 9999.
class HLOTimestamp {
public:
    static constexpr std::int64_t kMinimumSeconds = -62135596800;  // 0001-01-01T00:00:00Z
    static constexpr std::int64_t kMaximumSeconds = 253402300799;  // 9999-12-31T23:59:59Z

    // Out-of-range parts raise "Invalid timestamp" (platform::ProgrammerError).
    HLOTimestamp(std::int64_t seconds, std::int32_t nanoseconds);
    static HLOTimestamp timestampWithSeconds(std::int64_t seconds, std::int32_t nanoseconds);
    // From seconds since 1970; the fraction is truncated to nanoseconds.
    static HLOTimestamp timestampWithDate(double secondsSince1970);
    static HLOTimestamp timestampWithDate(platform::Value::Date date);
    static HLOTimestamp timestamp();

    std::int64_t seconds() const noexcept { return seconds_; }
    std::int32_t nanoseconds() const noexcept { return nanoseconds_; }

    // Seconds since 1970.
    double dateValue() const noexcept;
    // "yyyy-MM-ddTHH:mm:ss.nnnnnnnnnZ" in UTC.
    std::string ISO8601String() const;

    std::strong_ordering compare(const HLOTimestamp& other) const noexcept { return *this <=> other; }
    bool isEqualToTimestamp(const HLOTimestamp& other) const noexcept { return *this == other; }
    std::strong_ordering operator<=>(const HLOTimestamp&) const = default;
    bool operator==(const HLOTimestamp&) const = default;
    std::size_t hash() const noexcept;
    std::string description() const;

private:
    std::int64_t seconds_;
    std::int32_t nanoseconds_;
};

}  // namespace kit

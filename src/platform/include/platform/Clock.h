#pragma once

#include <chrono>
#include <string>

namespace platform {

using TimePoint = std::chrono::system_clock::time_point;

// Injectable wall clock. Local time follows the process's TZ.
class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(TimePoint at) : at_(at) {}
    TimePoint now() const override { return at_; }

private:
    TimePoint at_;
};

const Clock& systemClock();

// Seconds since 1970 of a time point, fraction included.
inline double secondsSince1970(TimePoint at) { return std::chrono::duration<double>(at.time_since_epoch()).count(); }

// Broken-down local time (TZ honoured) and UTC time of a time point.
std::tm localTime(TimePoint at);
std::tm utcTime(TimePoint at);

// The same local wall-clock time `months` calendar months later (or, when
// negative, earlier). The day is clamped to the target month's length, so
// March 31 minus one month is February 28 (29 in a leap year); a time that
// the target day skips or repeats for daylight saving is settled by mktime.
// The result must lie within what a TimePoint holds (years 1678 to 2261).
TimePoint addingMonths(TimePoint at, int months);

// "yyyyMMddHHmmss" in local time: the file-name timestamp.
std::string timestamp(TimePoint at);

enum class IsoFraction { none, microsecondsWhenPresent };

// ISO 8601 in UTC, "2027-01-31T00:00:00Z"; parts of a second are dropped,
// or with `microsecondsWhenPresent` written as six digits when there are any
// ("2027-01-31T00:00:00.000250Z"). Years from -32767 to 32767, the span of
// the standard calendar types.
std::string iso8601(std::chrono::sys_time<std::chrono::microseconds> at, IsoFraction fraction);
std::string iso8601(TimePoint at);

}  // namespace platform

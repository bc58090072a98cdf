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

// Broken-down local time (TZ honoured) and UTC time of a time point.
std::tm localTime(TimePoint at);
std::tm utcTime(TimePoint at);

// The same local wall-clock time `months` calendar months later (or, when
// negative, earlier). The day is clamped to the target month's length, so
// March 31 minus one month is February 28 (29 in a leap year); a time that
// the target day skips or repeats for daylight saving is settled by mktime.
TimePoint addingMonths(TimePoint at, int months);

// "yyyyMMddHHmmss" in local time: the file-name timestamp.
std::string timestamp(TimePoint at);

}  // namespace platform

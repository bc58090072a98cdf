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

// "yyyyMMddHHmmss" in local time: the file-name timestamp.
std::string timestamp(TimePoint at);

}  // namespace platform

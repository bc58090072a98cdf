#include "kit/core/Timestamp.h"

#include "platform/MessageFormat.h"
#include "platform/ProgrammerError.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace kit {

namespace {

constexpr const char* kInvalidTimestamp = "Invalid timestamp";

}  // namespace

HLOTimestamp::HLOTimestamp(std::int64_t seconds, std::int32_t nanoseconds)
    : seconds_(seconds), nanoseconds_(nanoseconds) {
    if (nanoseconds < 0 || nanoseconds > 999'999'999) {
        throw platform::ProgrammerError(
            kInvalidTimestamp, platform::formatMessage("Timestamp nanoseconds out of range: %d", {nanoseconds}));
    }
    if (seconds < kMinimumSeconds || seconds > kMaximumSeconds) {
        throw platform::ProgrammerError(
            kInvalidTimestamp,
            platform::formatMessage("Timestamp seconds out of range: %lld", {static_cast<long long>(seconds)}));
    }
}

HLOTimestamp HLOTimestamp::timestampWithSeconds(std::int64_t seconds, std::int32_t nanoseconds) {
    return HLOTimestamp(seconds, nanoseconds);
}

HLOTimestamp HLOTimestamp::timestampWithDate(double secondsSince1970) {
    double whole = 0;
    double fraction = std::modf(secondsSince1970, &whole);
    if (fraction < 0) {
        whole -= 1;
        fraction += 1;
    }
    // Outside what an int64 holds the constructor's range check cannot see
    // the value; clamp just past the range so that it raises.
    if (!(whole >= static_cast<double>(kMinimumSeconds - 1))) {
        whole = static_cast<double>(kMinimumSeconds - 1);
    } else if (!(whole <= static_cast<double>(kMaximumSeconds + 1))) {
        whole = static_cast<double>(kMaximumSeconds + 1);
    }
    auto nanoseconds = static_cast<std::int32_t>(fraction * 1e9);
    if (nanoseconds > 999'999'999) {
        nanoseconds = 999'999'999;
    }
    return HLOTimestamp(static_cast<std::int64_t>(whole), nanoseconds);
}

HLOTimestamp HLOTimestamp::timestampWithDate(platform::Value::Date date) {
    const auto micros = date.time_since_epoch().count();
    std::int64_t seconds = micros / 1'000'000;
    std::int64_t remainder = micros % 1'000'000;
    if (remainder < 0) {
        seconds -= 1;
        remainder += 1'000'000;
    }
    return HLOTimestamp(seconds, static_cast<std::int32_t>(remainder * 1000));
}

HLOTimestamp HLOTimestamp::timestamp() {
    const auto now = std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now());
    const auto count = now.time_since_epoch().count();
    std::int64_t seconds = count / 1'000'000'000;
    std::int64_t remainder = count % 1'000'000'000;
    if (remainder < 0) {
        seconds -= 1;
        remainder += 1'000'000'000;
    }
    return HLOTimestamp(seconds, static_cast<std::int32_t>(remainder));
}

double HLOTimestamp::dateValue() const noexcept {
    return static_cast<double>(seconds_) + static_cast<double>(nanoseconds_) / 1e9;
}

std::string HLOTimestamp::ISO8601String() const {
    namespace chrono = std::chrono;
    const chrono::sys_seconds at{chrono::seconds{seconds_}};
    const chrono::sys_days day = chrono::floor<chrono::days>(at);
    const chrono::year_month_day date{day};
    const chrono::hh_mm_ss<chrono::seconds> time{at - day};
    char whole[40];
    const int length = std::snprintf(
        whole, sizeof whole, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
        static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
    if (length != 19) {
        throw platform::ProgrammerError("Invalid ISO string",
                                        platform::formatMessage("Invalid ISO string: %@", {std::string(whole)}));
    }
    return platform::formatMessage("%@.%09dZ", {std::string(whole), nanoseconds_});
}

std::size_t HLOTimestamp::hash() const noexcept {
    return static_cast<std::size_t>(seconds_ ^ (seconds_ >> 32) ^ nanoseconds_);
}

std::string HLOTimestamp::description() const {
    return platform::formatMessage("<HLOTimestamp: seconds=%lld nanoseconds=%d>",
                                   {static_cast<long long>(seconds_), nanoseconds_});
}

}  // namespace kit

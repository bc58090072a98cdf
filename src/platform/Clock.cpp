#include "platform/Clock.h"

#include <ctime>
#include <cstdio>

namespace platform {

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

std::tm localTime(TimePoint at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
    tzset();
    localtime_r(&seconds, &parts);
    return parts;
}

std::tm utcTime(TimePoint at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    return parts;
}

std::string timestamp(TimePoint at) {
    const std::tm parts = localTime(at);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

}  // namespace platform

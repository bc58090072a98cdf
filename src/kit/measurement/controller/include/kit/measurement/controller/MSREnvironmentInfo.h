#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace kit::measurement {

// Device facts the engine reports.
class MSREnvironmentInfo {
public:
    // The current kit context's.
    static MSREnvironmentInfo& sharedInstance();

    // Computed once; "" (with 14000 logged) when the machine gives none.
    std::string deviceModel();
    std::string deviceOSVersion();
    // The user's first preferred language, from LANGUAGE (its first entry),
    // LC_ALL, LC_MESSAGES or LANG, the first one set: "de_DE.UTF-8@euro"
    // reads "de-de". None (with 14001 logged) for C, POSIX or nothing.
    std::optional<std::string> userDefaultLanguage();
    // The local time zone's offset from GMT, under TZ.
    std::int32_t timeZoneOffsetMinutes();

private:
    std::once_flag deviceModelOnce_;
    std::string deviceModel_;  // set once under deviceModelOnce_
};

}  // namespace kit::measurement

#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <string_view>

// Names of the internal user properties that the user-property and
// on-device conversion code treat specially.
namespace kit::measurement {

inline constexpr std::string_view kUserIDProperty = "_id";
inline constexpr std::string_view kLastAdvertisingIDResetProperty = "_lair";
inline constexpr std::string_view kNonPersonalizedAdsProperty = "_npa";
inline constexpr std::string_view kSessionIDProperty = "_sid";

inline constexpr std::string_view kPSMValueProperty = "_psmvalue";
inline constexpr std::string_view kPSMEmailCountProperty = "_psmcount";
inline constexpr std::string_view kPSMPhoneCountProperty = "_psmcountph";
inline constexpr std::string_view kPSMHashedEmailCountProperty = "_psmcounth";
inline constexpr std::string_view kPSMHashedPhoneCountProperty = "_psmcounthph";

// Seconds since 1970 on `clock`.
inline double secondsSince1970Now(const platform::Clock& clock) {
    return std::chrono::duration<double>(clock.now().time_since_epoch()).count();
}

}  // namespace kit::measurement

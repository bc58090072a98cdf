#pragma once

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

}  // namespace kit::measurement

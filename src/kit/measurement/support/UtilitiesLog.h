#pragma once

#include <string_view>

namespace kit::measurement {

// The lines of the dictionary and user-defaults layer: straight to the SDK
// log, category `kMSRDefaultLogTag`, code "I-ACS" and six digits.
void MSRUtilitiesLog(int sdkLevel, int messageCode, std::string_view message);

}  // namespace kit::measurement

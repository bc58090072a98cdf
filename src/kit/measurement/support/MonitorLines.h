#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the monitor itself.
namespace kit::measurement::monitor_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kDebugModeOff{kMSRDebugModeOffCode, 7, "Debug mode is off"};
inline constexpr Line kDebugModeOn{kMSRDebugModeOnCode, 7, "Debug mode is on"};
inline constexpr Line kSSTDebugModeOff{kMSRSSTDebugOffCode, 7, "SST debug mode is off"};
inline constexpr Line kSSTDebugModeOn{kMSRSSTDebugOnCode, 7, "SST debug mode is on"};
inline constexpr Line kVerboseLoggingOff{kMSRVerboseOffCode, 8, "Verbose logging is off"};
inline constexpr Line kVerboseLoggingOn{kMSRVerboseOnCode, 8, "Verbose logging is on"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kDebugModeOff,   &kDebugModeOn,       &kSSTDebugModeOff,
                                            &kSSTDebugModeOn, &kVerboseLoggingOff, &kVerboseLoggingOn};

}  // namespace kit::measurement::monitor_lines

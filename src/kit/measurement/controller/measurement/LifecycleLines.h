#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the lifecycle reports: code, level, text.
namespace kit::measurement::lifecycle_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kFirstOpenQueryFailed{23019, 1, "Failed to query first open property. Error"};
inline constexpr Line kFirstInstallRecheckFailed{
    23161, 1, "Failed to query first open after install property after setting it. Error"};
inline constexpr Line kFirstInstallNotSet{23162, 1, "Failed to set first open after install property"};
inline constexpr Line kFirstOpenRecheckFailed{23020, 1, "Failed to query first open property after setting it. Error"};
inline constexpr Line kFirstOpenNotSet{23021, 1, "Failed to set first open property"};
inline constexpr Line kPersonalizedAdsReadFailed{23172, 1, "Unable to read personalized ads user property. Error"};
inline constexpr Line kPersonalizedAdsNotRemoved{
    23173, 1, "Unable to remove personalized ads user property in the database. Error"};
inline constexpr Line kPersonalizedAdsRemoved{23180, 4, "No value set for personalized ads. Removing user property."};
inline constexpr Line kSessionAggregatesQueryFailed{23063, 1, "Unable to query event aggregates. Name, error"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kFirstOpenQueryFailed,      &kFirstInstallRecheckFailed, &kFirstInstallNotSet,
    &kFirstOpenRecheckFailed,    &kFirstOpenNotSet,           &kPersonalizedAdsReadFailed,
    &kPersonalizedAdsNotRemoved, &kPersonalizedAdsRemoved,    &kSessionAggregatesQueryFailed,
};

}  // namespace kit::measurement::lifecycle_lines

#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the controller's construction, enablement and start:
// code, level, text. The banner's texts are formats, filled in where they
// are logged.
namespace kit::measurement::start_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kStarted{23007, 6, "Analytics v.%@ started"};
inline constexpr Line kBuild{23222, 8, "Build %lld"};
// "enable" or "disable", then the application argument that does it.
inline constexpr Line kDebugHint{23008, 6, "To %@ debug logging set the following application argument: %@"};
inline constexpr Line kDebugLogging{23009, 7, "Debug logging enabled"};
inline constexpr Line kVerboseHint{23207, 7, "To %@ verbose logging set the following application argument: %@"};
inline constexpr Line kNotCreated{
    23147, 4, "Lumen Analytics for Halo has not been created. Please, configure Halo by calling [HLOApp configure]"};
inline constexpr Line kEmptyAppID{23170, 1, "Cannot start Measurement. App ID is empty."};
inline constexpr Line kNoNetwork{23010, 1, "Failed to initialize network component"};
inline constexpr Line kDeactivated{23206, 6, "Analytics collection deactivated"};
inline constexpr Line kStartFailed{23011, 0, "Failed to start Analytics. Analytics is disabled"};
inline constexpr Line kEnabled{23012, 6, "Analytics collection enabled"};
inline constexpr Line kDisabled{23013, 6, "Analytics collection disabled"};
inline constexpr Line kLMRDisabled{23210, 1, "LMRMeasurement has been disabled"};
inline constexpr Line kWipeFailed{23208, 4, "Failed to wipe out Analytics data"};
inline constexpr Line kBackupExclusionFailed{23015, 5, "Failed to exclude directory from backup. Error"};
inline constexpr Line kReady{23016, 7, "Analytics is ready to receive events"};
inline constexpr Line kStaleDataNotDeleted{23018, 5, "Unable to delete stale data. Error"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kStarted,
    &kBuild,
    &kDebugHint,
    &kDebugLogging,
    &kVerboseHint,
    &kNotCreated,
    &kEmptyAppID,
    &kNoNetwork,
    &kDeactivated,
    &kStartFailed,
    &kEnabled,
    &kDisabled,
    &kLMRDisabled,
    &kWipeFailed,
    &kBackupExclusionFailed,
    &kReady,
    &kStaleDataNotDeleted,
};

}  // namespace kit::measurement::start_lines

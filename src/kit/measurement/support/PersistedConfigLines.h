#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the persisted settings.
namespace kit::measurement::persisted_config_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kNSSearchPathLibraryDirectoryEmpty{19000, 2, "NSSearchPath for Library directory is empty"};
inline constexpr Line kNSSearchPathApplicationSupportDirectoryEmpty{
    19001, 2, "NSSearchPath for ApplicationSupport directory is empty"};
inline constexpr Line kPersistedConfigSSharedInstanceNil{27001, 1, "PersistedConfig's shared instance is nil"};
inline constexpr Line kUnsupportedValuePassedDictionary{27002, 1, "Unsupported value passed in dictionary"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kNSSearchPathLibraryDirectoryEmpty,
                                            &kNSSearchPathApplicationSupportDirectoryEmpty,
                                            &kPersistedConfigSSharedInstanceNil, &kUnsupportedValuePassedDictionary};

}  // namespace kit::measurement::persisted_config_lines

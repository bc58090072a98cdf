#pragma once

#include "kit/core/LogLine.h"

// The experiment flag functions' monitor lines.
namespace kit::measurement::experiment_flag_lines {

using log_lines::Line;

inline constexpr Line kFlagNameNil{850000, 1, "Flag name must not be nil"};
inline constexpr Line kFlagNameNotString{850001, 1, "Flag name must be a string"};
inline constexpr Line kFlagValueInvalid{850002, 1, "Flag value is invalid"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kFlagNameNil, &kFlagNameNotString, &kFlagValueInvalid};

}  // namespace kit::measurement::experiment_flag_lines

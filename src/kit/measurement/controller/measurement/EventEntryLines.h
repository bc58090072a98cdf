#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of event entry, default parameters and backfill: code,
// level, text.
namespace kit::measurement::event_entry_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kNilEventWithParameters{23219, 1, "Attempted to log nil event. Origin, name, parameters"};
inline constexpr Line kNilEvent{23048, 4, "Attempted to log nil event"};
inline constexpr Line kInvalidDefaultKey{23213, 4, "Invalid key in default event parameters. Parameter ignored."};
inline constexpr Line kInvalidDefaultName{23214, 4, "Invalid default event parameter name. Name"};
inline constexpr Line kTooManyDefaults{
    23215, 4, "Too many default event parameters set. Discarding beyond event parameter limit"};
inline constexpr Line kDefaultsWithBackfill{23272, 7, "Updating default event parameters with backfill. Parameters"};
inline constexpr Line kDefaultsUpdated{23216, 7, "Updating default event parameters. Parameters"};
inline constexpr Line kBackfillFetchFailed{
    23270, 1, "Unable to backfill events with default event parameters. Fetch failed. Error"};
inline constexpr Line kBackfillUpdateFailed{
    23271, 1, "Unable to backfill some events with default event parameters. Update failed. Count, last error"};
inline constexpr Line kSessionBackfillMetadataFailed{23273, 1,
                                                     "Unable to backfill session ID. Fetch metadata failed. Error"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kNilEventWithParameters, &kNilEvent,
    &kInvalidDefaultKey,      &kInvalidDefaultName,
    &kTooManyDefaults,        &kDefaultsWithBackfill,
    &kDefaultsUpdated,        &kBackfillFetchFailed,
    &kBackfillUpdateFailed,   &kSessionBackfillMetadataFailed,
};

}  // namespace kit::measurement::event_entry_lines

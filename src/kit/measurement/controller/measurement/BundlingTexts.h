#pragma once

#include "kit/measurement/support/LogLines.h"

#include <cstdint>
#include <string_view>
#include <utility>

// The log lines of bundling and sampling: code, level, text.
namespace kit::measurement::bundling_texts {

using log_lines::Line;
using log_lines::log;

// Bundling.
inline constexpr Line kNextMetadataFailed{23095, 1, "Unable to fetch next event metadata. Error"};
inline constexpr Line kRawEventSkipped{23096, 4, "Failed to filter raw event. Error"};
inline constexpr Line kRunReadFailed{23097, 1, "Inconsistent state, raw event is expected. Error"};
inline constexpr Line kMetadataFailed{23098, 1, "Unable to fetch event metadata. Metadata fingerprint, error"};
inline constexpr Line kEventRejected{23099, 4, "Rejected event. Event name"};
inline constexpr Line kAllEventsRejected{23100, 4, "Rejected all events."};
inline constexpr Line kDailyCountsFailed{23101, 1, "Failed to query daily event counts. Error"};
inline constexpr Line kTooManyConversions{23102, 3,
                                          "Too many conversion events. Not logging event as conversion. Name, limit"};
inline constexpr Line kUnderRealtimeLimit{
    23103, 7,
    "Event is under real-time event count daily limit. Marking the event as real-time. Event name, parameters"};
inline constexpr Line kOverRealtimeLimit{23104, 4,
                                         "Number of real-time events is over the real-time event count daily limit. "
                                         "Event is no longer real-time. Event name, parameters"};
inline constexpr Line kNotRealtimeLimited{
    23105, 7,
    "Event is not subject to real-time event count daily limit. Marking an event as real-time. Event name, "
    "parameters"};
inline constexpr Line kDailyCountsUpdateFailed{23106, 2, "Failed to update daily event counts. Name, error"};
inline constexpr Line kAggregatesQueryFailed{23107, 1, "Failed to query event aggregates. Name, error"};
inline constexpr Line kAggregatesUpdateFailed{23108, 1, "Failed to update event aggregates. Error"};
inline constexpr Line kAppMetadataQueryFailed{23111, 1, "Unable to fetch app metadata for bundling events. Error"};
inline constexpr Line kAppMetadataUpdateFailed{23112, 1, "Unable to update the app metadata. Error"};
inline constexpr Line kAudienceResultsFailed{23113, 1, "Unable to read audience evaluation results"};
inline constexpr Line kInsertBundleFailed{23115, 1, "Unable to insert bundle. Error"};
inline constexpr Line kBundleQueued{23116, 7, "Bundle added to the upload queue. BundleID, timestamp (ms)"};
inline constexpr Line kDeleteRawEventsFailed{23119, 1, "Unable to delete raw events. RowID, error"};
inline constexpr Line kRawEventExistenceFailed{23120, 1, "Unable to query existence of raw event. Metadata, error"};
inline constexpr Line kDeleteMetadataFailed{23121, 1, "Unable to delete raw event metadata. Metadata, error"};
inline constexpr Line kNothingLeftAfterSampling{23159, 5, "No events left after sampling. Dropping bundle"};
inline constexpr Line kSessionCountsFailed{23185, 1, "Failed to clear event session counts. Error"};
inline constexpr Line kNegativeEngagement{23186, 2, "User engagement time is negative."};
inline constexpr Line kEngagementQueryFailed{23187, 1,
                                             "Failed to query for user engagement user property. Name, error"};
inline constexpr Line kSessionEngagementDeleteFailed{
    23188, 1, "Unable to delete session engagement property on session start. Error"};
inline constexpr Line kBundleConsent{23221, 8, "Consent settings of the bundled events. Settings"};
inline constexpr Line kSnapshotFailed{23266, 4, "Unable to create table snapshot. Error"};
inline constexpr Line kRestoreFailed{23267, 4, "Unable to restore from table snapshot. Error"};

// Sampling.
inline constexpr Line kAggregatesForSamplingFailed{23151, 1,
                                                   "Unable to query event aggregates to update database. Name, error"};
inline constexpr Line kSamplingStateSaveFailed{
    23152, 1, "Failed to update event aggregates after removing removing events due to sampling. Error"};
inline constexpr Line kInvalidSamplingRate{23154, 5, "Invalid sampling rate provided"};
inline constexpr Line kEventWithoutName{23155, 2, "Dropping event at sampling. Event has no name"};
inline constexpr Line kParameterExists{23156, 4, "Event parameter already exists. Parameter name"};
inline constexpr Line kAllAggregatesFailed{23157, 1, "Unable to query all event aggregates for cache. error"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kNextMetadataFailed,
    &kRawEventSkipped,
    &kRunReadFailed,
    &kMetadataFailed,
    &kEventRejected,
    &kAllEventsRejected,
    &kDailyCountsFailed,
    &kTooManyConversions,
    &kUnderRealtimeLimit,
    &kOverRealtimeLimit,
    &kNotRealtimeLimited,
    &kDailyCountsUpdateFailed,
    &kAggregatesQueryFailed,
    &kAggregatesUpdateFailed,
    &kAppMetadataQueryFailed,
    &kAppMetadataUpdateFailed,
    &kAudienceResultsFailed,
    &kInsertBundleFailed,
    &kBundleQueued,
    &kDeleteRawEventsFailed,
    &kRawEventExistenceFailed,
    &kDeleteMetadataFailed,
    &kNothingLeftAfterSampling,
    &kSessionCountsFailed,
    &kNegativeEngagement,
    &kEngagementQueryFailed,
    &kSessionEngagementDeleteFailed,
    &kBundleConsent,
    &kSnapshotFailed,
    &kRestoreFailed,
    &kAggregatesForSamplingFailed,
    &kSamplingStateSaveFailed,
    &kInvalidSamplingRate,
    &kEventWithoutName,
    &kParameterExists,
    &kAllAggregatesFailed,
};

}  // namespace kit::measurement::bundling_texts

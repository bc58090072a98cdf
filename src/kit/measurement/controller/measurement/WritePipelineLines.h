#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the event write pipeline: code, level, text.
namespace kit::measurement::write_pipeline_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kDisabled{23049, 7, "Analytics is disabled. Event not logged"};
inline constexpr Line kEditingFailed{23223, 1, "Event editing failed. Event name"};
inline constexpr Line kNotInAllowlist{23174, 3, "Event dropped. Reason: not in allowlist. Event name, origin"};
inline constexpr Line kReservedExtendSession{23179, 3,
                                             "extend_session is a reserved parameter. To extend or start a session in "
                                             "the background, set an event parameter {@'extend_session': @1}"};
inline constexpr Line kSessionIDNotRemoved{23177, 2,
                                           "Failed to remove session ID user property on session expiration. Error"};
inline constexpr Line kSessionNumberNotRemoved{
    23178, 2, "Failed to remove session number user property on session expiration. Error"};
inline constexpr Line kSessionEngagementNotRemoved{
    23192, 2, "Failed to remove session user engagement user property on session expiration. Error"};
inline constexpr Line kSubscriptionIDNotSaved{23181, 2, "Failed to save subscription ID. Product ID, error"};
inline constexpr Line kDuplicateSubscription{23182, 4,
                                             "Event dropped. Reason: Subscription purchase is a duplicate. Product ID"};
inline constexpr Line kOldSubscriptionsNotDeleted{23183, 5, "Failed to delete older subscription records. Error"};
inline constexpr Line kOldSubscriptionsDeleted{23184, 5, "Deleted older subscription records beyond limit"};
inline constexpr Line kDuplicateRollouts{23191, 8, "Feature rollouts value is a duplicate, dropping event"};
inline constexpr Line kRolloutsNotText{23190, 2, "Unable to process halo feature rollouts, value is not a string."};
inline constexpr Line kLoggingEvent{23051, 7, "Logging event: origin, name, params"};
inline constexpr Line kConditionalPropertyFailed{23050, 4,
                                                 "Unable to process conditional user property. Event name, origin"};
inline constexpr Line kBlocklisted{23052, 5, "Rejected event. Event name"};
inline constexpr Line kRawEventNotStored{23071, 1, "Data loss. Cannot record raw event. Error"};
inline constexpr Line kDailyCountsQueryFailed{23054, 1, "Data loss. Unable to query daily event counts. Error"};
inline constexpr Line kDailyCountsNotUpdated{23061, 1, "Data loss. Unable to update daily event counts. Name, error"};
inline constexpr Line kLifetimeValueNotStored{
    23053, 1, "Cannot record lifetime value of event. Name, currency code, transaction value"};
inline constexpr Line kTooManyEvents{23055, 1, "Data loss. Too many events logged. Name, limit"};
inline constexpr Line kTooManyErrorEvents{23056, 1, "Too many error events logged. Error code, limit"};
inline constexpr Line kTooManyPublicEvents{23057, 1, "Data loss. Too many public events logged. Name, limit"};
inline constexpr Line kRealtimeLimit{23060, 4,
                                     "Too many real-time events. Event is no longer real-time. Event name, parameters"};
inline constexpr Line kDebugMode{23073, 7,
                                 "Debug mode is enabled. Marking event as debug and real-time. Event name, parameters"};
// The same code as the session-number backfill's line, with other words.
// One text for the code: the same failure as the session backfill's.
inline constexpr Line kAggregatesQueryFailed{23063, 1, "Unable to query event aggregates. Name, error"};
inline constexpr Line kEventCountQueryFailed{23064, 1, "Cannot query event count. Error"};
inline constexpr Line kEventNameLimit{23065, 1, "Cannot set event. Reached limit on set events. Name"};
inline constexpr Line kAggregatesNotStored{23066, 1, "Data loss. Cannot record event aggregates. Error"};
inline constexpr Line kUserPropertiesQueryFailed{23067, 1, "Data loss. Cannot query user properties. Error"};
inline constexpr Line kMetadataNotStored{23068, 1, "Data loss. Cannot record event metadata. Error"};
inline constexpr Line kStorageLimitCheckFailed{23069, 1, "Data loss. Unable to check raw event storage limit. Error"};
inline constexpr Line kTooManyStoredEvents{23070, 4, "Data loss. Too many events stored on disk. Deleted count"};
inline constexpr Line kEventLogged{23072, 7, "Event logged. Event name, event params"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kDisabled,
    &kEditingFailed,
    &kNotInAllowlist,
    &kReservedExtendSession,
    &kSessionIDNotRemoved,
    &kSessionNumberNotRemoved,
    &kSessionEngagementNotRemoved,
    &kSubscriptionIDNotSaved,
    &kDuplicateSubscription,
    &kOldSubscriptionsNotDeleted,
    &kOldSubscriptionsDeleted,
    &kDuplicateRollouts,
    &kRolloutsNotText,
    &kLoggingEvent,
    &kConditionalPropertyFailed,
    &kBlocklisted,
    &kRawEventNotStored,
    &kDailyCountsQueryFailed,
    &kDailyCountsNotUpdated,
    &kLifetimeValueNotStored,
    &kTooManyEvents,
    &kTooManyErrorEvents,
    &kTooManyPublicEvents,
    &kRealtimeLimit,
    &kDebugMode,
    &kAggregatesQueryFailed,
    &kEventCountQueryFailed,
    &kEventNameLimit,
    &kAggregatesNotStored,
    &kUserPropertiesQueryFailed,
    &kMetadataNotStored,
    &kStorageLimitCheckFailed,
    &kTooManyStoredEvents,
    &kEventLogged,
};

}  // namespace kit::measurement::write_pipeline_lines

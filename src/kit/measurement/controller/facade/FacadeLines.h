#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the public analytics calls.
namespace kit::measurement::facade_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kReceivedSetEnabledNotificationWithoutNSNumber{
    25000, 4, "Received setEnabled notification without NSNumber"};
inline constexpr Line kUserIDNSString{25004, 0, "User ID must be NSString. User ID"};
inline constexpr Line kUnableSetUserPropertyOriginInvalid{
    25005, 2, "Unable to set user property. Origin is invalid. Origin, name"};
inline constexpr Line kAnalyticsUserPropertiesCallbackCannotNil{25006, 2,
                                                                "Analytics userProperties callback cannot be nil"};
inline constexpr Line kCannotQueryAnalyticsUserProperties{
    25007, 2, "Cannot query for Analytics user properties. Queue cannot be nil"};
inline constexpr Line kCannotQueryPublicUserPropertiesWhen{
    25008, 5, "Cannot query for public user properties when Analytics is disabled"};
inline constexpr Line kCannotQueryAnalyticsMaxUserProperties{
    25009, 2, "Cannot query Analytics for max user properties. Origin must be a non-empty string"};
inline constexpr Line kCannotQueryAnalyticsMaxUserProperties2{
    25010, 2, "Cannot query Analytics for max user properties. Queue cannot be nil. Origin"};
inline constexpr Line kCannotQueryAnalyticsMaxUserProperties3{
    25011, 2, "Cannot query Analytics for max user properties. MaxUserProperties callback cannot be nil. Origin"};
inline constexpr Line kAttemptedAdditionNilLogEventListener{25012, 2, "Attempted addition of nil log event listener."};
inline constexpr Line kAttemptedRemovalNilLogEvent{25013, 2, "Attempted removal of nil log event."};
inline constexpr Line kAttemptedRemovalNilLogEventListener{25014, 2, "Attempted removal of nil log event listener."};
inline constexpr Line kAttemptedRemovalLogEventListenerInvalid{
    25015, 2, "Attempted removal of log event listener with invalid token."};
inline constexpr Line kTGKManagerClassDoesnTDefineInitializeSharedInstance{
    25016, 2, "TGKManager class doesn't define initializeSharedInstance"};
inline constexpr Line kAnalyticsRequiresLumenAppIDLumenService{
    25020, 1,
    "Analytics requires Lumen App ID from LumenService-Info.plist. Your data may be lost. Lumen App ID has been "
    "changed. Original, new ID"};
inline constexpr Line kAdEventIDStringNotNumber{25024, 2, "AdEvent ID string is not a number"};
inline constexpr Line kDeferringHaloEventDataCollection{25026, 3, "Deferring to Halo for event data collection"};
inline constexpr Line kDeferringLumenAnalyticsHaloEventData{
    25027, 0,
    "Deferring to Lumen Analytics for Halo for event data collection. See the kit's README for how the engine is "
    "started."};
inline constexpr Line kDetectedOlderVersionLumenAnalyticsHalo{
    25029, 1,
    "Detected an older version of Lumen Analytics for Halo framework. Data collection will be disabled. Please upgrade "
    "to the latest version of Lumen Analytics for Halo"};
inline constexpr Line kInvalidMonitorTagNonEmptyString{25030, 2, "Invalid monitor tag. It must be a non-empty string."};
inline constexpr Line kPersonalizedAdsPropertyChangedWhileAnalytics{
    25033, 7, "Personalized Ads property changed while Analytics is disabled"};
inline constexpr Line kInvalidSafelistedEventParameterTypeArray{
    25034, 0, "Invalid safelisted event parameter. Type must be an array"};
inline constexpr Line kInvalidEventNameSafelisting{25035, 0, "Invalid event name for safelisting. Name"};
inline constexpr Line kAppDelegateProxyDisabled{25036, 6, "App Delegate Proxy is disabled"};
inline constexpr Line kFailedResetAnalyticsData{25037, 1, "Failed to reset Analytics data"};
inline constexpr Line kFailedGetInstallationID{25038, 4, "Failed to get Installation ID."};
inline constexpr Line kCannotGenerateNewAppInstanceID{25039, 1, "Cannot generate a new app instance ID"};
inline constexpr Line kDiscardingEmptyConsentSettings{25041, 3, "Discarding empty consent settings"};
inline constexpr Line kValidConsentValuesGrantedDenied{
    25042, 3, "Valid consent values are 'granted' and 'denied'. Ignoring invalid consent setting"};
inline constexpr Line kIgnoringLowerPriorityConsentSettings{25043, 3, "Ignoring lower priority consent settings"};
inline constexpr Line kAnalyticsDisabled{25044, 4, "Analytics is disabled. User data not set."};
inline constexpr Line kAnalyticsSessionIDCompletionCannotNil{25050, 1, "Analytics sessionID completion cannot be nil"};
inline constexpr Line kSessionTimeoutIntervalSet{25059, 7, "Session timeout interval set. (s)"};
inline constexpr Line kSessionTimeoutIntervalCannotSetNegative{
    25060, 4, "Session timeout interval cannot be set to a negative value"};
inline constexpr Line kAnalyticsQueuesDidNotDrainBefore{
    25061, 4, "Analytics queues did not drain before termination. Timeout (ms)"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kReceivedSetEnabledNotificationWithoutNSNumber,
                                            &kUserIDNSString,
                                            &kUnableSetUserPropertyOriginInvalid,
                                            &kAnalyticsUserPropertiesCallbackCannotNil,
                                            &kCannotQueryAnalyticsUserProperties,
                                            &kCannotQueryPublicUserPropertiesWhen,
                                            &kCannotQueryAnalyticsMaxUserProperties,
                                            &kCannotQueryAnalyticsMaxUserProperties2,
                                            &kCannotQueryAnalyticsMaxUserProperties3,
                                            &kAttemptedAdditionNilLogEventListener,
                                            &kAttemptedRemovalNilLogEvent,
                                            &kAttemptedRemovalNilLogEventListener,
                                            &kAttemptedRemovalLogEventListenerInvalid,
                                            &kTGKManagerClassDoesnTDefineInitializeSharedInstance,
                                            &kAnalyticsRequiresLumenAppIDLumenService,
                                            &kAdEventIDStringNotNumber,
                                            &kDeferringHaloEventDataCollection,
                                            &kDeferringLumenAnalyticsHaloEventData,
                                            &kDetectedOlderVersionLumenAnalyticsHalo,
                                            &kInvalidMonitorTagNonEmptyString,
                                            &kPersonalizedAdsPropertyChangedWhileAnalytics,
                                            &kInvalidSafelistedEventParameterTypeArray,
                                            &kInvalidEventNameSafelisting,
                                            &kAppDelegateProxyDisabled,
                                            &kFailedResetAnalyticsData,
                                            &kFailedGetInstallationID,
                                            &kCannotGenerateNewAppInstanceID,
                                            &kDiscardingEmptyConsentSettings,
                                            &kValidConsentValuesGrantedDenied,
                                            &kIgnoringLowerPriorityConsentSettings,
                                            &kAnalyticsDisabled,
                                            &kAnalyticsSessionIDCompletionCannotNil,
                                            &kSessionTimeoutIntervalSet,
                                            &kSessionTimeoutIntervalCannotSetNegative,
                                            &kAnalyticsQueuesDidNotDrainBefore};

}  // namespace kit::measurement::facade_lines

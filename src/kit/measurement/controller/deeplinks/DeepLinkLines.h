#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of deep links and deferred deep links.
namespace kit::measurement::deep_link_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kDeepLinkWebURLQueryEmpty{23000, 7, "Deep Link Web URL query is empty"};
inline constexpr Line kDeepLinkDoesNotContainValid{23001, 3,
                                                   "Deep Link does not contain valid required params. URL params"};
inline constexpr Line kUserActivityEmpty{23003, 7, "User Activity is empty. User Activity"};
inline constexpr Line kUserActivityDoesNotDeepLink{23006, 3, "User Activity does not have Deep Link. User Activity"};
inline constexpr Line kDoNotCallHandleNonFirstOpenOpenURLMeasurementWorker{
    23163, 2, "Do not call handleNonFirstOpenOpenURL on the measurement worker queue"};
inline constexpr Line kDeferredDeepLinkFeatureDisabled{23193, 5, "Deferred Deep Link feature disabled"};
inline constexpr Line kAlreadyRetrievedDeferredDeepLink{23194, 7, "Already retrieved Deferred Deep Link. Skipping"};
inline constexpr Line kFailedRetrieveDeferredDeepLink{23195, 3,
                                                      "Failed to retrieve Deferred Deep Link. Reached retry limit"};
inline constexpr Line kIDFAUnavailableRetrieveDeferredDeepLink2{
    23196, 3, "IDFA unavailable to retrieve Deferred Deep Link. Skipping"};
inline constexpr Line kDeferredDeepLinkFeatureEnabled{23197, 7, "Deferred Deep Link feature enabled"};
inline constexpr Line kURLRetrieveDeferredDeepLinkInvalid{23198, 3, "URL to retrieve Deferred Deep Link is invalid"};
inline constexpr Line kFailedRetrieveDeferredDeepLinkRetry{
    23199, 1, "Failed to retrieve Deferred Deep Link. Will retry on next launch. Code, error"};
inline constexpr Line kSuccessfullyRetrievedDeferredDeepLink{23200, 7, "Successfully retrieved Deferred Deep Link"};
inline constexpr Line kDeferredDeepLinkResponseEmpty{23201, 8, "Deferred Deep Link response is empty"};
inline constexpr Line kFailedParseDeferredDeepLinkJSON{23202, 1, "Failed to parse Deferred Deep Link from JSON. Error"};
inline constexpr Line kSendingDeferredDeepLinkAppDelegate{23203, 8, "Sending Deferred Deep Link to app delegate"};
inline constexpr Line kAppDelegateNotConfiguredHandleDeferred{
    23204, 3, "App delegate not configured to handle Deferred Deep Link"};
inline constexpr Line kIDFAUnavailableRetrieveDeferredDeepLink{
    23252, 3, "IDFA unavailable to retrieve Deferred Deep Link due to denied ad storage consent. Skipping"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kDeepLinkWebURLQueryEmpty,
                                            &kDeepLinkDoesNotContainValid,
                                            &kUserActivityEmpty,
                                            &kUserActivityDoesNotDeepLink,
                                            &kDoNotCallHandleNonFirstOpenOpenURLMeasurementWorker,
                                            &kDeferredDeepLinkFeatureDisabled,
                                            &kAlreadyRetrievedDeferredDeepLink,
                                            &kFailedRetrieveDeferredDeepLink,
                                            &kIDFAUnavailableRetrieveDeferredDeepLink2,
                                            &kDeferredDeepLinkFeatureEnabled,
                                            &kURLRetrieveDeferredDeepLinkInvalid,
                                            &kFailedRetrieveDeferredDeepLinkRetry,
                                            &kSuccessfullyRetrievedDeferredDeepLink,
                                            &kDeferredDeepLinkResponseEmpty,
                                            &kFailedParseDeferredDeepLinkJSON,
                                            &kSendingDeferredDeepLinkAppDelegate,
                                            &kAppDelegateNotConfiguredHandleDeferred,
                                            &kIDFAUnavailableRetrieveDeferredDeepLink};

}  // namespace kit::measurement::deep_link_lines

#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the configuration fetch, reset and wipe, and the app notifications: code, level, text.
namespace kit::measurement::remote_config_fetch_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kInvalidConfiguration{23135, 2, "Configuration data is invalid."};
inline constexpr Line kNoValidAppID{23136, 2, "Configuration does not have valid Lumen App ID."};
inline constexpr Line kConfigurationNotApplied{23138, 2,
                                               "Failed to update configuration with new server configuration"};
inline constexpr Line kAudiencesNotApplied{23137, 2, "Failed to update audiences with new server configuration"};
inline constexpr Line kInvalidServerURL{23125, 2, "Invalid server URL to get configuration"};
inline constexpr Line kFetching{23126, 8, "Fetching configuration from the server"};
inline constexpr Line kFetched{23127, 8, "Fetched configuration. Status code"};
inline constexpr Line kFetchFailed{23128, 3, "Network request failed to fetch remote config. Code, Error"};
inline constexpr Line kFetchRetryLater{23129, 3, "Network fetch failed. Will retry later. Code, error"};
inline constexpr Line kNotModified{23131, 8, "Configuration has not been modified. Using the same configuration. Code"};
inline constexpr Line kNotFound{23130, 3, "Configuration not found. Using default configuration"};
inline constexpr Line kUnchangedTimestampNotStored{23132, 1, "Failed to update config last set timestamp. Error"};
inline constexpr Line kFetchSucceeded{23133, 8, "Successfully fetched configuration from the server. Code, size"};
inline constexpr Line kTimestampNotStored{23134, 1, "Failed to set last set timestamp in database. Error"};
inline constexpr Line kEmptyAppInstanceID{23167, 1, "Cannot reset with an empty app instance ID"};
inline constexpr Line kResettingWithEmptyAppInstanceID{23218, 7, "Resetting with an empty app instance ID"};
inline constexpr Line kDataReset{23168, 6, "Analytics data has been reset"};
inline constexpr Line kResetting{23171, 6, "Resetting App Measurement data"};
inline constexpr Line kDatabaseNotReset{23209, 1, "Failed to reset database"};
inline constexpr Line kOldDatabaseNotDeleted{23014, 1, "Failed to delete old database file. Error"};
inline constexpr Line kUserPropertiesQueryFailed{23123, 1, "Unable to query current user properties. Error"};
inline constexpr Line kNoUserProperties{23124, 2, "Cannot extract first open timestamp. Empty user properties"};
inline constexpr Line kNoPurchaseFingerprint{
    23139, 2, "Purchase has nil or empty fingerprint. Purchase will not be checked for duplicates. Product ID"};
inline constexpr Line kPurchaseFingerprintNotSaved{
    23140, 1, "Failed to save purchase fingerprint. Purchase will not be checked for duplicates. Product ID, error"};
inline constexpr Line kDuplicatePurchase{23141, 4, "Purchase is a duplicate and will not be reported. Product ID"};
inline constexpr Line kFetchIgnoredWhilePending{
    23143, 8, "Network operation is pending. Ignoring request to fetch configuration"};
inline constexpr Line kResigningActive{23144, 8, "App will resign active state. Scheduling data upload"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kInvalidConfiguration,
    &kNoValidAppID,
    &kConfigurationNotApplied,
    &kAudiencesNotApplied,
    &kInvalidServerURL,
    &kFetching,
    &kFetched,
    &kFetchFailed,
    &kFetchRetryLater,
    &kNotModified,
    &kNotFound,
    &kUnchangedTimestampNotStored,
    &kFetchSucceeded,
    &kTimestampNotStored,
    &kEmptyAppInstanceID,
    &kResettingWithEmptyAppInstanceID,
    &kDataReset,
    &kResetting,
    &kDatabaseNotReset,
    &kOldDatabaseNotDeleted,
    &kUserPropertiesQueryFailed,
    &kNoUserProperties,
    &kNoPurchaseFingerprint,
    &kPurchaseFingerprintNotSaved,
    &kDuplicatePurchase,
    &kFetchIgnoredWhilePending,
    &kResigningActive,
};

}  // namespace kit::measurement::remote_config_fetch_lines

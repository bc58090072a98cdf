#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the upload schedule and the upload: code, level, text.
namespace kit::measurement::upload_lines {

using log_lines::Line;
using log_lines::log;

// Schedule.
inline constexpr Line kUploadSuspended{23023, 3, "Upload has been suspended. Will update scheduling later. Seconds"};
inline constexpr Line kNothingToSchedule{23024, 8, "No data to upload. Upload task will not be scheduled"};
inline constexpr Line kNoNextUploadTime{23025, 8, "No next uploading time. Upload task will not be scheduled"};
inline constexpr Line kNoNetworkToSchedule{23026, 8, "No network. Upload task will not be scheduled"};
inline constexpr Line kTaskAlreadyScheduled{
    23027, 8, "Do not schedule an upload task. Task already exists. Will be executed in seconds"};
inline constexpr Line kTaskScheduled{23028, 8, "Upload task scheduled to be executed in approx. (s)"};
inline constexpr Line kLatestRawEventTimeFailed{23029, 5, "Failed to query latest raw event time. Error"};
inline constexpr Line kLatestBundleTimeFailed{23030, 5, "Failed to query latest bundle time. Error"};
inline constexpr Line kRealtimeBundleQueryFailed{23031, 5, "Failed to query for real-time bundle indicator. Error"};
inline constexpr Line kRealtimeRawEventQueryFailed{23032, 5,
                                                   "Failed to query for real-time raw event indicator. Error"};

// Upload.
inline constexpr Line kStartingUpload{23033, 8, "Starting data upload"};
inline constexpr Line kRequestPending{23034, 8, "Network operation is pending. Ignoring upload request"};
inline constexpr Line kNotConnected{23035, 7, "Network not connected, ignoring upload request"};
inline constexpr Line kBundleQueryFailed{23036, 1, "Failed to query bundles. Error"};
inline constexpr Line kNothingToUpload{23037, 8, "No data to upload"};
inline constexpr Line kUploadingEvents{23038, 8, "Uploading events. Elapsed time since last successful upload (s)"};
inline constexpr Line kBatchSent{23039, 7, "Measurement data sent to network. Timestamp (ms), data"};
inline constexpr Line kNoNetworkSession{23040, 2, "Unable to create network session."};
inline constexpr Line kPendingWithoutUpload{23041, 1, "Analytics is uploading but network is not uploading"};
inline constexpr Line kBothDeviceIDs{23042, 2,
                                     "Bundle filter must not specify both resettableDeviceID and vendorDeviceID"};
inline constexpr Line kUploadFailed{23043, 7, "Network upload failed. Will retry later. Code, error"};
inline constexpr Line kUploadSucceeded{23044, 7, "Successful upload. Got network response. Code, size"};
inline constexpr Line kUploadedNotDeleted{23045, 1,
                                          "Unable to delete uploaded bundles. Uploads will be suspended for seconds"};
inline constexpr Line kEmptyBundleList{23046, 2, "Bundle list is empty. Cancelling upload"};
inline constexpr Line kUploadAlreadyInProgress{23047, 2, "Set uploading progress before finishing the previous upload"};
inline constexpr Line kQueueEmptyCheckFailed{23117, 1, "Failed to check if queue table is empty. Error"};
inline constexpr Line kRawEventsEmptyCheckFailed{23118, 1, "Failed to check if raw events table is empty. Error"};
inline constexpr Line kDeleteBundlesFailed{23122, 1, "Failed to delete bundles from database. Error"};
inline constexpr Line kRetryCountsFailed{23166, 2, "Failed to update the bundles' retry counts. Error"};
inline constexpr Line kNoSSTUploadURL{23263, 1, "Unable to get a valid SST upload URL."};
inline constexpr Line kUnreadableBundlesDeleted{23240, 2, "Deleted queued bundles that could not be read. Count"};
inline constexpr Line kAcceptedStillQueued{
    23241, 1, "Bundles the service accepted are still queued. Uploads will be suspended for seconds"};
inline constexpr Line kServiceAskedForQuiet{23242, 3, "The service asked for quiet. Upload postponed for seconds"};
inline constexpr Line kOversizedBundleDeleted{23243, 2, "Bundle too large for the server; deleted. Bundle ID"};
inline constexpr Line kOversizedBatchSplit{23244, 7,
                                           "Batch too large for the server; sending it in parts. Bundles per batch"};
inline constexpr Line kUnreadableBundlesNotDeleted{
    23245, 1, "Failed to delete queued bundles that could not be read. Count, error"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kUploadSuspended,
    &kNothingToSchedule,
    &kNoNextUploadTime,
    &kNoNetworkToSchedule,
    &kTaskAlreadyScheduled,
    &kTaskScheduled,
    &kLatestRawEventTimeFailed,
    &kLatestBundleTimeFailed,
    &kRealtimeBundleQueryFailed,
    &kRealtimeRawEventQueryFailed,
    &kStartingUpload,
    &kRequestPending,
    &kNotConnected,
    &kBundleQueryFailed,
    &kNothingToUpload,
    &kUploadingEvents,
    &kBatchSent,
    &kNoNetworkSession,
    &kPendingWithoutUpload,
    &kBothDeviceIDs,
    &kUploadFailed,
    &kUploadSucceeded,
    &kUploadedNotDeleted,
    &kEmptyBundleList,
    &kUploadAlreadyInProgress,
    &kQueueEmptyCheckFailed,
    &kRawEventsEmptyCheckFailed,
    &kDeleteBundlesFailed,
    &kRetryCountsFailed,
    &kNoSSTUploadURL,
    &kUnreadableBundlesDeleted,
    &kAcceptedStillQueued,
    &kServiceAskedForQuiet,
    &kOversizedBundleDeleted,
    &kOversizedBatchSplit,
    &kUnreadableBundlesNotDeleted,
};

}  // namespace kit::measurement::upload_lines

#pragma once

#include "kit/measurement/support/LogLines.h"

#include <cstdint>
#include <string_view>

// The experiment component's log lines and error texts, in one table.
namespace kit::measurement::experiment_text {

using log_lines::Line;
using log_lines::log;

// Runs `block`, logging what it throws as `line`: a block that fails never
// ends the experiment queues.
template <typename Block>
void runLogged(const Block& block, const Line& line) {
    try {
        block();
    } catch (...) {
        log(line, MSRExceptionFromCurrentException());
    }
}

// Manager.
inline constexpr Line registerNilProperty{800000, 0, "Cannot register client with a nil SDK property"};
inline constexpr Line registerNoName{800001, 0, "Cannot register experiment client with no SDK name"};
inline constexpr Line registerInvalidFlags{800002, 0,
                                           "Cannot register experiment client invalid flags. Flag name, value"};
inline constexpr Line registeredTwice{
    800003, 3, "Registered an SDK that has already registered. Default flags will be overwritten. SDK name"};
inline constexpr Line registerFailed{800004, 1, "Cannot register client. SDK name"};
inline constexpr Line registeredClient{800005, 8, "Registered client"};
inline constexpr Line clientForEmptyName{800007, 0, "Cannot find the client for empty SDK Name"};
inline constexpr Line flagForEmptySDKName{800010, 0, "Cannot retrieve flag value for empty SDK name"};
inline constexpr Line flagForEmptyFlagName{800011, 0, "Cannot retrieve flag value for empty flag name"};
inline constexpr Line sdkNotRegistered{800012, 3, "SDK is not registered yet"};
inline constexpr Line noDefaultFlags{800013, 3, "Cannot get flag for unregistered SDK. SDK name, flag name"};
inline constexpr Line noDefaultFlag{800014, 8, "No default flag value. SDK name, flag name"};
inline constexpr Line lookingForActivated{800015, 8,
                                          "Looking for activated flag. SDK name, flag name, activated snapshot"};
inline constexpr Line lookingForLaunched{
    800016, 8, "Cannot find activated flag. Looking for launched flag. SDK name, flag name, launched flag"};
inline constexpr Line asyncQueueException{800017, 1, "Exception on async Experimentation serial queue"};
inline constexpr Line syncQueueException{800018, 1, "Exception on sync Experimentation serial queue"};
inline constexpr Line returningDefault{
    800019, 8, "Cannot find launched flag. Returned the default flag value. SDK name, flag name, default flag"};
inline constexpr Line nothingToNotify{800020, 3, "No pending snapshots to notify the clients"};
inline constexpr Line activateEmptyName{800022, 3, "Cannot activate a pending snapshot for an empty SDK name"};
inline constexpr Line noPendingSnapshot{800023, 3, "No pending snapshot to activate. SDK name"};
inline constexpr Line statusForEmptyName{800024, 0, "Cannot check activated snapshot for empty SDK Name"};
inline constexpr Line resetEmptyName{800025, 0, "Cannot reset to defaults for empty SDK Name"};
inline constexpr Line resetUnregistered{800026, 0, "Cannot reset to defaults for unregistered SDK name"};
inline constexpr Line resetToDefaults{800027, 8, "Reset all experiments to default. SDK name"};
inline constexpr Line activated{800028, 8, "Successfully activated a snapshot of SDK"};

inline constexpr std::string_view activateEmptyNameError = "SDK name cannot be empty";

// Store.
inline constexpr Line openFailed{810001, 1, "Failed to open database (%@)"};
inline constexpr Line tablesFailed{810002, 1, "Failed to create or validate required database tables (%@)"};
inline constexpr Line deleteAfterValidationFailed{
    810003, 4, "Failed to delete old database file after failed validation. Error (%@)"};
inline constexpr Line ensureTableFailed{810004, 1, "Failed to ensure table. Table, error"};
inline constexpr Line deleteDataFailed{810005, 4, "Failed to delete database data"};
inline constexpr Line reinitializeFailed{810006, 1, "Cannot re-initialize the database"};
inline constexpr Line transactionFailed{810007, 1, "Transaction failed. %@"};
// A row that does not decode is dropped instead of failing every reader.
inline constexpr Line unreadableRowDeleted{810008, 2, "Deleted a snapshot row that cannot be read. Table, SDK name"};

inline constexpr std::string_view nilPendingSnapshotError = "Received nil pending snapshot";
inline constexpr std::string_view emptySDKNameError = "Received empty SDK Name";

// Task manager.
inline constexpr Line fetching{820001, 8, "Fetching new experiments. Request"};
inline constexpr Line fetchFailed{820002, 1, "Network fetch failed. Will retry later. Code, error"};
inline constexpr Line fetchSucceeded{820003, 8, "Successful fetch. Got network response. Code, data"};
inline constexpr Line staleDeletionFailed{820006, 1, "Cannot delete stale activated snapshots. Error"};
inline constexpr Line autoActivationFailed{820007, 1, "Cannot activate pending snapshots automatically. Error"};
inline constexpr Line startFailed{820008, 2, "Failed to start the task manager"};
inline constexpr Line started{820009, 8, "Successfully start the task manager"};
inline constexpr Line fetchActivatedFailed{820010, 2, "Error in fetching all activated snapshots. Error"};
inline constexpr Line fetchPendingFailed{820011, 2, "Error in fetching all pending snapshots. Error"};
inline constexpr Line fetchLaunchedFailed{820012, 2, "Error in fetching all launched snapshots. Error"};
inline constexpr Line activateEmptySnapshot{820013, 0, "Cannot activate an empty snapshot"};
inline constexpr Line activateSnapshotFailed{820014, 1, "Cannot activate snapshot for SDK Name. Error"};
inline constexpr Line nilResponse{820015, 2, "Cannot create experiment snapshots from nil response"};
inline constexpr Line snapshotFromProtoFailed{820016, 2, "Cannot create a snapshot from the proto"};
inline constexpr Line fetchAlreadyScheduled{
    820017, 8, "Do not schedule a fetch task. Task already exists. Will be executed in seconds"};
inline constexpr Line resetEmptySDKName{820018, 1, "Cannot reset to defaults for empty SDK name"};
inline constexpr Line resetInDatabaseFailed{820019, 1, "Cannot reset to defaults in the database. SDK Name, error"};
inline constexpr Line upsertEmptyList{820020, 2, "Cannot upsert empty pending snapshot list"};
inline constexpr Line upsertPendingFailed{820021, 1, "Cannot upsert pending snapshots into the database. Error"};
inline constexpr Line upsertFetchedFailed{820022, 1, "Cannot upsert pending snapshots. Error, snapshots"};
inline constexpr Line inflateFailed{820023, 2, "Cannot inflate downloaded experiment data. Error"};
inline constexpr Line tooManyAttempts{820024, 2, "Network attempted too many times. Will not schedule new network."};
inline constexpr Line emptyData{820025, 2, "Cannot create experiment snapshots from empty data"};
inline constexpr Line asyncWorkerException{820026, 1, "Exception on async worker queue"};
inline constexpr Line syncWorkerException{820027, 1, "Exception on sync worker queue"};
// A non-empty reply that does not read as a response is a failed fetch.
inline constexpr Line undecodableReply{820028, 1, "Cannot decode the experiment response. Will retry later"};
// Without an experiment host nothing is fetched.
inline constexpr Line noExperimentHost{820029, 8, "No experiment host. Experiments are not fetched"};

// Snapshots and experiments.
inline constexpr Line snapshotInvalidSDKName{840000, 2, "Cannot create snapshot with an invalid SDK name"};
inline constexpr Line addFlagEmptyExperimentID{840003, 2, "Cannot add flag into empty experiment ID"};
inline constexpr Line propertyInvalidName{860000, 1, "Cannot init SDK property with invalid name"};
inline constexpr Line emptyDiversionKey{860001, 1, "Diversion key is empty"};
inline constexpr Line experimentWithoutID{870000, 2, "Cannot create an experiment without ID"};
inline constexpr Line addEmptyFlag{870004, 2, "Cannot add empty flag into an experiment. ID"};
inline constexpr Line addNamelessFlag{870006, 2, "Cannot add a flag without name into an experiment. ID"};
inline constexpr Line flagWithoutName{870007, 2, "Cannot retrieve a flag without a flag name"};
inline constexpr Line addEmptyProperty{880000, 2, "Cannot add an empty SDK property."};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&registerNilProperty,
                                            &registerNoName,
                                            &registerInvalidFlags,
                                            &registeredTwice,
                                            &registerFailed,
                                            &registeredClient,
                                            &clientForEmptyName,
                                            &flagForEmptySDKName,
                                            &flagForEmptyFlagName,
                                            &sdkNotRegistered,
                                            &noDefaultFlags,
                                            &noDefaultFlag,
                                            &lookingForActivated,
                                            &lookingForLaunched,
                                            &asyncQueueException,
                                            &syncQueueException,
                                            &returningDefault,
                                            &nothingToNotify,
                                            &activateEmptyName,
                                            &noPendingSnapshot,
                                            &statusForEmptyName,
                                            &resetEmptyName,
                                            &resetUnregistered,
                                            &resetToDefaults,
                                            &activated,
                                            &openFailed,
                                            &tablesFailed,
                                            &deleteAfterValidationFailed,
                                            &ensureTableFailed,
                                            &deleteDataFailed,
                                            &reinitializeFailed,
                                            &transactionFailed,
                                            &unreadableRowDeleted,
                                            &fetching,
                                            &fetchFailed,
                                            &fetchSucceeded,
                                            &staleDeletionFailed,
                                            &autoActivationFailed,
                                            &startFailed,
                                            &started,
                                            &fetchActivatedFailed,
                                            &fetchPendingFailed,
                                            &fetchLaunchedFailed,
                                            &activateEmptySnapshot,
                                            &activateSnapshotFailed,
                                            &nilResponse,
                                            &snapshotFromProtoFailed,
                                            &fetchAlreadyScheduled,
                                            &resetEmptySDKName,
                                            &resetInDatabaseFailed,
                                            &upsertEmptyList,
                                            &upsertPendingFailed,
                                            &upsertFetchedFailed,
                                            &inflateFailed,
                                            &tooManyAttempts,
                                            &emptyData,
                                            &asyncWorkerException,
                                            &syncWorkerException,
                                            &undecodableReply,
                                            &noExperimentHost,
                                            &snapshotInvalidSDKName,
                                            &addFlagEmptyExperimentID,
                                            &propertyInvalidName,
                                            &emptyDiversionKey,
                                            &experimentWithoutID,
                                            &addEmptyFlag,
                                            &addNamelessFlag,
                                            &flagWithoutName,
                                            &addEmptyProperty};

}  // namespace kit::measurement::experiment_text

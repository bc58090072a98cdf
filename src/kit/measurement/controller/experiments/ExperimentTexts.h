#pragma once

#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <utility>

#include <cstdint>
#include <string_view>

// The experiment component's log lines and error texts, in one table.
namespace kit::measurement::experiment_text {

struct Line {
    int level;
    std::uint64_t code;
    std::string_view message;
};

// Through the engine's monitor.
template <typename... Contexts>
void log(const Line& line, Contexts&&... contexts) {
    MSRMeasurementMonitor().logWithLevel(line.level, line.code, line.message,
                                         MSRLogContext(std::forward<Contexts>(contexts))...);
}

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
inline constexpr Line registerNilProperty{0, 800000, "Cannot register client with a nil SDK property"};
inline constexpr Line registerNoName{0, 800001, "Cannot register experiment client with no SDK name"};
inline constexpr Line registerInvalidFlags{0, 800002,
                                           "Cannot register experiment client invalid flags. Flag name, value"};
inline constexpr Line registeredTwice{
    3, 800003, "Registered an SDK that has already registered. Default flags will be overwritten. SDK name"};
inline constexpr Line registerFailed{1, 800004, "Cannot register client. SDK name"};
inline constexpr Line registeredClient{8, 800005, "Registered client"};
inline constexpr Line clientForEmptyName{0, 800007, "Cannot find the client for empty SDK Name"};
inline constexpr Line flagForEmptySDKName{0, 800010, "Cannot retrieve flag value for empty SDK name"};
inline constexpr Line flagForEmptyFlagName{0, 800011, "Cannot retrieve flag value for empty flag name"};
inline constexpr Line sdkNotRegistered{3, 800012, "SDK is not registered yet"};
inline constexpr Line noDefaultFlags{3, 800013, "Cannot get flag for unregistered SDK. SDK name, flag name"};
inline constexpr Line noDefaultFlag{8, 800014, "No default flag value. SDK name, flag name"};
inline constexpr Line lookingForActivated{8, 800015,
                                          "Looking for activated flag. SDK name, flag name, activated snapshot"};
inline constexpr Line lookingForLaunched{
    8, 800016, "Cannot find activated flag. Looking for launched flag. SDK name, flag name, launched flag"};
inline constexpr Line asyncQueueException{1, 800017, "Exception on async Experimentation serial queue"};
inline constexpr Line syncQueueException{1, 800018, "Exception on sync Experimentation serial queue"};
inline constexpr Line returningDefault{
    8, 800019, "Cannot find launched flag. Returned the default flag value. SDK name, flag name, default flag"};
inline constexpr Line nothingToNotify{3, 800020, "No pending snapshots to notify the clients"};
inline constexpr Line activateEmptyName{3, 800022, "Cannot activate a pending snapshot for an empty SDK name"};
inline constexpr Line noPendingSnapshot{3, 800023, "No pending snapshot to activate. SDK name"};
inline constexpr Line statusForEmptyName{0, 800024, "Cannot check activated snapshot for empty SDK Name"};
inline constexpr Line resetEmptyName{0, 800025, "Cannot reset to defaults for empty SDK Name"};
inline constexpr Line resetUnregistered{0, 800026, "Cannot reset to defaults for unregistered SDK name"};
inline constexpr Line resetToDefaults{8, 800027, "Reset all experiments to default. SDK name"};
inline constexpr Line activated{8, 800028, "Successfully activated a snapshot of SDK"};

inline constexpr std::string_view activateEmptyNameError = "SDK name cannot be empty";

// Store.
inline constexpr Line openFailed{1, 810001, "Failed to open database (%@)"};
inline constexpr Line tablesFailed{1, 810002, "Failed to create or validate required database tables (%@)"};
inline constexpr Line deleteAfterValidationFailed{
    4, 810003, "Failed to delete old database file after failed validation. Error (%@)"};
inline constexpr Line ensureTableFailed{1, 810004, "Failed to ensure table. Table, error"};
inline constexpr Line deleteDataFailed{4, 810005, "Failed to delete database data"};
inline constexpr Line reinitializeFailed{1, 810006, "Cannot re-initialize the database"};
inline constexpr Line transactionFailed{1, 810007, "Transaction failed. %@"};
// A row that does not decode is dropped instead of failing every reader.
inline constexpr Line unreadableRowDeleted{2, 810008, "Deleted a snapshot row that cannot be read. Table, SDK name"};

inline constexpr std::string_view nilPendingSnapshotError = "Received nil pending snapshot";
inline constexpr std::string_view emptySDKNameError = "Received empty SDK Name";

// Task manager.
inline constexpr Line fetching{8, 820001, "Fetching new experiments. Request"};
inline constexpr Line fetchFailed{1, 820002, "Network fetch failed. Will retry later. Code, error"};
inline constexpr Line fetchSucceeded{8, 820003, "Successful fetch. Got network response. Code, data"};
inline constexpr Line staleDeletionFailed{1, 820006, "Cannot delete stale activated snapshots. Error"};
inline constexpr Line autoActivationFailed{1, 820007, "Cannot activate pending snapshots automatically. Error"};
inline constexpr Line startFailed{2, 820008, "Failed to start the task manager"};
inline constexpr Line started{8, 820009, "Successfully start the task manager"};
inline constexpr Line fetchActivatedFailed{2, 820010, "Error in fetching all activated snapshots. Error"};
inline constexpr Line fetchPendingFailed{2, 820011, "Error in fetching all pending snapshots. Error"};
inline constexpr Line fetchLaunchedFailed{2, 820012, "Error in fetching all launched snapshots. Error"};
inline constexpr Line activateEmptySnapshot{0, 820013, "Cannot activate an empty snapshot"};
inline constexpr Line activateSnapshotFailed{1, 820014, "Cannot activate snapshot for SDK Name. Error"};
inline constexpr Line nilResponse{2, 820015, "Cannot create experiment snapshots from nil response"};
inline constexpr Line snapshotFromProtoFailed{2, 820016, "Cannot create a snapshot from the proto"};
inline constexpr Line fetchAlreadyScheduled{
    8, 820017, "Do not schedule a fetch task. Task already exists. Will be executed in seconds"};
inline constexpr Line resetEmptySDKName{1, 820018, "Cannot reset to defaults for empty SDK name"};
inline constexpr Line resetInDatabaseFailed{1, 820019, "Cannot reset to defaults in the database. SDK Name, error"};
inline constexpr Line upsertEmptyList{2, 820020, "Cannot upsert empty pending snapshot list"};
inline constexpr Line upsertPendingFailed{1, 820021, "Cannot upsert pending snapshots into the database. Error"};
inline constexpr Line upsertFetchedFailed{1, 820022, "Cannot upsert pending snapshots. Error, snapshots"};
inline constexpr Line inflateFailed{2, 820023, "Cannot inflate downloaded experiment data. Error"};
inline constexpr Line tooManyAttempts{2, 820024, "Network attempted too many times. Will not schedule new network."};
inline constexpr Line emptyData{2, 820025, "Cannot create experiment snapshots from empty data"};
inline constexpr Line asyncWorkerException{1, 820026, "Exception on async worker queue"};
inline constexpr Line syncWorkerException{1, 820027, "Exception on sync worker queue"};
// A non-empty reply that does not read as a response is a failed fetch.
inline constexpr Line undecodableReply{1, 820028, "Cannot decode the experiment response. Will retry later"};
// Without an experiment host nothing is fetched.
inline constexpr Line noExperimentHost{8, 820029, "No experiment host. Experiments are not fetched"};

// Snapshots and experiments.
inline constexpr Line snapshotInvalidSDKName{2, 840000, "Cannot create snapshot with an invalid SDK name"};
inline constexpr Line addFlagEmptyExperimentID{2, 840003, "Cannot add flag into empty experiment ID"};
inline constexpr Line propertyInvalidName{1, 860000, "Cannot init SDK property with invalid name"};
inline constexpr Line emptyDiversionKey{1, 860001, "Diversion key is empty"};
inline constexpr Line experimentWithoutID{2, 870000, "Cannot create an experiment without ID"};
inline constexpr Line addEmptyFlag{2, 870004, "Cannot add empty flag into an experiment. ID"};
inline constexpr Line addNamelessFlag{2, 870006, "Cannot add a flag without name into an experiment. ID"};
inline constexpr Line flagWithoutName{2, 870007, "Cannot retrieve a flag without a flag name"};
inline constexpr Line addEmptyProperty{2, 880000, "Cannot add an empty SDK property."};

}  // namespace kit::measurement::experiment_text

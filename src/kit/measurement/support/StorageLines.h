#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the measurement database and its store.
namespace kit::measurement::storage_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kFailedCreateAppMetadataObjectReceived{
    4000, 2, "Failed to create app metadata object. Received negative last bundle index."};
inline constexpr Line kBundleIndexOverflow{4001, 5, "Bundle index overflow. Bundle index wraparound."};
inline constexpr Line kDeliveryIndexOverflowDeliveryIndexReset{4002, 5,
                                                               "Delivery index overflow. Delivery index reset to 0."};
inline constexpr Line kFailedCreateValidateRequiredDatabaseTables{
    12002, 1, "Failed to create or validate required database tables (%@)"};
inline constexpr Line kFailedDeleteOldDatabaseFileAfter{
    12003, 4, "Failed to delete old database file after failed validation. Error (%@)"};
inline constexpr Line kFailedInitializeAppMetadataTable{12004, 1, "Failed to initialize App Metadata table (%@)"};
inline constexpr Line kFailedQueryAppMetadata{12005, 1, "Failed to query app metadata"};
inline constexpr Line kUnableUpdateAppMetadata{12006, 1, "Unable to update the app metadata. Error"};
inline constexpr Line kStoringBundleOutsideMaxUploadingTime{12016, 4,
                                                            "Storing bundle outside of the max uploading time span"};
inline constexpr Line kSavingBundle{12018, 7, "Saving bundle. size (bytes)"};
inline constexpr Line kFailedEnsureTable{12047, 1, "Failed to ensure table. Table, error"};
inline constexpr Line kNumberUploadRetriesExceedsLimit{
    12054, 1, "The number of upload retries exceeds the limit. Will remain unchanged."};
inline constexpr Line kTransactionFailed{12056, 1, "Transaction failed. %@"};
inline constexpr Line kFailedEnsureEventSnapshotTable{12058, 4, "Failed to ensure event snapshot table"};
inline constexpr Line kRawEventsCouldNotDecoded{12059, 3, "Raw events could not be decoded. Count"};
inline constexpr Line kQueuedBundlesCouldNotDecoded{12060, 3, "Queued bundles could not be decoded. Count"};
inline constexpr Line kFailedGetColumnName{34003, 4, "Failed to get column name"};
inline constexpr Line kValueNilColumn{34004, 4, "Value is nil for column"};
inline constexpr Line kDatabaseContainsRecordsWereAllFiltered{34005, 4,
                                                              "Database contains records that were all filtered out"};
inline constexpr Line kFailedExcludeDatabaseFileBackup{34017, 4, "Failed to exclude database file from backup"};
inline constexpr Line kFailedCloseDatabase{34018, 1, "Failed to close database. Got error code"};
inline constexpr Line kFailedDeleteDatabase{34019, 1, "Failed to delete database. Error"};
inline constexpr Line kRecordValueUnexpectedType{34020, 4, "Record has value of unexpected type"};
inline constexpr Line kRecordValueUnexpectedTypeUpdate{34021, 4, "Record has value of unexpected type (update)"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kFailedCreateAppMetadataObjectReceived,
                                            &kBundleIndexOverflow,
                                            &kDeliveryIndexOverflowDeliveryIndexReset,
                                            &kFailedCreateValidateRequiredDatabaseTables,
                                            &kFailedDeleteOldDatabaseFileAfter,
                                            &kFailedInitializeAppMetadataTable,
                                            &kFailedQueryAppMetadata,
                                            &kUnableUpdateAppMetadata,
                                            &kStoringBundleOutsideMaxUploadingTime,
                                            &kSavingBundle,
                                            &kFailedEnsureTable,
                                            &kNumberUploadRetriesExceedsLimit,
                                            &kTransactionFailed,
                                            &kFailedEnsureEventSnapshotTable,
                                            &kRawEventsCouldNotDecoded,
                                            &kQueuedBundlesCouldNotDecoded,
                                            &kFailedGetColumnName,
                                            &kValueNilColumn,
                                            &kDatabaseContainsRecordsWereAllFiltered,
                                            &kFailedExcludeDatabaseFileBackup,
                                            &kFailedCloseDatabase,
                                            &kFailedDeleteDatabase,
                                            &kRecordValueUnexpectedType,
                                            &kRecordValueUnexpectedTypeUpdate};

}  // namespace kit::measurement::storage_lines

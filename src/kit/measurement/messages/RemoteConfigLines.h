#pragma once

#include "kit/core/LogLine.h"

// The remote configuration's monitor lines, logged with logRemoteConfigLine.
namespace kit::measurement::remote_config_line {

using log_lines::Line;

// clang-format off
inline constexpr Line emptyAppID{29000, 2, "Cannot create a remote configuration without a Lumen App ID"};
inline constexpr Line noDatabase{29001, 2, "Cannot create a remote configuration without a database"};
inline constexpr Line updateDefault{29002, 2, "Cannot update the default measurement configuration"};
inline constexpr Line updateEmpty{29003, 5, "Cannot set empty measurement config to database"};
inline constexpr Line updateAppIDMismatch{29004, 2, "Cannot set measurement config when Lumen App ID does not match"};
inline constexpr Line storeFailed{29005, 1, "Cannot store config into the database"};
inline constexpr Line emptyEventName{29006, 5, "Cannot find event config with empty event name"};
inline constexpr Line expiryOfDefault{29007, 2, "Cannot fetch the last update timestamp from the default configuration"};
inline constexpr Line timestampOfDefault{29008, 2, "Cannot fetch the last configuration update timestamp from the default instance"};
inline constexpr Line timestampQueryFailed{29009, 4, "Failed to query last configuration update timestamp. Error"};
inline constexpr Line emptyPlatform{29010, 2, "Cannot create a URL to fetch a configuration with empty platform"};
inline constexpr Line parseEmpty{29012, 2, "Cannot parse empty measurement config. Using default values"};
inline constexpr Line emptyEventConfigName{29013, 5, "Cannot cache event configuration with an empty configuration name"};
inline constexpr Line parsed{29014, 7, "Successfully parsed a configuration. Version"};
inline constexpr Line databaseOfDefault{29015, 2, "Cannot retrieve a measurement configuration from the database for the default instance"};
inline constexpr Line databaseFailed{29016, 2, "Cannot retrieve configuration data from database. Error"};
inline constexpr Line notInDatabase{29017, 7, "Configuration was not found in database. The configuration will be fetched from the network when necessary"};
inline constexpr Line nonString{29018, 2, "Cannot parse number from non-string"};
inline constexpr Line cacheEmpty{29019, 5, "Cannot cache empty configuration value"};
inline constexpr Line emptySettingKey{29020, 7, "Cannot get setting with empty key from cache"};
inline constexpr Line staleSnapshot{29023, 2, "Cannot activate stale snapshot. Error"};
inline constexpr Line snapshotFailed{29024, 2, "Cannot activate snapshot. Error"};
inline constexpr Line fetchFailed{29025, 2, "Cannot fetch experiment. Error"};
inline constexpr Line eventEditingFailed{29026, 1, "Failed to initiate event editing instance"};
inline constexpr Line eventEditingLoaded{29027, 7, "Loading Event Modification and Creation programs"};
// clang-format on

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&emptyAppID,           &noDatabase,
                                            &updateDefault,        &updateEmpty,
                                            &updateAppIDMismatch,  &storeFailed,
                                            &emptyEventName,       &expiryOfDefault,
                                            &timestampOfDefault,   &timestampQueryFailed,
                                            &emptyPlatform,        &parseEmpty,
                                            &emptyEventConfigName, &parsed,
                                            &databaseOfDefault,    &databaseFailed,
                                            &notInDatabase,        &nonString,
                                            &cacheEmpty,           &emptySettingKey,
                                            &staleSnapshot,        &snapshotFailed,
                                            &fetchFailed,          &eventEditingFailed,
                                            &eventEditingLoaded};

}  // namespace kit::measurement::remote_config_line

#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of on-device conversion measurement: code, level, text.
namespace kit::measurement::on_device_conversion_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kDependencyLinked{
    23253, 7,
    "LumenMeasurementOnDeviceConversion dependency is linked. On-device conversion measurement is ready to initiate."};
inline constexpr Line kDependencyMissing{23254, 4,
                                         "LumenMeasurementOnDeviceConversion dependency is not currently linked. "
                                         "On-device conversion measurement will fail to initiate."};
inline constexpr Line kNotLinked{23233, 1,
                                 "Failed to initiate on-device conversion measurement. "
                                 "LumenMeasurementOnDeviceConversion dependency not linked in."};
inline constexpr Line kOutsideFirstOpenWindow{23261, 1,
                                              "Failed to initiate on-device conversion measurement. Attempted to "
                                              "initiate outside the first open window."};
inline constexpr Line kAlreadyInProgress{23235, 1,
                                         "Failed to initiate on-device conversion measurement. Request to query data "
                                         "set for on-device conversion measurement already in progress."};
inline constexpr Line kStartLimit{23236, 1,
                                  "Failed to initiate on-device conversion measurement. Exceeded limit per app run."};
inline constexpr Line kExistingMatch{23237, 1,
                                     "Failed to initiate on-device conversion measurement. Found existing match."};
inline constexpr Line kRetryLimit{23238, 1,
                                  "Failed to initiate on-device conversion measurement. Exceeded retry limit."};
inline constexpr Line kEmptyEmailAddress{23234, 1,
                                         "Failed to initiate on-device conversion measurement. Email address was "
                                         "empty."};
inline constexpr Line kEmptyPhoneNumber{23239, 1,
                                        "Failed to initiate on-device conversion measurement. Phone number was empty."};
inline constexpr Line kPhoneNumbersUnsupported{23262, 1,
                                               "Failed to initiate on-device conversion measurement. Linked "
                                               "LumenMeasurementOnDeviceConversion dependency does not support phone "
                                               "numbers."};
inline constexpr Line kEmptyHashedIdentifier{
    23264, 1, "Failed to initiate on-device conversion measurement. Hashed identifier was empty."};
inline constexpr Line kHashedIdentifiersUnsupported{23265, 1,
                                                    "Failed to initiate on-device conversion measurement. Linked "
                                                    "LumenMeasurementOnDeviceConversion dependency does not support "
                                                    "hashed identifiers."};
inline constexpr Line kInvalidURL{23227, 1, "URL to query data set for on-device conversion measurement is invalid"};
inline constexpr Line kRequestPostponed{23232, 7,
                                        "Network operation is pending. Request to query data set for on-device "
                                        "conversion measurement postponed."};
inline constexpr Line kMatchFound{23229, 7, "On-device conversion measurement found a match"};
inline constexpr Line kNoMatch{23230, 7,
                               "On-device conversion measurement did not find a match. Will try again given new user "
                               "data."};
inline constexpr Line kRequestFailed{23228, 1,
                                     "Failed to query data set for on-device conversion measurement. Will retry "
                                     "later. Code, error"};
inline constexpr Line kRetriesExhausted{
    23231, 4, "On-device conversion measurement failed to find a match. Reached retry limit."};
inline constexpr Line kInitiated{23225, 7, "Initiated on-device conversion measurement"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kDependencyLinked,
    &kDependencyMissing,
    &kNotLinked,
    &kOutsideFirstOpenWindow,
    &kAlreadyInProgress,
    &kStartLimit,
    &kExistingMatch,
    &kRetryLimit,
    &kEmptyEmailAddress,
    &kEmptyPhoneNumber,
    &kPhoneNumbersUnsupported,
    &kEmptyHashedIdentifier,
    &kHashedIdentifiersUnsupported,
    &kInvalidURL,
    &kRequestPostponed,
    &kMatchFound,
    &kNoMatch,
    &kRequestFailed,
    &kRetriesExhausted,
    &kInitiated,
};

}  // namespace kit::measurement::on_device_conversion_lines

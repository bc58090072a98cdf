#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the screen, session and ad exposure reporters.
namespace kit::measurement::reporter_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kIgnoringCallBeginAdUnitExposure{
    1000, 5, "Ignoring call to begin ad unit exposure. Received empty ad unit ID"};
inline constexpr Line kReachedLimitAdUnitsIgnoringAd{1002, 5, "Reached limit on ad units. Ignoring ad unit with ID"};
inline constexpr Line kIgnoringCallEndAdUnitExposure{
    1003, 5, "Ignoring call to end ad unit exposure. Received empty ad unit ID"};
inline constexpr Line kUnknownAdUnitIgnoringAdUnit{1004, 5, "Unknown ad unit. Ignoring ad unit with ID"};
inline constexpr Line kAdExposureNotLogged{1005, 5, "Ad exposure not logged. Reporting is disabled."};
inline constexpr Line kAdExposureNotLoggedExposureTime{1006, 8,
                                                       "Ad exposure not logged. Exposure time was less than 1 sec"};
inline constexpr Line kAdUnitExposureNotLogged{1007, 5, "Ad unit exposure not logged. Reporting is disabled."};
inline constexpr Line kAdUnitExposureNotLoggedReceived{1008, 5,
                                                       "Ad unit exposure not logged. Received empty ad unit ID"};
inline constexpr Line kAdUnitExposureNotLoggedExposure{
    1009, 8, "Ad unit exposure not logged. Exposure time was less than 1 sec"};
inline constexpr Line kAdExposureNotLoggedAppNot{1010, 8, "Ad exposure not logged. App is not active."};
inline constexpr Line kAdUnitExposureNotLoggedApp{1011, 8, "Ad unit exposure not logged. App is not active."};
inline constexpr Line kIgnoringCallSetScreenNameScreenClass{
    31000, 3, "Ignoring call to setScreenName:screenClass:. Screen reporting is disabled."};
inline constexpr Line kScreenViewEventNotLoggedScreen{31012, 1,
                                                      "Screen view event not logged. Screen parameters were empty"};
inline constexpr Line kScreenViewEventNotLogged{31013, 7, "Screen view event not logged. App is not active."};
inline constexpr Line kScreenClassNameEmpty{31014, 3, "Screen class name is empty"};
inline constexpr Line kScreenClassNameInvalid{31015, 3, "Screen class name is invalid. Error code"};
inline constexpr Line kCannotLogScreenViewEventWhen{31026, 3,
                                                    "Cannot log screen view event when the app is not active"};
inline constexpr Line kReceivedInvalidNameScreen{31027, 3, "Received invalid name for screen"};
inline constexpr Line kReceivedInvalidClassScreen{31028, 3, "Received invalid class for screen"};
inline constexpr Line kLoggingScreenViewScreenNameScreen{31029, 7,
                                                         "Logging screen view with screen name and screen class"};
inline constexpr Line kReceivedNegativeTimeoutSessionDurationSetting{
    33001, 3, "Received negative timeout session duration. Setting to 0.0 instead."};
inline constexpr Line kIncurredEngagementTimeNegativeSetting0{
    33004, 4, "Incurred engagement time is negative. Setting to 0.0 instead"};
inline constexpr Line kSessionStartEventNotLogged{33005, 7,
                                                  "Session start event not logged. Application is not active"};
inline constexpr Line kUserEngagementEventNotLogged{33006, 7,
                                                    "User engagement event not logged. Application is not active"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kIgnoringCallBeginAdUnitExposure,
                                            &kReachedLimitAdUnitsIgnoringAd,
                                            &kIgnoringCallEndAdUnitExposure,
                                            &kUnknownAdUnitIgnoringAdUnit,
                                            &kAdExposureNotLogged,
                                            &kAdExposureNotLoggedExposureTime,
                                            &kAdUnitExposureNotLogged,
                                            &kAdUnitExposureNotLoggedReceived,
                                            &kAdUnitExposureNotLoggedExposure,
                                            &kAdExposureNotLoggedAppNot,
                                            &kAdUnitExposureNotLoggedApp,
                                            &kIgnoringCallSetScreenNameScreenClass,
                                            &kScreenViewEventNotLoggedScreen,
                                            &kScreenViewEventNotLogged,
                                            &kScreenClassNameEmpty,
                                            &kScreenClassNameInvalid,
                                            &kCannotLogScreenViewEventWhen,
                                            &kReceivedInvalidNameScreen,
                                            &kReceivedInvalidClassScreen,
                                            &kLoggingScreenViewScreenNameScreen,
                                            &kReceivedNegativeTimeoutSessionDurationSetting,
                                            &kIncurredEngagementTimeNegativeSetting0,
                                            &kSessionStartEventNotLogged,
                                            &kUserEngagementEventNotLogged};

}  // namespace kit::measurement::reporter_lines

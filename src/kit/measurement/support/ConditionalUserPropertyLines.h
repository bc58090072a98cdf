#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the conditional user properties.
namespace kit::measurement::conditional_property_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kCannotProcessNilEventConditionalUser{10000, 2,
                                                            "Cannot process nil event for conditional user property"};
inline constexpr Line kCannotFetchTimedOutConditionalUser{10001, 1,
                                                          "Cannot fetch timed out conditional user properties. Error"};
inline constexpr Line kConditionalUserPropertyTimedOut{10002, 7, "Conditional user property has timed out. Name"};
inline constexpr Line kCannotDeleteTimedOutConditionUser{
    10003, 1, "Cannot delete timed out condition user property. Name, error"};
inline constexpr Line kCannotFetchExpiredConditionalUserProperties{
    10004, 1, "Cannot fetch expired conditional user properties. Error"};
inline constexpr Line kConditionalUserPropertyExpired{10005, 7,
                                                      "Conditional user property has expired. Name, expired event"};
inline constexpr Line kCannotRemoveConditionalUserPropertyFailed2{
    10006, 1, "Cannot remove conditional user property. Failed to delete the user property. Name, origin, error"};
inline constexpr Line kCannotDeleteExpiredConditionUserProperty{
    10007, 1, "Cannot delete expired condition user property. Name, error"};
inline constexpr Line kCannotFetchTriggeringConditionalUserProperties{
    10008, 1, "Cannot fetch triggering conditional user properties. Event name, error"};
inline constexpr Line kCannotUpdateUserPropertyConditionalUser2{
    10009, 1, "Cannot update user property from conditional user property. Name, origin, error"};
inline constexpr Line kUserPropertyUpdatedNameOriginValue{10010, 7, "User property updated. Name, origin, value"};
inline constexpr Line kCannotUpdateConditionalUserProperty{
    10011, 1, "Cannot update conditional user property. Name, origin, error"};
inline constexpr Line kInvalidConditionalUserPropertyTriggerTimeout{
    11000, 2, "Invalid conditional user property trigger timeout"};
inline constexpr Line kInvalidConditionalUserPropertyTimeLive{11001, 2,
                                                              "Invalid conditional user property time to live"};
inline constexpr Line kCannotSetNilConditionalUserProperty{11002, 2, "Cannot set nil conditional user property"};
inline constexpr Line kCannotQueryConditionalUserPropertiesName2{
    11003, 2, "Cannot query for conditional user properties. Name prefix is not a string. Class"};
inline constexpr Line kCannotQueryConditionalUserPropertiesOrigin{
    11004, 2, "Cannot query for conditional user properties. Origin is not a string. Class"};
inline constexpr Line kCannotQueryConditionalUserProperties{
    11005, 3, "Cannot query for conditional user properties. Analytics is disabled"};
inline constexpr Line kCannotQueryConditionalUserPropertiesName{
    11006, 2, "Cannot query for conditional user properties. Name prefix, origin, error"};
inline constexpr Line kCannotSetConditionalUserProperty{11007, 3,
                                                        "Cannot set conditional user property. Analytics is disabled"};
inline constexpr Line kCannotSetNilConditionalUserProperty2{11008, 2,
                                                            "Cannot set nil conditional user property on worker queue"};
inline constexpr Line kCannotQueryConditionalUserProperty{
    11009, 1, "Cannot query conditional user property. Name, origin, error"};
inline constexpr Line kUpdatingConditionalUserPropertyDifferentOrigin{
    11010, 5, "Updating a conditional user property with different origin. Name, origin, saved origin"};
inline constexpr Line kCannotUpdateUserPropertyConditionalUser{
    11011, 1, "Cannot update user property from conditional user property. Name, origin, error"};
inline constexpr Line kUserPropertyUpdated{11012, 7, "User property updated. Name, origin"};
inline constexpr Line kConditionalUserPropertyAdded{11013, 7, "Conditional user property added. Name, origin"};
inline constexpr Line kCannotInsertUserPropertyConditionalUser{
    11014, 1, "Cannot insert user property from conditional user property. Name, origin, error"};
inline constexpr Line kCannotRemoveConditionalUserProperty{
    11015, 3, "Cannot remove conditional user property. Analytics is disabled"};
inline constexpr Line kCannotRemoveNilConditionalUserProperty{
    11016, 0, "Cannot remove nil conditional user property on worker queue"};
inline constexpr Line kCannotQueryConditionalUserPropertyRemove{
    11017, 1, "Cannot query conditional user property to remove. Name, origin, error"};
inline constexpr Line kCannotRemoveNonexistentConditionalUserProperty{
    11018, 4, "Cannot remove nonexistent conditional user property. Name, origin"};
inline constexpr Line kCannotDeleteConditionalUserProperty{
    11019, 1, "Cannot delete conditional user property. Name, origin, error"};
inline constexpr Line kCannotRemoveConditionalUserPropertyFailed{
    11020, 1, "Cannot remove conditional user property. Failed to delete the user property. Name, origin, error"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kCannotProcessNilEventConditionalUser,
                                            &kCannotFetchTimedOutConditionalUser,
                                            &kConditionalUserPropertyTimedOut,
                                            &kCannotDeleteTimedOutConditionUser,
                                            &kCannotFetchExpiredConditionalUserProperties,
                                            &kConditionalUserPropertyExpired,
                                            &kCannotRemoveConditionalUserPropertyFailed2,
                                            &kCannotDeleteExpiredConditionUserProperty,
                                            &kCannotFetchTriggeringConditionalUserProperties,
                                            &kCannotUpdateUserPropertyConditionalUser2,
                                            &kUserPropertyUpdatedNameOriginValue,
                                            &kCannotUpdateConditionalUserProperty,
                                            &kInvalidConditionalUserPropertyTriggerTimeout,
                                            &kInvalidConditionalUserPropertyTimeLive,
                                            &kCannotSetNilConditionalUserProperty,
                                            &kCannotQueryConditionalUserPropertiesName2,
                                            &kCannotQueryConditionalUserPropertiesOrigin,
                                            &kCannotQueryConditionalUserProperties,
                                            &kCannotQueryConditionalUserPropertiesName,
                                            &kCannotSetConditionalUserProperty,
                                            &kCannotSetNilConditionalUserProperty2,
                                            &kCannotQueryConditionalUserProperty,
                                            &kUpdatingConditionalUserPropertyDifferentOrigin,
                                            &kCannotUpdateUserPropertyConditionalUser,
                                            &kUserPropertyUpdated,
                                            &kConditionalUserPropertyAdded,
                                            &kCannotInsertUserPropertyConditionalUser,
                                            &kCannotRemoveConditionalUserProperty,
                                            &kCannotRemoveNilConditionalUserProperty,
                                            &kCannotQueryConditionalUserPropertyRemove,
                                            &kCannotRemoveNonexistentConditionalUserProperty,
                                            &kCannotDeleteConditionalUserProperty,
                                            &kCannotRemoveConditionalUserPropertyFailed};

}  // namespace kit::measurement::conditional_property_lines

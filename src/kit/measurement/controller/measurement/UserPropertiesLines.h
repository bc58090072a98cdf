#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of user properties: code, level, text.
namespace kit::measurement::user_properties_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kDisabledNotSet{23081, 7, "Analytics is disabled. User property not set"};
inline constexpr Line kExistenceQueryFailed{23082, 1, "Unable to query existence of user property. Name, error"};
inline constexpr Line kPropertyNotRemoved{23077, 1, "Unable to remove user property. Name, error"};
inline constexpr Line kCountQueryFailed{23083, 1, "Unable to query user property count. Origin, error"};
inline constexpr Line kOriginLimitReached{
    23084, 3, "Unable to set user property. Reached limit on set user properties for origin. Origin, name, value"};
inline constexpr Line kPropertyNotSet{23085, 1, "Unable to set user property. Name, value, error"};
inline constexpr Line kPropertySet{23087, 7, "User property set. Name, value"};
inline constexpr Line kDisabledNotRemoved{23076, 7, "Analytics is disabled. User property not removed"};
inline constexpr Line kPropertyRemoved{23078, 7, "User property removed. Name"};
inline constexpr Line kNoNameCallback{23088, 0, "userAttributeWithName callback is nil"};
inline constexpr Line kReadByNameFailed{23089, 1, "Unable to get user attribute by name. Name"};
inline constexpr Line kNoPropertiesCallback{23090, 0, "Unable to retrieve user properties. Callback is nil"};
inline constexpr Line kReadAllFailed{23091, 1, "Unable to retrieve user properties. Error"};
inline constexpr Line kInvalidPublicProperty{23092, 3, "Cannot add invalid public user property name or value."};
inline constexpr Line kNoMaxOrigin{23093, 0, "Origin for querying MaxUserProperties cannot be nil"};
inline constexpr Line kNoMaxCallback{23094, 0, "MaxUserProperties callback cannot be nil. Origin"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {
    &kDisabledNotSet,     &kExistenceQueryFailed,  &kPropertyNotRemoved, &kCountQueryFailed,
    &kOriginLimitReached, &kPropertyNotSet,        &kPropertySet,        &kDisabledNotRemoved,
    &kPropertyRemoved,    &kNoNameCallback,        &kReadByNameFailed,   &kNoPropertiesCallback,
    &kReadAllFailed,      &kInvalidPublicProperty, &kNoMaxOrigin,        &kNoMaxCallback,
};

}  // namespace kit::measurement::user_properties_lines

#pragma once

#include "kit/measurement/support/LogLines.h"

#include <cstdint>
#include <string_view>

// The identity and environment code's log lines: code, level, text.
namespace kit::measurement::identity_texts {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kDeviceModelFailed{14000, 2, "Failed to get device model"};
inline constexpr Line kPreferredLanguageFailed{14001, 2, "Failed to get preferred language"};
inline constexpr Line kVersionNotNumeric{20002, 5, "app version numeric has non-numeric characters"};
inline constexpr Line kSharedIdentityNil{20003, 2, "Identity's shared instance is nil"};
inline constexpr Line kNoPersistedConfig{
    20004, 2, "Unable to create measurement identity, missing a valid persisted config instance"};
inline constexpr Line kEmptyAppID{20005, 2, "Cannot set empty Lumen App ID"};
inline constexpr Line kServiceFileAppIDEmpty{
    20006, 0,
    "Lumen App ID from LumenService-Info.plist is empty. Please, define LUMEN_APP_ID in LumenService-Info.plist "
    "for Analytics to work reliably. See the Stubforge analytics documentation."};
inline constexpr Line kInfoPlistFlag{20009, 7, "%@ = %@"};
inline constexpr Line kNoAppIDFromIdentity{37000, 2, "Unable to fetch Lumen App ID from identity"};
inline constexpr Line kNoAppIDFromOptions{37001, 2, "Unable to fetch Lumen App ID from default options"};
inline constexpr Line kNoAppInstanceIDFromIdentity{37002, 2, "Unable to fetch App Instance ID from identity"};
inline constexpr Line kNoAppInstanceIDFromShared{37003, 2,
                                                 "Unable to fetch App Instance ID from identity shared instance"};
inline constexpr Line kEmptyOrigin{37004, 2, "Cannot set the data collection origin. Origin cannot be empty"};
inline constexpr Line kNoEffectiveAppID{37005, 2, "Unable to fetch effective App ID from identity"};
inline constexpr Line kIdentitySupportLinked{44000, 7, "LumenMeasurementIdentitySupport dependency is linked."};
inline constexpr Line kAdSupportLinked{44001, 7, "The AdSupport Framework is linked."};
inline constexpr Line kAdSupportNotLinked{
    44002, 4,
    "The AdSupport Framework is not currently linked. Some features will not function properly. Learn more at "
    "the Stubforge analytics documentation."};
inline constexpr Line kIdentitySupportNotLinked{
    44003, 4, "LumenMeasurementIdentitySupport dependency is not currently linked. IDFA will not be accessible."};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kDeviceModelFailed,
                                            &kPreferredLanguageFailed,
                                            &kVersionNotNumeric,
                                            &kSharedIdentityNil,
                                            &kNoPersistedConfig,
                                            &kEmptyAppID,
                                            &kServiceFileAppIDEmpty,
                                            &kInfoPlistFlag,
                                            &kNoAppIDFromIdentity,
                                            &kNoAppIDFromOptions,
                                            &kNoAppInstanceIDFromIdentity,
                                            &kNoAppInstanceIDFromShared,
                                            &kEmptyOrigin,
                                            &kNoEffectiveAppID,
                                            &kIdentitySupportLinked,
                                            &kAdSupportLinked,
                                            &kAdSupportNotLinked,
                                            &kIdentitySupportNotLinked};

}  // namespace kit::measurement::identity_texts

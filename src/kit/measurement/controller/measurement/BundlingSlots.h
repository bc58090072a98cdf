#pragma once

#include "BundleSlots.h"

// The slots bundling and sampling use beyond those the write pipeline fills:
// the bundle's times, indexes and metadata, and the event message's own.
namespace kit::measurement::bundle_slots {

inline constexpr int kStartTimestamp = 4;
inline constexpr int kEndTimestamp = 5;
inline constexpr int kPreviousBundleStartTimestamp = 6;
inline constexpr int kPreviousBundleEndTimestamp = 7;
inline constexpr int kBundleIndex = 24;
inline constexpr int kMonitoringData = 25;
inline constexpr int kConfigVersion = 34;
inline constexpr int kExperimentIDs = 37;
inline constexpr int kRedactedFields = 44;
inline constexpr int kEphemeralAppInstanceID = 45;
inline constexpr int kDeliveryIndex = 51;

// MSRPBUserAttribute
inline constexpr int kUserAttributeSetTimestamp = 0;

}  // namespace kit::measurement::bundle_slots

namespace kit::measurement::event_slots {

// MSRPBEvent
inline constexpr int kParams = 0;
inline constexpr int kName = 1;
inline constexpr int kTimestamp = 2;
inline constexpr int kPreviousTimestamp = 3;

// MSRPBEventParam
inline constexpr int kParamName = 0;
inline constexpr int kParamIntValue = 2;

}  // namespace kit::measurement::event_slots

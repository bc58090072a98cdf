#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of events, their parameters and values.
namespace kit::measurement::event_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kIgnoringParameterParameterNameNil{15000, 2,
                                                         "Ignoring parameter. Parameter name is nil. Event name"};
inline constexpr Line kCannotCreateEventEventProtoOrigin{
    15001, 2, "Cannot create an event from event proto. Origin parameter is not a string. Event name"};
inline constexpr Line kUnknownEventParameterTypeConvertingEvent{
    15002, 5, "Unknown event parameter type from converting an event proto into MSREvent instance. Event param name"};
inline constexpr Line kEventCreatedPreviousTimestampAfterCurrent{
    16002, 5, "Event created with previous timestamp after current timestamp"};
inline constexpr Line kInvalidEventParamValue{16005, 2, "Invalid event param value. Event name, param name"};
inline constexpr Line kRealtimeParameterInt64{16006, 2, "Realtime parameter must be an int64. Event name"};
inline constexpr Line kNestedParamsCannotMoreThan1{
    16007, 2, "Nested params cannot have more than 1 level. Event name, param name"};
inline constexpr Line kEventTimestampOutRange{16008, 2, "Event timestamp is out of range"};
inline constexpr Line kFailedCreateEventAggregatesObject{
    17000, 5, "Failed to create event aggregates object. Received negative count."};
inline constexpr Line kCannotCheckEventName{18004, 2, "Cannot check the event name. Name is empty"};
inline constexpr Line kValueParameterDiscardedYouAlsoSupply{
    18014, 3,
    "Value parameter discarded. You must also supply a 3-letter ISO_4217 currency code in the currency parameter."};
inline constexpr Line kEventParameterValueTypeNSStringNSNumber{
    18015, 3, "Event parameter value must be of type NSString, NSNumber or NSArray. Type"};
inline constexpr Line kItemCannotContainCustomParameters{18016, 0, "Item cannot contain custom parameters"};
inline constexpr Line kTooManyParameters{18017, 1, "Event cannot contain more than %@ parameters"};
inline constexpr Line kFailedCreateRawEventData{28000, 4,
                                                "Failed to create raw event data. Received invalid raw event."};
inline constexpr Line kFailedCreateRawEventDataReceived{
    28001, 4, "Failed to create raw event data. Received invalid row ID. Row ID"};
inline constexpr Line kCannotCreateValueTypeNilValue{35000, 0, "Cannot create Value type with nil value"};
inline constexpr Line kCannotCreateValueTypeUnsupportedValue{
    35001, 0,
    "Cannot create Value type with unsupported value. The Value has to be NSNumber, NSString or NSArray (if "
    "supported). Value"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kIgnoringParameterParameterNameNil,
                                            &kCannotCreateEventEventProtoOrigin,
                                            &kUnknownEventParameterTypeConvertingEvent,
                                            &kEventCreatedPreviousTimestampAfterCurrent,
                                            &kInvalidEventParamValue,
                                            &kRealtimeParameterInt64,
                                            &kNestedParamsCannotMoreThan1,
                                            &kEventTimestampOutRange,
                                            &kFailedCreateEventAggregatesObject,
                                            &kCannotCheckEventName,
                                            &kValueParameterDiscardedYouAlsoSupply,
                                            &kEventParameterValueTypeNSStringNSNumber,
                                            &kItemCannotContainCustomParameters,
                                            &kTooManyParameters,
                                            &kFailedCreateRawEventData,
                                            &kFailedCreateRawEventDataReceived,
                                            &kCannotCreateValueTypeNilValue,
                                            &kCannotCreateValueTypeUnsupportedValue};

}  // namespace kit::measurement::event_lines

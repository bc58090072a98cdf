#pragma once

#include "kit/measurement/messages/MSREventNames.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/Decimal.h"
#include "platform/Random.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Shared tables and helpers of the measurement engine: the name maps, the
// failure codes that error events carry, their recording, decimal parsing,
// random numbers and the notification names.
namespace kit::measurement {

// Internal to public; "_cmp" keeps "la_campaign".
const MSRNameMap& MSRInternalEventNameReverseMap();
const MSRNameMap& MSRAdImpressionEventNameMap();
const MSRNameMap& MSRInternalParameterNameMap();
const MSRNameMap& MSRInternalUserPropertyNameMap();
const std::map<std::int64_t, std::string>& MSRFailureCodeNameMap();

// The value of "_err" in error events.
enum MSRFailureCode : std::int64_t {
    MSRFailureCodeNoError = 0,
    MSRFailureCodeInvalidLMPAppID = 1,
    MSRFailureCodeInvalidEventName = 2,
    MSRFailureCodeInvalidParameterName = 3,
    MSRFailureCodeInvalidParameterValue = 4,
    MSRFailureCodeParameterLimitReached = 5,
    MSRFailureCodeInvalidUserPropertyName = 6,
    MSRFailureCodeUserPropertyValueTooLong = 7,
    MSRFailureCodeEventLimitReached = 8,
    MSRFailureCodeUserPropertyLimitReached = 9,
    MSRFailureCodeConversionEventLimitReached = 10,
    MSRFailureCodeEventIsBlocked = 11,
    MSRFailureCodeUserPropertyIsBlocked = 12,
    MSRFailureCodeEventNameIsReserved = 13,
    MSRFailureCodeParameterNameIsReserved = 14,
    MSRFailureCodeUserPropertyNameIsReserved = 15,
    MSRFailureCodePublicEventLimitReached = 16,
    MSRFailureCodeTooManyExtraParamEvents = 17,
    MSRFailureCodeValueIsNotNumeric = 18,
    MSRFailureCodeCurrencyCodeIsMissingOrInvalid = 19,
    MSRFailureCodeInvalidArrayParamName = 20,
    MSRFailureCodeInvalidArrayParamEventName = 21,
    MSRFailureCodeInvalidArrayParamNesting = 22,
    MSRFailureCodeCustomParamsInArrayElement = 23,
    MSRFailureCodeItemScopedCustomParameterLimitReached = 28,
};

// Name tests. A public name is non-empty and does not start with "_"; an
// empty one logs 18003, a non-string 18002.
bool MSRIsPublicName(std::string_view name);
bool MSRIsPublicName(const platform::Value& name);
bool MSRIsNotErrorEventName(std::string_view name);
bool MSRIsPurchaseEventName(std::string_view name);
bool MSRIsEcommerceEventName(std::string_view name);
bool MSRIsItemParameterName(std::string_view name);
bool MSRHasScreenParameters(const MSRParameters& parameters);
bool MSRHasScreenParameters(const MSRObjectDictionary& parameters);
MSRParameters MSRScreenParametersFromParameters(const MSRParameters& parameters);

// Error recording. Only the first failure of an event is kept.
void MSRLogErrorEvent(std::int64_t code);
void MSRLogErrorEventWithName(std::int64_t code, std::string_view name, std::size_t maxLength, const MSRValue* value);
void MSRAddErrorNameAndLength(MSRParameters& parameters, std::string_view name, std::size_t maxLength,
                              const MSRValue* value);
void MSRSetErrorCodeIfAbsent(MSRParameters& parameters, std::int64_t code);
void MSRRecordParameterError(MSRParameters& parameters, std::int64_t code, std::string_view name, std::size_t maxLength,
                             const MSRValue* value);
// The first `maxLength` code points and "..." when the name is longer.
std::string MSRTrimmedErrorName(std::string_view name, std::size_t maxLength);

// Decimals in the fixed "." grammar, whatever the process locale.
bool MSRIsDecimalNumberString(std::string_view text);
// Nothing, logged, for text that is not decimal (26001), out of range
// (26002) or would lose digits (26003).
std::optional<platform::Decimal> MSRDecimalNumberFromString(std::string_view text);

class MSRNumericUtil {
public:
    // 8 random bytes; 0 (logged, 26004) when the source fails.
    static std::int64_t randomInt64(platform::RandomSource& source = platform::systemRandom());
};

// The lifecycle notifications the shell posts on the notification center.
std::string_view MSRApplicationDidBecomeActiveNotification();
std::string_view MSRApplicationDidFinishLaunchingNotification();
std::string_view MSRApplicationWillResignActiveNotification();
std::string_view MSRWindowDidResignKeyNotification();

}  // namespace kit::measurement

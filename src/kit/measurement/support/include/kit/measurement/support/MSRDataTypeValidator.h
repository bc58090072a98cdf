#pragma once

#include "kit/measurement/support/MSRValue.h"

#include <cstdint>
#include <string_view>

namespace kit::measurement {

// The rule book for names and values. Each check answers whether the input
// is acceptable, writes why not to `failureCode` when given (0 when valid)
// and logs the reason through the monitor.
class MSRDataTypeValidator {
public:
    enum Type : int {
        EventName = 0,
        EventOrigin = 1,
        EventParameterName = 2,
        EventParameterValue = 3,
        UserPropertyName = 4,
        UserPropertyValue = 5,
        ScreenParameterValue = 6,
        ConditionalUserPropertyOrigin = 7,
        ConditionalUserPropertyName = 8,
        ConditionalUserPropertyValue = 9,
    };
    enum FailureCode : int {
        Valid = 0,
        Missing = 1,
        TooLong = 2,
        InvalidCharacters = 3,
        Reserved = 4,
        WrongType = 5,
        NotForwarded = 6,
        TooShort = 7,
        NotNumeric = 8,
        NotCurrencyCode = 9,
        ArrayOutsideEcommerce = 10,
        ArrayNotItems = 11,
        ArrayTooLong = 12,
        ArrayNested = 13,
        ArrayElementNotDictionary = 14,
    };
    static constexpr std::size_t kMaxArrayItems = 200;

    static std::string_view typeWord(int type);
    static bool hasReservedPrefixes(std::string_view text);

    // `object` null stands for nil.
    static bool isValidString(const platform::Value* object, int minLength, int maxLength, int type,
                              int* failureCode = nullptr);
    static bool isValidString(std::string_view text, int minLength, int maxLength, int type,
                              int* failureCode = nullptr);
    static bool isValidInternalName(std::string_view name, int maxLength, int type, int* failureCode = nullptr);
    static bool isValidPublicName(std::string_view name, int maxLength, int type, int* failureCode = nullptr);
    // `value` null stands for nil.
    static bool isValidValue(const MSRValue* value, int minLength, int maxLength, int type, int* failureCode = nullptr);
    static bool isValidValue(const MSRObject& object, int minLength, int maxLength, int type,
                             int* failureCode = nullptr);

    static bool isValidPublicEventName(std::string_view name, int* failureCode = nullptr);
    static bool isValidPublicEventParameterName(std::string_view name, int* failureCode = nullptr);
    static bool isValidPublicEventParameterValue(const MSRValue* value, int* failureCode = nullptr);
    static bool isValidInternalEventParameterValue(const MSRValue* value, int* failureCode = nullptr);
    static bool isValidInternalEventOrigin(std::string_view origin, int* failureCode = nullptr);
    static bool isValidForwardedEventOrigin(std::string_view origin, int* failureCode = nullptr);
    static bool isValidInternalEventName(std::string_view name, int* failureCode = nullptr);
    static bool isValidInternalEventParameterName(std::string_view name, int* failureCode = nullptr);
    static bool isValidPublicUserAttributeName(std::string_view name, int* failureCode = nullptr);
    static bool isValidPublicUserAttributeValue(const MSRValue* value, int* failureCode = nullptr);
    static bool isValidInternalUserAttributeName(std::string_view name, int* failureCode = nullptr);
    static bool isValidInternalUserAttributeValue(const MSRValue* value, std::string_view name,
                                                  int* failureCode = nullptr);
    static bool isValidScreenParameterValue(std::string_view value, int* failureCode = nullptr);
    static bool isValidConditionalUserPropertyOrigin(std::string_view origin, int* failureCode = nullptr);
    static bool isValidConditionalUserPropertyName(std::string_view name, int* failureCode = nullptr);
    static bool isValidConditionalUserPropertyValue(const MSRValue* value, int* failureCode = nullptr);
    static bool isValidNumericValue(const MSRValue* value, int* failureCode = nullptr);
    static bool isValidCurrencyCode(const MSRValue* value, int* failureCode = nullptr);
    static bool isValidArrayParamForEvent(std::string_view eventName, std::string_view paramName,
                                          std::size_t arrayCount, bool isNestedArrayParam, int* failureCode = nullptr);
    static bool isValidArrayParamItem(const platform::Value& item, int* failureCode = nullptr);
};

}  // namespace kit::measurement

#include "kit/measurement/support/MSRDataTypeValidator.h"

#include "ValidationLines.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRStrings.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <array>
#include <string>

namespace kit::measurement {

namespace {

constexpr std::array<std::string_view, 10> kTypeWords = {
    "Event name",
    "Event origin",
    "Event parameter name",
    "Event parameter value",
    "User property name",
    "User property value",
    "Screen parameter value",
    "Conditional user property origin",
    "Conditional user property name",
    "Conditional user property value",
};

constexpr std::string_view kReservedPrefixes[] = {"halo_", "lumen_", "la_"};

// Value lines are warnings; name and origin lines errors.
int levelForType(int type) {
    return type == MSRDataTypeValidator::EventParameterValue || type == MSRDataTypeValidator::UserPropertyValue ? 3 : 0;
}

std::string withWord(int type, std::string_view suffix) {
    std::string text(MSRDataTypeValidator::typeWord(type));
    text += suffix;
    return text;
}

bool fail(int* failureCode, int code) {
    if (failureCode != nullptr) {
        *failureCode = code;
    }
    return false;
}

void clear(int* failureCode) {
    if (failureCode != nullptr) {
        *failureCode = 0;
    }
}

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

MSRRemoteConfigLimits limits() { return MeasurementServices::current().remoteConfig(); }

}  // namespace

std::string_view MSRDataTypeValidator::typeWord(int type) {
    if (type >= 0 && type < static_cast<int>(kTypeWords.size())) {
        return kTypeWords[static_cast<std::size_t>(type)];
    }
    return "Object";
}

bool MSRDataTypeValidator::hasReservedPrefixes(std::string_view text) {
    for (std::string_view prefix : kReservedPrefixes) {
        if (text.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

bool MSRDataTypeValidator::isValidString(const platform::Value* object, int minLength, int maxLength, int type,
                                         int* failureCode) {
    clear(failureCode);
    if (object == nullptr || object->isNull()) {
        monitor().logWithLevel(levelForType(type), validation_lines::kRequiredCanTNil.code,
                               withWord(type, validation_lines::kRequiredCanTNil.text));
        return fail(failureCode, Missing);
    }
    const std::string* text = object->asString();
    if (text == nullptr) {
        monitor().logWithLevel(levelForType(type), validation_lines::kTypeNSString.code,
                               withWord(type, validation_lines::kTypeNSString.text), MSRLogContext(*object));
        return fail(failureCode, WrongType);
    }
    return isValidString(std::string_view(*text), minLength, maxLength, type, failureCode);
}

bool MSRDataTypeValidator::isValidString(std::string_view text, int minLength, int maxLength, int type,
                                         int* failureCode) {
    clear(failureCode);
    const int level = levelForType(type);
    if (text.empty() && minLength >= 1) {
        if (type != EventParameterValue && type != UserPropertyValue) {
            monitor().logWithLevel(level, validation_lines::kRequiredCanTEmpty.code,
                                   withWord(type, validation_lines::kRequiredCanTEmpty.text));
        }
        return fail(failureCode, Missing);
    }
    const std::size_t length = msr_UTF32Length(text);
    if (maxLength >= 0 && length > static_cast<std::size_t>(maxLength)) {
        monitor().logWithLevel(level, validation_lines::kTooLongMaximumSupportedLength.code,
                               withWord(type, std::string(validation_lines::kTooLongMaximumSupportedLength.text) +
                                                  std::to_string(maxLength)),
                               text);
        return fail(failureCode, TooLong);
    }
    if (minLength > 0 && length < static_cast<std::size_t>(minLength)) {
        monitor().logWithLevel(level, validation_lines::kTooShortMinimumSupportedLength.code,
                               withWord(type, std::string(validation_lines::kTooShortMinimumSupportedLength.text) +
                                                  std::to_string(minLength)),
                               text);
        return fail(failureCode, TooShort);
    }
    return true;
}

bool MSRDataTypeValidator::isValidInternalName(std::string_view name, int maxLength, int type, int* failureCode) {
    if (!isValidString(name, 1, maxLength, type, failureCode)) {
        return false;
    }
    for (std::size_t position = 0; position < name.size();) {
        if (!msr_isIdentifierCharacter(msr_nextCodePoint(name, position))) {
            monitor().logWithLevel(validation_lines::kContainOnlyLettersNumbersUnderscores.level,
                                   validation_lines::kContainOnlyLettersNumbersUnderscores.code,
                                   withWord(type, validation_lines::kContainOnlyLettersNumbersUnderscores.text), name);
            return fail(failureCode, InvalidCharacters);
        }
    }
    return true;
}

bool MSRDataTypeValidator::isValidPublicName(std::string_view name, int maxLength, int type, int* failureCode) {
    if (!isValidInternalName(name, maxLength, type, failureCode)) {
        return false;
    }
    std::size_t position = 0;
    if (!msr_isLetter(msr_nextCodePoint(name, position))) {
        monitor().logWithLevel(validation_lines::kStartLetter.level, validation_lines::kStartLetter.code,
                               withWord(type, validation_lines::kStartLetter.text), name);
        return fail(failureCode, InvalidCharacters);
    }
    return true;
}

bool MSRDataTypeValidator::isValidValue(const MSRValue* value, int minLength, int maxLength, int type,
                                        int* failureCode) {
    clear(failureCode);
    if (value == nullptr) {
        monitor().logWithLevel(validation_lines::kCannotNil.level, validation_lines::kCannotNil.code,
                               withWord(type, validation_lines::kCannotNil.text));
        return fail(failureCode, Missing);
    }
    if (const std::string* text = value->stringValue()) {
        return isValidString(std::string_view(*text), minLength, maxLength, type, failureCode);
    }
    return true;
}

bool MSRDataTypeValidator::isValidValue(const MSRObject& object, int minLength, int maxLength, int type,
                                        int* failureCode) {
    if (const MSRValue* value = std::get_if<MSRValue>(&object)) {
        return isValidValue(value, minLength, maxLength, type, failureCode);
    }
    clear(failureCode);
    monitor().logWithLevel(validation_lines::kMSRValueInstance.level, validation_lines::kMSRValueInstance.code,
                           withWord(type, validation_lines::kMSRValueInstance.text), MSRObjectClassName(object));
    return fail(failureCode, WrongType);
}

bool MSRDataTypeValidator::isValidPublicEventName(std::string_view name, int* failureCode) {
    if (!isValidPublicName(name, 40, EventName, failureCode)) {
        return false;
    }
    if (name == "screen_view") {
        return true;
    }
    if (MSRInternalEventNameMap().contains(name) && !MSRAdImpressionEventNameMap().contains(name)) {
        validation_lines::log(validation_lines::kEventNameReserved, name);
        return fail(failureCode, Reserved);
    }
    if (hasReservedPrefixes(name)) {
        validation_lines::log(validation_lines::kEventNameUsesReservedPrefix, name);
        return fail(failureCode, Reserved);
    }
    return true;
}

bool MSRDataTypeValidator::isValidPublicEventParameterName(std::string_view name, int* failureCode) {
    if (!isValidPublicName(name, 40, EventParameterName, failureCode)) {
        return false;
    }
    if (hasReservedPrefixes(name)) {
        validation_lines::log(validation_lines::kParameterNameUsesReservedPrefix, name);
        return fail(failureCode, Reserved);
    }
    return true;
}

bool MSRDataTypeValidator::isValidPublicEventParameterValue(const MSRValue* value, int* failureCode) {
    return isValidValue(value, 0, limits().maxPublicEventParameterValueLength, EventParameterValue, failureCode);
}

bool MSRDataTypeValidator::isValidInternalEventParameterValue(const MSRValue* value, int* failureCode) {
    return isValidValue(value, 0, limits().maxInternalEventParameterValueLength(), EventParameterValue, failureCode);
}

bool MSRDataTypeValidator::isValidInternalEventOrigin(std::string_view origin, int* failureCode) {
    return isValidInternalName(origin, 32, EventOrigin, failureCode);
}

bool MSRDataTypeValidator::isValidForwardedEventOrigin(std::string_view origin, int* failureCode) {
    clear(failureCode);
    if (origin.empty()) {
        return fail(failureCode, Missing);
    }
    constexpr std::string_view suffix = "+tgk";
    if (origin.ends_with(suffix)) {
        return isValidInternalName(origin.substr(0, origin.size() - suffix.size()), 32, EventOrigin, failureCode);
    }
    return fail(failureCode, NotForwarded);
}

bool MSRDataTypeValidator::isValidInternalEventName(std::string_view name, int* failureCode) {
    return isValidInternalName(name, 40, EventName, failureCode);
}

bool MSRDataTypeValidator::isValidInternalEventParameterName(std::string_view name, int* failureCode) {
    return isValidInternalName(name, 40, EventParameterName, failureCode);
}

bool MSRDataTypeValidator::isValidPublicUserAttributeName(std::string_view name, int* failureCode) {
    if (!isValidPublicName(name, 24, UserPropertyName, failureCode)) {
        return false;
    }
    if (MSRInternalUserPropertyNameMap().contains(name)) {
        validation_lines::log(validation_lines::kUserPropertyNameReserved, name);
        return fail(failureCode, Reserved);
    }
    if (hasReservedPrefixes(name)) {
        validation_lines::log(validation_lines::kUserPropertyNameUsesReservedPrefix, name);
        return fail(failureCode, Reserved);
    }
    return true;
}

bool MSRDataTypeValidator::isValidPublicUserAttributeValue(const MSRValue* value, int* failureCode) {
    return isValidValue(value, 1, 36, UserPropertyValue, failureCode);
}

bool MSRDataTypeValidator::isValidInternalUserAttributeName(std::string_view name, int* failureCode) {
    return isValidInternalName(name, 24, UserPropertyName, failureCode);
}

bool MSRDataTypeValidator::isValidInternalUserAttributeValue(const MSRValue* value, std::string_view name,
                                                             int* failureCode) {
    int maxLength = 36;
    if (name == "_id" || name == "_lbraid") {
        maxLength = 256;
    } else if (name == "_psmvalue") {
        maxLength = 512;
    }
    return isValidValue(value, 1, maxLength, UserPropertyValue, failureCode);
}

bool MSRDataTypeValidator::isValidScreenParameterValue(std::string_view value, int* failureCode) {
    return isValidString(value, 1, limits().maxPublicEventParameterValueLength, ScreenParameterValue, failureCode);
}

bool MSRDataTypeValidator::isValidConditionalUserPropertyOrigin(std::string_view origin, int* failureCode) {
    return isValidInternalName(origin, 32, ConditionalUserPropertyOrigin, failureCode);
}

bool MSRDataTypeValidator::isValidConditionalUserPropertyName(std::string_view name, int* failureCode) {
    return isValidInternalName(name, 24, ConditionalUserPropertyName, failureCode);
}

bool MSRDataTypeValidator::isValidConditionalUserPropertyValue(const MSRValue* value, int* failureCode) {
    return isValidValue(value, 1, 36, ConditionalUserPropertyValue, failureCode);
}

bool MSRDataTypeValidator::isValidNumericValue(const MSRValue* value, int* failureCode) {
    clear(failureCode);
    if (value != nullptr && (value->isInt64() || value->isDouble())) {
        return true;
    }
    monitor().logWithLevel(validation_lines::kSpecifiedNumericType.level, validation_lines::kSpecifiedNumericType.code,
                           withWord(EventParameterValue, validation_lines::kSpecifiedNumericType.text),
                           value != nullptr ? value->description() : std::string("(nil)"));
    return fail(failureCode, NotNumeric);
}

bool MSRDataTypeValidator::isValidCurrencyCode(const MSRValue* value, int* failureCode) {
    clear(failureCode);
    bool valid = false;
    if (value != nullptr && value->isString()) {
        const std::string& text = *value->stringValue();
        if (msr_UTF16Length(text) == 3) {
            valid = true;
            for (std::size_t position = 0; valid && position < text.size();) {
                valid = msr_isLetter(msr_nextCodePoint(text, position));
            }
        }
    }
    if (valid) {
        return true;
    }
    monitor().logWithLevel(validation_lines::kContain3LetterISO4217Currency.level,
                           validation_lines::kContain3LetterISO4217Currency.code,
                           withWord(EventParameterValue, validation_lines::kContain3LetterISO4217Currency.text),
                           value != nullptr ? value->description() : std::string("(nil)"));
    return fail(failureCode, NotCurrencyCode);
}

bool MSRDataTypeValidator::isValidArrayParamForEvent(std::string_view eventName, std::string_view paramName,
                                                     std::size_t arrayCount, bool isNestedArrayParam,
                                                     int* failureCode) {
    clear(failureCode);
    if (isNestedArrayParam) {
        validation_lines::log(validation_lines::kNestedArrayParametersNotAllowed, paramName);
        return fail(failureCode, ArrayNested);
    }
    if (!MSRIsEcommerceEventName(eventName)) {
        validation_lines::log(validation_lines::kOnlyEcommerceEventsAllowedContainArray, eventName);
        return fail(failureCode, ArrayOutsideEcommerce);
    }
    if (paramName != "items") {
        monitor().logWithLevel(
            validation_lines::kInvalidEcommerceItemsNameArrayParameters.level,
            validation_lines::kInvalidEcommerceItemsNameArrayParameters.code,
            withWord(EventParameterName, validation_lines::kInvalidEcommerceItemsNameArrayParameters.text), paramName);
        return fail(failureCode, ArrayNotItems);
    }
    if (arrayCount > kMaxArrayItems) {
        validation_lines::log(validation_lines::kArrayParameterTooManyItemsMaximum, static_cast<long long>(arrayCount));
        return fail(failureCode, ArrayTooLong);
    }
    return true;
}

bool MSRDataTypeValidator::isValidArrayParamItem(const platform::Value& item, int* failureCode) {
    clear(failureCode);
    if (item.isDictionary()) {
        return true;
    }
    validation_lines::log(validation_lines::kArrayParamDictionary, MSRLogContext(item));
    return fail(failureCode, ArrayElementNotDictionary);
}

}  // namespace kit::measurement

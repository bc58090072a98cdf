#pragma once

#include "kit/measurement/support/LogLines.h"

// The log lines of the checks of names and values.
namespace kit::measurement::validation_lines {

using log_lines::Line;
using log_lines::log;

inline constexpr Line kTooLongMaximumSupportedLength{13000, 0, " is too long. The maximum supported length is "};
inline constexpr Line kTooShortMinimumSupportedLength{13000, 0, " is too short. The minimum supported length is "};
inline constexpr Line kTypeNSString{13000, 0, " must be of type NSString"};
inline constexpr Line kRequiredCanTEmpty{13001, 0, " is required and can't be empty"};
inline constexpr Line kRequiredCanTNil{13001, 0, " is required and can't be nil"};
inline constexpr Line kContainOnlyLettersNumbersUnderscores{13002, 0,
                                                            " must contain only letters, numbers, or underscores"};
inline constexpr Line kStartLetter{13003, 0, " must start with a letter"};
inline constexpr Line kCannotNil{13004, 3, " cannot be nil"};
inline constexpr Line kMSRValueInstance{13005, 3, " must be a MSRValue instance. value"};
inline constexpr Line kEventNameReserved{13006, 0, "Event name is reserved. Ignoring event"};
inline constexpr Line kEventNameUsesReservedPrefix{13007, 0, "Event name uses reserved prefix. Ignoring event"};
inline constexpr Line kParameterNameUsesReservedPrefix{13008, 0,
                                                       "Parameter name uses reserved prefix. Ignoring parameter"};
inline constexpr Line kUserPropertyNameReserved{13009, 0, "User property name is reserved. Ignoring user property"};
inline constexpr Line kUserPropertyNameUsesReservedPrefix{
    13010, 0, "User property name uses reserved prefix. Ignoring user property"};
inline constexpr Line kSpecifiedNumericType{13011, 3, " must be specified with a numeric type. value"};
inline constexpr Line kContain3LetterISO4217Currency{13012, 3,
                                                     " must contain a 3-letter ISO_4217 currency code. value"};
inline constexpr Line kArrayParameterTooManyItemsMaximum{
    13013, 0, "Array parameter has too many items. The maximum number of supported items is 200. Invalid array size"};
inline constexpr Line kInvalidEcommerceItemsNameArrayParameters{
    13013, 0,
    " is an invalid ecommerce items. The name of array parameters for ecommerce should be \"items\". Invalid parameter "
    "name"};
inline constexpr Line kNestedArrayParametersNotAllowed{13013, 0, "Nested array parameters are not allowed. Name"};
inline constexpr Line kOnlyEcommerceEventsAllowedContainArray{
    13013, 0, "Only ecommerce events are allowed to contain array parameters. Invalid ecommerce name"};
inline constexpr Line kArrayParamDictionary{13014, 0, "Array param must be a dictionary. Parameters"};
inline constexpr Line kCannotCheckNameNameNotString{18002, 2, "Cannot check the name. Name is not a string"};
inline constexpr Line kCannotCheckName{18003, 2, "Cannot check the name. Name is empty"};
inline constexpr Line kUnableInitializeDecimalNumberRegexp{26000, 2,
                                                           "Unable to initialize decimal number regexp. Regex, error"};
inline constexpr Line kStringValueDoesNotRepresentNumeric{26001, 2,
                                                          "String value does not represent a numeric value. Value"};
inline constexpr Line kUnableCreateNSDecimalNumberStringValue{
    26002, 2, "Unable to create a NSDecimalNumber from string value. Value"};
inline constexpr Line kUnableCreateNSDecimalNumberStringValueLoss{
    26003, 2, "Unable to create a NSDecimalNumber from string value: loss of precision. Value"};
inline constexpr Line kUnableGenerateRandomInteger{26004, 5, "Unable to generate random integer"};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kTooLongMaximumSupportedLength,
                                            &kTooShortMinimumSupportedLength,
                                            &kTypeNSString,
                                            &kRequiredCanTEmpty,
                                            &kRequiredCanTNil,
                                            &kContainOnlyLettersNumbersUnderscores,
                                            &kStartLetter,
                                            &kCannotNil,
                                            &kMSRValueInstance,
                                            &kEventNameReserved,
                                            &kEventNameUsesReservedPrefix,
                                            &kParameterNameUsesReservedPrefix,
                                            &kUserPropertyNameReserved,
                                            &kUserPropertyNameUsesReservedPrefix,
                                            &kSpecifiedNumericType,
                                            &kContain3LetterISO4217Currency,
                                            &kArrayParameterTooManyItemsMaximum,
                                            &kInvalidEcommerceItemsNameArrayParameters,
                                            &kNestedArrayParametersNotAllowed,
                                            &kOnlyEcommerceEventsAllowedContainArray,
                                            &kArrayParamDictionary,
                                            &kCannotCheckNameNameNotString,
                                            &kCannotCheckName,
                                            &kUnableInitializeDecimalNumberRegexp,
                                            &kStringValueDoesNotRepresentNumeric,
                                            &kUnableCreateNSDecimalNumberStringValue,
                                            &kUnableCreateNSDecimalNumberStringValueLoss,
                                            &kUnableGenerateRandomInteger};

}  // namespace kit::measurement::validation_lines

#pragma once

#include "kit/measurement/script/ScriptRuntime.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Routines the operation handlers, the array and string methods and the
// native modules share.
namespace kit::measurement::script {

// Evaluates each entry in order; stops at the first failure, whose undefined
// result then ends the list.
ValueList evaluateArgumentList(const ValueList& arguments, MSRPScope& scope, ScriptError& error);
bool requireArgumentCount(const ValueList& arguments, std::size_t count, ScriptError& error);
bool requireAtLeastArgumentCount(const ValueList& arguments, std::size_t count, ScriptError& error);
bool requireAtMostArgumentCount(const ValueList& arguments, std::size_t count, ScriptError& error);
// The native calling convention where a count is required: exactly `count`
// argument statements (else error 9, nothing evaluated), evaluated in order
// in the calling scope. False on the first failure.
bool evaluateCountedArguments(const ValueList& arguments, std::size_t count, MSRPScope& scope, ValueList& values,
                              ScriptError& error);

bool isStringLikeValue(const MSRPRuntimeValue& value) noexcept;
bool isIndexValue(const MSRPRuntimeValue& value);
// NaN gives 0; zeros and infinities stay; else truncated towards 0.
double toIntegerValue(double number) noexcept;
// Defined for every double: NaN and infinities give 0, the rest is reduced
// modulo 2^32.
std::int32_t toInt32Value(double number) noexcept;
std::uint32_t toUint32Value(double number) noexcept;
// Truncated; NaN gives 0, out of range saturates.
std::int64_t toInt64Saturated(double number) noexcept;

bool isStrictlyEqualValue(const MSRPRuntimeValue& first, const MSRPRuntimeValue& second) noexcept;
// Loose equality; a conversion failure fills the slot.
bool isLooselyEqualValue(const MSRPRuntimeValue& first, const MSRPRuntimeValue& second, ScriptError& error);
// -1, 0 or 1; NaN gives 1; a conversion failure gives 1 with the error. Text
// comparisons are charged to the run.
int compareValues(const MSRPRuntimeValue& first, const MSRPRuntimeValue& second, ExecutionState* run,
                  ScriptError& error);
// Canonically equivalent texts compare equal; -1, 0 or 1.
int compareStrings(std::u16string_view first, std::u16string_view second);
// The decomposed form whose code unit order is compareStrings' order: a sort
// makes it once per element instead of once per comparison.
std::u16string canonicalOrderKey(std::u16string text);

// A new string value of the given run (the scope's), unless it would exceed
// the length limit (error 18). The units are charged to the run's work meter.
ValueRef makeStringValue(std::u16string text, ExecutionState* run, ScriptError& error);
ValueRef makeStringValue(std::u16string text, const MSRPScope& scope, ScriptError& error);

// White space and line breaks, as number conversion and "trim" skip them.
bool isTrimmedSpace(char16_t unit) noexcept;

// Number and string conversions of the value protocol.
std::u16string numberToString(double number);
double stringToNumber(std::u16string_view text);

// UTF-8 and UTF-16 texts (invalid sequences become U+FFFD).
std::u16string utf16FromUtf8(std::string_view text);
std::string utf8FromUtf16(std::u16string_view text);

}  // namespace kit::measurement::script

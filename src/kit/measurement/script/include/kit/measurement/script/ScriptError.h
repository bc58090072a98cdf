#pragma once

#include "platform/Error.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kit::measurement::script {

// The interpreter's errors carry a domain and a code, never a text.
enum class ScriptErrorCode {
    assignmentToUndeclaredName = 2,
    noBooleanForm = 3,
    noNumberForm = 4,
    noStringForm = 5,
    propertyStoreOnNothing = 6,
    methodCallOnNothing = 7,
    reductionOfNothing = 8,
    wrongArgumentCount = 9,
    wrongArgumentKind = 10,
    invalidArrayLength = 11,
    unknownEntityType = 12,
    platformObjectWithoutScriptForm = 13,
    statementWithoutName = 14,
    moduleUnavailable = 15,
    notIterable = 16,
    noSuchMethod = 17,
    limitReached = 18,  // instructions, depth, size, memory or work
};
constexpr std::string_view errorDomain(ScriptErrorCode) { return "com.lumen.lmp.measurement.script.ErrorDomain"; }

// The out-slot every step that can fail fills; callers check it after each
// step and stop, so the first error travels unchanged to the top.
using ScriptError = std::optional<platform::Error>;

inline void setScriptError(ScriptError& error, ScriptErrorCode code) { error.emplace(code, std::string()); }

// Bounds the interpreter keeps so that a program from the network can never
// exhaust the worker's stack, memory or time.
namespace limits {
inline constexpr std::int64_t instructionLimit = 1'000'000;
// Nested statements, entities, calls and value walks together.
inline constexpr int maximumDepth = 1000;
inline constexpr std::size_t maximumArrayLength = 1'000'000;
inline constexpr std::size_t maximumStringLength = std::size_t{1} << 20;
inline constexpr std::size_t liveBudgetBytes = std::size_t{64} << 20;
// Code units and slots that native work may touch in one run.
inline constexpr std::uint64_t meterUnitsPerRun = 64'000'000;
// What the live budget counts, close to what the allocator really hands out:
// every heap block carries a header and is rounded up; a slot of a growing
// array may stand beside an unused one; a property entry sits in a growing
// list and, once a map has more than a few names, in its index too.
inline constexpr std::size_t allocationOverhead = 16;
inline constexpr std::size_t slotCost = 16;
inline constexpr std::size_t propertyEntryCost = 160;
// A container or scope with its property map and the collector's entry.
inline constexpr std::size_t containerCost = 192;
}  // namespace limits

}  // namespace kit::measurement::script

#pragma once

#include "kit/measurement/messages/NanoMessageInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A compact text form of programs, read into RuntimeEntity trees the way a
// server would send them:
//   "text"            a string entity (escapes \" \\ \n \uXXXX)
//   42, -1.5, 1e21    a number entity; NaN, Infinity, -Infinity too
//   true, false       a boolean entity
//   (name args...)    a statement entity; name is a bare token or "quoted"
//   {t=4 f="0" s="x" b=1 n=2.5 : children...}
//                     a raw entity: only the fields given are present
namespace script_test {

using kit::measurement::NanoMessageInfo;

struct EntityFields {
    std::optional<std::int32_t> type;
    std::optional<std::string> functionName;
    std::optional<std::string> stringValue;
    std::optional<bool> booleanValue;
    std::optional<double> numberValue;
    std::vector<NanoMessageInfo> children;
};

// Builds one entity record; the single place that writes entity fields.
NanoMessageInfo makeEntity(EntityFields fields);

// Throws std::invalid_argument on text it cannot read.
std::vector<NanoMessageInfo> parseProgram(std::string_view text);

// Frees a tree of any depth without recursion.
void dismantle(std::vector<NanoMessageInfo>& entities);

// A statement nested `depth` levels deep: (13 (13 ... 1)).
std::vector<NanoMessageInfo> nestedSequence(std::size_t depth);

}  // namespace script_test

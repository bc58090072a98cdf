#pragma once

#include "kit/measurement/script/ScriptValues.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kit::measurement {
struct NanoMessageInfo;
class MSRPBRuntimeEntity;
}  // namespace kit::measurement

namespace kit::measurement::script {

// Program entities (RuntimeEntity records) to script values.
class MSRPRuntimeEntityConverter {
public:
    enum EntityType : std::int32_t { stringEntity = 1, numberEntity = 2, booleanEntity = 3, statementEntity = 4 };

    static ValueRef stringValueFromRuntimeEntity(const NanoMessageInfo& entity);
    static ValueRef numberValueFromRuntimeEntity(const NanoMessageInfo& entity);
    static ValueRef booleanValueFromRuntimeEntity(const NanoMessageInfo& entity);
    static ValueRef statementValueFromRuntimeEntity(const NanoMessageInfo& entity, ScriptError& error);
    static ValueRef runtimeValueFromRuntimeEntity(const NanoMessageInfo& entity, ScriptError& error);
    // The wrapper's record; a wrapper without one reads as an empty entity.
    static ValueRef runtimeValueFromRuntimeEntity(const MSRPBRuntimeEntity& entity, ScriptError& error);
};

// The entity's fields, read by slot. Presence matters: an absent type is no
// type at all. These few readers are all the runtime knows of the record.
namespace entity_fields {
std::optional<std::int32_t> type(const NanoMessageInfo& entity);
std::span<const NanoMessageInfo> children(const NanoMessageInfo& entity);
std::optional<std::string> functionName(const NanoMessageInfo& entity);
std::optional<std::string> stringValue(const NanoMessageInfo& entity);
std::optional<bool> booleanValue(const NanoMessageInfo& entity);
std::optional<double> numberValue(const NanoMessageInfo& entity);
}  // namespace entity_fields

}  // namespace kit::measurement::script

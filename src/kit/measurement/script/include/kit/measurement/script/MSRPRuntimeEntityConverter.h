#pragma once

#include "kit/measurement/script/ScriptValues.h"
#include "platform/Value.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kit::measurement {
struct NanoMessageInfo;
class MSRPBRuntimeEntity;
}  // namespace kit::measurement

namespace kit::measurement::script {

// Program entities (RuntimeEntity records) to script values. The values and
// the work are charged to the given run (the runtime that loads the program)
// while it runs, and the nesting counts on its depth; nullptr for none.
class MSRPRuntimeEntityConverter {
public:
    enum EntityType : std::int32_t { stringEntity = 1, numberEntity = 2, booleanEntity = 3, statementEntity = 4 };

    static ValueRef stringValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run);
    static ValueRef numberValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run);
    static ValueRef booleanValueFromRuntimeEntity(const NanoMessageInfo& entity);
    static ValueRef statementValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run,
                                                    ScriptError& error);
    static ValueRef runtimeValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run,
                                                  ScriptError& error);
    // The wrapper's record; a wrapper without one reads as an empty entity.
    static ValueRef runtimeValueFromRuntimeEntity(const MSRPBRuntimeEntity& entity, ExecutionState* run,
                                                  ScriptError& error);

    // Platform values to script values: booleans stay booleans, numbers
    // become numbers, texts cross as UTF-8; data and dates are error 13.
    // New containers are made in `scope`.
    static ValueRef runtimeValueFromNSObject(const platform::Value& object, MSRPScope& scope, ScriptError& error);
    // Script values to platform values; nothing for null. Numbers come out as
    // doubles. A container that holds itself, or nesting past the depth
    // bound, is error 10; the units converted are charged to the given run
    // (the scope's) and the nesting counts on its depth.
    static std::optional<platform::Value> objectFromRuntimeValue(const MSRPRuntimeValue& value, ExecutionState* run,
                                                                 ScriptError& error);
    // Properties that give nothing are left out; on an error, what was built.
    static platform::Value::Dictionary dictionaryFromMapValue(const MSRPMapValue& map, ExecutionState* run,
                                                              ScriptError& error);
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

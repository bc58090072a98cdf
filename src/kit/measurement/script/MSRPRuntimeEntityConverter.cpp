#include "kit/measurement/script/MSRPRuntimeEntityConverter.h"

#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/messages/NanoMessageInfo.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <bit>
#include <cmath>
#include <variant>

namespace kit::measurement::script {

namespace entity_fields {

namespace {

enum Slot : std::size_t {
    typeSlot = 0,
    childrenSlot = 1,
    functionNameSlot = 2,
    stringSlot = 3,
    booleanSlot = 4,
    numberSlot = 5
};

const NanoCell* cell(const NanoMessageInfo& entity, std::size_t slot) {
    return entity.type == MessageType::RuntimeEntity && slot < entity.slots.size() ? &entity.slots[slot] : nullptr;
}

std::optional<std::uint64_t> number(const NanoMessageInfo& entity, std::size_t slot) {
    const NanoCell* found = cell(entity, slot);
    if (found == nullptr) {
        return std::nullopt;
    }
    if (const auto* word = std::get_if<std::uint64_t>(found)) {
        return *word;
    }
    return std::nullopt;
}

std::optional<std::string> text(const NanoMessageInfo& entity, std::size_t slot) {
    const NanoCell* found = cell(entity, slot);
    if (found == nullptr) {
        return std::nullopt;
    }
    if (const auto* string = std::get_if<std::string>(found)) {
        return *string;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::int32_t> type(const NanoMessageInfo& entity) {
    auto word = number(entity, typeSlot);
    return word ? std::optional<std::int32_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(*word)))
                : std::nullopt;
}

std::span<const NanoMessageInfo> children(const NanoMessageInfo& entity) {
    const NanoCell* found = cell(entity, childrenSlot);
    if (found == nullptr) {
        return {};
    }
    if (const auto* list = std::get_if<NanoMessageList>(found)) {
        return *list;
    }
    return {};
}

std::optional<std::string> functionName(const NanoMessageInfo& entity) { return text(entity, functionNameSlot); }

std::optional<std::string> stringValue(const NanoMessageInfo& entity) { return text(entity, stringSlot); }

std::optional<bool> booleanValue(const NanoMessageInfo& entity) {
    auto word = number(entity, booleanSlot);
    return word ? std::optional<bool>((*word & 0xFF) != 0) : std::nullopt;
}

std::optional<double> numberValue(const NanoMessageInfo& entity) {
    auto word = number(entity, numberSlot);
    return word ? std::optional<double>(std::bit_cast<double>(*word)) : std::nullopt;
}

}  // namespace entity_fields

namespace {

ValueRef valueFromEntity(const NanoMessageInfo& entity, ExecutionState* run, int& depth, ScriptError& error);

ValueRef statementFromEntity(const NanoMessageInfo& entity, ExecutionState* run, int& depth, ScriptError& error) {
    std::optional<std::string> name = entity_fields::functionName(entity);
    if (!name) {
        setScriptError(error, ScriptErrorCode::statementWithoutName);
        return undefinedValue();
    }
    std::span<const NanoMessageInfo> children = entity_fields::children(entity);
    if (!chargeWork(run, children.size() + name->size(), error)) {
        return undefinedValue();
    }
    ValueList arguments;
    arguments.reserve(children.size());
    for (const NanoMessageInfo& child : children) {
        arguments.push_back(valueFromEntity(child, run, depth, error));
        if (error) {
            return undefinedValue();
        }
    }
    return makeRef<MSRPStatementValue>(utf16FromUtf8(*name), std::move(arguments));
}

ValueRef valueFromEntity(const NanoMessageInfo& entity, ExecutionState* run, int& depth, ScriptError& error) {
    DepthGuard guard(depth);
    if (!guard.check(error)) {
        return undefinedValue();
    }
    switch (entity_fields::type(entity).value_or(0)) {
    case MSRPRuntimeEntityConverter::stringEntity:
        return MSRPRuntimeEntityConverter::stringValueFromRuntimeEntity(entity, run);
    case MSRPRuntimeEntityConverter::numberEntity:
        return MSRPRuntimeEntityConverter::numberValueFromRuntimeEntity(entity, run);
    case MSRPRuntimeEntityConverter::booleanEntity:
        return MSRPRuntimeEntityConverter::booleanValueFromRuntimeEntity(entity);
    case MSRPRuntimeEntityConverter::statementEntity:
        return statementFromEntity(entity, run, depth, error);
    default:
        setScriptError(error, ScriptErrorCode::unknownEntityType);
        return undefinedValue();
    }
}

// The run's depth, so that a program's nesting counts with the statements
// running it; a conversion of no run counts on its own.
template <typename Convert>
ValueRef withDepthOf(ExecutionState* run, Convert&& convert) {
    int ownDepth = 0;
    return convert(run != nullptr ? run->depth : ownDepth);
}

}  // namespace

ValueRef MSRPRuntimeEntityConverter::stringValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run) {
    return makeRef<MSRPStringValue>(utf16FromUtf8(entity_fields::stringValue(entity).value_or(std::string())), run);
}

ValueRef MSRPRuntimeEntityConverter::numberValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run) {
    return numberValue(entity_fields::numberValue(entity).value_or(std::nan("")), run);
}

ValueRef MSRPRuntimeEntityConverter::booleanValueFromRuntimeEntity(const NanoMessageInfo& entity) {
    return booleanValue(entity_fields::booleanValue(entity).value_or(false));
}

ValueRef MSRPRuntimeEntityConverter::statementValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run,
                                                                     ScriptError& error) {
    return withDepthOf(run, [&](int& depth) { return statementFromEntity(entity, run, depth, error); });
}

ValueRef MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(const NanoMessageInfo& entity, ExecutionState* run,
                                                                   ScriptError& error) {
    return withDepthOf(run, [&](int& depth) { return valueFromEntity(entity, run, depth, error); });
}

ValueRef MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(const MSRPBRuntimeEntity& entity,
                                                                   ExecutionState* run, ScriptError& error) {
    if (const NanoMessageInfo* record = entity.messageInfo()) {
        return runtimeValueFromRuntimeEntity(*record, run, error);
    }
    return runtimeValueFromRuntimeEntity(*MSRPBRuntimeEntity().messageInfo(), run, error);
}

}  // namespace kit::measurement::script

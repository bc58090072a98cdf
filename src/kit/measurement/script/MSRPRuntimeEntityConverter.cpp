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

ValueRef MSRPRuntimeEntityConverter::stringValueFromRuntimeEntity(const NanoMessageInfo& entity) {
    return makeRef<MSRPStringValue>(utf16FromUtf8(entity_fields::stringValue(entity).value_or(std::string())));
}

ValueRef MSRPRuntimeEntityConverter::numberValueFromRuntimeEntity(const NanoMessageInfo& entity) {
    return numberValue(entity_fields::numberValue(entity).value_or(std::nan("")));
}

ValueRef MSRPRuntimeEntityConverter::booleanValueFromRuntimeEntity(const NanoMessageInfo& entity) {
    return booleanValue(entity_fields::booleanValue(entity).value_or(false));
}

ValueRef MSRPRuntimeEntityConverter::statementValueFromRuntimeEntity(const NanoMessageInfo& entity,
                                                                     ScriptError& error) {
    std::optional<std::string> name = entity_fields::functionName(entity);
    if (!name) {
        setScriptError(error, ScriptErrorCode::statementWithoutName);
        return undefinedValue();
    }
    std::span<const NanoMessageInfo> children = entity_fields::children(entity);
    if (!chargeWork(children.size() + name->size(), error)) {
        return undefinedValue();
    }
    ValueList arguments;
    arguments.reserve(children.size());
    for (const NanoMessageInfo& child : children) {
        arguments.push_back(runtimeValueFromRuntimeEntity(child, error));
        if (error) {
            return undefinedValue();
        }
    }
    return makeRef<MSRPStatementValue>(utf16FromUtf8(*name), std::move(arguments));
}

ValueRef MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(const NanoMessageInfo& entity, ScriptError& error) {
    DepthGuard depth;
    if (!depth.check(error)) {
        return undefinedValue();
    }
    switch (entity_fields::type(entity).value_or(0)) {
    case stringEntity:
        return stringValueFromRuntimeEntity(entity);
    case numberEntity:
        return numberValueFromRuntimeEntity(entity);
    case booleanEntity:
        return booleanValueFromRuntimeEntity(entity);
    case statementEntity:
        return statementValueFromRuntimeEntity(entity, error);
    default:
        setScriptError(error, ScriptErrorCode::unknownEntityType);
        return undefinedValue();
    }
}

ValueRef MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(const MSRPBRuntimeEntity& entity,
                                                                   ScriptError& error) {
    if (const NanoMessageInfo* record = entity.messageInfo()) {
        return runtimeValueFromRuntimeEntity(*record, error);
    }
    return runtimeValueFromRuntimeEntity(*MSRPBRuntimeEntity().messageInfo(), error);
}

}  // namespace kit::measurement::script

#pragma once

#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/ScriptRoutines.h"

// What the operation handlers share beyond the public routines.
namespace kit::measurement::script {

// Statement-list execution over an array's slots. The slots are read one at
// a time, so a body that changes its own array never reads freed storage;
// holes run as undefined.
inline ValueRef executeArrayStatements(const MSRPArrayValue& array, MSRPScope& scope, ScriptError& error) {
    Ref<MSRPArrayValue> keep(const_cast<MSRPArrayValue*>(&array));
    ValueRef result = undefinedValue();
    for (std::size_t position = 0; position < array.count(); ++position) {
        ValueRef statement = array.slots()[position];
        if (statement.get() == MSRPArrayValue::emptyValue()) {
            statement = undefinedValue();
        }
        result = MSRPEvaluator::evaluateStatement(statement, scope, error);
        if (error) {
            return undefinedValue();
        }
        if (valueIs<MSRPControlValue>(result.get())) {
            return result;
        }
    }
    return result;
}

inline ValueRef evaluate(const ValueRef& statement, MSRPScope& scope, ScriptError& error) {
    return MSRPEvaluator::evaluateStatement(statement, scope, error);
}

inline bool isNothing(const MSRPRuntimeValue& value) noexcept {
    return valueIs<MSRPUndefinedValue>(&value) || valueIs<MSRPNullValue>(&value);
}

inline bool isReturn(const MSRPRuntimeValue& value) noexcept {
    const auto* control = valueAs<MSRPControlValue>(&value);
    return control != nullptr && control->type() == MSRPControlValue::Type::returnControl;
}

}  // namespace kit::measurement::script

namespace kit::measurement::script {

// Fills the slot and gives the neutral result.
inline ValueRef failWith(ScriptError& error, ScriptErrorCode code) {
    setScriptError(error, code);
    return undefinedValue();
}

inline const MSRPStringValue* stringArgument(const ValueRef& value) noexcept {
    return valueAs<MSRPStringValue>(value.get());
}

}  // namespace kit::measurement::script

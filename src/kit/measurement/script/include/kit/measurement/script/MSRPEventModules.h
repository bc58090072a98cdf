#pragma once

#include "kit/measurement/script/MSRPEventEditing.h"
#include "kit/measurement/script/ScriptModules.h"

#include <string_view>

// The two event modules and the event object callbacks receive.
namespace kit::measurement::script {

// "internal.registerCallback": (ignored, callback, options).
class MSRPRegisterCallbackNativeFunctionValue final : public MSRPNativeFunctionValue {
public:
    explicit MSRPRegisterCallbackNativeFunctionValue(MSRPEditingCallbackHandler& handler);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;

private:
    MSRPEditingCallbackHandler* handler_;
};

// "internal.eventLogger": (name, timestamp, parameters) creates an event.
class MSRPEventLogger final : public MSRPNativeFunctionValue {
public:
    explicit MSRPEventLogger(MSRPEventContext& context);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;

private:
    MSRPEventContext* context_;
};

// The callbacks' event argument: a map whose event methods read and change
// the context's output event; other names are ordinary map methods.
class MSRPEventNativeFunctions final : public MSRPMapValue {
public:
    // Charged to the given run while it runs, as every map.
    MSRPEventNativeFunctions(MSRPEventContext& context, ExecutionState* run) : MSRPMapValue(run), context_(&context) {}
    ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) override;

private:
    MSRPEventContext* context_;
};

}  // namespace kit::measurement::script

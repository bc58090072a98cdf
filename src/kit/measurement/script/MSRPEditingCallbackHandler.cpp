#include "kit/measurement/script/MSRPEventEditing.h"
#include "kit/measurement/script/MSRPEventModules.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <utility>
#include <vector>

namespace kit::measurement::script {

namespace {

constexpr std::u16string_view editRule = u"edit";
constexpr std::u16string_view createRule = u"create";

using CallbackList = std::vector<std::pair<std::int64_t, Ref<MSRPFunctionValue>>>;

CallbackList snapshot(const MSRPEditingCallbackHandler::CallbackMap& callbacks) {
    return CallbackList(callbacks.begin(), callbacks.end());
}

}  // namespace

void MSRPEditingCallbackHandler::registerWithPriority(std::int64_t priority, Ref<MSRPFunctionValue> callback,
                                                      std::u16string_view ruleType, ScriptError& error) {
    if (editCallbacks_.size() + createCallbacks_.size() >= editing_limits::maximumCallbacks) {
        error.emplace(MSRPEventEditingErrorCode::tooManyCallbacks, std::string());
        return;
    }
    if (ruleType == createRule) {
        addCallback(std::move(callback), createCallbacks_, priority);
    } else if (ruleType == editRule) {
        addCallback(std::move(callback), editCallbacks_, priority);
    } else {
        error.emplace(MSRPEventEditingErrorCode::unknownRuleType, std::string());
    }
}

void MSRPEditingCallbackHandler::addCallback(Ref<MSRPFunctionValue> callback, CallbackMap& callbacks,
                                             std::int64_t priority) {
    if (callbacks.contains(priority)) {
        priority = callbacks.rbegin()->first + 1;
    }
    callbacks.emplace(priority, std::move(callback));
}

void MSRPEditingCallbackHandler::triggerCallbacksWithScope(MSRPScope& scope, MSRPEventContext& eventContext,
                                                           ScriptError& error) {
    // Copies: a callback may register others while these run.
    CallbackList edits = snapshot(editCallbacks_);
    CallbackList creates = snapshot(createCallbacks_);
    auto eventHandler = makeRef<MSRPEventNativeFunctions>(eventContext, scope.executionState());
    // Tracked, so a program that keeps the event object in a cycle of its
    // own still has it collected.
    if (MSRPObjectManager* manager = scope.objectManager()) {
        manager->addObject(eventHandler.get());
    }
    for (const auto& [priority, callback] : edits) {
        MSRPEvent kept = eventContext.outputEvent();
        std::int32_t code = invokeCallbackWithScope(scope, *callback, *eventHandler, error);
        if (error) {
            eventContext.setOutputEvent(std::move(kept));
            return;
        }
        if (code == 2 || code == -1) {
            eventContext.setOutputEvent(std::move(kept));
        }
    }
    for (const auto& [priority, callback] : creates) {
        invokeCallbackWithScope(scope, *callback, *eventHandler, error);
        if (error) {
            return;
        }
    }
}

std::int32_t MSRPEditingCallbackHandler::invokeCallbackWithScope(MSRPScope& scope, MSRPFunctionValue& function,
                                                                 MSRPEventNativeFunctions& eventHandler,
                                                                 ScriptError& error) {
    Ref<MSRPFunctionValue> held(&function);
    ValueRef result = function.invokeWithArguments(ValueList{ValueRef(&eventHandler)}, scope, error);
    if (error) {
        return 2;
    }
    if (const auto* number = valueAs<MSRPNumberValue>(result.get())) {
        return toInt32Value(number->value());
    }
    return -1;
}

void MSRPEditingCallbackHandler::mark(Marker& marker) {
    for (const auto& [priority, callback] : editCallbacks_) {
        marker.push(callback.get());
    }
    for (const auto& [priority, callback] : createCallbacks_) {
        marker.push(callback.get());
    }
}

void MSRPEditingCallbackHandler::clear() noexcept {
    editCallbacks_.clear();
    createCallbacks_.clear();
}

}  // namespace kit::measurement::script

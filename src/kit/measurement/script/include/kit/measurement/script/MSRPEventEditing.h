#pragma once

#include "kit/measurement/messages/MSREventEditingInstance.h"
#include "kit/measurement/messages/MSRPEvent.h"
#include "kit/measurement/script/ScriptRuntime.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Event editing: a program from the remote configuration registers edit and
// create callbacks; each handled event runs them against a copy of the event.
namespace kit::measurement::script {

enum class MSRPEventEditingErrorCode {
    ruleWithoutType = 2,
    unknownRuleType = 3,
    tooManyCallbacks = 4,
    programEndsInControl = 5,
    ruleIsNotMap = 6,
    ruleIsNotFunction = 7,
};
constexpr std::string_view errorDomain(MSRPEventEditingErrorCode) {
    return "com.lumen.lmp.measurement.script.editing.ErrorDomain";
}

namespace editing_limits {
// Edit and create callbacks together.
inline constexpr std::size_t maximumCallbacks = 1000;
// Events one handled event may create; past it the run ends with code 18.
inline constexpr std::size_t maximumCreatedEvents = 1000;
inline constexpr std::int64_t defaultPriority = 1000;
}  // namespace editing_limits

// The event a run edits: the input as handed in, the output the callbacks
// change, and the events they create.
class MSRPEventContext {
public:
    MSRPEventContext() : MSRPEventContext(MSRPEvent()) {}
    explicit MSRPEventContext(MSRPEvent event);

    // Input := the event, output := a copy, no created events.
    void setInputEvent(MSRPEvent event);
    // Each parameter fitted against the input event's parameter of its name.
    void logEventWithName(std::string name, double timestamp, platform::Value::Dictionary parameters);

    const std::vector<MSRPEvent>& eventsToLog() const noexcept { return loggedEvents_; }
    const MSRPEvent& inputEvent() const noexcept { return inputEvent_; }
    const MSRPEvent& outputEvent() const noexcept { return outputEvent_; }
    MSRPEvent& outputEvent() noexcept { return outputEvent_; }
    void setOutputEvent(MSRPEvent event) { outputEvent_ = std::move(event); }

private:
    std::vector<MSRPEvent> loggedEvents_;
    MSRPEvent inputEvent_;
    MSRPEvent outputEvent_;
};

class MSRPEventNativeFunctions;

// The registered callbacks by priority, ascending. Priorities are 64-bit so
// that moving a taken priority past the largest never overflows.
class MSRPEditingCallbackHandler final : public MSRPMarkable {
public:
    using CallbackMap = std::map<std::int64_t, Ref<MSRPFunctionValue>>;

    // A taken priority moves to the largest of its kind plus one.
    void registerWithPriority(std::int64_t priority, Ref<MSRPFunctionValue> callback, std::u16string_view ruleType,
                              ScriptError& error);
    // Runs the edit callbacks, then the create callbacks, over the ones
    // registered when it starts: one registered meanwhile runs from the next
    // event on.
    void triggerCallbacksWithScope(MSRPScope& scope, MSRPEventContext& eventContext, ScriptError& error);
    // 2 when the call failed, the returned number as a 32-bit integer, else -1.
    static std::int32_t invokeCallbackWithScope(MSRPScope& scope, MSRPFunctionValue& function,
                                                MSRPEventNativeFunctions& eventHandler, ScriptError& error);

    const CallbackMap& editCallbacks() const noexcept { return editCallbacks_; }
    const CallbackMap& createCallbacks() const noexcept { return createCallbacks_; }
    void mark(Marker& marker) override;
    void clear() noexcept;

private:
    static void addCallback(Ref<MSRPFunctionValue> callback, CallbackMap& callbacks, std::int64_t priority);

    CallbackMap editCallbacks_;
    CallbackMap createCallbacks_;
};

// The editing front: one runtime, one context reused for every event, one
// callback handler. Used by one thread at a time. When what a program keeps
// between events overruns the runtime's live budget, the runtime is made anew
// and the program loaded again, so one stopped run never stops the next.
class MSRPEventEditing final : public MSREventEditingInstance {
public:
    MSRPEventEditing();
    ~MSRPEventEditing() override;
    MSRPEventEditing(const MSRPEventEditing&) = delete;
    MSRPEventEditing& operator=(const MSRPEventEditing&) = delete;

    void setModuleCreator(ModuleCreator creator, std::u16string_view name);
    platform::Expected<void> loadProgram(const MSRPBProgram& program) override;
    platform::Expected<void> loadProgram(const NanoMessageInfo& program);
    // Steps of loading; `activity` is an OgtActivity record.
    void loadActivityData(const NanoMessageInfo& activity, ScriptError& error);
    void registerRuleWithName(std::u16string_view name, const Ref<MSRPMapValue>& rule, ScriptError& error);

    platform::Expected<bool> handleEvent(const MSRPEvent& event) override;
    bool hasEdits() const override { return hasEdits_; }
    bool hasCreatedEvents() const override { return !eventContext_.eventsToLog().empty(); }
    const MSRPEvent& outputEvent() const override { return eventContext_.outputEvent(); }
    const std::vector<MSRPEvent>& eventsToLog() const override { return eventContext_.eventsToLog(); }

    const MSRPEventContext& eventContext() const noexcept { return eventContext_; }
    MSRPRuntime& runtime() noexcept { return *runtime_; }
    const MSRPEditingCallbackHandler& callbackHandler() const noexcept { return callbackHandler_; }

private:
    void startRuntime();
    void stopRuntime();
    // A fresh runtime with the loaded program run again.
    void startOver();
    platform::Expected<void> runProgram(const NanoMessageInfo& program);

    std::unique_ptr<MSRPRuntime> runtime_;
    std::vector<std::pair<std::u16string, ModuleCreator>> moduleCreators_;
    std::unique_ptr<NanoMessageInfo> program_;
    MSRPEventContext eventContext_;
    MSRPEditingCallbackHandler callbackHandler_;
    bool hasEdits_ = false;
};

// A new editing instance with the configuration's three modules registered
// in the configuration's order: "internal.remoteConfig",
// "internal.appMetadata", "internal.logger" (through MSRScriptLogger).
std::shared_ptr<MSRPEventEditing> makeScriptEventEditing(MSREventEditingModules modules);
// Installs makeScriptEventEditing as the factory of the event-editing seam.
void installScriptEventEditing();

}  // namespace kit::measurement::script

#include "kit/measurement/script/MSRPEventEditing.h"

#include "kit/core/MainBundle.h"
#include "kit/core/WireLiterals.h"
#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/NanoMessageInfo.h"
#include "kit/measurement/script/MSRPEventModules.h"
#include "kit/measurement/script/MSRPNativeModules.h"
#include "kit/measurement/script/ScriptRoutines.h"
#include "platform/Bundle.h"

#include <variant>

namespace kit::measurement::script {

namespace {

enum ProgramSlot : std::size_t { instructionsSlot = 0, activitiesSlot = 1 };
enum ActivitiesSlot : std::size_t { activityListSlot = 0 };
enum ActivitySlot : std::size_t { ruleNameSlot = 0, ruleStatementsSlot = 1 };

std::span<const NanoMessageInfo> messageList(const NanoMessageInfo& record, std::size_t slot) {
    if (slot < record.slots.size()) {
        if (const auto* list = std::get_if<NanoMessageList>(&record.slots[slot])) {
            return *list;
        }
    }
    return {};
}

const NanoMessageInfo* embeddedMessage(const NanoMessageInfo& record, std::size_t slot) {
    if (slot < record.slots.size()) {
        if (const auto* message = std::get_if<std::unique_ptr<NanoMessageInfo>>(&record.slots[slot])) {
            return message->get();
        }
    }
    return nullptr;
}

std::string text(const NanoMessageInfo& record, std::size_t slot) {
    if (slot < record.slots.size()) {
        if (const auto* string = std::get_if<std::string>(&record.slots[slot])) {
            return *string;
        }
    }
    return {};
}

platform::Unexpected failure(ScriptError& error) { return platform::unexpected(std::move(*error)); }

}  // namespace

MSRPEventEditing::MSRPEventEditing() {
    moduleCreators_.emplace_back(std::u16string(module_names::registerCallback), [this] {
        return ValueRef(makeRef<MSRPRegisterCallbackNativeFunctionValue>(callbackHandler_));
    });
    moduleCreators_.emplace_back(std::u16string(module_names::eventLogger),
                                 [this] { return ValueRef(makeRef<MSRPEventLogger>(eventContext_)); });
    startRuntime();
}

MSRPEventEditing::~MSRPEventEditing() { stopRuntime(); }

void MSRPEventEditing::startRuntime() {
    runtime_ = std::make_unique<MSRPRuntime>();
    runtime_->addGarbageCollectionRoot(&callbackHandler_);
    for (const auto& [name, creator] : moduleCreators_) {
        runtime_->setModuleCreator(creator, name);
    }
}

void MSRPEventEditing::stopRuntime() {
    runtime_->objectManager().removeRoot(&callbackHandler_);
    callbackHandler_.clear();
    runtime_.reset();
}

void MSRPEventEditing::setModuleCreator(ModuleCreator creator, std::u16string_view name) {
    moduleCreators_.emplace_back(std::u16string(name), creator);
    runtime_->setModuleCreator(std::move(creator), name);
}

platform::Expected<void> MSRPEventEditing::loadProgram(const MSRPBProgram& program) {
    if (const NanoMessageInfo* record = program.messageInfo()) {
        return loadProgram(*record);
    }
    return loadProgram(*MSRPBProgram().messageInfo());
}

platform::Expected<void> MSRPEventEditing::loadProgram(const NanoMessageInfo& program) {
    program_ = std::make_unique<NanoMessageInfo>(copyMessage(program));
    return runProgram(program);
}

void MSRPEventEditing::startOver() {
    stopRuntime();
    startRuntime();
    if (program_ && !runProgram(*program_)) {
        // A program that cannot even load within its budget stays unloaded.
        program_.reset();
        stopRuntime();
        startRuntime();
    }
}

platform::Expected<void> MSRPEventEditing::runProgram(const NanoMessageInfo& program) {
    runtime_->resetInstructionCount();
    ScriptError error;
    ValueRef result = runtime_->executeStatements(messageList(program, instructionsSlot), error);
    if (error) {
        return failure(error);
    }
    if (valueIs<MSRPControlValue>(result.get())) {
        return platform::unexpected(platform::Error(MSRPEventEditingErrorCode::programEndsInControl, std::string()));
    }
    if (const NanoMessageInfo* activities = embeddedMessage(program, activitiesSlot)) {
        for (const NanoMessageInfo& activity : messageList(*activities, activityListSlot)) {
            loadActivityData(activity, error);
            if (error) {
                return failure(error);
            }
        }
    }
    runtime_->collectGarbage();
    return {};
}

void MSRPEventEditing::loadActivityData(const NanoMessageInfo& activity, ScriptError& error) {
    std::u16string name = utf16FromUtf8(text(activity, ruleNameSlot));
    std::span<const NanoMessageInfo> statements = messageList(activity, ruleStatementsSlot);
    for (std::size_t index = 0; index < statements.size(); ++index) {
        ValueRef value = runtime_->executeStatements(statements.subspan(index, 1), error);
        if (error) {
            return;
        }
        auto* rule = valueAs<MSRPMapValue>(value.get());
        if (rule == nullptr) {
            error.emplace(MSRPEventEditingErrorCode::ruleIsNotMap, std::string());
            return;
        }
        registerRuleWithName(name, Ref<MSRPMapValue>(rule), error);
        if (error) {
            return;
        }
    }
}

void MSRPEventEditing::registerRuleWithName(std::u16string_view name, const Ref<MSRPMapValue>& rule,
                                            ScriptError& error) {
    Ref<MSRPScope> scope = runtime_->getRunScope();
    ValueRef bound = scope->valueForName(name);
    auto* function = valueAs<MSRPFunctionValue>(bound.get());
    if (function == nullptr) {
        error.emplace(MSRPEventEditingErrorCode::ruleIsNotFunction, std::string());
        return;
    }
    ActiveExecution active(runtime_->objectManager().executionState());
    function->invokeWithArguments(ValueList{ValueRef(rule)}, *scope, error);
}

platform::Expected<bool> MSRPEventEditing::handleEvent(const MSRPEvent& event) {
    if (runtime_->objectManager().executionState().budget->isOver()) {
        // What the program kept from earlier events overruns its budget even
        // after collection: this event would stop at once, and every later
        // one. The program starts over from its loaded state.
        startOver();
    }
    eventContext_.setInputEvent(event);
    runtime_->resetInstructionCount();
    ScriptError error;
    {
        Ref<MSRPScope> scope = runtime_->getRunScope();
        ActiveExecution active(runtime_->objectManager().executionState());
        callbackHandler_.triggerCallbacksWithScope(*scope, eventContext_, error);
    }
    runtime_->collectGarbage();
    if (error) {
        // The caller writes the unedited event: nothing of this run stays.
        eventContext_.setInputEvent(event);
        hasEdits_ = false;
        return failure(error);
    }
    hasEdits_ = !eventContext_.outputEvent().isEqualToEvent(eventContext_.inputEvent());
    return hasEdits_ || hasCreatedEvents();
}

std::shared_ptr<MSRPEventEditing> makeScriptEventEditing(MSREventEditingModules modules) {
    auto editing = std::make_shared<MSRPEventEditing>();
    editing->setModuleCreator(
        [lookup = std::move(modules.remoteConfigValue)] {
            return ValueRef(makeRef<MSRPKeyValueStore>(std::u16string(module_names::remoteConfig), lookup));
        },
        module_names::remoteConfig);
    editing->setModuleCreator(
        [facts = std::move(modules.appMetadata)] {
            return ValueRef(makeRef<MSRPObjectProvider>(std::u16string(module_names::appMetadata), [facts] {
                platform::Value::Dictionary metadata = facts ? facts() : platform::Value::Dictionary();
                metadata.insert_or_assign("platform", std::string(kit::kApplePlatform));
                metadata.insert_or_assign("package_name", kit::mainBundle().bundleIdentifier());
                return platform::Value(std::move(metadata));
            }));
        },
        module_names::appMetadata);
    editing->setModuleCreator([] { return ValueRef(makeRef<MSRPMessageLogger>(std::make_shared<MSRScriptLogger>())); },
                              module_names::logger);
    return editing;
}

void installScriptEventEditing() {
    installEventEditingFactory([](MSREventEditingModules modules) -> std::shared_ptr<MSREventEditingInstance> {
        return makeScriptEventEditing(std::move(modules));
    });
}

}  // namespace kit::measurement::script

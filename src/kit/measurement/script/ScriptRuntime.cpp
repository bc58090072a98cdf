#include "kit/measurement/script/ScriptRuntime.h"

#include "EvaluatorSupport.h"
#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/MSRPRuntimeEntityConverter.h"
#include "kit/measurement/script/ScriptModules.h"
#include "kit/measurement/script/ScriptRoutines.h"
#include "kit/measurement/messages/NanoMessageInfo.h"

#include <algorithm>
#include <optional>

namespace kit::measurement::script {

// Execution state.

ExecutionState::ExecutionState()
    : budget(makeRef<LiveBudget>(limits::liveBudgetBytes)), registrar_(std::make_unique<MSRPCommandRegistrar>()) {}

ExecutionState::~ExecutionState() = default;

bool ExecutionState::charge(std::uint64_t units, ScriptError& error) {
    if (!charge(units)) {
        setScriptError(error, ScriptErrorCode::limitReached);
        return false;
    }
    return true;
}

bool chargeWork(ExecutionState* state, std::uint64_t units, ScriptError& error) {
    return state == nullptr || !state->isRunning() || state->charge(units, error);
}

bool withinBudget(ExecutionState* state, ScriptError& error) {
    if (state != nullptr && state->isRunning() && state->budget->isOver()) {
        setScriptError(error, ScriptErrorCode::limitReached);
        return false;
    }
    return true;
}

void chargeWork(ExecutionState* state, std::uint64_t units) noexcept {
    if (state != nullptr && state->isRunning()) {
        state->charge(units);
    }
}

// The object manager.

MSRPObjectManager::MSRPObjectManager() : state_(makeRef<ExecutionState>()) {}

MSRPObjectManager::~MSRPObjectManager() {
    for (Entry& entry : objects_) {
        if (entry.object != nullptr) {
            entry.object->manager_ = nullptr;
        }
    }
}

Ref<MSRPFunctionValue> MSRPObjectManager::functionValueWithFunctionName(std::u16string functionName,
                                                                        std::vector<std::u16string> parameterNames,
                                                                        ValueList statements,
                                                                        MSRPScope& definingScope) {
    auto function = makeRef<MSRPFunctionValue>(std::move(functionName), std::move(parameterNames),
                                               std::move(statements), Ref<MSRPScope>(&definingScope));
    if (MSRPObjectManager* manager = definingScope.objectManager()) {
        manager->addObject(function.get());
    }
    return function;
}

Ref<MSRPMapValue> MSRPObjectManager::mapValueWithScope(MSRPScope& scope) {
    auto map = makeRef<MSRPMapValue>(scope.executionState());
    if (MSRPObjectManager* manager = scope.objectManager()) {
        manager->addObject(map.get());
    }
    return map;
}

Ref<MSRPArrayValue> MSRPObjectManager::arrayValueWithScope(MSRPScope& scope) {
    return arrayValueWithArray(ValueList(), scope);
}

Ref<MSRPArrayValue> MSRPObjectManager::arrayValueWithArray(ValueList elements, MSRPScope& scope) {
    auto array = makeRef<MSRPArrayValue>(std::move(elements), scope.executionState());
    if (MSRPObjectManager* manager = scope.objectManager()) {
        manager->addObject(array.get());
    }
    return array;
}

Ref<MSRPArrayValue> MSRPObjectManager::subarrayWithArray(const MSRPArrayValue& array, std::size_t location,
                                                         std::size_t length, MSRPScope& scope) {
    return arrayValueWithArray(array.subarrayWithRange({location, length}), scope);
}

void MSRPObjectManager::addRoot(MSRPMarkable* root) {
    if (root != nullptr) {
        roots_.push_back(root);
    }
}

void MSRPObjectManager::removeRoot(MSRPMarkable* root) {
    roots_.erase(std::remove(roots_.begin(), roots_.end(), root), roots_.end());
}

void MSRPObjectManager::addObject(MSRPContainerValue* object) { track(object, true); }

void MSRPObjectManager::addOwnedObject(MSRPContainerValue* object) { track(object, false); }

void MSRPObjectManager::track(MSRPContainerValue* object, bool swept) {
    if (object == nullptr || object->manager_ != nullptr) {
        return;
    }
    object->manager_ = this;
    object->trackIndex_ = objects_.size();
    objects_.push_back(Entry{object, swept});
}

void MSRPObjectManager::forget(MSRPContainerValue* object) noexcept {
    if (object->trackIndex_ < objects_.size() && objects_[object->trackIndex_].object == object) {
        objects_[object->trackIndex_].object = nullptr;
    }
}

void MSRPObjectManager::collectGarbage() {
    ++epoch_;
    Marker marker(epoch_);
    for (MSRPMarkable* root : roots_) {
        marker.push(root);
    }
    marker.drain();
    // Frees during the sweep empty their entries in place; the list is
    // compacted afterwards.
    for (std::size_t position = 0; position < objects_.size(); ++position) {
        if (objects_[position].object == nullptr || !objects_[position].swept) {
            continue;
        }
        Ref<MSRPContainerValue> object(objects_[position].object);
        object->sweep(epoch_);
    }
    std::size_t kept = 0;
    for (std::size_t position = 0; position < objects_.size(); ++position) {
        if (objects_[position].object != nullptr) {
            objects_[kept] = objects_[position];
            objects_[kept].object->trackIndex_ = kept;
            ++kept;
        }
    }
    objects_.resize(kept);
}

void MSRPObjectManager::releaseAll() {
    for (std::size_t position = 0; position < objects_.size(); ++position) {
        if (objects_[position].object == nullptr) {
            continue;
        }
        Ref<MSRPContainerValue> object(objects_[position].object);
        object->releaseContents();
    }
    for (Entry& entry : objects_) {
        if (entry.object != nullptr) {
            entry.object->manager_ = nullptr;
        }
    }
    objects_.clear();
    roots_.clear();
}

std::vector<MSRPContainerValue*> MSRPObjectManager::trackedObjects() const {
    std::vector<MSRPContainerValue*> tracked;
    for (const Entry& entry : objects_) {
        if (entry.object != nullptr && entry.swept) {
            tracked.push_back(entry.object);
        }
    }
    return tracked;
}

// Scopes.

MSRPScope::MSRPScope(Ref<MSRPScope> parentScope)
    : parent_(std::move(parentScope)),
      contents_(parent_ ? parent_->executionState() : nullptr),
      manager_(parent_ ? parent_->manager_ : nullptr),
      state_(parent_ ? parent_->state_ : nullptr) {}

MSRPScope::~MSRPScope() = default;

Ref<MSRPScope> MSRPScope::createChildScope() { return makeRef<MSRPScope>(Ref<MSRPScope>(this)); }

bool MSRPScope::hasName(std::u16string_view name) const {
    for (const MSRPScope* scope = this; scope != nullptr; scope = scope->parent_.get()) {
        if (scope->contents_.hasName(name)) {
            return true;
        }
    }
    return false;
}

void MSRPScope::addValue(ValueRef value, std::u16string_view name) { contents_.setValue(std::move(value), name); }

void MSRPScope::addImmutableValue(ValueRef value, std::u16string_view name) {
    contents_.setImmutableValue(std::move(value), name);
}

void MSRPScope::setValue(ValueRef value, std::u16string_view name) {
    MSRPScope* holder = scopeHoldingName(name);
    if (holder == nullptr) {
        holder = this;
    }
    for (MSRPScope* scope = this; scope != holder; scope = scope->parent_.get()) {
        if (scope->contents_.isImmutable()) {
            return;
        }
    }
    holder->contents_.setValue(std::move(value), name);
}

ValueRef MSRPScope::valueForName(std::u16string_view name) const {
    for (const MSRPScope* scope = this; scope != nullptr; scope = scope->parent_.get()) {
        if (MSRPRuntimeValue* value = scope->contents_.find(name)) {
            return ValueRef(value);
        }
    }
    return undefinedValue();
}

MSRPScope* MSRPScope::scopeHoldingName(std::u16string_view name) {
    for (MSRPScope* scope = this; scope != nullptr; scope = scope->parent_.get()) {
        if (scope->contents_.hasName(name)) {
            return scope;
        }
    }
    return nullptr;
}

void MSRPScope::mark(Marker& marker) {
    for (MSRPScope* scope = this; scope != nullptr && scope->markEpoch_ != marker.epoch();
         scope = scope->parent_.get()) {
        scope->markEpoch_ = marker.epoch();
        scope->contents_.markValues(marker);
    }
}

// The runtime.

MSRPRuntime::MSRPRuntime()
    : initScope_(makeRef<MSRPScope>(nullptr)),
      apiProvider_(std::make_unique<MSRPDynamicProvider>()),
      objectManager_(makeRef<MSRPObjectManager>()) {
    initScope_->setObjectManager(objectManager_.get());
    globalScope_ = initScope_->createChildScope();
    objectManager_->addRoot(initScope_.get());
    objectManager_->addRoot(globalScope_.get());
    auto require = makeRef<MSRPRequire>(*apiProvider_, *objectManager_);
    objectManager_->addOwnedObject(require.get());
    globalScope_->setValue(require, module_names::require);
    setModuleCreator([] { return ValueRef(makeRef<MSRPRuntimePlatform>()); }, module_names::platform);
    resetInstructionCount();
}

MSRPRuntime::~MSRPRuntime() {
    // Functions stored in the scopes that define them are cycles: release
    // every container first, then the scopes' own contents.
    objectManager_->releaseAll();
    globalScope_->releaseContents();
    initScope_->releaseContents();
}

void MSRPRuntime::setModuleCreator(ModuleCreator creator, std::u16string_view name) {
    apiProvider_->setModuleCreator(std::move(creator), name);
}

ValueRef MSRPRuntime::executeStatements(std::span<const NanoMessageInfo> entities, ScriptError& error) {
    ExecutionState& state = objectManager_->executionState();
    ActiveExecution active(state);
    ValueRef result = undefinedValue();
    for (const NanoMessageInfo& entity : entities) {
        ValueRef statement = MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(entity, &state, error);
        if (error) {
            return undefinedValue();
        }
        result = MSRPEvaluator::evaluateStatement(statement, *globalScope_, error);
        if (error) {
            return result;
        }
    }
    return result;
}

ValueRef MSRPRuntime::executeValues(std::span<const ValueRef> statements, ScriptError& error) {
    ActiveExecution active(objectManager_->executionState());
    ValueRef result = undefinedValue();
    for (const ValueRef& statement : statements) {
        result = MSRPEvaluator::evaluateStatement(statement, *globalScope_, error);
        if (error) {
            return result;
        }
    }
    return result;
}

Ref<MSRPScope> MSRPRuntime::getRunScope() { return globalScope_->createChildScope(); }

std::int32_t MSRPRuntime::getInstructionCount() const {
    return toInt32Value(static_cast<double>(objectManager_->executionState().instructionCount));
}

void MSRPRuntime::resetInstructionCount() { objectManager_->executionState().resetRun(); }

// Evaluators and dispatch.

ValueRef MSRPCommandEvaluator::evaluateCommand(std::u16string_view, const ValueList&, MSRPScope&, ScriptError&) {
    return undefinedValue();
}

std::vector<std::u16string> MSRPCommandEvaluator::allSupportedCommands() const { return {}; }

MSRPTableCommandEvaluator::MSRPTableCommandEvaluator(Arguments arguments, std::span<const Command> handlers)
    : arguments_(arguments), handlers_(handlers.begin(), handlers.end()) {}

MSRPCommandEvaluator::Handler MSRPTableCommandEvaluator::handlerFor(std::u16string_view command) const {
    for (const Command& entry : handlers_) {
        if (entry.code == command) {
            return entry.handler;
        }
    }
    return nullptr;
}

ValueRef MSRPTableCommandEvaluator::evaluateCommand(std::u16string_view command, const ValueList& arguments,
                                                    MSRPScope& scope, ScriptError& error) {
    Handler handler = handlerFor(command);
    if (handler == nullptr) {
        return undefinedValue();
    }
    return run(handler, arguments, scope, error);
}

std::vector<std::u16string> MSRPTableCommandEvaluator::allSupportedCommands() const {
    std::vector<std::u16string> commands;
    for (const Command& entry : handlers_) {
        commands.emplace_back(entry.code);
    }
    return commands;
}

ValueRef MSRPTableCommandEvaluator::run(Handler handler, const ValueList& arguments, MSRPScope& scope,
                                        ScriptError& error) const {
    switch (arguments_) {
    case Arguments::unevaluated:
        return handler(arguments, scope, error);
    case Arguments::countedThenEvaluated:
        if (!requireArgumentCount(arguments, 2, error)) {
            return undefinedValue();
        }
        [[fallthrough]];
    case Arguments::evaluated:
        break;
    }
    ValueList values = evaluateArgumentList(arguments, scope, error);
    if (error) {
        return undefinedValue();
    }
    return handler(values, scope, error);
}

ValueRef MSRPFunctionEvaluator::evaluateCommand(std::u16string_view command, const ValueList& arguments,
                                                MSRPScope& scope, ScriptError& error) {
    ValueRef value = scope.valueForName(command);
    if (auto* function = valueAs<MSRPFunctionValue>(value.get())) {
        return function->invokeWithArguments(arguments, scope, error);
    }
    return undefinedValue();
}

namespace {

// The built-in evaluators: made once, holding nothing but their constant
// handler tables, so every runtime's registrar shares them.
const std::vector<std::unique_ptr<MSRPTableCommandEvaluator>>& builtInEvaluators() {
    static const auto* const evaluators = [] {
        auto* made = new std::vector<std::unique_ptr<MSRPTableCommandEvaluator>>();
        made->push_back(makeBitwiseCommandEvaluator());
        made->push_back(makeComparisonCommandEvaluator());
        made->push_back(makeControlCommandEvaluator());
        made->push_back(makeLogicalCommandEvaluator());
        made->push_back(makeLoopCommandEvaluator());
        made->push_back(makeMathCommandEvaluator());
        made->push_back(makeVariableCommandEvaluator());
        return made;
    }();
    return *evaluators;
}

}  // namespace

MSRPCommandRegistrar::MSRPCommandRegistrar() {
    for (const auto& evaluator : builtInEvaluators()) {
        registerEvaluator(*evaluator);
    }
}

const MSRPCommandRegistrar& MSRPCommandRegistrar::builtIn() {
    static const MSRPCommandRegistrar* const registrar = new MSRPCommandRegistrar();
    return *registrar;
}

void MSRPCommandRegistrar::registerEvaluator(MSRPCommandEvaluator& evaluator) {
    auto* table = dynamic_cast<MSRPTableCommandEvaluator*>(&evaluator);
    for (const std::u16string& command : evaluator.allSupportedCommands()) {
        MSRPStatementValue probe(command, {});
        int code = probe.operationCode();
        if (code >= 0 && code < tableSize) {
            slots_[code] = Slot{&evaluator, table, table != nullptr ? table->handlerFor(command) : nullptr};
            named_.erase(command);
        } else {
            named_[command] = &evaluator;
        }
    }
}

MSRPCommandEvaluator* MSRPCommandRegistrar::evaluatorForCommand(std::u16string_view command) const {
    MSRPStatementValue probe(std::u16string(command), {});
    int code = probe.operationCode();
    if (code >= 0 && code < tableSize) {
        return slots_[code].evaluator;
    }
    auto found = named_.find(std::u16string(command));
    return found == named_.end() ? nullptr : found->second;
}

ValueRef MSRPCommandRegistrar::evaluateStatement(const ValueRef& value, MSRPScope& scope, ExecutionState* state,
                                                 ScriptError& error) const {
    if (state != nullptr) {
        if (state->instructionCount >= limits::instructionLimit || state->isExhausted()) {
            setScriptError(error, ScriptErrorCode::limitReached);
            return undefinedValue();
        }
        ++state->instructionCount;
    }
    auto* statement = valueAs<MSRPStatementValue>(value.get());
    if (statement == nullptr) {
        return value;
    }
    DepthGuard depth(state);
    if (!depth.check(error)) {
        return undefinedValue();
    }
    std::optional<ActiveExecution> active;
    if (state != nullptr && !state->isRunning()) {
        active.emplace(*state);
    }
    int code = statement->operationCode();
    if (code >= 0 && code < tableSize && slots_[code].evaluator != nullptr) {
        const Slot& slot = slots_[code];
        if (slot.table != nullptr && slot.handler != nullptr) {
            return slot.table->run(slot.handler, statement->arguments(), scope, error);
        }
        return slot.evaluator->evaluateCommand(statement->functionName(), statement->arguments(), scope, error);
    }
    if (code < 0 && !named_.empty()) {
        auto found = named_.find(statement->functionName());
        if (found != named_.end()) {
            return found->second->evaluateCommand(statement->functionName(), statement->arguments(), scope, error);
        }
    }
    return functionEvaluator_.evaluateCommand(statement->functionName(), statement->arguments(), scope, error);
}

ValueRef MSRPEvaluator::executeStatements(std::span<const ValueRef> statements, MSRPScope& scope, ScriptError& error) {
    ValueRef result = undefinedValue();
    for (const ValueRef& statement : statements) {
        result = evaluateStatement(statement, scope, error);
        if (error) {
            return undefinedValue();
        }
        if (valueIs<MSRPControlValue>(result.get())) {
            return result;
        }
    }
    return result;
}

}  // namespace kit::measurement::script

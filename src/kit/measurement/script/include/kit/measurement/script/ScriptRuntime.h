#pragma once

#include "kit/measurement/script/ScriptValues.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kit::measurement {
struct NanoMessageInfo;
}

namespace kit::measurement::script {

class MSRPArrayValue;
class MSRPDynamicProvider;

class MSRPCommandRegistrar;

// Everything one runtime keeps while it runs, the way a small interpreter
// keeps all of its state in its state object: the instruction counter (kept
// here, out of every scope, so no script can reach it), the work meter, the
// live budget, the nesting depth and the dispatch table. The object manager
// holds it, so every scope of the runtime reaches it; values made while it
// runs hold it too, so their own walks (texts, conversions) count with it.
class ExecutionState final : public ScriptObject {
public:
    ExecutionState();
    ~ExecutionState() override;

    std::int64_t instructionCount = 0;
    std::uint64_t meterUsed = 0;
    Ref<LiveBudget> budget;
    // Nested statements, entities, calls and value walks of this runtime.
    int depth = 0;

    // Adds native work; false (and error 18 when a slot is given) past the meter.
    bool charge(std::uint64_t units) noexcept { return (meterUsed += units) <= limits::meterUnitsPerRun; }
    bool charge(std::uint64_t units, ScriptError& error);
    bool isExhausted() const noexcept { return meterUsed > limits::meterUnitsPerRun || budget->isOver(); }
    void resetRun() noexcept {
        instructionCount = 0;
        meterUsed = 0;
    }
    // True while a run of this runtime goes on (ActiveExecution): only then
    // are new values charged to its budget and native work to its meter.
    bool isRunning() const noexcept { return running_ > 0; }

    // The runtime's own dispatch table: the built-in evaluators, and any
    // evaluator registered on it.
    MSRPCommandRegistrar& commandRegistrar() noexcept { return *registrar_; }

private:
    friend class ActiveExecution;
    int running_ = 0;
    std::unique_ptr<MSRPCommandRegistrar> registrar_;
};

// Marks a runtime's state as running for a while (runs may nest).
class ActiveExecution {
public:
    explicit ActiveExecution(ExecutionState& state) noexcept : state_(&state) { ++state_->running_; }
    ~ActiveExecution() { --state_->running_; }
    ActiveExecution(const ActiveExecution&) = delete;
    ActiveExecution& operator=(const ActiveExecution&) = delete;

private:
    ExecutionState* state_;
};

// Charges native work to the given run while it is running: false (and
// error 18) past the meter. Without a slot, the next dispatch reports it.
bool chargeWork(ExecutionState* state, std::uint64_t units, ScriptError& error);
// False (and error 18) while the given run is over its live budget: for
// native loops that make a value per step.
bool withinBudget(ExecutionState* state, ScriptError& error);
void chargeWork(ExecutionState* state, std::uint64_t units) noexcept;

// One level of nesting (statements, entities, calls, value walks) on a
// counter: the runtime's depth, or the walk's own for values of no runtime.
// Past limits::maximumDepth the guard is not ok.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) noexcept : depth_(&depth), ok_(++depth <= limits::maximumDepth) {}
    // Counts nothing without a state.
    explicit DepthGuard(ExecutionState* state) noexcept
        : depth_(state != nullptr ? &state->depth : nullptr),
          ok_(depth_ == nullptr || ++*depth_ <= limits::maximumDepth) {}
    ~DepthGuard() {
        if (depth_ != nullptr) {
            --*depth_;
        }
    }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    bool ok() const noexcept { return ok_; }
    // ok, else error 18.
    bool check(ScriptError& error) const {
        if (!ok_) {
            setScriptError(error, ScriptErrorCode::limitReached);
        }
        return ok_;
    }

private:
    int* depth_;
    bool ok_;
};

// Tracks containers weakly and collects unreachable cycles. Tracked
// containers are swept; owned ones (natives: modules, "require") are never
// swept but are released at teardown with the rest.
class MSRPObjectManager final : public ScriptObject {
public:
    MSRPObjectManager();
    ~MSRPObjectManager() override;

    static Ref<MSRPFunctionValue> functionValueWithFunctionName(std::u16string functionName,
                                                                std::vector<std::u16string> parameterNames,
                                                                ValueList statements, MSRPScope& definingScope);
    static Ref<MSRPMapValue> mapValueWithScope(MSRPScope& scope);
    static Ref<MSRPArrayValue> arrayValueWithScope(MSRPScope& scope);
    static Ref<MSRPArrayValue> arrayValueWithArray(ValueList elements, MSRPScope& scope);
    static Ref<MSRPArrayValue> subarrayWithArray(const MSRPArrayValue& array, std::size_t location, std::size_t length,
                                                 MSRPScope& scope);

    // Roots are not owned: their owners remove them before they go.
    void addRoot(MSRPMarkable* root);
    void removeRoot(MSRPMarkable* root);
    void addObject(MSRPContainerValue* object);
    void addOwnedObject(MSRPContainerValue* object);
    void collectGarbage();
    // Releases every container made or owned here: the runtime's teardown.
    void releaseAll();

    std::vector<MSRPContainerValue*> trackedObjects() const;
    const std::vector<MSRPMarkable*>& roots() const noexcept { return roots_; }
    std::uint64_t epoch() const noexcept { return epoch_; }
    ExecutionState& executionState() noexcept { return *state_; }

private:
    friend class MSRPContainerValue;
    struct Entry {
        MSRPContainerValue* object;
        bool swept;
    };
    void track(MSRPContainerValue* object, bool swept);
    void forget(MSRPContainerValue* object) noexcept;

    std::vector<MSRPMarkable*> roots_;
    std::vector<Entry> objects_;
    std::uint64_t epoch_ = 1;
    bool sweeping_ = false;
    Ref<ExecutionState> state_;
};

class MSRPScope final : public ScriptObject, public MSRPMarkable {
public:
    explicit MSRPScope(Ref<MSRPScope> parentScope);
    ~MSRPScope() override;

    Ref<MSRPScope> createChildScope();
    MSRPScope* parentScope() const noexcept { return parent_.get(); }
    bool hasName(std::u16string_view name) const;
    // Declaration in this scope.
    void addValue(ValueRef value, std::u16string_view name);
    void addImmutableValue(ValueRef value, std::u16string_view name);
    // Assignment: the nearest scope holding the name, else this one.
    void setValue(ValueRef value, std::u16string_view name);
    ValueRef valueForName(std::u16string_view name) const;
    // The nearest scope of the chain holding the name, or nullptr.
    MSRPScope* scopeHoldingName(std::u16string_view name);
    void makeImmutable() noexcept { contents_.makeImmutable(); }
    MSRPPropertyMap& contents() noexcept { return contents_; }

    // The own manager if set, else the parent's (copied at creation).
    MSRPObjectManager* objectManager() const noexcept { return manager_.get(); }
    void setObjectManager(MSRPObjectManager* manager) {
        manager_ = manager;
        state_ = manager != nullptr ? &manager->executionState() : nullptr;
    }
    // The state of the runtime the scope belongs to, or nullptr.
    ExecutionState* executionState() const noexcept { return state_; }

    // Marks the values of this scope and of every scope above it: a closure
    // reaches them all.
    void mark(Marker& marker) override;
    void releaseContents() noexcept { contents_.clear(); }

private:
    Ref<MSRPScope> parent_;
    MSRPPropertyMap contents_;
    Ref<MSRPObjectManager> manager_;
    // The manager's state, kept at hand: every dispatch reads it.
    ExecutionState* state_ = nullptr;
    std::uint64_t markEpoch_ = 0;
};

// A module creator: a value, or nothing (a null reference).
using ModuleCreator = std::function<ValueRef()>;

class MSRPRuntime {
public:
    static int runtimeVersion() { return 0; }

    MSRPRuntime();
    ~MSRPRuntime();
    MSRPRuntime(const MSRPRuntime&) = delete;
    MSRPRuntime& operator=(const MSRPRuntime&) = delete;

    void setModuleCreator(ModuleCreator creator, std::u16string_view name);
    // Runs program entities at top level in the global scope.
    ValueRef executeStatements(std::span<const NanoMessageInfo> entities, ScriptError& error);
    // The same for values already converted.
    ValueRef executeValues(std::span<const ValueRef> statements, ScriptError& error);
    Ref<MSRPScope> getRunScope();
    std::int32_t getInstructionCount() const;
    void resetInstructionCount();
    MSRPScope& initialScope() noexcept { return *initScope_; }
    MSRPScope& globalScope() noexcept { return *globalScope_; }
    MSRPObjectManager& objectManager() noexcept { return *objectManager_; }
    MSRPCommandRegistrar& commandRegistrar() noexcept { return objectManager_->executionState().commandRegistrar(); }
    void addGarbageCollectionRoot(MSRPMarkable* root) { objectManager_->addRoot(root); }
    void collectGarbage() { objectManager_->collectGarbage(); }

private:
    Ref<MSRPScope> initScope_;
    Ref<MSRPScope> globalScope_;
    std::unique_ptr<MSRPDynamicProvider> apiProvider_;
    Ref<MSRPObjectManager> objectManager_;
};

// The evaluators' common face. A handler gets the argument list, the scope
// and the error slot.
class MSRPCommandEvaluator {
public:
    using Handler = ValueRef (*)(const ValueList& arguments, MSRPScope& scope, ScriptError& error);
    struct Command {
        std::u16string_view code;
        Handler handler;
    };

    virtual ~MSRPCommandEvaluator() = default;
    virtual ValueRef evaluateCommand(std::u16string_view command, const ValueList& arguments, MSRPScope& scope,
                                     ScriptError& error);
    virtual std::vector<std::u16string> allSupportedCommands() const;
};

// An evaluator over a fixed table of handlers.
class MSRPTableCommandEvaluator : public MSRPCommandEvaluator {
public:
    enum class Arguments {
        evaluated,             // all evaluated before the handler runs
        countedThenEvaluated,  // exactly two, checked first, then evaluated
        unevaluated,           // the handler evaluates what it needs
    };
    MSRPTableCommandEvaluator(Arguments arguments, std::span<const Command> handlers);

    ValueRef evaluateCommand(std::u16string_view command, const ValueList& arguments, MSRPScope& scope,
                             ScriptError& error) override;
    std::vector<std::u16string> allSupportedCommands() const override;
    ValueRef run(Handler handler, const ValueList& arguments, MSRPScope& scope, ScriptError& error) const;
    Handler handlerFor(std::u16string_view command) const;

private:
    Arguments arguments_;
    std::vector<Command> handlers_;
};

std::unique_ptr<MSRPTableCommandEvaluator> makeBitwiseCommandEvaluator();
std::unique_ptr<MSRPTableCommandEvaluator> makeComparisonCommandEvaluator();
std::unique_ptr<MSRPTableCommandEvaluator> makeControlCommandEvaluator();
std::unique_ptr<MSRPTableCommandEvaluator> makeLogicalCommandEvaluator();
std::unique_ptr<MSRPTableCommandEvaluator> makeLoopCommandEvaluator();
std::unique_ptr<MSRPTableCommandEvaluator> makeMathCommandEvaluator();
std::unique_ptr<MSRPTableCommandEvaluator> makeVariableCommandEvaluator();

// Calls a script function by name: any statement whose name no evaluator
// claims comes here.
class MSRPFunctionEvaluator final : public MSRPCommandEvaluator {
public:
    ValueRef evaluateCommand(std::u16string_view command, const ValueList& arguments, MSRPScope& scope,
                             ScriptError& error) override;
};

// Operation codes to evaluators. Each runtime has its own (its state's);
// registering an evaluator changes that runtime's table only.
class MSRPCommandRegistrar {
public:
    // The seven built-in evaluators.
    MSRPCommandRegistrar();
    // The table of the built-in evaluators alone, for scopes of no runtime:
    // made once, never changed.
    static const MSRPCommandRegistrar& builtIn();

    // Every code the evaluator supports now maps to it. The evaluator must
    // outlive the registrar.
    void registerEvaluator(MSRPCommandEvaluator& evaluator);
    // Counts the instruction on the scope's runtime, then dispatches.
    ValueRef evaluateStatement(const ValueRef& value, MSRPScope& scope, ScriptError& error) const {
        return evaluateStatement(value, scope, scope.executionState(), error);
    }
    // The same with the scope's state already at hand.
    ValueRef evaluateStatement(const ValueRef& value, MSRPScope& scope, ExecutionState* state,
                               ScriptError& error) const;
    // The evaluator claiming a code, or nullptr.
    MSRPCommandEvaluator* evaluatorForCommand(std::u16string_view command) const;

private:
    static constexpr int tableSize = 100;
    struct Slot {
        MSRPCommandEvaluator* evaluator = nullptr;
        MSRPTableCommandEvaluator* table = nullptr;
        MSRPCommandEvaluator::Handler handler = nullptr;
    };
    Slot slots_[tableSize];
    std::unordered_map<std::u16string, MSRPCommandEvaluator*> named_;
    // Holds no state of its own.
    mutable MSRPFunctionEvaluator functionEvaluator_;
};

class MSRPEvaluator {
public:
    // Dispatches through the table of the scope's runtime.
    static ValueRef evaluateStatement(const ValueRef& statement, MSRPScope& scope, ScriptError& error) {
        ExecutionState* state = scope.executionState();
        const MSRPCommandRegistrar& registrar =
            state != nullptr ? state->commandRegistrar() : MSRPCommandRegistrar::builtIn();
        return registrar.evaluateStatement(statement, scope, state, error);
    }
    // Statement-list execution: stops at an error or a control value.
    static ValueRef executeStatements(std::span<const ValueRef> statements, MSRPScope& scope, ScriptError& error);
};

}  // namespace kit::measurement::script

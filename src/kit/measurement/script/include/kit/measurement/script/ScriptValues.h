#pragma once

#include "kit/measurement/script/ScriptError.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Script values. Every value is reference counted without atomics: one thread
// runs a runtime at a time. Shared singletons are immortal, so several
// threads may hold them. Containers (maps, functions, arrays) can form
// cycles; the object manager tracks them weakly and breaks unreachable cycles
// by mark and sweep, which runs only between runs, so nothing on the C++
// stack ever needs rooting.
namespace kit::measurement::script {

// Base of everything counted: values, scopes, the object manager, budgets.
// The last release queues the object and a loop frees the queue, so a long
// chain of objects is freed without recursion.
class ScriptObject {
public:
    ScriptObject(const ScriptObject&) = delete;
    ScriptObject& operator=(const ScriptObject&) = delete;

    void retain() const noexcept {
        if (references_ != immortal) {
            ++references_;
        }
    }
    void release() const noexcept {
        if (references_ != immortal && --references_ == 0) {
            destroy(this);
        }
    }
    std::uint32_t referenceCount() const noexcept { return references_; }

protected:
    ScriptObject() = default;
    virtual ~ScriptObject() = default;
    void makeImmortal() noexcept { references_ = immortal; }

private:
    static constexpr std::uint32_t immortal = 0xFFFFFFFFu;
    static void destroy(const ScriptObject* object) noexcept;
    mutable std::uint32_t references_ = 0;
};

// A strong reference to a counted object.
template <typename T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}
    Ref(T* object) noexcept : object_(object) {
        if (object_ != nullptr) {
            object_->retain();
        }
    }
    Ref(const Ref& other) noexcept : Ref(other.object_) {}
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <typename U>
    requires std::convertible_to<U*, T*> Ref(const Ref<U>& other)
    noexcept : Ref(other.get()) {}
    template <typename U>
    requires std::convertible_to<U*, T*> Ref(Ref<U>&& other)
    noexcept : object_(other.leak()) {}
    ~Ref() {
        if (object_ != nullptr) {
            object_->release();
        }
    }
    Ref& operator=(Ref other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }

    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    T& operator*() const noexcept { return *object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the reference over to the caller.
    T* leak() noexcept { return std::exchange(object_, nullptr); }

private:
    T* object_ = nullptr;
};

// The one way counted objects are made: the count owns them from the start.
template <typename T, typename... Arguments>
Ref<T> makeRef(Arguments&&... arguments) {
    return Ref<T>(new T(std::forward<Arguments>(arguments)...));
}

class MSRPScope;
class MSRPObjectManager;
class MSRPRuntimeValue;
class Marker;
class ExecutionState;
class ValueWalk;

using ValueRef = Ref<MSRPRuntimeValue>;
using ValueList = std::vector<ValueRef>;

// Live memory a runtime may hold: each string, container, scope, slot and
// property entry at what it really takes from the heap. Charges always
// succeed; the dispatcher, and native loops that make values, refuse to go on
// while the budget is over its limit.
class LiveBudget final : public ScriptObject {
public:
    explicit LiveBudget(std::size_t limit) : limit_(limit) {}
    void charge(std::size_t bytes) noexcept { used_ += bytes; }
    void refund(std::size_t bytes) noexcept { used_ = bytes > used_ ? 0 : used_ - bytes; }
    bool isOver() const noexcept { return used_ > limit_; }
    std::size_t used() const noexcept { return used_; }

private:
    std::size_t used_ = 0;
    std::size_t limit_;
};

// The state while its runtime is running, else nullptr: values made then are
// charged to its budget, native work to its meter (ScriptRuntime.h).
ExecutionState* whileRunning(ExecutionState* state) noexcept;
// The state's live budget while it is running, else none.
Ref<LiveBudget> chargedBudget(ExecutionState* state) noexcept;

// Heap bytes a text holds beyond its own object: none while it fits inline.
inline std::size_t heldTextBytes(const std::u16string& text) noexcept {
    const auto* units = reinterpret_cast<const char*>(text.data());
    const auto* object = reinterpret_cast<const char*>(&text);
    if (units >= object && units < object + sizeof(text)) {
        return 0;
    }
    return (text.capacity() + 1) * sizeof(char16_t) + limits::allocationOverhead;
}

// Anything the collector can mark: values, scopes, the editing callbacks.
class MSRPMarkable {
public:
    virtual void mark(Marker& marker) = 0;

protected:
    ~MSRPMarkable() = default;
};

// One collection's marking: an explicit stack instead of recursion, and an
// epoch instead of mark flags, so containers that are never swept carry no
// stale flag into the next collection.
class Marker {
public:
    explicit Marker(std::uint64_t epoch) : epoch_(epoch) {}
    std::uint64_t epoch() const noexcept { return epoch_; }
    void push(MSRPMarkable* markable) {
        if (markable != nullptr) {
            pending_.push_back(markable);
        }
    }
    void drain() {
        while (!pending_.empty()) {
            MSRPMarkable* next = pending_.back();
            pending_.pop_back();
            next->mark(*this);
        }
    }

private:
    std::uint64_t epoch_;
    std::vector<MSRPMarkable*> pending_;
};

class MSRPRuntimeValue : public ScriptObject, public MSRPMarkable {
public:
    enum class Kind : std::uint8_t {
        plain,  // the base class itself (the array hole marker)
        undefinedValue,
        nullValue,
        booleanValue,
        numberValue,
        stringValue,
        mapValue,
        functionValue,
        arrayValue,
        controlValue,
        statementValue,
    };

    MSRPRuntimeValue() : kind_(Kind::plain) {}

    Kind kind() const noexcept { return kind_; }
    bool isContainer() const noexcept {
        return kind_ == Kind::mapValue || kind_ == Kind::functionValue || kind_ == Kind::arrayValue;
    }

    virtual std::u16string stringValueOrError(ScriptError& error) const;
    virtual double doubleValueOrError(ScriptError& error) const;
    virtual bool booleanValueOrError(ScriptError& error) const;
    // Calls a named method; the arguments are unevaluated statements or values
    // of the calling code.
    virtual ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                                   ScriptError& error);
    // Structural equality; a walk of its own bounds the depth and ends on
    // cycles.
    bool isEqualToRuntimeValue(const MSRPRuntimeValue& other) const;
    // One step of that walk: containers compare their contents through it.
    virtual bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const;
    // The runtime state this value was made in while it ran, or nullptr.
    virtual ExecutionState* runState() const noexcept { return nullptr; }
    void mark(Marker&) override {}
    virtual void sweep(std::uint64_t) {}

protected:
    explicit MSRPRuntimeValue(Kind kind) : kind_(kind) {}

private:
    Kind kind_;
};

// The value as T when it is of that class, else nullptr.
template <typename T>
T* valueAs(MSRPRuntimeValue* value) noexcept {
    return value != nullptr && value->kind() == T::valueKind ? static_cast<T*>(value) : nullptr;
}
template <typename T>
const T* valueAs(const MSRPRuntimeValue* value) noexcept {
    return value != nullptr && value->kind() == T::valueKind ? static_cast<const T*>(value) : nullptr;
}
template <typename T>
bool valueIs(const MSRPRuntimeValue* value) noexcept {
    return value != nullptr && value->kind() == T::valueKind;
}

class MSRPUndefinedValue final : public MSRPRuntimeValue {
public:
    static constexpr Kind valueKind = Kind::undefinedValue;
    static MSRPUndefinedValue* sharedInstance();
    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;

private:
    MSRPUndefinedValue();
};

class MSRPNullValue final : public MSRPRuntimeValue {
public:
    static constexpr Kind valueKind = Kind::nullValue;
    static MSRPNullValue* sharedInstance();
    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;

private:
    MSRPNullValue();
};

class MSRPBooleanValue final : public MSRPRuntimeValue {
public:
    static constexpr Kind valueKind = Kind::booleanValue;
    static MSRPBooleanValue* booleanValueWithBool(bool value);
    bool value() const noexcept { return value_; }
    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;

private:
    explicit MSRPBooleanValue(bool value);
    bool value_;
};

class MSRPNumberValue final : public MSRPRuntimeValue {
public:
    static constexpr Kind valueKind = Kind::numberValue;
    // Charged to the live budget of the given run while it runs; none for
    // constants and values made outside the interpreter.
    explicit MSRPNumberValue(double value, ExecutionState* run = nullptr);
    ~MSRPNumberValue() override;
    double value() const noexcept { return value_; }
    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;

private:
    double value_;
    Ref<LiveBudget> budget_;
};

class MSRPStringValue final : public MSRPRuntimeValue {
public:
    static constexpr Kind valueKind = Kind::stringValue;
    // Charged to the live budget of the given run while it runs; none for
    // constants and values made outside the interpreter. Code that builds
    // long texts goes through makeStringValue (ScriptRoutines.h), which
    // enforces the length limit.
    explicit MSRPStringValue(std::u16string value, ExecutionState* run = nullptr);
    ~MSRPStringValue() override;
    const std::u16string& value() const noexcept { return value_; }
    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;

    ExecutionState* runState() const noexcept override { return run_.get(); }

private:
    std::size_t cost() const noexcept;

    std::u16string value_;
    Ref<ExecutionState> run_;
};

// Names to values in insertion order, so for-in over a map is deterministic.
class MSRPPropertyMap {
public:
    // Charged, with its holder, to the given run while it runs.
    explicit MSRPPropertyMap(ExecutionState* run = nullptr);
    ~MSRPPropertyMap();
    MSRPPropertyMap(const MSRPPropertyMap&) = delete;
    MSRPPropertyMap& operator=(const MSRPPropertyMap&) = delete;

    bool hasName(std::u16string_view name) const { return find(name) != nullptr; }
    // Ignored when the map or the name is immutable.
    void setValue(ValueRef value, std::u16string_view name);
    void setImmutableValue(ValueRef value, std::u16string_view name);
    // The stored value, else the undefined value.
    ValueRef valueForName(std::u16string_view name) const;
    // The stored value, else nullptr.
    MSRPRuntimeValue* find(std::u16string_view name) const;
    void removeValueForName(std::u16string_view name);
    void makeImmutable() noexcept { immutable_ = true; }
    bool isImmutable() const noexcept { return immutable_; }
    std::vector<std::u16string> allNames() const;
    std::size_t count() const noexcept { return entries_.size(); }

    template <typename Visit>
    void forEach(Visit&& visit) const {
        for (const Entry& entry : entries_) {
            visit(entry.name, entry.value);
        }
    }
    void markValues(Marker& marker) const;
    // Drops every entry, guards included: used when a container is swept.
    void clear() noexcept;

private:
    struct Entry {
        std::u16string name;
        ValueRef value;
        bool immutable = false;
    };
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view name) const noexcept {
            return std::hash<std::u16string_view>{}(name);
        }
    };
    static constexpr std::size_t indexThreshold = 8;

    static std::size_t entryCost(const std::u16string& name) noexcept;
    Entry* findEntry(std::u16string_view name);
    const Entry* findEntry(std::u16string_view name) const;
    void store(ValueRef value, std::u16string_view name, bool immutable);
    void rebuildIndex();

    std::vector<Entry> entries_;
    // Built only once a map has more than a few names; small maps (most
    // scopes) are searched in place.
    std::unique_ptr<std::unordered_map<std::u16string, std::size_t, NameHash, std::equal_to<>>> index_;
    bool immutable_ = false;
    Ref<LiveBudget> budget_;
};

// Maps, functions and arrays: the values that can take part in cycles.
class MSRPContainerValue : public MSRPRuntimeValue {
public:
    ~MSRPContainerValue() override;
    void sweep(std::uint64_t epoch) override;
    // Drops every reference the container holds (sweep and teardown).
    virtual void releaseContents() = 0;
    bool isMarkedIn(std::uint64_t epoch) const noexcept { return markEpoch_ == epoch; }
    ExecutionState* runState() const noexcept override { return run_.get(); }

protected:
    // Keeps the run when it is running.
    MSRPContainerValue(Kind kind, ExecutionState* run);
    // False when already marked in this collection.
    bool beginMark(const Marker& marker) noexcept;

private:
    friend class MSRPObjectManager;
    MSRPObjectManager* manager_ = nullptr;
    std::size_t trackIndex_ = 0;
    std::uint64_t markEpoch_ = 0;
    Ref<ExecutionState> run_;
};

class MSRPMapValue : public MSRPContainerValue {
public:
    static constexpr Kind valueKind = Kind::mapValue;
    explicit MSRPMapValue(ExecutionState* run = nullptr);

    bool hasProperty(std::u16string_view name) const;
    void setValue(ValueRef value, std::u16string_view name);
    ValueRef valueForProperty(std::u16string_view name) const;
    void removeValueForProperty(std::u16string_view name);
    std::vector<std::u16string> allPropertyNames() const;
    MSRPPropertyMap* propertyMap() noexcept { return propertyMap_.get(); }
    const MSRPPropertyMap* propertyMap() const noexcept { return propertyMap_.get(); }

    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;
    void mark(Marker& marker) override;
    void releaseContents() override;

private:
    std::unique_ptr<MSRPPropertyMap> propertyMap_;
};

class MSRPFunctionValue : public MSRPContainerValue {
public:
    static constexpr Kind valueKind = Kind::functionValue;
    MSRPFunctionValue(std::u16string functionName, std::vector<std::u16string> parameterNames, ValueList statements,
                      Ref<MSRPScope> definingScope);
    ~MSRPFunctionValue() override;

    const std::u16string& functionName() const noexcept { return functionName_; }
    const std::vector<std::u16string>& parameterNames() const noexcept { return parameterNames_; }
    const ValueList& statements() const noexcept { return statements_; }
    MSRPScope* definingScope() const noexcept { return definingScope_.get(); }

    bool hasProperty(std::u16string_view name) const;
    void setValue(ValueRef value, std::u16string_view name);
    ValueRef valueForProperty(std::u16string_view name) const;
    void removeValueForProperty(std::u16string_view name);
    std::vector<std::u16string> allPropertyNames() const;
    MSRPPropertyMap* propertyMap() noexcept { return propertyMap_.get(); }
    const MSRPPropertyMap* propertyMap() const noexcept { return propertyMap_.get(); }

    // Evaluates the argument statements in the calling scope, then calls.
    // Native functions override this one and follow the native convention.
    virtual ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error);
    virtual ValueRef invokeWithEvaluatedArguments(const ValueList& arguments, ScriptError& error);

    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;
    void mark(Marker& marker) override;
    void releaseContents() override;

private:
    std::u16string functionName_;
    std::vector<std::u16string> parameterNames_;
    ValueList statements_;
    Ref<MSRPScope> definingScope_;
    std::unique_ptr<MSRPPropertyMap> propertyMap_;
};

class MSRPControlValue final : public MSRPRuntimeValue {
public:
    static constexpr Kind valueKind = Kind::controlValue;
    enum class Type : std::uint8_t { breakControl, continueControl, returnControl };

    static MSRPControlValue* breakValue();
    static MSRPControlValue* continueValue();
    static Ref<MSRPControlValue> returnValueWithData(ValueRef data);

    Type type() const noexcept { return type_; }
    std::u16string_view typeName() const noexcept;
    const ValueRef& data() const noexcept { return data_; }
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;

    MSRPControlValue(Type type, ValueRef data);

private:
    Type type_;
    ValueRef data_;
};

class MSRPStatementValue final : public MSRPRuntimeValue {
public:
    static constexpr Kind valueKind = Kind::statementValue;
    MSRPStatementValue(std::u16string functionName, ValueList arguments);

    const std::u16string& functionName() const noexcept { return functionName_; }
    const ValueList& arguments() const noexcept { return arguments_; }
    // The operation code when the name is one written canonically in decimal
    // ("0" … "99"), else -1; the dispatcher's table is indexed by it.
    int operationCode() const noexcept { return operationCode_; }
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;

private:
    std::u16string functionName_;
    ValueList arguments_;
    int operationCode_;
};

// The undefined value as a reference, for results.
inline ValueRef undefinedValue() { return ValueRef(MSRPUndefinedValue::sharedInstance()); }
inline ValueRef nullValue() { return ValueRef(MSRPNullValue::sharedInstance()); }
inline ValueRef booleanValue(bool value) { return ValueRef(MSRPBooleanValue::booleanValueWithBool(value)); }
// A number of no run: constants and values made outside the interpreter.
inline ValueRef numberValue(double value) { return makeRef<MSRPNumberValue>(value); }
// A number made by the given run.
inline ValueRef numberValue(double value, ExecutionState* run) { return makeRef<MSRPNumberValue>(value, run); }

}  // namespace kit::measurement::script

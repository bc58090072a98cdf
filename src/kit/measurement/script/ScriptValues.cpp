#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/ScriptRoutines.h"
#include "kit/measurement/script/ScriptRuntime.h"
#include "ScriptInternal.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kit::measurement::script {

namespace {

// Objects whose count reached zero, freed one at a time by the outermost
// release on this thread. This one stays per thread, outside every runtime:
// the last release comes from a destructor, with no runtime at hand; the
// objects freed may belong to several runtimes or to none (constants, values
// made outside the interpreter), and the draining must span them all, since
// freeing one object releases the next. A thread frees only what it drops,
// so the queue is never shared.
struct Graveyard {
    std::vector<const ScriptObject*> pending;
    bool draining = false;
};
thread_local Graveyard graveyard;

int operationCodeOf(std::u16string_view name) {
    if (name.empty() || name.size() > 2) {
        return -1;
    }
    if (name.size() == 2 && name[0] == u'0') {
        return -1;
    }
    int code = 0;
    for (char16_t unit : name) {
        if (unit < u'0' || unit > u'9') {
            return -1;
        }
        code = code * 10 + (unit - u'0');
    }
    return code;
}

}  // namespace

// Here, beside the constructors that ask at every new value.
ExecutionState* whileRunning(ExecutionState* state) noexcept {
    return state != nullptr && state->isRunning() ? state : nullptr;
}

Ref<LiveBudget> chargedBudget(ExecutionState* state) noexcept {
    return state != nullptr && state->isRunning() ? state->budget : Ref<LiveBudget>();
}

void ScriptObject::destroy(const ScriptObject* object) noexcept {
    Graveyard& yard = graveyard;
    yard.pending.push_back(object);
    if (yard.draining) {
        return;
    }
    yard.draining = true;
    while (!yard.pending.empty()) {
        const ScriptObject* next = yard.pending.back();
        yard.pending.pop_back();
        delete next;
    }
    yard.draining = false;
}

// The base protocol.

std::u16string MSRPRuntimeValue::stringValueOrError(ScriptError& error) const {
    setScriptError(error, ScriptErrorCode::noStringForm);
    return {};
}

double MSRPRuntimeValue::doubleValueOrError(ScriptError& error) const {
    setScriptError(error, ScriptErrorCode::noNumberForm);
    return std::nan("");
}

bool MSRPRuntimeValue::booleanValueOrError(ScriptError& error) const {
    setScriptError(error, ScriptErrorCode::noBooleanForm);
    return false;
}

ValueRef MSRPRuntimeValue::applyWithName(std::u16string_view name, const ValueList&, MSRPScope& scope,
                                         ScriptError& error) {
    if (name == u"toString") {
        std::u16string text = stringValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        return makeRef<MSRPStringValue>(std::move(text), scope.executionState());
    }
    setScriptError(error, ScriptErrorCode::noSuchMethod);
    return undefinedValue();
}

bool MSRPRuntimeValue::isEqualToRuntimeValue(const MSRPRuntimeValue& other) const {
    ValueWalk walk(nullptr);
    return isEqualTo(other, walk);
}

bool MSRPRuntimeValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk&) const { return this == &other; }

// Undefined and null.

MSRPUndefinedValue::MSRPUndefinedValue() : MSRPRuntimeValue(valueKind) { makeImmortal(); }

MSRPUndefinedValue* MSRPUndefinedValue::sharedInstance() {
    static MSRPUndefinedValue* const instance = new MSRPUndefinedValue();
    return instance;
}
std::u16string MSRPUndefinedValue::stringValueOrError(ScriptError&) const { return u"undefined"; }
double MSRPUndefinedValue::doubleValueOrError(ScriptError&) const { return std::nan(""); }
bool MSRPUndefinedValue::booleanValueOrError(ScriptError&) const { return false; }
ValueRef MSRPUndefinedValue::applyWithName(std::u16string_view, const ValueList&, MSRPScope&, ScriptError& error) {
    setScriptError(error, ScriptErrorCode::methodCallOnNothing);
    return undefinedValue();
}
bool MSRPUndefinedValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk&) const {
    return valueIs<MSRPUndefinedValue>(&other);
}

MSRPNullValue::MSRPNullValue() : MSRPRuntimeValue(valueKind) { makeImmortal(); }

MSRPNullValue* MSRPNullValue::sharedInstance() {
    static MSRPNullValue* const instance = new MSRPNullValue();
    return instance;
}
std::u16string MSRPNullValue::stringValueOrError(ScriptError&) const { return u"null"; }
double MSRPNullValue::doubleValueOrError(ScriptError&) const { return 0; }
bool MSRPNullValue::booleanValueOrError(ScriptError&) const { return false; }
ValueRef MSRPNullValue::applyWithName(std::u16string_view, const ValueList&, MSRPScope&, ScriptError& error) {
    setScriptError(error, ScriptErrorCode::methodCallOnNothing);
    return undefinedValue();
}
bool MSRPNullValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk&) const {
    return valueIs<MSRPNullValue>(&other);
}

// Booleans and numbers.

MSRPBooleanValue::MSRPBooleanValue(bool value) : MSRPRuntimeValue(valueKind), value_(value) { makeImmortal(); }

MSRPBooleanValue* MSRPBooleanValue::booleanValueWithBool(bool value) {
    static MSRPBooleanValue* const trueValue = new MSRPBooleanValue(true);
    static MSRPBooleanValue* const falseValue = new MSRPBooleanValue(false);
    return value ? trueValue : falseValue;
}
std::u16string MSRPBooleanValue::stringValueOrError(ScriptError&) const { return value_ ? u"true" : u"false"; }
double MSRPBooleanValue::doubleValueOrError(ScriptError&) const { return value_ ? 1 : 0; }
bool MSRPBooleanValue::booleanValueOrError(ScriptError&) const { return value_; }
bool MSRPBooleanValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk&) const {
    const auto* boolean = valueAs<MSRPBooleanValue>(&other);
    return boolean != nullptr && boolean->value_ == value_;
}

std::u16string MSRPNumberValue::stringValueOrError(ScriptError&) const { return numberToString(value_); }
double MSRPNumberValue::doubleValueOrError(ScriptError&) const { return value_; }
bool MSRPNumberValue::booleanValueOrError(ScriptError&) const { return !(value_ == 0 || std::isnan(value_)); }
bool MSRPNumberValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk&) const {
    const auto* number = valueAs<MSRPNumberValue>(&other);
    return number != nullptr && (number->value_ == value_ || (std::isnan(value_) && std::isnan(number->value_)));
}

namespace {
constexpr std::size_t numberCost = sizeof(MSRPNumberValue) + limits::allocationOverhead;
}  // namespace

MSRPNumberValue::MSRPNumberValue(double value, ExecutionState* run)
    : MSRPRuntimeValue(valueKind), value_(value), budget_(chargedBudget(run)) {
    if (budget_) {
        budget_->charge(numberCost);
    }
}
MSRPNumberValue::~MSRPNumberValue() {
    if (budget_) {
        budget_->refund(numberCost);
    }
}

// Strings.

// The text never changes after construction, so the charge and the refund
// agree.
std::size_t MSRPStringValue::cost() const noexcept {
    return sizeof(MSRPStringValue) + limits::allocationOverhead + heldTextBytes(value_);
}
MSRPStringValue::MSRPStringValue(std::u16string value, ExecutionState* run)
    : MSRPRuntimeValue(valueKind), value_(std::move(value)), run_(whileRunning(run)) {
    if (run_) {
        run_->budget->charge(cost());
    }
}
MSRPStringValue::~MSRPStringValue() {
    if (run_) {
        run_->budget->refund(cost());
    }
}
std::u16string MSRPStringValue::stringValueOrError(ScriptError&) const { return value_; }
double MSRPStringValue::doubleValueOrError(ScriptError& error) const {
    chargeWork(run_.get(), value_.size(), error);
    return stringToNumber(value_);
}
bool MSRPStringValue::booleanValueOrError(ScriptError&) const { return !value_.empty(); }
ValueRef MSRPStringValue::applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                                        ScriptError& error) {
    return evaluateStringMethod(name, *this, arguments, scope, error);
}
bool MSRPStringValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk&) const {
    const auto* string = valueAs<MSRPStringValue>(&other);
    return string != nullptr && string->value_ == value_;
}

// Property maps.

// A property map stands for its holder too (a container or a scope): every
// holder has exactly one.
MSRPPropertyMap::MSRPPropertyMap(ExecutionState* run) : budget_(chargedBudget(run)) {
    if (budget_) {
        budget_->charge(limits::containerCost);
    }
}

MSRPPropertyMap::~MSRPPropertyMap() {
    clear();
    if (budget_) {
        budget_->refund(limits::containerCost);
    }
}

std::size_t MSRPPropertyMap::entryCost(const std::u16string& name) noexcept {
    // The name is held twice once the map has an index.
    return limits::propertyEntryCost + 2 * heldTextBytes(name);
}

MSRPPropertyMap::Entry* MSRPPropertyMap::findEntry(std::u16string_view name) {
    return const_cast<Entry*>(std::as_const(*this).findEntry(name));
}

const MSRPPropertyMap::Entry* MSRPPropertyMap::findEntry(std::u16string_view name) const {
    if (index_) {
        auto found = index_->find(name);
        return found == index_->end() ? nullptr : &entries_[found->second];
    }
    for (const Entry& entry : entries_) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

MSRPRuntimeValue* MSRPPropertyMap::find(std::u16string_view name) const {
    const Entry* entry = findEntry(name);
    return entry != nullptr ? entry->value.get() : nullptr;
}

void MSRPPropertyMap::store(ValueRef value, std::u16string_view name, bool immutable) {
    if (immutable_ || !value) {
        return;
    }
    if (Entry* entry = findEntry(name)) {
        if (entry->immutable) {
            return;
        }
        entry->value = std::move(value);
        entry->immutable = immutable;
        return;
    }
    entries_.push_back(Entry{std::u16string(name), std::move(value), immutable});
    if (budget_) {
        budget_->charge(entryCost(entries_.back().name));
    }
    if (index_) {
        index_->emplace(entries_.back().name, entries_.size() - 1);
    } else if (entries_.size() > indexThreshold) {
        rebuildIndex();
    }
}

void MSRPPropertyMap::setValue(ValueRef value, std::u16string_view name) { store(std::move(value), name, false); }

void MSRPPropertyMap::setImmutableValue(ValueRef value, std::u16string_view name) {
    store(std::move(value), name, true);
}

ValueRef MSRPPropertyMap::valueForName(std::u16string_view name) const {
    MSRPRuntimeValue* value = find(name);
    return value != nullptr ? ValueRef(value) : undefinedValue();
}

void MSRPPropertyMap::removeValueForName(std::u16string_view name) {
    if (immutable_) {
        return;
    }
    Entry* entry = findEntry(name);
    if (entry == nullptr || entry->immutable) {
        return;
    }
    if (budget_) {
        budget_->refund(entryCost(entry->name));
    }
    // Moved out first: freeing the value may free other things.
    ValueRef removed = std::move(entry->value);
    entries_.erase(entries_.begin() + (entry - entries_.data()));
    if (index_) {
        rebuildIndex();
    }
}

void MSRPPropertyMap::rebuildIndex() {
    index_ = std::make_unique<std::unordered_map<std::u16string, std::size_t, NameHash, std::equal_to<>>>();
    index_->reserve(entries_.size());
    for (std::size_t position = 0; position < entries_.size(); ++position) {
        index_->emplace(entries_[position].name, position);
    }
}

std::vector<std::u16string> MSRPPropertyMap::allNames() const {
    std::vector<std::u16string> names;
    names.reserve(entries_.size());
    for (const Entry& entry : entries_) {
        names.push_back(entry.name);
    }
    return names;
}

void MSRPPropertyMap::markValues(Marker& marker) const {
    for (const Entry& entry : entries_) {
        marker.push(entry.value.get());
    }
}

void MSRPPropertyMap::clear() noexcept {
    if (budget_) {
        for (const Entry& entry : entries_) {
            budget_->refund(entryCost(entry.name));
        }
    }
    std::vector<Entry> dropped = std::move(entries_);
    entries_.clear();
    index_.reset();
    immutable_ = false;
    dropped.clear();
}

// Containers.

MSRPContainerValue::MSRPContainerValue(Kind kind, ExecutionState* run)
    : MSRPRuntimeValue(kind), run_(whileRunning(run)) {}

MSRPContainerValue::~MSRPContainerValue() {
    if (manager_ != nullptr) {
        manager_->forget(this);
    }
}

void MSRPContainerValue::sweep(std::uint64_t epoch) {
    if (markEpoch_ != epoch) {
        releaseContents();
    }
}

bool MSRPContainerValue::beginMark(const Marker& marker) noexcept {
    if (markEpoch_ == marker.epoch()) {
        return false;
    }
    markEpoch_ = marker.epoch();
    return true;
}

// Maps.

MSRPMapValue::MSRPMapValue(ExecutionState* run)
    : MSRPContainerValue(valueKind, run), propertyMap_(std::make_unique<MSRPPropertyMap>(run)) {}

bool MSRPMapValue::hasProperty(std::u16string_view name) const { return propertyMap_ && propertyMap_->hasName(name); }
void MSRPMapValue::setValue(ValueRef value, std::u16string_view name) {
    if (propertyMap_) {
        propertyMap_->setValue(std::move(value), name);
    }
}
ValueRef MSRPMapValue::valueForProperty(std::u16string_view name) const {
    return propertyMap_ ? propertyMap_->valueForName(name) : undefinedValue();
}
void MSRPMapValue::removeValueForProperty(std::u16string_view name) {
    if (propertyMap_) {
        propertyMap_->removeValueForName(name);
    }
}
std::vector<std::u16string> MSRPMapValue::allPropertyNames() const {
    return propertyMap_ ? propertyMap_->allNames() : std::vector<std::u16string>{};
}
std::u16string MSRPMapValue::stringValueOrError(ScriptError&) const { return u"[object Object]"; }
double MSRPMapValue::doubleValueOrError(ScriptError&) const { return std::nan(""); }
bool MSRPMapValue::booleanValueOrError(ScriptError&) const { return true; }

namespace {

// Method calls on maps and functions: a function-valued property, then
// "hasOwnProperty", then the base behaviour.
template <typename Container>
ValueRef applyToContainer(Container& container, std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                          ScriptError& error, bool& handled) {
    handled = true;
    if (MSRPRuntimeValue* property = container.propertyMap() ? container.propertyMap()->find(name) : nullptr) {
        Ref<MSRPFunctionValue> function(valueAs<MSRPFunctionValue>(property));
        if (!function) {
            setScriptError(error, ScriptErrorCode::noSuchMethod);
            return undefinedValue();
        }
        return function->invokeWithArguments(arguments, scope, error);
    }
    if (name == u"hasOwnProperty") {
        ValueList values = evaluateArgumentList(arguments, scope, error);
        if (error) {
            return undefinedValue();
        }
        if (!requireArgumentCount(values, 1, error)) {
            return undefinedValue();
        }
        std::u16string key = values[0]->stringValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        return booleanValue(container.hasProperty(key));
    }
    handled = false;
    return undefinedValue();
}

bool propertyMapsEqual(const MSRPPropertyMap* first, const MSRPPropertyMap* second, ExecutionState* run,
                       ValueWalk& walk) {
    std::size_t firstCount = first ? first->count() : 0;
    std::size_t secondCount = second ? second->count() : 0;
    if (firstCount != secondCount) {
        return false;
    }
    if (firstCount == 0) {
        return true;
    }
    bool equal = true;
    first->forEach([&](const std::u16string& name, const ValueRef& value) {
        if (!equal) {
            return;
        }
        chargeWork(run, 1);
        const MSRPRuntimeValue* other = second->find(name);
        equal = other != nullptr && value->isEqualTo(*other, walk);
    });
    return equal;
}

}  // namespace

ValueRef MSRPMapValue::applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                                     ScriptError& error) {
    Ref<MSRPMapValue> self(this);
    bool handled = false;
    ValueRef result = applyToContainer(*this, name, arguments, scope, error, handled);
    return handled ? result : MSRPRuntimeValue::applyWithName(name, arguments, scope, error);
}

bool MSRPMapValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const {
    if (this == &other) {
        return true;
    }
    const auto* map = valueAs<MSRPMapValue>(&other);
    if (map == nullptr) {
        return false;
    }
    DepthGuard depth(walk.depth());
    if (!depth.ok()) {
        return false;
    }
    ValueWalk::Pair pair(walk.pairs(), {this, map});
    if (pair.alreadySeen()) {
        return true;
    }
    return propertyMapsEqual(propertyMap_.get(), map->propertyMap_.get(), runState(), walk);
}

void MSRPMapValue::mark(Marker& marker) {
    if (!beginMark(marker)) {
        return;
    }
    if (propertyMap_) {
        propertyMap_->markValues(marker);
    }
}

void MSRPMapValue::releaseContents() { std::unique_ptr<MSRPPropertyMap> released = std::move(propertyMap_); }

// Functions.

MSRPFunctionValue::MSRPFunctionValue(std::u16string functionName, std::vector<std::u16string> parameterNames,
                                     ValueList statements, Ref<MSRPScope> definingScope)
    : MSRPContainerValue(valueKind, definingScope ? definingScope->executionState() : nullptr),
      functionName_(std::move(functionName)),
      parameterNames_(std::move(parameterNames)),
      statements_(std::move(statements)),
      definingScope_(std::move(definingScope)),
      propertyMap_(std::make_unique<MSRPPropertyMap>(runState())) {}

MSRPFunctionValue::~MSRPFunctionValue() = default;

bool MSRPFunctionValue::hasProperty(std::u16string_view name) const {
    return propertyMap_ && propertyMap_->hasName(name);
}
void MSRPFunctionValue::setValue(ValueRef value, std::u16string_view name) {
    if (propertyMap_) {
        propertyMap_->setValue(std::move(value), name);
    }
}
ValueRef MSRPFunctionValue::valueForProperty(std::u16string_view name) const {
    return propertyMap_ ? propertyMap_->valueForName(name) : undefinedValue();
}
void MSRPFunctionValue::removeValueForProperty(std::u16string_view name) {
    if (propertyMap_) {
        propertyMap_->removeValueForName(name);
    }
}
std::vector<std::u16string> MSRPFunctionValue::allPropertyNames() const {
    return propertyMap_ ? propertyMap_->allNames() : std::vector<std::u16string>{};
}

ValueRef MSRPFunctionValue::invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    ValueList values = evaluateArgumentList(arguments, scope, error);
    if (error) {
        return undefinedValue();
    }
    return invokeWithEvaluatedArguments(values, error);
}

ValueRef MSRPFunctionValue::invokeWithEvaluatedArguments(const ValueList& arguments, ScriptError& error) {
    Ref<MSRPFunctionValue> self(this);
    Ref<MSRPScope> callScope = definingScope_ ? definingScope_->createChildScope() : makeRef<MSRPScope>(nullptr);
    for (std::size_t position = 0; position < parameterNames_.size(); ++position) {
        callScope->addValue(position < arguments.size() ? arguments[position] : undefinedValue(),
                            parameterNames_[position]);
    }
    ValueRef result = MSRPEvaluator::executeStatements(statements_, *callScope, error);
    if (error) {
        return result;
    }
    if (const auto* control = valueAs<MSRPControlValue>(result.get());
        control != nullptr && control->type() == MSRPControlValue::Type::returnControl) {
        return control->data();
    }
    return result;
}

std::u16string MSRPFunctionValue::stringValueOrError(ScriptError&) const { return functionName_; }
double MSRPFunctionValue::doubleValueOrError(ScriptError&) const { return std::nan(""); }
bool MSRPFunctionValue::booleanValueOrError(ScriptError&) const { return true; }

ValueRef MSRPFunctionValue::applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                                          ScriptError& error) {
    Ref<MSRPFunctionValue> self(this);
    bool handled = false;
    ValueRef result = applyToContainer(*this, name, arguments, scope, error, handled);
    return handled ? result : MSRPRuntimeValue::applyWithName(name, arguments, scope, error);
}

bool MSRPFunctionValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk&) const {
    if (this == &other) {
        return true;
    }
    const auto* function = valueAs<MSRPFunctionValue>(&other);
    return function != nullptr && !functionName_.empty() && functionName_ == function->functionName_;
}

void MSRPFunctionValue::mark(Marker& marker) {
    if (!beginMark(marker)) {
        return;
    }
    if (propertyMap_) {
        propertyMap_->markValues(marker);
    }
    for (const ValueRef& statement : statements_) {
        marker.push(statement.get());
    }
    marker.push(definingScope_.get());
}

void MSRPFunctionValue::releaseContents() {
    ValueList statements = std::move(statements_);
    statements_.clear();
    Ref<MSRPScope> scope = std::move(definingScope_);
    std::unique_ptr<MSRPPropertyMap> properties = std::move(propertyMap_);
}

// Control values and statements.

MSRPControlValue::MSRPControlValue(Type type, ValueRef data)
    : MSRPRuntimeValue(valueKind), type_(type), data_(data ? std::move(data) : undefinedValue()) {}

MSRPControlValue* MSRPControlValue::breakValue() {
    static MSRPControlValue* const instance = [] {
        auto* value = new MSRPControlValue(Type::breakControl, undefinedValue());
        value->makeImmortal();
        return value;
    }();
    return instance;
}

MSRPControlValue* MSRPControlValue::continueValue() {
    static MSRPControlValue* const instance = [] {
        auto* value = new MSRPControlValue(Type::continueControl, undefinedValue());
        value->makeImmortal();
        return value;
    }();
    return instance;
}

Ref<MSRPControlValue> MSRPControlValue::returnValueWithData(ValueRef data) {
    return makeRef<MSRPControlValue>(Type::returnControl, std::move(data));
}

std::u16string_view MSRPControlValue::typeName() const noexcept {
    switch (type_) {
    case Type::breakControl:
        return u"break";
    case Type::continueControl:
        return u"continue";
    case Type::returnControl:
        break;
    }
    return u"return";
}

bool MSRPControlValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const {
    const auto* control = valueAs<MSRPControlValue>(&other);
    if (control == nullptr || control->type_ != type_) {
        return false;
    }
    DepthGuard depth(walk.depth());
    return depth.ok() && data_->isEqualTo(*control->data_, walk);
}

MSRPStatementValue::MSRPStatementValue(std::u16string functionName, ValueList arguments)
    : MSRPRuntimeValue(valueKind),
      functionName_(std::move(functionName)),
      arguments_(std::move(arguments)),
      operationCode_(operationCodeOf(functionName_)) {}

bool MSRPStatementValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const {
    const auto* statement = valueAs<MSRPStatementValue>(&other);
    if (statement == nullptr || statement->functionName_ != functionName_ ||
        statement->arguments_.size() != arguments_.size()) {
        return false;
    }
    DepthGuard depth(walk.depth());
    if (!depth.ok()) {
        return false;
    }
    for (std::size_t position = 0; position < arguments_.size(); ++position) {
        if (!arguments_[position]->isEqualTo(*statement->arguments_[position], walk)) {
            return false;
        }
    }
    return true;
}

}  // namespace kit::measurement::script

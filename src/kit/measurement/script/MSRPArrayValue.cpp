#include "kit/measurement/script/MSRPArrayValue.h"

#include "ScriptInternal.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kit::measurement::script {

namespace {

enum class KeyKind { length, index, name };

struct ArrayKey {
    KeyKind kind = KeyKind::name;
    double index = 0;  // whole and non-negative; may exceed every length
    std::u16string name;
};

// Numbers and strings reading as whole non-negative numbers are indexes;
// "length" given as a string is the length; the rest are names.
ArrayKey classifyKey(const MSRPRuntimeValue& key, ScriptError& error) {
    ArrayKey result;
    if (const auto* string = valueAs<MSRPStringValue>(&key); string != nullptr && string->value() == u"length") {
        result.kind = KeyKind::length;
        return result;
    }
    if (valueIs<MSRPNumberValue>(&key) || valueIs<MSRPStringValue>(&key)) {
        double number = key.doubleValueOrError(error);
        if (error) {
            return result;
        }
        if (std::isfinite(number) && number >= 0 && std::trunc(number) == number) {
            result.kind = KeyKind::index;
            result.index = number;
            return result;
        }
    }
    result.name = key.stringValueOrError(error);
    return result;
}

bool isHole(const ValueRef& slot) noexcept { return slot.get() == MSRPArrayValue::emptyValue(); }

// Immortal, so arrays on several threads can share it.
class HoleMarker final : public MSRPRuntimeValue {
public:
    HoleMarker() { makeImmortal(); }
};

}  // namespace

MSRPArrayValue::MSRPArrayValue()
    : MSRPContainerValue(valueKind), propertyMap_(std::make_unique<MSRPPropertyMap>()) {
    if (ExecutionState* state = ExecutionState::active()) {
        budget_ = state->budget;
    }
}

MSRPArrayValue::MSRPArrayValue(ValueList elements) : MSRPArrayValue() {
    elements_ = std::move(elements);
    rechargeBudget();
}

MSRPArrayValue::~MSRPArrayValue() {
    if (budget_) {
        budget_->refund(charged_);
    }
}

MSRPRuntimeValue* MSRPArrayValue::emptyValue() {
    static MSRPRuntimeValue* const marker = new HoleMarker();
    return marker;
}

void MSRPArrayValue::rechargeBudget() {
    if (!budget_) {
        return;
    }
    std::size_t cost = elements_.size() * limits::slotCost;
    budget_->refund(charged_);
    budget_->charge(cost);
    charged_ = cost;
}

void MSRPArrayValue::replaceSlots(ValueList slots) {
    ValueList old = std::exchange(elements_, std::move(slots));
    rechargeBudget();
}

std::u16string MSRPArrayValue::stringValueWithSeparator(std::u16string_view separator, ScriptError& error) const {
    if (elements_.empty()) {
        return {};
    }
    DepthGuard depth;
    if (!depth.check(error)) {
        return {};
    }
    TextWalk walk(this);
    if (walk.alreadySeen()) {
        return {};
    }
    Ref<MSRPArrayValue> self(const_cast<MSRPArrayValue*>(this));
    std::u16string text;
    for (std::size_t position = 0; position < elements_.size(); ++position) {
        if (position > 0) {
            text += separator;
        }
        ValueRef slot = elements_[position];
        if (!isHole(slot) && !valueIs<MSRPUndefinedValue>(slot.get()) && !valueIs<MSRPNullValue>(slot.get())) {
            std::u16string part = slot->stringValueOrError(error);
            if (error) {
                return {};
            }
            text += part;
        }
        if (!chargeWork(1 + separator.size(), error)) {
            return {};
        }
        if (text.size() > limits::maximumStringLength) {
            setScriptError(error, ScriptErrorCode::limitReached);
            return {};
        }
        if (position >= elements_.size()) {
            break;
        }
    }
    chargeWork(text.size(), error);
    return text;
}

void MSRPArrayValue::setLength(double length, ScriptError& error) {
    if (!(std::isfinite(length) && length >= 0 && std::trunc(length) == length) ||
        length > static_cast<double>(limits::maximumArrayLength)) {
        setScriptError(error, ScriptErrorCode::invalidArrayLength);
        return;
    }
    auto newLength = static_cast<std::size_t>(length);
    if (newLength > elements_.size()) {
        if (!chargeWork(newLength - elements_.size(), error)) {
            return;
        }
        elements_.resize(newLength, ValueRef(emptyValue()));
    } else {
        ValueList dropped(std::make_move_iterator(elements_.begin() + static_cast<std::ptrdiff_t>(newLength)),
                          std::make_move_iterator(elements_.end()));
        elements_.resize(newLength);
    }
    rechargeBudget();
}

ValueRef MSRPArrayValue::valueForProperty(const MSRPRuntimeValue& key, ScriptError& error) const {
    ArrayKey classified = classifyKey(key, error);
    if (error) {
        return undefinedValue();
    }
    switch (classified.kind) {
        case KeyKind::length:
            return numberValue(static_cast<double>(elements_.size()));
        case KeyKind::index:
            if (classified.index < static_cast<double>(elements_.size())) {
                const ValueRef& slot = elements_[static_cast<std::size_t>(classified.index)];
                return isHole(slot) ? undefinedValue() : slot;
            }
            return undefinedValue();
        case KeyKind::name:
            break;
    }
    return propertyMap_ ? propertyMap_->valueForName(classified.name) : undefinedValue();
}

void MSRPArrayValue::setValue(ValueRef value, const MSRPRuntimeValue& key, ScriptError& error) {
    ArrayKey classified = classifyKey(key, error);
    if (error) {
        return;
    }
    switch (classified.kind) {
        case KeyKind::length: {
            if (!isIndexValue(*value)) {
                setScriptError(error, ScriptErrorCode::invalidArrayLength);
                return;
            }
            double length = value->doubleValueOrError(error);
            if (!error) {
                setLength(length, error);
            }
            return;
        }
        case KeyKind::index: {
            if (classified.index >= static_cast<double>(limits::maximumArrayLength)) {
                setScriptError(error, ScriptErrorCode::invalidArrayLength);
                return;
            }
            auto index = static_cast<std::size_t>(classified.index);
            if (index >= elements_.size()) {
                setLength(static_cast<double>(index) + 1, error);
                if (error) {
                    return;
                }
            }
            ValueRef old = std::exchange(elements_[index], std::move(value));
            return;
        }
        case KeyKind::name:
            break;
    }
    if (propertyMap_) {
        propertyMap_->setValue(std::move(value), classified.name);
    }
}

void MSRPArrayValue::removeValueForProperty(const MSRPRuntimeValue& key, ScriptError& error) {
    ArrayKey classified = classifyKey(key, error);
    if (error) {
        return;
    }
    if (classified.kind == KeyKind::index) {
        if (classified.index < static_cast<double>(elements_.size())) {
            ValueRef old = std::exchange(elements_[static_cast<std::size_t>(classified.index)], ValueRef(emptyValue()));
        }
        return;
    }
    if (propertyMap_) {
        propertyMap_->removeValueForName(classified.kind == KeyKind::length ? u"length" : classified.name);
    }
}

bool MSRPArrayValue::hasProperty(const MSRPRuntimeValue& key, ScriptError& error) const {
    ArrayKey classified = classifyKey(key, error);
    if (error) {
        return false;
    }
    if (classified.kind == KeyKind::index) {
        return classified.index < static_cast<double>(elements_.size()) &&
               !isHole(elements_[static_cast<std::size_t>(classified.index)]);
    }
    return propertyMap_ && propertyMap_->hasName(classified.kind == KeyKind::length ? u"length" : classified.name);
}

std::vector<std::u16string> MSRPArrayValue::allPropertyNames() const {
    std::vector<std::u16string> names = propertyMap_ ? propertyMap_->allNames() : std::vector<std::u16string>{};
    chargeWork(elements_.size());
    for (std::size_t position = 0; position < elements_.size(); ++position) {
        if (!isHole(elements_[position])) {
            names.push_back(numberToString(static_cast<double>(position)));
        }
    }
    return names;
}

ValueList MSRPArrayValue::allElements() const {
    chargeWork(elements_.size());
    ValueList elements;
    elements.reserve(elements_.size());
    for (const ValueRef& slot : elements_) {
        elements.push_back(isHole(slot) ? undefinedValue() : slot);
    }
    return elements;
}

ValueList MSRPArrayValue::subarrayWithRange(Range range) const {
    std::size_t start = std::min(range.location, elements_.size());
    std::size_t length = std::min(range.length, elements_.size() - start);
    chargeWork(length);
    return ValueList(elements_.begin() + static_cast<std::ptrdiff_t>(start),
                     elements_.begin() + static_cast<std::ptrdiff_t>(start + length));
}

std::u16string MSRPArrayValue::stringValueOrError(ScriptError& error) const {
    return stringValueWithSeparator(u",", error);
}

double MSRPArrayValue::doubleValueOrError(ScriptError& error) const {
    std::u16string text = stringValueOrError(error);
    if (error) {
        return std::nan("");
    }
    return stringToNumber(text);
}

bool MSRPArrayValue::booleanValueOrError(ScriptError&) const { return true; }

ValueRef MSRPArrayValue::applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                                       ScriptError& error) {
    Ref<MSRPArrayValue> self(this);
    if (MSRPRuntimeValue* property = propertyMap_ ? propertyMap_->find(name) : nullptr) {
        Ref<MSRPFunctionValue> function(valueAs<MSRPFunctionValue>(property));
        if (!function) {
            setScriptError(error, ScriptErrorCode::noSuchMethod);
            return undefinedValue();
        }
        return function->invokeWithArguments(arguments, scope, error);
    }
    return evaluateArrayMethod(name, *this, arguments, scope, error);
}

bool MSRPArrayValue::isEqualToRuntimeValue(const MSRPRuntimeValue& other) const {
    if (this == &other) {
        return true;
    }
    const auto* array = valueAs<MSRPArrayValue>(&other);
    if (array == nullptr || array->elements_.size() != elements_.size()) {
        return false;
    }
    DepthGuard depth;
    if (!depth.ok()) {
        return false;
    }
    ComparisonPair pair(this, array);
    if (pair.alreadySeen()) {
        return true;
    }
    chargeWork(elements_.size());
    for (std::size_t position = 0; position < elements_.size() && position < array->elements_.size(); ++position) {
        if (!elements_[position]->isEqualToRuntimeValue(*array->elements_[position])) {
            return false;
        }
    }
    return elements_.size() == array->elements_.size();
}

void MSRPArrayValue::mark(Marker& marker) {
    if (!beginMark(marker)) {
        return;
    }
    if (propertyMap_) {
        propertyMap_->markValues(marker);
    }
    for (const ValueRef& slot : elements_) {
        if (slot->isContainer()) {
            marker.push(slot.get());
        }
    }
}

void MSRPArrayValue::releaseContents() {
    std::unique_ptr<MSRPPropertyMap> properties = std::move(propertyMap_);
    ValueList slots = std::move(elements_);
    elements_.clear();
    rechargeBudget();
}

}  // namespace kit::measurement::script

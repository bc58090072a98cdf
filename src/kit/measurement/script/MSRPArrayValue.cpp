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

MSRPArrayValue::MSRPArrayValue(ExecutionState* run)
    : MSRPContainerValue(valueKind, run), propertyMap_(std::make_unique<MSRPPropertyMap>(run)) {}

MSRPArrayValue::MSRPArrayValue(ValueList elements, ExecutionState* run) : MSRPArrayValue(run) {
    elements_ = std::move(elements);
    rechargeBudget();
}

MSRPArrayValue::~MSRPArrayValue() {
    if (ExecutionState* run = runState()) {
        run->budget->refund(charged_);
    }
}

MSRPRuntimeValue* MSRPArrayValue::emptyValue() {
    static MSRPRuntimeValue* const marker = new HoleMarker();
    return marker;
}

void MSRPArrayValue::rechargeBudget() {
    ExecutionState* run = runState();
    if (run == nullptr) {
        return;
    }
    std::size_t cost = elements_.size() * limits::slotCost;
    run->budget->refund(charged_);
    run->budget->charge(cost);
    charged_ = cost;
}

void MSRPArrayValue::replaceSlots(ValueList slots) {
    ValueList old = std::exchange(elements_, std::move(slots));
    rechargeBudget();
}

std::u16string MSRPArrayValue::stringValueWithSeparator(std::u16string_view separator, ScriptError& error) const {
    ValueWalk walk(runState());
    return textWithSeparator(separator, walk, error);
}

std::u16string MSRPArrayValue::textWithSeparator(std::u16string_view separator, ValueWalk& walk,
                                                 ScriptError& error) const {
    if (elements_.empty()) {
        return {};
    }
    DepthGuard depth(walk.depth());
    if (!depth.check(error)) {
        return {};
    }
    ValueWalk::Text text(walk.texts(), this);
    if (text.alreadySeen()) {
        return {};
    }
    Ref<MSRPArrayValue> self(const_cast<MSRPArrayValue*>(this));
    std::u16string result;
    for (std::size_t position = 0; position < elements_.size(); ++position) {
        if (position > 0) {
            result += separator;
        }
        ValueRef slot = elements_[position];
        if (!isHole(slot) && !valueIs<MSRPUndefinedValue>(slot.get()) && !valueIs<MSRPNullValue>(slot.get())) {
            // Only arrays nest in a text: they go on with this walk.
            const auto* nested = valueAs<MSRPArrayValue>(slot.get());
            std::u16string part =
                nested != nullptr ? nested->textWithSeparator(u",", walk, error) : slot->stringValueOrError(error);
            if (error) {
                return {};
            }
            result += part;
        }
        if (!chargeWork(runState(), 1 + separator.size(), error)) {
            return {};
        }
        if (result.size() > limits::maximumStringLength) {
            setScriptError(error, ScriptErrorCode::limitReached);
            return {};
        }
        if (position >= elements_.size()) {
            break;
        }
    }
    chargeWork(runState(), result.size(), error);
    return result;
}

void MSRPArrayValue::setLength(double length, ScriptError& error) {
    if (!(std::isfinite(length) && length >= 0 && std::trunc(length) == length) ||
        length > static_cast<double>(limits::maximumArrayLength)) {
        setScriptError(error, ScriptErrorCode::invalidArrayLength);
        return;
    }
    auto newLength = static_cast<std::size_t>(length);
    if (newLength > elements_.size()) {
        if (!chargeWork(runState(), newLength - elements_.size(), error)) {
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
        return numberValue(static_cast<double>(elements_.size()), runState());
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
    chargeWork(runState(), elements_.size());
    for (std::size_t position = 0; position < elements_.size(); ++position) {
        if (!isHole(elements_[position])) {
            names.push_back(numberToString(static_cast<double>(position)));
        }
    }
    return names;
}

ValueList MSRPArrayValue::allElements() const {
    chargeWork(runState(), elements_.size());
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
    chargeWork(runState(), length);
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

bool MSRPArrayValue::isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const {
    if (this == &other) {
        return true;
    }
    const auto* array = valueAs<MSRPArrayValue>(&other);
    if (array == nullptr || array->elements_.size() != elements_.size()) {
        return false;
    }
    DepthGuard depth(walk.depth());
    if (!depth.ok()) {
        return false;
    }
    ValueWalk::Pair pair(walk.pairs(), {this, array});
    if (pair.alreadySeen()) {
        return true;
    }
    chargeWork(runState(), elements_.size());
    for (std::size_t position = 0; position < elements_.size() && position < array->elements_.size(); ++position) {
        if (!elements_[position]->isEqualTo(*array->elements_[position], walk)) {
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

bool MSRPArrayValue::canGrowBy(std::size_t added, ScriptError& error) const {
    if (added > limits::maximumArrayLength - std::min(elements_.size(), limits::maximumArrayLength)) {
        setScriptError(error, ScriptErrorCode::invalidArrayLength);
        return false;
    }
    return true;
}

namespace {

// One sort's comparison. The first error (from the comparator, a text
// conversion or the meter) is kept and every later pair compares equal.
class SortComparison {
public:
    SortComparison(const ValueList& slots, MSRPFunctionValue* function, ExecutionState* run)
        : slots_(slots), function_(function), run_(run) {}

    // Text forms up front, in their canonical order form: without a
    // comparator no script runs during the sort, so they cannot change, and
    // each is made once instead of per pair.
    void prepareTexts() {
        texts_.resize(slots_.size());
        for (std::size_t position = 0; position < slots_.size() && !recorded_; ++position) {
            const MSRPRuntimeValue* slot = slots_[position].get();
            if (!isHole(slots_[position]) && !valueIs<MSRPUndefinedValue>(slot)) {
                texts_[position] = canonicalOrderKey(slot->stringValueOrError(recorded_));
            }
        }
    }

    int compare(std::size_t first, std::size_t second) {
        if (recorded_) {
            return 0;
        }
        const ValueRef& a = slots_[first];
        const ValueRef& b = slots_[second];
        if (isHole(a) || isHole(b)) {
            return isHole(a) == isHole(b) ? 0 : (isHole(a) ? 1 : -1);
        }
        bool aUndefined = valueIs<MSRPUndefinedValue>(a.get());
        bool bUndefined = valueIs<MSRPUndefinedValue>(b.get());
        if (aUndefined || bUndefined) {
            return aUndefined == bUndefined ? 0 : (aUndefined ? 1 : -1);
        }
        if (function_ == nullptr) {
            if (!chargeWork(run_, 1 + std::min(texts_[first].size(), texts_[second].size()), recorded_)) {
                return 0;
            }
            int order = texts_[first].compare(texts_[second]);
            return order < 0 ? -1 : (order > 0 ? 1 : 0);
        }
        ScriptError callError;
        ValueRef answer = function_->invokeWithEvaluatedArguments(ValueList{a, b}, callError);
        double number = callError ? 0 : answer->doubleValueOrError(callError);
        if (callError) {
            recorded_ = std::move(callError);
            return 0;
        }
        return number < 0 ? -1 : (number > 0 ? 1 : 0);
    }

    ScriptError& recorded() noexcept { return recorded_; }

private:
    const ValueList& slots_;
    MSRPFunctionValue* function_;
    ExecutionState* run_;
    std::vector<std::u16string> texts_;
    ScriptError recorded_;
};

}  // namespace

void MSRPArrayValue::sortUsingFunctionValue(MSRPFunctionValue* function, MSRPScope& scope, ScriptError& error) {
    Ref<MSRPArrayValue> self(this);
    Ref<MSRPFunctionValue> keepFunction(function);
    // The copy keeps every element alive whatever the comparator does.
    const ValueList slots = elements_;
    const std::size_t count = slots.size();
    if (count < 2) {
        return;
    }
    ExecutionState* run = scope.executionState();
    SortComparison comparison(slots, function, run);
    if (function == nullptr) {
        comparison.prepareTexts();
    }
    // Bottom-up merge sort of positions: each pass touches every slot once.
    std::vector<std::size_t> order(count);
    std::vector<std::size_t> merged(count);
    for (std::size_t position = 0; position < count; ++position) {
        order[position] = position;
    }
    for (std::size_t width = 1; width < count; width *= 2) {
        for (std::size_t low = 0; low < count; low += 2 * width) {
            std::size_t middle = std::min(low + width, count);
            std::size_t high = std::min(low + 2 * width, count);
            std::size_t left = low;
            std::size_t right = middle;
            std::size_t out = low;
            while (left < middle && right < high) {
                merged[out++] = comparison.compare(order[left], order[right]) > 0 ? order[right++] : order[left++];
            }
            while (left < middle) {
                merged[out++] = order[left++];
            }
            while (right < high) {
                merged[out++] = order[right++];
            }
        }
        std::swap(order, merged);
        if (!comparison.recorded()) {
            chargeWork(run, count, comparison.recorded());
        }
    }
    ValueList sorted;
    sorted.reserve(count);
    for (std::size_t position : order) {
        sorted.push_back(slots[position]);
    }
    replaceSlots(std::move(sorted));
    if (comparison.recorded()) {
        error = std::move(comparison.recorded());
    }
}

ValueList MSRPArrayValue::spliceFrom(std::size_t start, std::size_t deleteCount, const ValueList& values,
                                     ScriptError& error) {
    const std::size_t count = elements_.size();
    start = std::min(start, count);
    deleteCount = std::min(deleteCount, count - start);
    if (values.size() > deleteCount && !canGrowBy(values.size() - deleteCount, error)) {
        return {};
    }
    if (!chargeWork(runState(), count - start + values.size(), error)) {
        return {};
    }
    auto first = elements_.begin() + static_cast<std::ptrdiff_t>(start);
    auto last = first + static_cast<std::ptrdiff_t>(deleteCount);
    ValueList removed(std::make_move_iterator(first), std::make_move_iterator(last));
    first = elements_.erase(first, last);
    elements_.insert(first, values.begin(), values.end());
    rechargeBudget();
    return removed;
}

void MSRPArrayValue::concat(const ValueRef& value, ScriptError& error) {
    if (valueIs<MSRPControlValue>(value.get())) {
        setScriptError(error, ScriptErrorCode::wrongArgumentKind);
        return;
    }
    if (const auto* array = valueAs<MSRPArrayValue>(value.get())) {
        // A copy first: the argument may be this array.
        ValueList added = array->elements_;
        if (!canGrowBy(added.size(), error) || !chargeWork(runState(), added.size(), error)) {
            return;
        }
        elements_.insert(elements_.end(), added.begin(), added.end());
    } else {
        if (!canGrowBy(1, error) || !chargeWork(runState(), 1, error)) {
            return;
        }
        elements_.push_back(value);
    }
    rechargeBudget();
}

void MSRPArrayValue::reverse() {
    chargeWork(runState(), elements_.size());
    std::reverse(elements_.begin(), elements_.end());
}

ValueRef MSRPArrayValue::removeFirstElement() {
    if (elements_.empty()) {
        return undefinedValue();
    }
    chargeWork(runState(), elements_.size());
    ValueRef first = std::move(elements_.front());
    elements_.erase(elements_.begin());
    rechargeBudget();
    return isHole(first) ? undefinedValue() : first;
}

ValueRef MSRPArrayValue::removeLastElement() {
    if (elements_.empty()) {
        return undefinedValue();
    }
    ValueRef last = std::move(elements_.back());
    elements_.pop_back();
    rechargeBudget();
    return isHole(last) ? undefinedValue() : last;
}

std::size_t MSRPArrayValue::appendElements(const ValueList& values, ScriptError& error) {
    if (!canGrowBy(values.size(), error) || !chargeWork(runState(), values.size(), error)) {
        return elements_.size();
    }
    elements_.insert(elements_.end(), values.begin(), values.end());
    rechargeBudget();
    return elements_.size();
}

std::size_t MSRPArrayValue::prependElements(const ValueList& values, ScriptError& error) {
    if (!canGrowBy(values.size(), error) || !chargeWork(runState(), elements_.size() + values.size(), error)) {
        return elements_.size();
    }
    elements_.insert(elements_.begin(), values.begin(), values.end());
    rechargeBudget();
    return elements_.size();
}

std::int64_t MSRPArrayValue::indexOfValue(const MSRPRuntimeValue& value, std::int64_t fromIndex,
                                          ScriptError& error) const {
    const auto count = static_cast<std::int64_t>(elements_.size());
    std::int64_t found = -1;
    std::int64_t position = std::clamp<std::int64_t>(fromIndex, 0, count);
    const std::int64_t start = position;
    for (; position < count; ++position) {
        const ValueRef& slot = elements_[static_cast<std::size_t>(position)];
        if (!isHole(slot) && isStrictlyEqualValue(*slot, value)) {
            found = position;
            break;
        }
    }
    if (!chargeWork(runState(), static_cast<std::uint64_t>(position - start) + 1, error)) {
        return -1;
    }
    return found;
}

std::int64_t MSRPArrayValue::lastIndexOfValue(const MSRPRuntimeValue& value, std::int64_t fromIndex,
                                              ScriptError& error) const {
    const auto count = static_cast<std::int64_t>(elements_.size());
    if (fromIndex < 0 || count == 0) {
        return -1;
    }
    std::int64_t position = std::min(fromIndex, count - 1);
    const std::int64_t start = position;
    std::int64_t found = -1;
    for (; position >= 0; --position) {
        const ValueRef& slot = elements_[static_cast<std::size_t>(position)];
        if (!isHole(slot) && isStrictlyEqualValue(*slot, value)) {
            found = position;
            break;
        }
    }
    if (!chargeWork(runState(), static_cast<std::uint64_t>(start - position) + 1, error)) {
        return -1;
    }
    return found;
}

}  // namespace kit::measurement::script

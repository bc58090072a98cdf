#pragma once

#include "kit/measurement/script/ScriptValues.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kit::measurement::script {

// Dense slots from index 0; a hole holds the shared emptyValue marker. At
// most limits::maximumArrayLength slots: growing beyond is error 11.
class MSRPArrayValue final : public MSRPContainerValue {
public:
    static constexpr Kind valueKind = Kind::arrayValue;
    struct Range {
        std::size_t location = 0;
        std::size_t length = 0;
    };

    // Charged to the given run while it runs (none for arrays made outside
    // the interpreter); the array's own operations charge their work to it.
    explicit MSRPArrayValue(ExecutionState* run = nullptr);
    explicit MSRPArrayValue(ValueList elements, ExecutionState* run = nullptr);
    ~MSRPArrayValue() override;

    // The hole marker, one plain value per process.
    static MSRPRuntimeValue* emptyValue();

    std::size_t count() const noexcept { return elements_.size(); }
    const ValueList& slots() const noexcept { return elements_; }
    std::u16string stringValueWithSeparator(std::u16string_view separator, ScriptError& error) const;
    // Shorter drops slots, longer appends holes; beyond the slot limit, 11.
    void setLength(double length, ScriptError& error);
    ValueRef valueForProperty(const MSRPRuntimeValue& key, ScriptError& error) const;
    void setValue(ValueRef value, const MSRPRuntimeValue& key, ScriptError& error);
    void removeValueForProperty(const MSRPRuntimeValue& key, ScriptError& error);
    bool hasProperty(const MSRPRuntimeValue& key, ScriptError& error) const;
    // Named properties first, then the index of every slot that is no hole.
    std::vector<std::u16string> allPropertyNames() const;
    // The slots, holes as undefined.
    ValueList allElements() const;
    // The slots of the range, clamped to the array.
    ValueList subarrayWithRange(Range range) const;
    MSRPPropertyMap* propertyMap() noexcept { return propertyMap_.get(); }

    std::u16string stringValueOrError(ScriptError& error) const override;
    double doubleValueOrError(ScriptError& error) const override;
    bool booleanValueOrError(ScriptError& error) const override;
    ValueRef applyWithName(std::u16string_view name, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) override;
    bool isEqualTo(const MSRPRuntimeValue& other, ValueWalk& walk) const override;
    void mark(Marker& marker) override;
    void releaseContents() override;

    // The array methods' operations. Every loop charges the slots it touches
    // to the run's work meter; growth past the slot limit is error 11.
    //
    // Sorts a copy of the slots with a merge sort, which accepts any answers
    // of a comparator (inconsistent ones, or ones that change this array),
    // then stores the n sorted slots. Holes go last, undefined just before.
    void sortUsingFunctionValue(MSRPFunctionValue* function, MSRPScope& scope, ScriptError& error);
    // Start and count are clamped; answers the removed slots.
    ValueList spliceFrom(std::size_t start, std::size_t deleteCount, const ValueList& values, ScriptError& error);
    // An array appends its slots, a control value is error 10, the rest one slot.
    void concat(const ValueRef& value, ScriptError& error);
    void reverse();
    // Undefined for a hole or an empty array.
    ValueRef removeFirstElement();
    ValueRef removeLastElement();
    // The new length.
    std::size_t appendElements(const ValueList& values, ScriptError& error);
    std::size_t prependElements(const ValueList& values, ScriptError& error);
    // -1 when no slot is strictly equal; the start is clamped to the slots.
    std::int64_t indexOfValue(const MSRPRuntimeValue& value, std::int64_t fromIndex, ScriptError& error) const;
    std::int64_t lastIndexOfValue(const MSRPRuntimeValue& value, std::int64_t fromIndex, ScriptError& error) const;

    // For the array methods: slot edits that keep the live budget true.
    void replaceSlots(ValueList slots);
    ValueList& mutableSlots() noexcept { return elements_; }
    // After edits through mutableSlots.
    void rechargeBudget();

private:
    bool canGrowBy(std::size_t added, ScriptError& error) const;
    std::u16string textWithSeparator(std::u16string_view separator, ValueWalk& walk, ScriptError& error) const;

    std::unique_ptr<MSRPPropertyMap> propertyMap_;
    ValueList elements_;
    std::size_t charged_ = 0;
};

// Array methods. The built-in methods live in one evaluator (its own file);
// this is the seam the array value calls when no property shadows the name.
ValueRef evaluateArrayMethod(std::u16string_view name, MSRPArrayValue& array, const ValueList& arguments,
                             MSRPScope& scope, ScriptError& error);

// String methods, likewise.
ValueRef evaluateStringMethod(std::u16string_view name, const MSRPStringValue& string, const ValueList& arguments,
                              MSRPScope& scope, ScriptError& error);

}  // namespace kit::measurement::script

#pragma once

#include "kit/measurement/script/ScriptValues.h"

#include <cstddef>
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

    MSRPArrayValue();
    explicit MSRPArrayValue(ValueList elements);
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
    bool isEqualToRuntimeValue(const MSRPRuntimeValue& other) const override;
    void mark(Marker& marker) override;
    void releaseContents() override;

    // For the array methods: slot edits that keep the live budget true.
    void replaceSlots(ValueList slots);
    ValueList& mutableSlots() noexcept { return elements_; }
    // After edits through mutableSlots.
    void rechargeBudget();

private:

    std::unique_ptr<MSRPPropertyMap> propertyMap_;
    ValueList elements_;
    Ref<LiveBudget> budget_;
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

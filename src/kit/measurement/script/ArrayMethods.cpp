#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/MSRPMethodEvaluators.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace kit::measurement::script {

namespace {

ValueRef fail(ScriptError& error, ScriptErrorCode code) {
    setScriptError(error, code);
    return undefinedValue();
}

bool isHole(const ValueRef& slot) noexcept { return slot.get() == MSRPArrayValue::emptyValue(); }

std::int64_t integerOf(const ValueRef& value, ScriptError& error) {
    double number = value->doubleValueOrError(error);
    return error ? 0 : toInt64Saturated(number);
}

// A position counted from the end when negative, clamped to [0, count].
std::int64_t relativePosition(std::int64_t position, std::int64_t count) {
    if (position < 0) {
        return std::max<std::int64_t>(count + position, 0);
    }
    return std::min(position, count);
}

// The one argument of the iterating methods, which must be a function.
MSRPFunctionValue* callbackArgument(const ValueList& arguments, ScriptError& error) {
    if (!requireArgumentCount(arguments, 1, error)) {
        return nullptr;
    }
    auto* function = valueAs<MSRPFunctionValue>(arguments[0].get());
    if (function == nullptr) {
        setScriptError(error, ScriptErrorCode::wrongArgumentKind);
    }
    return function;
}

// Calls the function for every index below the length read at the start
// that holds an element at the time; `act` sees each result and answers
// whether to go on. The element is held while the callback runs, whatever the
// callback does to the array.
template <typename Act>
void forEachElement(MSRPArrayValue& array, MSRPFunctionValue& function, MSRPScope& scope, ScriptError& error,
                    Act&& act) {
    Ref<MSRPArrayValue> keepArray(&array);
    Ref<MSRPFunctionValue> keepFunction(&function);
    const std::size_t count = array.count();
    for (std::size_t position = 0; position < count; ++position) {
        chargeWork(scope.executionState(), 1);
        if (position >= array.count() || isHole(array.slots()[position])) {
            continue;
        }
        ValueRef element = array.slots()[position];
        ValueRef result = function.invokeWithEvaluatedArguments(
            ValueList{element, numberValue(static_cast<double>(position), scope.executionState()), ValueRef(&array)},
            error);
        if (error || !act(position, element, result)) {
            return;
        }
    }
}

ValueRef concatMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!chargeWork(scope.executionState(), array.count(), error)) {
        return undefinedValue();
    }
    Ref<MSRPArrayValue> result = MSRPObjectManager::arrayValueWithArray(array.slots(), scope);
    for (const ValueRef& argument : arguments) {
        result->concat(argument, error);
        if (error) {
            return undefinedValue();
        }
    }
    return result;
}

template <bool stopValue>
ValueRef everyOrSome(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    MSRPFunctionValue* function = callbackArgument(arguments, error);
    if (function == nullptr) {
        return undefinedValue();
    }
    bool answer = !stopValue;
    forEachElement(array, *function, scope, error, [&](std::size_t, const ValueRef&, const ValueRef& result) {
        bool truth = result->booleanValueOrError(error);
        if (error) {
            return false;
        }
        if (truth == stopValue) {
            answer = stopValue;
            return false;
        }
        return true;
    });
    return booleanValue(answer);
}

ValueRef filterMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    MSRPFunctionValue* function = callbackArgument(arguments, error);
    if (function == nullptr) {
        return undefinedValue();
    }
    Ref<MSRPArrayValue> kept = MSRPObjectManager::arrayValueWithScope(scope);
    forEachElement(array, *function, scope, error, [&](std::size_t, const ValueRef& element, const ValueRef& result) {
        bool keep = result->booleanValueOrError(error);
        if (!error && keep) {
            kept->appendElements(ValueList{element}, error);
        }
        return !error;
    });
    return kept;
}

ValueRef forEachMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    MSRPFunctionValue* function = callbackArgument(arguments, error);
    if (function == nullptr) {
        return undefinedValue();
    }
    forEachElement(array, *function, scope, error, [](std::size_t, const ValueRef&, const ValueRef&) { return true; });
    return undefinedValue();
}

ValueRef mapMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    MSRPFunctionValue* function = callbackArgument(arguments, error);
    if (function == nullptr) {
        return undefinedValue();
    }
    if (!chargeWork(scope.executionState(), array.count(), error)) {
        return undefinedValue();
    }
    Ref<MSRPArrayValue> mapped =
        MSRPObjectManager::arrayValueWithArray(ValueList(array.count(), ValueRef(MSRPArrayValue::emptyValue())), scope);
    forEachElement(array, *function, scope, error, [&](std::size_t position, const ValueRef&, const ValueRef& result) {
        mapped->mutableSlots()[position] = result;
        return true;
    });
    return mapped;
}

ValueRef hasOwnPropertyMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope&, ScriptError& error) {
    if (!requireArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    std::u16string name = arguments[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    if (name == u"length") {
        return booleanValue(true);
    }
    bool has = array.hasProperty(*arguments[0], error);
    return error ? undefinedValue() : booleanValue(has);
}

ValueRef indexOfMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    const auto count = static_cast<std::int64_t>(array.count());
    std::int64_t start = 0;
    if (arguments.size() == 2) {
        start = integerOf(arguments[1], error);
        if (error) {
            return undefinedValue();
        }
        if (start >= count) {
            return numberValue(-1, scope.executionState());
        }
        start = relativePosition(start, count);
    }
    ValueRef value = arguments.empty() ? undefinedValue() : arguments[0];
    std::int64_t found = array.indexOfValue(*value, start, error);
    return error ? undefinedValue() : numberValue(static_cast<double>(found), scope.executionState());
}

ValueRef joinMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    std::u16string separator = u",";
    if (!arguments.empty()) {
        const MSRPRuntimeValue* given = arguments[0].get();
        separator = valueIs<MSRPUndefinedValue>(given) || valueIs<MSRPNullValue>(given)
                        ? std::u16string()
                        : given->stringValueOrError(error);
        if (error) {
            return undefinedValue();
        }
    }
    std::u16string text = array.stringValueWithSeparator(separator, error);
    return error ? undefinedValue() : makeStringValue(std::move(text), scope, error);
}

ValueRef lastIndexOfMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    const auto count = static_cast<std::int64_t>(array.count());
    std::int64_t start = count - 1;
    if (arguments.size() == 2) {
        double number = arguments[1]->doubleValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        if (!std::isnan(number)) {
            start = toInt64Saturated(number);
            if (start < 0) {
                start = count + start;
            }
        }
    }
    if (start < 0) {
        return numberValue(-1, scope.executionState());
    }
    ValueRef value = arguments.empty() ? undefinedValue() : arguments[0];
    std::int64_t found = array.lastIndexOfValue(*value, std::min(start, count - 1), error);
    return error ? undefinedValue() : numberValue(static_cast<double>(found), scope.executionState());
}

ValueRef popMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope&, ScriptError& error) {
    if (!requireArgumentCount(arguments, 0, error)) {
        return undefinedValue();
    }
    return array.removeLastElement();
}

ValueRef pushMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    std::size_t length = array.appendElements(arguments, error);
    return error ? undefinedValue() : numberValue(static_cast<double>(length), scope.executionState());
}

template <bool fromTheEnd>
ValueRef reduceMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtLeastArgumentCount(arguments, 1, error) || !requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    Ref<MSRPFunctionValue> function(valueAs<MSRPFunctionValue>(arguments[0].get()));
    if (!function || (arguments.size() == 2 && valueIs<MSRPControlValue>(arguments[1].get()))) {
        return fail(error, ScriptErrorCode::wrongArgumentKind);
    }
    Ref<MSRPArrayValue> keep(&array);
    const std::size_t count = array.count();
    // Positions run 0 … count-1, or the other way; `step` counts them.
    auto positionAt = [&](std::size_t step) { return fromTheEnd ? count - 1 - step : step; };
    auto elementAt = [&](std::size_t position) -> const MSRPRuntimeValue* {
        return position < array.count() && !isHole(array.slots()[position]) ? array.slots()[position].get() : nullptr;
    };
    std::size_t step = 0;
    ValueRef accumulator;
    if (arguments.size() == 2) {
        accumulator = arguments[1];
    } else {
        for (; step < count && accumulator.get() == nullptr; ++step) {
            chargeWork(scope.executionState(), 1);
            if (const MSRPRuntimeValue* element = elementAt(positionAt(step))) {
                accumulator = ValueRef(const_cast<MSRPRuntimeValue*>(element));
            }
        }
        if (!accumulator) {
            return fail(error, ScriptErrorCode::reductionOfNothing);
        }
    }
    for (; step < count; ++step) {
        chargeWork(scope.executionState(), 1);
        std::size_t position = positionAt(step);
        const MSRPRuntimeValue* element = elementAt(position);
        if (element == nullptr) {
            continue;
        }
        accumulator = function->invokeWithEvaluatedArguments(
            ValueList{accumulator, ValueRef(const_cast<MSRPRuntimeValue*>(element)),
                      numberValue(static_cast<double>(position), scope.executionState()), ValueRef(&array)},
            error);
        if (error) {
            return undefinedValue();
        }
    }
    return accumulator;
}

ValueRef reverseMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope&, ScriptError& error) {
    if (!requireArgumentCount(arguments, 0, error)) {
        return undefinedValue();
    }
    array.reverse();
    return ValueRef(&array);
}

ValueRef shiftMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope&, ScriptError& error) {
    if (!requireArgumentCount(arguments, 0, error)) {
        return undefinedValue();
    }
    return array.removeFirstElement();
}

ValueRef sliceMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    const auto count = static_cast<std::int64_t>(array.count());
    std::int64_t start = arguments.empty() ? 0 : relativePosition(integerOf(arguments[0], error), count);
    std::int64_t end = arguments.size() < 2 ? count : relativePosition(integerOf(arguments[1], error), count);
    if (error) {
        return undefinedValue();
    }
    end = std::max(end, start);
    return MSRPObjectManager::subarrayWithArray(array, static_cast<std::size_t>(start),
                                                static_cast<std::size_t>(end - start), scope);
}

ValueRef sortMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    if (array.count() < 2) {
        return ValueRef(&array);
    }
    MSRPFunctionValue* function = nullptr;
    if (!arguments.empty()) {
        function = valueAs<MSRPFunctionValue>(arguments[0].get());
        if (function == nullptr) {
            setScriptError(error, ScriptErrorCode::wrongArgumentKind);
            return ValueRef(&array);
        }
    }
    array.sortUsingFunctionValue(function, scope, error);
    return ValueRef(&array);
}

ValueRef spliceMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (arguments.empty()) {
        return MSRPObjectManager::arrayValueWithScope(scope);
    }
    const auto count = static_cast<std::int64_t>(array.count());
    std::int64_t start = relativePosition(integerOf(arguments[0], error), count);
    std::int64_t deleteCount = count - start;
    if (!error && arguments.size() >= 2) {
        deleteCount = std::clamp<std::int64_t>(integerOf(arguments[1], error), 0, count - start);
    }
    if (error) {
        return undefinedValue();
    }
    ValueList inserted;
    if (arguments.size() > 2) {
        inserted.assign(arguments.begin() + 2, arguments.end());
    }
    ValueList removed =
        array.spliceFrom(static_cast<std::size_t>(start), static_cast<std::size_t>(deleteCount), inserted, error);
    if (error) {
        return undefinedValue();
    }
    return MSRPObjectManager::arrayValueWithArray(std::move(removed), scope);
}

ValueRef toStringMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 0, error)) {
        return undefinedValue();
    }
    std::u16string text = array.stringValueOrError(error);
    return error ? undefinedValue() : makeStringValue(std::move(text), scope, error);
}

ValueRef unshiftMethod(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    std::size_t length = array.prependElements(arguments, error);
    return error ? undefinedValue() : numberValue(static_cast<double>(length), scope.executionState());
}

constexpr MSRPArrayCommandEvaluator::Entry arrayMethods[] = {
    {u"concat", concatMethod},
    {u"every", everyOrSome<false>},
    {u"filter", filterMethod},
    {u"forEach", forEachMethod},
    {u"hasOwnProperty", hasOwnPropertyMethod},
    {u"indexOf", indexOfMethod},
    {u"join", joinMethod},
    {u"lastIndexOf", lastIndexOfMethod},
    {u"map", mapMethod},
    {u"pop", popMethod},
    {u"push", pushMethod},
    {u"reduce", reduceMethod<false>},
    {u"reduceRight", reduceMethod<true>},
    {u"reverse", reverseMethod},
    {u"shift", shiftMethod},
    {u"slice", sliceMethod},
    {u"some", everyOrSome<true>},
    {u"sort", sortMethod},
    {u"splice", spliceMethod},
    {u"toString", toStringMethod},
    {u"unshift", unshiftMethod},
};

}  // namespace

MSRPArrayCommandEvaluator::MSRPArrayCommandEvaluator() : MSRPMethodTable(arrayMethods) {}

const MSRPArrayCommandEvaluator& MSRPArrayCommandEvaluator::sharedInstance() {
    static const MSRPArrayCommandEvaluator instance;
    return instance;
}

ValueRef evaluateArrayMethod(std::u16string_view name, MSRPArrayValue& array, const ValueList& arguments,
                             MSRPScope& scope, ScriptError& error) {
    // The receiver is held: an argument statement could drop the last
    // reference to it.
    Ref<MSRPArrayValue> keep(&array);
    return MSRPArrayCommandEvaluator::sharedInstance().evaluateCommand(name, array, arguments, scope, error);
}

}  // namespace kit::measurement::script

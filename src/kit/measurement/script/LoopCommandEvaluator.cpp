#include "EvaluatorSupport.h"

#include <cstdint>
#include <string>
#include <vector>

// Loops: the handlers evaluate their parts as the loop goes.
namespace kit::measurement::script {

namespace {

using Arguments = MSRPTableCommandEvaluator::Arguments;
using Command = MSRPCommandEvaluator::Command;

enum class BodyOutcome { next, stop };

// One run of a loop body: an error, a break or a return ends the loop, with
// the return as the loop's result.
BodyOutcome runBody(const MSRPArrayValue& body, MSRPScope& scope, ScriptError& error, ValueRef& result) {
    ValueRef value = executeArrayStatements(body, scope, error);
    if (error || value.get() == MSRPControlValue::breakValue()) {
        result = undefinedValue();
        return BodyOutcome::stop;
    }
    if (isReturn(*value)) {
        result = value;
        return BodyOutcome::stop;
    }
    return BodyOutcome::next;
}

bool evaluateCondition(const ValueRef& condition, MSRPScope& scope, ScriptError& error) {
    ValueRef value = evaluate(condition, scope, error);
    if (error) {
        return false;
    }
    bool truth = value->booleanValueOrError(error);
    return !error && truth;
}

ValueRef generalLoop(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 4, error)) {
        return undefinedValue();
    }
    ValueRef flag = evaluate(arguments[2], scope, error);
    if (error) {
        return undefinedValue();
    }
    bool runFirst = flag->booleanValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    ValueRef bodyValue = evaluate(arguments[3], scope, error);
    if (error) {
        return undefinedValue();
    }
    Ref<MSRPArrayValue> body(valueAs<MSRPArrayValue>(bodyValue.get()));
    if (!body) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    ValueRef result = undefinedValue();
    if (runFirst && runBody(*body, scope, error, result) == BodyOutcome::stop) {
        return result;
    }
    while (evaluateCondition(arguments[0], scope, error)) {
        if (runBody(*body, scope, error, result) == BodyOutcome::stop) {
            return result;
        }
        evaluate(arguments[1], scope, error);
        if (error) {
            return undefinedValue();
        }
    }
    return undefinedValue();
}

// A fresh child of `scope` declaring `names` with the values `source` gives.
Ref<MSRPScope> bindingScope(MSRPScope& scope, const std::vector<std::u16string>& names, const MSRPScope& source) {
    Ref<MSRPScope> child = scope.createChildScope();
    for (const std::u16string& name : names) {
        child->addValue(source.valueForName(name), name);
    }
    return child;
}

ValueRef forLet(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 4, error)) {
        return undefinedValue();
    }
    ValueRef nameList = evaluate(arguments[0], scope, error);
    if (error) {
        return undefinedValue();
    }
    ValueRef bodyValue = evaluate(arguments[3], scope, error);
    if (error) {
        return undefinedValue();
    }
    const auto* names = valueAs<MSRPArrayValue>(nameList.get());
    Ref<MSRPArrayValue> body(valueAs<MSRPArrayValue>(bodyValue.get()));
    if (names == nullptr || !body) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    std::vector<std::u16string> variableNames;
    for (const ValueRef& name : names->allElements()) {
        variableNames.push_back(name->stringValueOrError(error));
        if (error) {
            return undefinedValue();
        }
    }
    Ref<MSRPScope> iteration = bindingScope(scope, variableNames, scope);
    if (!evaluateCondition(arguments[1], *iteration, error)) {
        return undefinedValue();
    }
    ValueRef result = undefinedValue();
    while (true) {
        if (runBody(*body, *iteration, error, result) == BodyOutcome::stop) {
            return result;
        }
        Ref<MSRPScope> next = scope.createChildScope();
        for (const std::u16string& name : variableNames) {
            next->addValue(iteration->contents().valueForName(name), name);
        }
        iteration = next;
        evaluate(arguments[2], *iteration, error);
        if (error || !evaluateCondition(arguments[1], *iteration, error)) {
            return undefinedValue();
        }
    }
}

enum class Binding { assign, constant, variable };

// The parts of a for-in or for-of statement, all evaluated first.
struct IterationParts {
    std::u16string name;
    ValueRef iterable;
    Ref<MSRPArrayValue> body;
};

bool iterationParts(const ValueList& arguments, MSRPScope& scope, ScriptError& error, IterationParts& parts) {
    ValueList values;
    if (!evaluateCountedArguments(arguments, 3, scope, values, error)) {
        return false;
    }
    parts.name = values[0]->stringValueOrError(error);
    if (error) {
        return false;
    }
    parts.iterable = values[1];
    parts.body = Ref<MSRPArrayValue>(valueAs<MSRPArrayValue>(values[2].get()));
    return true;
}

// The items of a for-in or for-of loop, fixed when the loop starts but made
// as values one at a time as the loop reaches them: a long text or array
// never stands as a million new values at once.
struct IterationItems {
    enum class Made { slots, names, units, indexes };
    Made made = Made::slots;
    ValueList slots;                     // the slots of an array (for-of)
    std::vector<std::u16string> names;   // names, before any indexes (for-in)
    std::vector<std::uint32_t> indexes;  // the array slots that are no holes (for-in)
    Ref<MSRPStringValue> text;           // the units, or their indexes, of a text

    std::size_t count() const noexcept {
        switch (made) {
        case Made::slots:
            return slots.size();
        case Made::names:
            return names.size() + indexes.size();
        case Made::units:
        case Made::indexes:
            return text->value().size();
        }
        return 0;
    }
    ValueRef item(std::size_t position, ExecutionState* run) const {
        switch (made) {
        case Made::slots:
            return slots[position];
        case Made::names:
            if (position < names.size()) {
                return makeRef<MSRPStringValue>(names[position], run);
            }
            return makeRef<MSRPStringValue>(numberToString(static_cast<double>(indexes[position - names.size()])), run);
        case Made::units:
            return makeRef<MSRPStringValue>(std::u16string(1, text->value()[position]), run);
        case Made::indexes:
            return makeRef<MSRPStringValue>(numberToString(static_cast<double>(position)), run);
        }
        return undefinedValue();
    }
};

ValueRef iterate(const IterationParts& parts, const IterationItems& items, Binding binding, MSRPScope& scope,
                 ScriptError& error) {
    ValueRef result = undefinedValue();
    ExecutionState* run = scope.executionState();
    const std::size_t count = items.count();
    for (std::size_t position = 0; position < count; ++position) {
        if (!withinBudget(run, error)) {
            return undefinedValue();
        }
        ValueRef item = items.item(position, run);
        Ref<MSRPScope> iteration(&scope);
        switch (binding) {
        case Binding::assign:
            scope.setValue(std::move(item), parts.name);
            break;
        case Binding::constant:
            iteration = scope.createChildScope();
            iteration->addImmutableValue(std::move(item), parts.name);
            break;
        case Binding::variable:
            iteration = scope.createChildScope();
            iteration->addValue(std::move(item), parts.name);
            break;
        }
        if (runBody(*parts.body, *iteration, error, result) == BodyOutcome::stop) {
            return result;
        }
    }
    return undefinedValue();
}

// The scan of a text is charged when the loop starts.
bool textItems(const MSRPStringValue& string, IterationItems::Made made, IterationItems& items, MSRPScope& scope,
               ScriptError& error) {
    if (!chargeWork(scope.executionState(), string.value().size(), error)) {
        return false;
    }
    items.made = made;
    items.text = Ref<MSRPStringValue>(const_cast<MSRPStringValue*>(&string));
    return true;
}

template <Binding binding>
ValueRef forIn(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    IterationParts parts;
    if (!iterationParts(arguments, scope, error, parts)) {
        return undefinedValue();
    }
    if (!parts.body) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    IterationItems keys;
    keys.made = IterationItems::Made::names;
    MSRPRuntimeValue* iterable = parts.iterable.get();
    if (const auto* string = valueAs<MSRPStringValue>(iterable)) {
        textItems(*string, IterationItems::Made::indexes, keys, scope, error);
    } else if (auto* array = valueAs<MSRPArrayValue>(iterable)) {
        // Named properties first, then the index of every slot that is no hole.
        if (const MSRPPropertyMap* properties = array->propertyMap()) {
            keys.names = properties->allNames();
        }
        const ValueList& slots = array->slots();
        chargeWork(scope.executionState(), slots.size());
        for (std::size_t position = 0; position < slots.size(); ++position) {
            if (slots[position].get() != MSRPArrayValue::emptyValue()) {
                keys.indexes.push_back(static_cast<std::uint32_t>(position));
            }
        }
    } else if (const auto* map = valueAs<MSRPMapValue>(iterable)) {
        keys.names = map->allPropertyNames();
    } else if (const auto* function = valueAs<MSRPFunctionValue>(iterable)) {
        keys.names = function->allPropertyNames();
    }
    if (error) {
        return undefinedValue();
    }
    return iterate(parts, keys, binding, scope, error);
}

template <Binding binding>
ValueRef forOf(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    IterationParts parts;
    if (!iterationParts(arguments, scope, error, parts)) {
        return undefinedValue();
    }
    IterationItems items;
    if (const auto* string = valueAs<MSRPStringValue>(parts.iterable.get())) {
        textItems(*string, IterationItems::Made::units, items, scope, error);
    } else if (const auto* array = valueAs<MSRPArrayValue>(parts.iterable.get())) {
        items.slots = array->allElements();
    } else {
        return failWith(error, ScriptErrorCode::notIterable);
    }
    if (error) {
        return undefinedValue();
    }
    if (!parts.body) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    return iterate(parts, items, binding, scope, error);
}

constexpr Command loopCommands[] = {
    {u"42", generalLoop},
    {u"63", forLet},
    {u"47", forIn<Binding::assign>},
    {u"54", forIn<Binding::constant>},
    {u"55", forIn<Binding::variable>},
    {u"64", forOf<Binding::assign>},
    {u"65", forOf<Binding::constant>},
    {u"66", forOf<Binding::variable>},
};

}  // namespace

std::unique_ptr<MSRPTableCommandEvaluator> makeLoopCommandEvaluator() {
    return std::make_unique<MSRPTableCommandEvaluator>(Arguments::unevaluated, loopCommands);
}

}  // namespace kit::measurement::script

#include "EvaluatorSupport.h"

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
    if (!requireArgumentCount(arguments, 3, error)) {
        return false;
    }
    ValueList values = evaluateArgumentList(arguments, scope, error);
    if (error) {
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

ValueRef iterate(const IterationParts& parts, const ValueList& items, Binding binding, MSRPScope& scope,
                 ScriptError& error) {
    ValueRef result = undefinedValue();
    for (const ValueRef& item : items) {
        Ref<MSRPScope> iteration(&scope);
        switch (binding) {
            case Binding::assign:
                scope.setValue(item, parts.name);
                break;
            case Binding::constant:
                iteration = scope.createChildScope();
                iteration->addImmutableValue(item, parts.name);
                break;
            case Binding::variable:
                iteration = scope.createChildScope();
                iteration->addValue(item, parts.name);
                break;
        }
        if (runBody(*parts.body, *iteration, error, result) == BodyOutcome::stop) {
            return result;
        }
    }
    return undefinedValue();
}

ValueList stringItems(const std::u16string& text, bool asIndexes, ScriptError& error) {
    ValueList items;
    if (!chargeWork(text.size(), error)) {
        return items;
    }
    items.reserve(text.size());
    for (std::size_t position = 0; position < text.size(); ++position) {
        items.push_back(makeRef<MSRPStringValue>(asIndexes ? numberToString(static_cast<double>(position))
                                                          : std::u16string(1, text[position])));
    }
    return items;
}

ValueList namesAsValues(const std::vector<std::u16string>& names) {
    ValueList items;
    items.reserve(names.size());
    for (const std::u16string& name : names) {
        items.push_back(makeRef<MSRPStringValue>(name));
    }
    return items;
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
    ValueList keys;
    MSRPRuntimeValue* iterable = parts.iterable.get();
    if (const auto* string = valueAs<MSRPStringValue>(iterable)) {
        keys = stringItems(string->value(), true, error);
    } else if (const auto* array = valueAs<MSRPArrayValue>(iterable)) {
        keys = namesAsValues(array->allPropertyNames());
    } else if (const auto* map = valueAs<MSRPMapValue>(iterable)) {
        keys = namesAsValues(map->allPropertyNames());
    } else if (const auto* function = valueAs<MSRPFunctionValue>(iterable)) {
        keys = namesAsValues(function->allPropertyNames());
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
    ValueList items;
    if (const auto* string = valueAs<MSRPStringValue>(parts.iterable.get())) {
        items = stringItems(string->value(), false, error);
    } else if (const auto* array = valueAs<MSRPArrayValue>(parts.iterable.get())) {
        items = array->allElements();
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

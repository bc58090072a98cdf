#include "EvaluatorSupport.h"

// Blocks, branches, functions, method calls, break, continue and return: the
// handlers evaluate what they need, when they need it.
namespace kit::measurement::script {

namespace {

using Arguments = MSRPTableCommandEvaluator::Arguments;
using Command = MSRPCommandEvaluator::Command;

ValueRef callMethod(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    ValueList values;
    if (!evaluateCountedArguments(arguments, 3, scope, values, error)) {
        return undefinedValue();
    }
    const MSRPStringValue* name = stringArgument(values[1]);
    const auto* list = valueAs<MSRPArrayValue>(values[2].get());
    if (name == nullptr || list == nullptr) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    ValueList methodArguments = list->allElements();
    return values[0]->applyWithName(name->value(), methodArguments, scope, error);
}

ValueRef block(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    Ref<MSRPScope> child = scope.createChildScope();
    return MSRPEvaluator::executeStatements(arguments, *child, error);
}

ValueRef runStatementList(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    ValueRef list = evaluate(arguments[0], scope, error);
    if (error) {
        return undefinedValue();
    }
    const auto* array = valueAs<MSRPArrayValue>(list.get());
    if (array == nullptr) {
        return failWith(error, ScriptErrorCode::wrongArgumentKind);
    }
    return executeArrayStatements(*array, scope, error);
}

ValueRef statementListLiteral(const ValueList& arguments, MSRPScope& scope, ScriptError&) {
    return MSRPObjectManager::arrayValueWithArray(arguments, scope);
}

ValueRef sequence(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtLeastArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    ValueRef result;
    for (const ValueRef& argument : arguments) {
        result = evaluate(argument, scope, error);
        if (error) {
            return undefinedValue();
        }
        if (valueIs<MSRPControlValue>(result.get())) {
            return failWith(error, ScriptErrorCode::wrongArgumentKind);
        }
    }
    return result;
}

ValueRef branch(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (arguments.empty() || arguments.size() > 3) {
        return failWith(error, ScriptErrorCode::wrongArgumentCount);
    }
    ValueRef condition = evaluate(arguments[0], scope, error);
    if (error) {
        return undefinedValue();
    }
    bool truth = condition->booleanValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    std::size_t chosen = truth ? 1 : 2;
    if (chosen >= arguments.size()) {
        return undefinedValue();
    }
    ValueRef value = evaluate(arguments[chosen], scope, error);
    if (error) {
        return undefinedValue();
    }
    if (const auto* array = valueAs<MSRPArrayValue>(value.get())) {
        return executeArrayStatements(*array, scope, error);
    }
    return value;
}

ValueRef conditional(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 3, error)) {
        return undefinedValue();
    }
    ValueRef condition = evaluate(arguments[0], scope, error);
    if (error) {
        return undefinedValue();
    }
    bool truth = condition->booleanValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    ValueRef value = evaluate(arguments[truth ? 1 : 2], scope, error);
    return error ? undefinedValue() : value;
}

// Runs one switch body: false when the switch ends here (result set).
bool runSwitchBody(const ValueRef& body, MSRPScope& scope, ScriptError& error, ValueRef& result) {
    ValueRef value = evaluate(body, scope, error);
    if (error) {
        result = undefinedValue();
        return false;
    }
    if (value.get() == MSRPControlValue::breakValue()) {
        result = undefinedValue();
        return false;
    }
    if (valueIs<MSRPControlValue>(value.get())) {
        result = value;
        return false;
    }
    return true;
}

ValueRef switchStatement(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    ValueList values;
    if (!evaluateCountedArguments(arguments, 3, scope, values, error)) {
        return undefinedValue();
    }
    const auto* cases = valueAs<MSRPArrayValue>(values[1].get());
    const auto* bodies = valueAs<MSRPArrayValue>(values[2].get());
    // One body per case plus an optional default; anything else is refused
    // before any case runs.
    if (cases == nullptr || bodies == nullptr || bodies->count() < cases->count() ||
        bodies->count() > cases->count() + 1) {
        return failWith(error, ScriptErrorCode::wrongArgumentCount);
    }
    ValueList caseList = cases->allElements();
    ValueList bodyList = bodies->allElements();
    bool matched = false;
    ValueRef result;
    for (std::size_t position = 0; position < caseList.size(); ++position) {
        if (!matched) {
            ValueRef candidate = evaluate(caseList[position], scope, error);
            if (error) {
                return undefinedValue();
            }
            if (!isStrictlyEqualValue(*candidate, *values[0])) {
                continue;
            }
            matched = true;
        }
        if (!runSwitchBody(bodyList[position], scope, error, result)) {
            return result;
        }
    }
    if (bodyList.size() > caseList.size() && !runSwitchBody(bodyList.back(), scope, error, result)) {
        return result;
    }
    return undefinedValue();
}

ValueRef returnStatement(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (arguments.size() >= 2) {
        return failWith(error, ScriptErrorCode::wrongArgumentCount);
    }
    ValueRef data = undefinedValue();
    if (!arguments.empty()) {
        data = evaluate(arguments[0], scope, error);
        if (error) {
            return undefinedValue();
        }
    }
    return MSRPControlValue::returnValueWithData(std::move(data));
}

ValueRef breakStatement(const ValueList& arguments, MSRPScope&, ScriptError& error) {
    if (!arguments.empty()) {
        return failWith(error, ScriptErrorCode::wrongArgumentCount);
    }
    return ValueRef(MSRPControlValue::breakValue());
}

ValueRef continueStatement(const ValueList& arguments, MSRPScope&, ScriptError& error) {
    if (!arguments.empty()) {
        return failWith(error, ScriptErrorCode::wrongArgumentCount);
    }
    return ValueRef(MSRPControlValue::continueValue());
}

Ref<MSRPFunctionValue> makeFunction(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtLeastArgumentCount(arguments, 2, error)) {
        return nullptr;
    }
    std::u16string name = arguments[0]->stringValueOrError(error);
    if (error) {
        return nullptr;
    }
    ValueRef parameters = evaluate(arguments[1], scope, error);
    if (error) {
        return nullptr;
    }
    const auto* list = valueAs<MSRPArrayValue>(parameters.get());
    if (list == nullptr) {
        setScriptError(error, ScriptErrorCode::wrongArgumentKind);
        return nullptr;
    }
    std::vector<std::u16string> parameterNames;
    for (const ValueRef& parameter : list->allElements()) {
        parameterNames.push_back(parameter->stringValueOrError(error));
        if (error) {
            return nullptr;
        }
    }
    ValueList body(arguments.begin() + 2, arguments.end());
    return MSRPObjectManager::functionValueWithFunctionName(std::move(name), std::move(parameterNames), std::move(body),
                                                            scope);
}

ValueRef functionExpression(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    Ref<MSRPFunctionValue> function = makeFunction(arguments, scope, error);
    return function ? ValueRef(function) : undefinedValue();
}

ValueRef declareFunction(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    Ref<MSRPFunctionValue> function = makeFunction(arguments, scope, error);
    if (!function) {
        return undefinedValue();
    }
    scope.setValue(function, function->functionName());
    return function;
}

constexpr Command controlCommands[] = {
    {u"2", callMethod},
    {u"53", block},
    {u"5", runStatementList},
    {u"9", runStatementList},
    {u"46", statementListLiteral},
    {u"13", sequence},
    {u"22", branch},
    {u"39", conditional},
    {u"38", switchStatement},
    {u"36", returnStatement},
    {u"4", breakStatement},
    {u"6", continueStatement},
    {u"51", functionExpression},
    {u"50", declareFunction},
};

}  // namespace

std::unique_ptr<MSRPTableCommandEvaluator> makeControlCommandEvaluator() {
    return std::make_unique<MSRPTableCommandEvaluator>(Arguments::unevaluated, controlCommands);
}

}  // namespace kit::measurement::script

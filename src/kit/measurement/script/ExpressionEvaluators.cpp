#include "EvaluatorSupport.h"

#include <cmath>

// Comparison, logical, arithmetic and bitwise operations.
namespace kit::measurement::script {

namespace {

using Arguments = MSRPTableCommandEvaluator::Arguments;
using Command = MSRPCommandEvaluator::Command;

// Comparison: exactly two values, counted before they were evaluated.

ValueRef looseEqual(const ValueList& values, MSRPScope&, ScriptError& error) {
    bool equal = isLooselyEqualValue(*values[0], *values[1], error);
    return error ? undefinedValue() : booleanValue(equal);
}
ValueRef looseNotEqual(const ValueList& values, MSRPScope&, ScriptError& error) {
    bool equal = isLooselyEqualValue(*values[0], *values[1], error);
    return error ? undefinedValue() : booleanValue(!equal);
}
ValueRef strictEqual(const ValueList& values, MSRPScope&, ScriptError&) {
    return booleanValue(isStrictlyEqualValue(*values[0], *values[1]));
}
ValueRef strictNotEqual(const ValueList& values, MSRPScope&, ScriptError&) {
    return booleanValue(!isStrictlyEqualValue(*values[0], *values[1]));
}

template <bool swapped, bool orEqual>
ValueRef relation(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    int order = swapped ? compareValues(*values[1], *values[0], scope.executionState(), error)
                        : compareValues(*values[0], *values[1], scope.executionState(), error);
    if (error) {
        return undefinedValue();
    }
    return booleanValue(order == -1 || (orEqual && order == 0));
}

constexpr Command comparisonCommands[] = {
    {u"12", looseEqual},
    {u"29", looseNotEqual},
    {u"20", strictEqual},
    {u"21", strictNotEqual},
    {u"23", relation<false, false>},
    {u"24", relation<false, true>},
    {u"18", relation<true, false>},
    {u"19", relation<true, true>},
};

// Logical: unevaluated operands, the second only when needed.

template <bool isAnd>
ValueRef andOr(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    ValueRef first = evaluate(arguments[0], scope, error);
    if (error) {
        return undefinedValue();
    }
    bool truth = first->booleanValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    if (truth == isAnd) {
        ValueRef second = evaluate(arguments[1], scope, error);
        return error ? undefinedValue() : second;
    }
    return first;
}

ValueRef logicalNot(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    ValueRef value = evaluate(arguments[0], scope, error);
    if (error) {
        return undefinedValue();
    }
    bool truth = value->booleanValueOrError(error);
    return error ? undefinedValue() : booleanValue(!truth);
}

constexpr Command logicalCommands[] = {
    {u"1", andOr<true>},
    {u"30", andOr<false>},
    {u"28", logicalNot},
};

// Arithmetic: evaluated operands, counted afterwards.

bool twoNumbers(const ValueList& values, double& first, double& second, ScriptError& error) {
    if (!requireArgumentCount(values, 2, error)) {
        return false;
    }
    first = values[0]->doubleValueOrError(error);
    if (error) {
        return false;
    }
    second = values[1]->doubleValueOrError(error);
    return !error;
}

ValueRef add(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 2, error)) {
        return undefinedValue();
    }
    if (!isStringLikeValue(*values[0]) && !isStringLikeValue(*values[1])) {
        double first = values[0]->doubleValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        double second = values[1]->doubleValueOrError(error);
        return error ? undefinedValue() : numberValue(first + second, scope.executionState());
    }
    std::u16string text = values[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    std::u16string second = values[1]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    if (text.size() + second.size() > limits::maximumStringLength) {
        return failWith(error, ScriptErrorCode::limitReached);
    }
    text += second;
    return makeStringValue(std::move(text), scope, error);
}

template <double (*operation)(double, double)>
ValueRef arithmetic(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    double first = 0;
    double second = 0;
    if (!twoNumbers(values, first, second, error)) {
        return undefinedValue();
    }
    return numberValue(operation(first, second), scope.executionState());
}

double subtract(double first, double second) { return first - second; }
double multiply(double first, double second) { return first * second; }
double divide(double first, double second) { return first / second; }
double remainder(double first, double second) { return std::fmod(first, second); }

ValueRef negate(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 1, error)) {
        return undefinedValue();
    }
    double number = values[0]->doubleValueOrError(error);
    return error ? undefinedValue() : numberValue(-number, scope.executionState());
}

ValueRef passValue(const ValueList& values, MSRPScope&, ScriptError& error) {
    return requireArgumentCount(values, 1, error) ? values[0] : undefinedValue();
}

ValueRef keepFirst(const ValueList& values, MSRPScope&, ScriptError& error) {
    return requireArgumentCount(values, 2, error) ? values[0] : undefinedValue();
}

constexpr Command mathCommands[] = {
    {u"0", add},
    {u"37", arithmetic<subtract>},
    {u"26", arithmetic<multiply>},
    {u"10", arithmetic<divide>},
    {u"25", arithmetic<remainder>},
    {u"27", negate},
    {u"34", passValue},
    {u"35", passValue},
    {u"32", keepFirst},
    {u"33", keepFirst},
};

// Bitwise: 32-bit conversions of the number forms.

template <double (*operation)(double, double)>
ValueRef bitwise(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    double first = 0;
    double second = 0;
    if (!twoNumbers(values, first, second, error)) {
        return undefinedValue();
    }
    return numberValue(operation(first, second), scope.executionState());
}

double bitAnd(double first, double second) { return toInt32Value(first) & toInt32Value(second); }
double bitOr(double first, double second) { return toInt32Value(first) | toInt32Value(second); }
double bitXor(double first, double second) { return toInt32Value(first) ^ toInt32Value(second); }
double shiftLeft(double first, double second) {
    return static_cast<std::int32_t>(toUint32Value(first) << (toUint32Value(second) & 31));
}
double shiftRight(double first, double second) { return toInt32Value(first) >> (toUint32Value(second) & 31); }
double shiftRightUnsigned(double first, double second) { return toUint32Value(first) >> (toUint32Value(second) & 31); }

ValueRef bitNot(const ValueList& values, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(values, 1, error)) {
        return undefinedValue();
    }
    double number = values[0]->doubleValueOrError(error);
    return error ? undefinedValue() : numberValue(~toInt32Value(number), scope.executionState());
}

constexpr Command bitwiseCommands[] = {
    {u"56", bitwise<bitAnd>},
    {u"59", bitwise<bitOr>},
    {u"62", bitwise<bitXor>},
    {u"58", bitNot},
    {u"57", bitwise<shiftLeft>},
    {u"60", bitwise<shiftRight>},
    {u"61", bitwise<shiftRightUnsigned>},
};

}  // namespace

std::unique_ptr<MSRPTableCommandEvaluator> makeComparisonCommandEvaluator() {
    return std::make_unique<MSRPTableCommandEvaluator>(Arguments::countedThenEvaluated, comparisonCommands);
}

std::unique_ptr<MSRPTableCommandEvaluator> makeLogicalCommandEvaluator() {
    return std::make_unique<MSRPTableCommandEvaluator>(Arguments::unevaluated, logicalCommands);
}

std::unique_ptr<MSRPTableCommandEvaluator> makeMathCommandEvaluator() {
    return std::make_unique<MSRPTableCommandEvaluator>(Arguments::evaluated, mathCommands);
}

std::unique_ptr<MSRPTableCommandEvaluator> makeBitwiseCommandEvaluator() {
    return std::make_unique<MSRPTableCommandEvaluator>(Arguments::evaluated, bitwiseCommands);
}

}  // namespace kit::measurement::script

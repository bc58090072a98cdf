#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/MSRPMethodEvaluators.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

namespace kit::measurement::script {

namespace {

// The domain of regular-expression failures; the code is ICU's status.
constexpr const char* regexErrorDomain = "ICURegex";
// Backtracking is not counted as instructions, so the engine gets its own
// bounds: match steps (about 10,000 engine operations each) and backtrack
// stack bytes.
constexpr int32_t regexStepLimit = 1000;
constexpr int32_t regexStackLimit = 1 << 20;

ValueRef fail(ScriptError& error, ScriptErrorCode code) {
    setScriptError(error, code);
    return undefinedValue();
}

std::int64_t integerOf(const ValueRef& value, ScriptError& error) {
    double number = value->doubleValueOrError(error);
    return error ? 0 : toInt64Saturated(number);
}

// A position counted from the end when negative, clamped to [0, length].
std::int64_t relativePosition(std::int64_t position, std::int64_t length) {
    if (position < 0) {
        return std::max<std::int64_t>(length + position, 0);
    }
    return std::min(position, length);
}

std::u16string stringOfArgument(const ValueList& arguments, std::size_t position, ScriptError& error) {
    if (position >= arguments.size()) {
        return u"undefined";
    }
    return arguments[position]->stringValueOrError(error);
}

const UChar* units(std::u16string_view text) noexcept { return reinterpret_cast<const UChar*>(text.data()); }

ValueRef substringValue(const std::u16string& text, std::int64_t start, std::int64_t end, MSRPScope& scope,
                        ScriptError& error) {
    return makeStringValue(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)), scope,
                           error);
}

ValueRef charAtMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    std::int64_t position = arguments.empty() ? 0 : integerOf(arguments[0], error);
    if (error) {
        return undefinedValue();
    }
    if (position < 0 || position >= static_cast<std::int64_t>(text.size())) {
        return makeStringValue(std::u16string(), scope, error);
    }
    return makeStringValue(std::u16string(1, text[static_cast<std::size_t>(position)]), scope, error);
}

ValueRef concatMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    std::u16string joined = text;
    for (const ValueRef& argument : arguments) {
        std::u16string part = argument->stringValueOrError(error);
        if (error) {
            return undefinedValue();
        }
        if (part.size() > limits::maximumStringLength - std::min(joined.size(), limits::maximumStringLength)) {
            return fail(error, ScriptErrorCode::limitReached);
        }
        joined += part;
    }
    return makeStringValue(std::move(joined), scope, error);
}

ValueRef hasOwnPropertyMethod(const std::u16string& text, const ValueList& arguments, MSRPScope&, ScriptError& error) {
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
    double number = arguments[0]->doubleValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    return booleanValue(number >= 0 && std::trunc(number) == number && number < static_cast<double>(text.size()));
}

ValueRef indexOfMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    std::u16string search = stringOfArgument(arguments, 0, error);
    std::int64_t start = arguments.size() < 2 ? 0 : integerOf(arguments[1], error);
    if (error) {
        return undefinedValue();
    }
    start = std::clamp<std::int64_t>(start, 0, static_cast<std::int64_t>(text.size()));
    if (search.empty()) {
        return numberValue(-1, scope.executionState());
    }
    if (!chargeWork(scope.executionState(), text.size() - static_cast<std::size_t>(start), error)) {
        return undefinedValue();
    }
    std::size_t found = text.find(search, static_cast<std::size_t>(start));
    return numberValue(found == std::u16string::npos ? -1 : static_cast<double>(found), scope.executionState());
}

ValueRef lastIndexOfMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    const auto length = static_cast<std::int64_t>(text.size());
    std::u16string search = stringOfArgument(arguments, 0, error);
    std::int64_t start = length;
    if (!error && arguments.size() == 2) {
        double number = arguments[1]->doubleValueOrError(error);
        if (!std::isnan(number)) {
            start = toInt64Saturated(number);
        }
    }
    if (error) {
        return undefinedValue();
    }
    if (search.empty()) {
        return numberValue(-1, scope.executionState());
    }
    if (!chargeWork(scope.executionState(), text.size(), error)) {
        return undefinedValue();
    }
    std::size_t found = text.rfind(search, static_cast<std::size_t>(std::clamp<std::int64_t>(start, 0, length)));
    return numberValue(found == std::u16string::npos ? -1 : static_cast<double>(found), scope.executionState());
}

struct RegexCloser {
    void operator()(URegularExpression* regex) const noexcept { uregex_close(regex); }
};

void setRegexError(ScriptError& error, UErrorCode status) {
    error.emplace(regexErrorDomain, static_cast<int>(status),
                  std::string("Regular expression failed: ") + u_errorName(status));
}

struct RegexMatch {
    std::int64_t start = -1;  // -1: no match
    std::int64_t end = -1;
};

// The first match of the pattern in the whole text, under the step and stack
// bounds; a bad pattern or a bound reached fills the slot with ICU's status.
RegexMatch findFirstMatch(std::u16string_view pattern, std::u16string_view text, ExecutionState* run,
                          ScriptError& error) {
    RegexMatch match;
    if (!chargeWork(run, text.size() + pattern.size(), error)) {
        return match;
    }
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<URegularExpression, RegexCloser> regex(
        uregex_open(units(pattern), static_cast<int32_t>(pattern.size()), 0, &parseError, &status));
    if (U_SUCCESS(status)) {
        uregex_setTimeLimit(regex.get(), regexStepLimit, &status);
        uregex_setStackLimit(regex.get(), regexStackLimit, &status);
        uregex_setText(regex.get(), units(text), static_cast<int32_t>(text.size()), &status);
    }
    if (U_SUCCESS(status) && uregex_find(regex.get(), 0, &status) && U_SUCCESS(status)) {
        match.start = uregex_start(regex.get(), 0, &status);
        match.end = uregex_end(regex.get(), 0, &status);
    }
    if (U_FAILURE(status)) {
        setRegexError(error, status);
        return RegexMatch{};
    }
    return match;
}

ValueRef matchMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    std::u16string pattern = arguments.empty() ? std::u16string() : arguments[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    if (pattern.empty()) {
        return MSRPObjectManager::arrayValueWithArray(
            ValueList{makeRef<MSRPStringValue>(std::u16string(), scope.executionState())}, scope);
    }
    RegexMatch match = findFirstMatch(pattern, text, scope.executionState(), error);
    if (error) {
        return undefinedValue();
    }
    if (match.start < 0) {
        return nullValue();
    }
    ValueRef matched = substringValue(text, match.start, match.end, scope, error);
    if (error) {
        return undefinedValue();
    }
    return MSRPObjectManager::arrayValueWithArray(ValueList{matched}, scope);
}

ValueRef replaceMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    std::u16string search = stringOfArgument(arguments, 0, error);
    if (error) {
        return undefinedValue();
    }
    if (!chargeWork(scope.executionState(), text.size(), error)) {
        return undefinedValue();
    }
    std::size_t found = text.find(search);
    if (found == std::u16string::npos) {
        return makeStringValue(text, scope, error);
    }
    std::u16string replacement;
    if (arguments.size() == 2) {
        if (Ref<MSRPFunctionValue> function{valueAs<MSRPFunctionValue>(arguments[1].get())}) {
            ValueRef result = function->invokeWithEvaluatedArguments(
                ValueList{makeRef<MSRPStringValue>(search, scope.executionState()),
                          numberValue(static_cast<double>(found), scope.executionState()),
                          makeRef<MSRPStringValue>(text, scope.executionState())},
                error);
            if (!error) {
                replacement = result->stringValueOrError(error);
            }
        } else {
            replacement = arguments[1]->stringValueOrError(error);
        }
        if (error) {
            return undefinedValue();
        }
    } else {
        replacement = u"undefined";
    }
    if (replacement.size() > search.size() &&
        replacement.size() - search.size() >
            limits::maximumStringLength - std::min(text.size(), limits::maximumStringLength)) {
        return fail(error, ScriptErrorCode::limitReached);
    }
    std::u16string replaced = text;
    replaced.replace(found, search.size(), replacement);
    return makeStringValue(std::move(replaced), scope, error);
}

ValueRef searchMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 1, error)) {
        return undefinedValue();
    }
    std::u16string pattern = stringOfArgument(arguments, 0, error);
    if (error) {
        return undefinedValue();
    }
    if (pattern.empty()) {
        return numberValue(0, scope.executionState());
    }
    RegexMatch match = findFirstMatch(pattern, text, scope.executionState(), error);
    return error ? undefinedValue() : numberValue(static_cast<double>(match.start), scope.executionState());
}

ValueRef sliceMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    const auto length = static_cast<std::int64_t>(text.size());
    std::int64_t start = arguments.empty() ? 0 : relativePosition(integerOf(arguments[0], error), length);
    std::int64_t end = arguments.size() < 2 ? length : relativePosition(integerOf(arguments[1], error), length);
    if (error) {
        return undefinedValue();
    }
    return substringValue(text, start, std::max(start, end), scope, error);
}

ValueRef splitMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    if (text.empty() || arguments.empty()) {
        return MSRPObjectManager::arrayValueWithArray(ValueList{makeRef<MSRPStringValue>(text, scope.executionState())},
                                                      scope);
    }
    std::u16string separator = arguments[0]->stringValueOrError(error);
    std::uint64_t limit = UINT64_MAX;
    if (!error && arguments.size() == 2) {
        double number = arguments[1]->doubleValueOrError(error);
        limit = toUint32Value(number);
    }
    if (error) {
        return undefinedValue();
    }
    // The scan is charged up front; each piece, a new value, as a slot's worth
    // once they are made (at most one more than the units). The pieces are
    // live values: the budget is checked after each.
    if (!chargeWork(scope.executionState(), text.size(), error)) {
        return undefinedValue();
    }
    ValueList pieces;
    // Texts never change, so equal short pieces share one value: the empty
    // piece and each ASCII unit are made once per split.
    std::array<ValueRef, 129> common;
    auto addPiece = [&](std::u16string piece) {
        if (pieces.size() >= limits::maximumArrayLength) {
            setScriptError(error, ScriptErrorCode::invalidArrayLength);
            return false;
        }
        if (piece.empty() || (piece.size() == 1 && piece[0] < 128)) {
            ValueRef& shared = common[piece.empty() ? 128 : piece[0]];
            if (!shared) {
                shared = makeRef<MSRPStringValue>(std::move(piece), scope.executionState());
            }
            pieces.push_back(shared);
            return withinBudget(scope.executionState(), error);
        }
        pieces.push_back(makeRef<MSRPStringValue>(std::move(piece), scope.executionState()));
        return withinBudget(scope.executionState(), error);
    };
    if (separator.empty()) {
        for (std::size_t position = 0; position < text.size() && pieces.size() < limit; ++position) {
            if (!addPiece(std::u16string(1, text[position]))) {
                return undefinedValue();
            }
        }
    } else {
        std::size_t start = 0;
        while (pieces.size() < limit) {
            std::size_t found = text.find(separator, start);
            if (!addPiece(text.substr(start, found == std::u16string::npos ? std::u16string::npos : found - start))) {
                return undefinedValue();
            }
            if (found == std::u16string::npos) {
                break;
            }
            start = found + separator.size();
        }
    }
    if (!chargeWork(scope.executionState(), pieces.size() * limits::slotCost, error)) {
        return undefinedValue();
    }
    return MSRPObjectManager::arrayValueWithArray(std::move(pieces), scope);
}

ValueRef substringMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireAtMostArgumentCount(arguments, 2, error)) {
        return undefinedValue();
    }
    const auto length = static_cast<std::int64_t>(text.size());
    std::int64_t start = arguments.empty() ? 0 : integerOf(arguments[0], error);
    std::int64_t end = arguments.size() < 2 ? length : integerOf(arguments[1], error);
    if (error) {
        return undefinedValue();
    }
    start = std::clamp<std::int64_t>(start, 0, length);
    end = std::clamp<std::int64_t>(end, 0, length);
    return substringValue(text, std::min(start, end), std::max(start, end), scope, error);
}

using CaseMapping = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

// ICU's full mapping, so the length may change ("ß" becomes "SS").
ValueRef mapCase(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error,
                 CaseMapping mapping, const char* locale) {
    if (!requireArgumentCount(arguments, 0, error)) {
        return undefinedValue();
    }
    if (!chargeWork(scope.executionState(), text.size(), error)) {
        return undefinedValue();
    }
    std::u16string mapped(text.size(), u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = mapping(reinterpret_cast<UChar*>(mapped.data()), static_cast<int32_t>(mapped.size()), units(text),
                             static_cast<int32_t>(text.size()), locale, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        if (static_cast<std::size_t>(length) > limits::maximumStringLength) {
            return fail(error, ScriptErrorCode::limitReached);
        }
        mapped.assign(static_cast<std::size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        length = mapping(reinterpret_cast<UChar*>(mapped.data()), static_cast<int32_t>(mapped.size()), units(text),
                         static_cast<int32_t>(text.size()), locale, &status);
    }
    if (U_FAILURE(status)) {
        // Only allocation failures or unpaired input can end here; the
        // text is kept rather than lost.
        return makeStringValue(text, scope, error);
    }
    mapped.resize(static_cast<std::size_t>(length));
    return makeStringValue(std::move(mapped), scope, error);
}

ValueRef toLowerCaseMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) {
    return mapCase(text, arguments, scope, error, u_strToLower, "");
}

ValueRef toUpperCaseMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope,
                           ScriptError& error) {
    return mapCase(text, arguments, scope, error, u_strToUpper, "");
}

ValueRef toLocaleLowerCaseMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope,
                                 ScriptError& error) {
    return mapCase(text, arguments, scope, error, u_strToLower, currentCaseLocale().c_str());
}

ValueRef toLocaleUpperCaseMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope,
                                 ScriptError& error) {
    return mapCase(text, arguments, scope, error, u_strToUpper, currentCaseLocale().c_str());
}

ValueRef toStringMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 0, error)) {
        return undefinedValue();
    }
    return makeRef<MSRPStringValue>(text, scope.executionState());
}

ValueRef trimMethod(const std::u16string& text, const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    if (!requireArgumentCount(arguments, 0, error)) {
        return undefinedValue();
    }
    if (!chargeWork(scope.executionState(), text.size(), error)) {
        return undefinedValue();
    }
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && isTrimmedSpace(text[start])) {
        ++start;
    }
    while (end > start && isTrimmedSpace(text[end - 1])) {
        --end;
    }
    return makeStringValue(text.substr(start, end - start), scope, error);
}

constexpr MSRPStringCommandEvaluator::Entry stringMethods[] = {
    {u"charAt", charAtMethod},
    {u"concat", concatMethod},
    {u"hasOwnProperty", hasOwnPropertyMethod},
    {u"indexOf", indexOfMethod},
    {u"lastIndexOf", lastIndexOfMethod},
    {u"match", matchMethod},
    {u"replace", replaceMethod},
    {u"search", searchMethod},
    {u"slice", sliceMethod},
    {u"split", splitMethod},
    {u"substring", substringMethod},
    {u"toLowerCase", toLowerCaseMethod},
    {u"toLocaleLowerCase", toLocaleLowerCaseMethod},
    {u"toUpperCase", toUpperCaseMethod},
    {u"toLocaleUpperCase", toLocaleUpperCaseMethod},
    {u"toString", toStringMethod},
    {u"trim", trimMethod},
};

}  // namespace

std::string currentCaseLocale() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        std::string name(value);
        name = name.substr(0, name.find_first_of(".@"));
        return name == "C" || name == "POSIX" ? std::string() : name;
    }
    return {};
}

MSRPStringCommandEvaluator::MSRPStringCommandEvaluator() : MSRPMethodTable(stringMethods) {}

const MSRPStringCommandEvaluator& MSRPStringCommandEvaluator::sharedInstance() {
    static const MSRPStringCommandEvaluator instance;
    return instance;
}

ValueRef evaluateStringMethod(std::u16string_view name, const MSRPStringValue& string, const ValueList& arguments,
                              MSRPScope& scope, ScriptError& error) {
    // The receiver is held: an argument statement could drop the last
    // reference to it.
    Ref<MSRPStringValue> keep(const_cast<MSRPStringValue*>(&string));
    return MSRPStringCommandEvaluator::sharedInstance().evaluateCommand(name, string.value(), arguments, scope, error);
}

}  // namespace kit::measurement::script

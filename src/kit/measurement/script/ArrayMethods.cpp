#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/ScriptRoutines.h"

// The seam for the built-in array methods. Until their evaluator exists an
// array answers "toString" and nothing else.
namespace kit::measurement::script {

ValueRef evaluateArrayMethod(std::u16string_view name, MSRPArrayValue& array, const ValueList& arguments,
                             MSRPScope& scope, ScriptError& error) {
    if (name != u"toString") {
        setScriptError(error, ScriptErrorCode::noSuchMethod);
        return undefinedValue();
    }
    ValueList values = evaluateArgumentList(arguments, scope, error);
    if (error || !requireArgumentCount(values, 0, error)) {
        return undefinedValue();
    }
    std::u16string text = array.stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    return makeStringValue(std::move(text), error);
}

}  // namespace kit::measurement::script

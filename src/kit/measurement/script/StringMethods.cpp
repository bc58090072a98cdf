#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/ScriptRoutines.h"

// The seam for the built-in string methods. Until their evaluator exists a
// string answers "toString" and nothing else.
namespace kit::measurement::script {

ValueRef evaluateStringMethod(std::u16string_view name, const MSRPStringValue& string, const ValueList&, MSRPScope&,
                              ScriptError& error) {
    if (name != u"toString") {
        setScriptError(error, ScriptErrorCode::noSuchMethod);
        return undefinedValue();
    }
    return makeRef<MSRPStringValue>(string.value());
}

}  // namespace kit::measurement::script

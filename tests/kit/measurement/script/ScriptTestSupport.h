#pragma once

#include "ProgramNotation.h"
#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/ScriptRoutines.h"
#include "kit/measurement/script/ScriptRuntime.h"

#include <string>
#include <string_view>

namespace script_test {

using namespace kit::measurement::script;

// A value as a short text: "n:1.5", "s:text", "true", "undefined", "null",
// "map{a=n:1}", "[n:1,hole]", "fn:name", "control:return(n:1)", "stmt:13".
inline std::string describe(const MSRPRuntimeValue* value, int depth = 0) {
    if (value == nullptr) {
        return "nothing";
    }
    if (depth > 4) {
        return "...";
    }
    ScriptError ignored;
    switch (value->kind()) {
    case MSRPRuntimeValue::Kind::plain:
        return "hole";
    case MSRPRuntimeValue::Kind::undefinedValue:
        return "undefined";
    case MSRPRuntimeValue::Kind::nullValue:
        return "null";
    case MSRPRuntimeValue::Kind::booleanValue:
        return static_cast<const MSRPBooleanValue*>(value)->value() ? "true" : "false";
    case MSRPRuntimeValue::Kind::numberValue:
        return "n:" + utf8FromUtf16(value->stringValueOrError(ignored));
    case MSRPRuntimeValue::Kind::stringValue:
        return "s:" + utf8FromUtf16(static_cast<const MSRPStringValue*>(value)->value());
    case MSRPRuntimeValue::Kind::mapValue: {
        const auto* map = static_cast<const MSRPMapValue*>(value);
        std::string text = "map{";
        bool first = true;
        for (const std::u16string& name : map->allPropertyNames()) {
            text +=
                (first ? "" : ",") + utf8FromUtf16(name) + "=" + describe(map->valueForProperty(name).get(), depth + 1);
            first = false;
        }
        return text + "}";
    }
    case MSRPRuntimeValue::Kind::arrayValue: {
        const auto* array = static_cast<const MSRPArrayValue*>(value);
        std::string text = "[";
        for (std::size_t position = 0; position < array->count(); ++position) {
            text += (position ? "," : "") + describe(array->slots()[position].get(), depth + 1);
        }
        return text + "]";
    }
    case MSRPRuntimeValue::Kind::functionValue:
        return "fn:" + utf8FromUtf16(static_cast<const MSRPFunctionValue*>(value)->functionName());
    case MSRPRuntimeValue::Kind::controlValue: {
        const auto* control = static_cast<const MSRPControlValue*>(value);
        return "control:" + utf8FromUtf16(std::u16string(control->typeName())) + "(" +
               describe(control->data().get(), depth + 1) + ")";
    }
    case MSRPRuntimeValue::Kind::statementValue:
        return "stmt:" + utf8FromUtf16(static_cast<const MSRPStatementValue*>(value)->functionName());
    }
    return "?";
}

struct Outcome {
    ValueRef value;
    ScriptError error;
    // "error:N" or the described value.
    std::string text() const { return error ? "error:" + std::to_string(error->code()) : describe(value.get()); }
};

// Runs a program in the notation through the converter, like a server program.
inline Outcome run(MSRPRuntime& runtime, std::string_view program) {
    std::vector<NanoMessageInfo> entities = parseProgram(program);
    Outcome outcome;
    outcome.value = runtime.executeStatements(entities, outcome.error);
    dismantle(entities);
    return outcome;
}

inline std::string runText(std::string_view program) {
    MSRPRuntime runtime;
    return run(runtime, program).text();
}

struct ProgramCase {
    const char* program;
    const char* expected;
};

}  // namespace script_test

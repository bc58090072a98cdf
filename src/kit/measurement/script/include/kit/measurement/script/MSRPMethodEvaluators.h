#pragma once

#include "kit/measurement/script/MSRPArrayValue.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The built-in methods of arrays and strings: one table each, made once per
// process and only read afterwards.
namespace kit::measurement::script {

class MSRPArrayCommandEvaluator {
public:
    using Method = ValueRef (*)(MSRPArrayValue& array, const ValueList& arguments, MSRPScope& scope,
                                ScriptError& error);
    static const MSRPArrayCommandEvaluator& sharedInstance();

    // Unknown names are error 17; the argument statements are evaluated in
    // the scope before the method runs.
    ValueRef evaluateCommand(std::u16string_view name, MSRPArrayValue& array, const ValueList& arguments,
                             MSRPScope& scope, ScriptError& error) const;
    std::vector<std::u16string> allSupportedCommands() const;

private:
    MSRPArrayCommandEvaluator();
    std::unordered_map<std::u16string_view, Method> handlers_;
};

class MSRPStringCommandEvaluator {
public:
    using Method = ValueRef (*)(const std::u16string& text, const ValueList& arguments, MSRPScope& scope,
                                ScriptError& error);
    static const MSRPStringCommandEvaluator& sharedInstance();

    ValueRef evaluateCommand(std::u16string_view name, const std::u16string& text, const ValueList& arguments,
                             MSRPScope& scope, ScriptError& error) const;
    std::vector<std::u16string> allSupportedCommands() const;

private:
    MSRPStringCommandEvaluator();
    std::unordered_map<std::u16string_view, Method> handlers_;
};

// The locale the Locale case methods follow: the first non-empty of LC_ALL,
// LC_CTYPE and LANG without encoding and modifier; "" (the root locale) for
// "C", "POSIX" or none.
std::string currentCaseLocale();

}  // namespace kit::measurement::script

#pragma once

#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/ScriptRoutines.h"

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The built-in methods of arrays and strings: one table each, made once per
// process and only read afterwards.
namespace kit::measurement::script {

// A table of built-in methods over one kind of receiver. Unknown names are
// error 17; the argument statements are evaluated in the scope before the
// method runs.
template <typename Receiver>
class MSRPMethodTable {
public:
    using Method = ValueRef (*)(Receiver receiver, const ValueList& arguments, MSRPScope& scope, ScriptError& error);
    struct Entry {
        std::u16string_view name;
        Method method;
    };

    ValueRef evaluateCommand(std::u16string_view name, Receiver receiver, const ValueList& arguments, MSRPScope& scope,
                             ScriptError& error) const {
        auto handler = handlers_.find(name);
        if (handler == handlers_.end()) {
            setScriptError(error, ScriptErrorCode::noSuchMethod);
            return undefinedValue();
        }
        ValueList values = evaluateArgumentList(arguments, scope, error);
        if (error) {
            return undefinedValue();
        }
        return handler->second(receiver, values, scope, error);
    }

    std::vector<std::u16string> allSupportedCommands() const {
        std::vector<std::u16string> names;
        for (const Entry& entry : entries_) {
            names.emplace_back(entry.name);
        }
        return names;
    }

protected:
    // The entries outlive the table (constant arrays).
    explicit MSRPMethodTable(std::span<const Entry> entries) : entries_(entries) {
        for (const Entry& entry : entries) {
            handlers_.emplace(entry.name, entry.method);
        }
    }

private:
    std::span<const Entry> entries_;
    std::unordered_map<std::u16string_view, Method> handlers_;
};

class MSRPArrayCommandEvaluator final : public MSRPMethodTable<MSRPArrayValue&> {
public:
    static const MSRPArrayCommandEvaluator& sharedInstance();

private:
    MSRPArrayCommandEvaluator();
};

class MSRPStringCommandEvaluator final : public MSRPMethodTable<const std::u16string&> {
public:
    static const MSRPStringCommandEvaluator& sharedInstance();

private:
    MSRPStringCommandEvaluator();
};

// The locale the Locale case methods follow: the first non-empty of LC_ALL,
// LC_CTYPE and LANG without encoding and modifier; "" (the root locale) for
// "C", "POSIX" or none.
std::string currentCaseLocale();

}  // namespace kit::measurement::script

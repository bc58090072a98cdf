#pragma once

#include "platform/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace kit::measurement {

// The event as edit scripts see it: a public name, a time in seconds since
// 1970 and plain parameters. A string "_o" carries the event's origin.
class MSRPEvent {
public:
    MSRPEvent() : timestamp_(0) {}
    MSRPEvent(std::string name, double timestamp, platform::Value::Dictionary parameters)
        : name_(std::move(name)), timestamp_(timestamp), parameters_(std::move(parameters)) {}

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    double timestamp() const { return timestamp_; }
    void setTimestamp(double timestamp) { timestamp_ = timestamp; }
    const platform::Value::Dictionary& parameters() const { return parameters_; }
    platform::Value::Dictionary& parameters() { return parameters_; }

    // The parameter, or nullptr.
    const platform::Value* parameterForName(std::string_view name) const;
    bool hasParameterName(std::string_view name) const { return parameterForName(name) != nullptr; }
    // Stores `value` fitted to the kind the parameter holds now (see
    // coercedParameterValue); nothing removes the parameter.
    void setParameter(std::optional<platform::Value> value, std::string_view name);

    // Equal names, timestamps within 2^-52, and the same parameters on both
    // sides. Numbers compare by value, but an integer never equals a
    // floating-point number: 3 becoming 3.0 is an edit.
    bool isEqualToEvent(const MSRPEvent& other) const;

    // Exact equality of the stored parts (kinds included).
    bool operator==(const MSRPEvent&) const = default;

private:
    std::string name_;
    double timestamp_;
    platform::Value::Dictionary parameters_;
};

// A new parameter value fitted to the one it replaces. Numbers for "_syn",
// "_err" and "_el" are whole; a number replacing an integer becomes an
// integer (an internal "_" parameter keeps its integer); one replacing a
// string becomes its decimal text; anything else stays as given.
platform::Value coercedParameterValue(std::string_view name, const platform::Value* existing, platform::Value value);

// Parameter values compared by value: 3 equals 3.0, arrays and dictionaries
// element by element.
bool parameterValuesEqual(const platform::Value& first, const platform::Value& second);

}  // namespace kit::measurement

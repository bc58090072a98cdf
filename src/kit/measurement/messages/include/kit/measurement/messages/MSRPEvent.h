#pragma once

#include "platform/Value.h"

#include <string>
#include <string_view>

namespace kit::measurement {

// The event as edit scripts see it: a public name, a time in seconds since
// 1970 and plain parameters. A string "_o" carries the event's origin.
class MSRPEvent {
public:
    MSRPEvent(std::string name, double timestamp, platform::Value::Dictionary parameters)
        : name_(std::move(name)), timestamp_(timestamp), parameters_(std::move(parameters)) {}

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    double timestamp() const { return timestamp_; }
    void setTimestamp(double timestamp) { timestamp_ = timestamp; }
    const platform::Value::Dictionary& parameters() const { return parameters_; }
    platform::Value::Dictionary& parameters() { return parameters_; }

    bool operator==(const MSRPEvent&) const = default;

private:
    std::string name_;
    double timestamp_;
    platform::Value::Dictionary parameters_;
};

}  // namespace kit::measurement

#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "platform/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

// Experiment flags between their wire form (MSRPBFlag: slot 0 name, 1 integer,
// 2 string, 3 double, 4 Boolean value) and plain values.
namespace kit::measurement {

// The experiment manager's monitor as this layer sees it. The experiment manager
// installs its own; until then lines go to messagesLog().
class ExperimentMonitor {
public:
    virtual ~ExperimentMonitor() = default;
    virtual void logWithLevel(int level, std::int64_t messageCode, std::string_view message) = 0;
    virtual void logWithLevel(int level, std::int64_t messageCode, std::string_view message,
                              const platform::Value& context) = 0;
};

// Forwards to the monitor installed at the time of the call.
ExperimentMonitor& experimentMonitor();
// Null puts the default back. Safe from any thread.
void installExperimentMonitor(std::shared_ptr<ExperimentMonitor> monitor);

// The flag's first present value: the integer, else the double, else the string,
// else the Boolean. Nothing for no flag or no value.
std::optional<platform::Value> MSRFlagValueFromProto(const MSRPBFlag& flag);
std::optional<platform::Value> MSRFlagValueFromProto(const std::optional<MSRPBFlag>& flag);

// A flag named `name` carrying `value`: a string into slot 2, a double into slot 3,
// an integer into slot 1, a Boolean as the integer 0 or 1 into slot 1. A null or
// non-string name and any other value log to `monitor` (level 1, codes 850000 to
// 850002) and give nothing.
std::optional<MSRPBFlag> MSRFlagProtoWithNameValue(const platform::Value& name, const platform::Value& value,
                                                   ExperimentMonitor& monitor = experimentMonitor());

}  // namespace kit::measurement

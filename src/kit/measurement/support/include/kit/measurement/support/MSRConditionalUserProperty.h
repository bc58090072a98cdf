#pragma once

#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRValue.h"

#include <optional>
#include <string>

namespace kit::measurement {

// A user property set now that takes effect when its trigger event is
// logged, times out when the trigger does not come in time and expires a
// fixed time after it took effect. A value: copying copies every field.
struct MSRConditionalUserProperty {
    std::string name;    // internal user-property name
    std::string origin;  // who set it
    // Nothing means "remove".
    std::optional<MSRValue> value;
    // Empty: active at once.
    std::string triggerEventName;
    double triggerTimeout = 0;  // seconds an inactive property waits for its trigger
    double timeToLive = 0;      // seconds an active property lives
    std::optional<MSREvent> triggeredEvent;
    std::optional<MSREvent> timedOutEvent;
    std::optional<MSREvent> expiredEvent;
    double creationTimestamp = 0;  // seconds since 1970
    bool isActive = false;
    double triggeredTimestamp = 0;  // seconds since 1970

    bool operator==(const MSRConditionalUserProperty&) const = default;
};

}  // namespace kit::measurement

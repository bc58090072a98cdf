#pragma once

#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRValue.h"

#include <optional>
#include <string>

// A user property that is set now but takes effect when its trigger event is
// logged, times out when the trigger does not come in time, and expires a
// fixed time after it took effect. A plain value: copying copies every field.
namespace kit::measurement {

struct MSRConditionalUserProperty {
    std::string name;    // internal form
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
    bool active = false;
    double triggeredTimestamp = 0;  // seconds since 1970

    bool isActive() const { return active; }

    bool operator==(const MSRConditionalUserProperty&) const = default;
};

}  // namespace kit::measurement

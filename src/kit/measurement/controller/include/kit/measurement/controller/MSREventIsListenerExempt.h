#pragma once

#include "kit/measurement/support/MSREvent.h"

#include <string_view>

namespace kit::measurement {

// Ad-exposure events ("_xa", "_xu", or origin "am") are neither handed to
// the log-event interceptor nor shown to event listeners.
bool MSREventIsListenerExempt(const MSREvent& event);
bool MSREventIsListenerExempt(std::string_view origin, std::string_view name);

}  // namespace kit::measurement

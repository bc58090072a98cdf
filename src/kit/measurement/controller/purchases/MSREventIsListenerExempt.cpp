#include "kit/measurement/controller/MSREventIsListenerExempt.h"

namespace kit::measurement {

bool MSREventIsListenerExempt(std::string_view origin, std::string_view name) {
    return origin == "am" || name == "_xa" || name == "_xu";
}

bool MSREventIsListenerExempt(const MSREvent& event) { return MSREventIsListenerExempt(event.origin(), event.name()); }

}  // namespace kit::measurement

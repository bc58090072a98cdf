#include "kit/measurement/controller/MSRMeasurement.h"

// Event sampling at bundling time.
namespace kit::measurement {

std::optional<std::vector<MSRPBEvent>> MSRMeasurement::sampleEvents(std::vector<MSRPBEvent> events, platform::Error*) {
    return events;
}
bool MSRMeasurement::canEventBeSampled(const MSRPBEvent&) { return false; }
bool MSRMeasurement::isEventBundledAfterRoll(std::int64_t) { return true; }

}  // namespace kit::measurement

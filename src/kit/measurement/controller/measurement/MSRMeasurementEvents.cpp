#include "kit/measurement/controller/MSRMeasurement.h"

// Events as the facade hands them in, the default event parameters and the
// backfill of stored events.
namespace kit::measurement {

void MSRMeasurement::logEventWithOrigin(const MSREventRequest&) {}
void MSRMeasurement::logEventOnWorkerQueueWithOrigin(const MSREventRequest&) {}
void MSRMeasurement::logEventOnWorkerQueue(const MSREvent&, bool) {}
void MSRMeasurement::logEvent(const std::optional<MSREvent>&) {}
void MSRMeasurement::setDefaultEventParameters(const std::optional<platform::Value::Dictionary>&) {}
void MSRMeasurement::handleSetDefaultEventParametersOnWorkerQueue(const std::optional<platform::Value::Dictionary>&,
                                                                  bool) {}
bool MSRMeasurement::shouldBackfillEvents() { return false; }
void MSRMeasurement::backfillEventsWithParameters(const MSRParameters&, bool,
                                                  const std::function<bool(const MSREvent&)>&) {}
MSRParameters MSRMeasurement::parametersWithAddedDefaultEventParameters(const MSRParameters& parameters) {
    return parameters;
}
double MSRMeasurement::backfillStartTimestampForSessionID(std::int64_t) { return 0; }
bool MSRMeasurement::shouldBackfillSessionID(std::int64_t, const MSREvent&) { return false; }
void MSRMeasurement::backfillSessionID(std::int64_t, std::int64_t) {}
std::optional<std::string> MSRMeasurement::previousFirstOpenCount() { return std::nullopt; }
void MSRMeasurement::setPreviousFirstOpenCount(const std::optional<std::string>&) {}

}  // namespace kit::measurement

#include "kit/measurement/controller/MSRExperimentManager.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

namespace kit::measurement {

void MSREMonitor::logWithLevel(int level, std::int64_t messageCode, std::string_view message) {
    MSRMeasurementMonitor().logWithLevel(level, static_cast<std::uint64_t>(messageCode), message);
}

void MSREMonitor::logWithLevel(int level, std::int64_t messageCode, std::string_view message,
                               const platform::Value& context) {
    MSRMeasurementMonitor().logWithLevel(level, static_cast<std::uint64_t>(messageCode), message,
                                         MSRLogContext(context));
}

}  // namespace kit::measurement

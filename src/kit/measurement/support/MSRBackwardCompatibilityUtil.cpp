#include "kit/measurement/support/MSRBackwardCompatibilityUtil.h"

#include "kit/core/ClassRegistry.h"

namespace kit::measurement {

bool MSRBackwardCompatibilityUtil::disableLMRMeasurement() {
    const auto legacyClass = kit::classRegistry().lookup<MSRLegacyMeasurementClass>(MSRLegacyMeasurement::kClassName);
    if (legacyClass == nullptr) {
        return false;
    }
    const auto instance = legacyClass->sharedInstance();
    if (instance == nullptr) {
        return false;
    }
    instance->setIsEnabled(false);
    return true;
}

}  // namespace kit::measurement

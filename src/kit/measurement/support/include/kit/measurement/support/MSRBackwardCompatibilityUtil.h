#pragma once

#include <memory>
#include <string_view>

namespace kit::measurement {

// An older measurement library the host may still carry, found by name in
// kit::classRegistry(). Its collection is switched off when the engine
// starts, so one process never measures twice.
class MSRLegacyMeasurement {
public:
    static constexpr std::string_view kClassName = "LMRMeasurement";
    virtual ~MSRLegacyMeasurement() = default;
    virtual void setIsEnabled(bool enabled) = 0;
};

// The class registered under that name answers its shared instance.
class MSRLegacyMeasurementClass {
public:
    virtual ~MSRLegacyMeasurementClass() = default;
    virtual std::shared_ptr<MSRLegacyMeasurement> sharedInstance() = 0;
};

class MSRBackwardCompatibilityUtil {
public:
    // Disables the older library's shared instance; true when there was one.
    static bool disableLMRMeasurement();
};

}  // namespace kit::measurement

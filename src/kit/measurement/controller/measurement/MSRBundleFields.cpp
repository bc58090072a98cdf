#include "kit/measurement/controller/MSRMeasurement.h"

// The identity and consent fields every bundle carries, filled into the
// metadata template when an event is written and again at upload.
namespace kit::measurement {

void MSRFillBundleIdentityFields(MSRPBMeasurementBundle&, std::string_view, bool, MSRIdentity&, bool) {}
void MSRFillBundleConsentFields(MSRPBMeasurementBundle&, std::string_view, bool,
                                const std::optional<MSRPBUserAttribute>&, const MSRRemoteConfig&, bool) {}

}  // namespace kit::measurement

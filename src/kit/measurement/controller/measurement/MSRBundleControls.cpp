#include "kit/measurement/controller/MSRMeasurement.h"

// What decides which bundles travel together and which fields they lose.
namespace kit::measurement {

bool MSRBundleHasFirstOpenEvent(const MSRPBMeasurementBundle&) { return false; }
bool MSRBundlesHaveCompatibleMetadata(const MSRPBMeasurementBundle&, const MSRPBMeasurementBundle&) { return true; }
void MSRApplyDataControls(MSRPBMeasurementBundle&, const std::set<std::string, std::less<>>&, MSRIdentity&) {}
bool MSRIsAnalyticsStorageDeniedInSignals(std::string_view consentSignals) {
    return consentSignals.size() > 3 &&
           (consentSignals[3] == '0' || consentSignals[3] == 'D' || consentSignals[3] == 'd');
}

}  // namespace kit::measurement

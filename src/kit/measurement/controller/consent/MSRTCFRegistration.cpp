#include "kit/measurement/controller/MSRTCFData.h"

namespace kit::measurement {

const MSRTCFRegistration& MSRTCFRegistration::sharedInstance() {
    static const MSRTCFRegistration registration;
    return registration;
}

bool MSRTCFRegistration::hasConsentForPurposeID(int purposeID) const {
    return purposeID == 1 || purposeID == 3 || purposeID == 4;
}

bool MSRTCFRegistration::hasLegitimateInterestForPurposeID(int purposeID) const {
    return purposeID == 2 || purposeID == 7 || purposeID == 9 || purposeID == 10;
}

bool MSRTCFRegistration::hasFlexibleLegitimateInterestForPurposeID(int purposeID) const {
    return hasLegitimateInterestForPurposeID(purposeID);
}

}  // namespace kit::measurement

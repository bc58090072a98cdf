#include "kit/measurement/controller/MSRControllerServices.h"

#include "kit/measurement/controller/MSRAEU.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRIdentitySupport.h"
#include "kit/measurement/controller/MSRScreenViewReporter.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/support/MSRMonitor.h"

namespace kit::measurement {

MSRMonitor& MSRControllerServices::monitor() {
    std::call_once(monitorOnce_, [this] {
        MSRMonitor::Environment environment;
        environment.isFromAppStore = [] { return MSRAEU::isFAS(); };
        monitor_ = std::make_unique<MSRMonitor>(6, std::make_shared<MSRASLLogger>(),
                                                MSRIdentity::appMeasurementLibraryVersion(), std::move(environment));
    });
    return *monitor_;
}

bool MSRControllerServices::isFAS() { return MSRAEU::isFAS(); }

std::int64_t MSRControllerServices::appMeasurementLibraryVersion() {
    return MSRIdentity::appMeasurementLibraryVersion();
}

MSRParameters MSRControllerServices::screenParameters() {
    return MSRScreenViewReporter::sharedInstance()->screenParameters();
}

bool MSRControllerServices::isAppActive() { return MSRScreenViewReporter::sharedInstance()->isAppActive(); }

void installMeasurementControllerServices() { MeasurementServices::install(std::make_shared<MSRControllerServices>()); }

void installIdentityControllerFacts() {
    MSRControllerFacts facts;
    facts.appMeasurementLibraryVersion = [] { return MSRIdentity::appMeasurementLibraryVersion(); };
    facts.isFAS = [] { return MSRAEU::isFAS(); };
    facts.appDataConsentStatus = [] { return MSRDefaultIdentitySupport::sharedInstance()->appDataConsentStatus(); };
    installControllerFacts(facts);
}

}  // namespace kit::measurement

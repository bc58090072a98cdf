#pragma once

#include "kit/measurement/support/MeasurementServices.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace kit::measurement {

// The controller's answers to the support code: the shared monitor made
// with the engine's library version, the App Store probe of MSRAEU and the
// library version of MSRIdentity. Services the rest of the controller
// answers (remote limits, internal events, screen parameters) are added
// here as they are built; until then the defaults of MeasurementServices
// stand.
class MSRControllerServices : public MeasurementServices {
public:
    MSRMonitor& monitor() override;
    bool isFAS() override;
    std::int64_t appMeasurementLibraryVersion() override;

private:
    std::once_flag monitorOnce_;
    std::unique_ptr<MSRMonitor> monitor_;  // made once under monitorOnce_
};

// Installs MSRControllerServices into MeasurementServices.
void installMeasurementControllerServices();

// The controller facts the remote settings read, as this part of the
// controller answers them: the library version, the App Store probe and
// the platform identity library's status (-1 without it).
struct MSRIdentityFacts {
    std::function<std::int64_t()> appMeasurementLibraryVersion;
    std::function<bool()> isFAS;
    std::function<std::int64_t()> appDataConsentStatus;
};
MSRIdentityFacts identityControllerFacts();

}  // namespace kit::measurement

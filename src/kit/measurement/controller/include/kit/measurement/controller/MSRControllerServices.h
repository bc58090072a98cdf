#pragma once

#include "kit/measurement/support/MeasurementServices.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace kit::measurement {

// The controller's answers to the support code: the shared monitor made
// with the engine's library version, the App Store probe of MSRAEU and the
// library version of MSRIdentity, internal events ("_err" among them) and
// user properties queued through the facade like the application's, and the
// screen-view reporter's screen parameters and app-active flag, and the
// shared controller's remote limits, state, store, worker queue and event
// writers (the defaults while there is no shared controller).
class MSRControllerServices : public MeasurementServices {
public:
    MSRMonitor& monitor() override;
    bool isFAS() override;
    std::int64_t appMeasurementLibraryVersion() override;
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                    const MSRParameters& parameters) override;
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name, double timestamp,
                                    const MSRParameters& parameters) override;
    void setInternalUserProperty(const std::optional<MSRValue>& value, std::string_view name,
                                 std::string_view origin) override;
    MSRParameters screenParameters() override;
    bool isAppActive() override;
    MSRRemoteConfigLimits remoteConfig() override;
    bool isEnabled() override;
    MSRDatabase* database() override;
    MSRScheduler* scheduler() override;
    void writeEventOnWorkerQueue(const MSREvent& event) override;
    void writeFilteredEventOnWorkerQueue(const MSREvent& event) override;

private:
    std::once_flag monitorOnce_;
    std::unique_ptr<MSRMonitor> monitor_;  // made once under monitorOnce_
};

// Installs MSRControllerServices into MeasurementServices.
void installMeasurementControllerServices();

// Installs into the remote settings' controller facts what this part of
// the controller answers: the library version, the App Store probe and the
// platform identity library's status (-1 without it). The other facts stay.
void installIdentityControllerFacts();

}  // namespace kit::measurement

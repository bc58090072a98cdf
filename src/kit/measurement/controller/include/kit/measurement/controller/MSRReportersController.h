#pragma once

#include <memory>

// What the session, screen-view and ad-exposure reporters ask of the
// measurement controller. Events and user properties go out through
// MeasurementServices (the facade's internal entries); the rest is here.
namespace kit::measurement {

class MSRRemoteConfig;
class MSRSessionReporter;

class MSRReportersController {
public:
    virtual ~MSRReportersController() = default;

    // The controller exists and has made its components (the session
    // reporter among them).
    virtual bool didInitializeComponents() = 0;
    // The controller's session reporter; null when it has none.
    virtual std::shared_ptr<MSRSessionReporter> sessionReporter() = 0;
    // The controller's remote settings; null answers the defaults.
    virtual std::shared_ptr<MSRRemoteConfig> remoteConfig() = 0;

    // The controller installs itself when it starts (tests a recording
    // fake); null means there is no controller.
    static void install(std::shared_ptr<MSRReportersController> controller);
    static std::shared_ptr<MSRReportersController> current();
};

// The remote settings the reporters read at each use: the controller's,
// else the defaults.
std::shared_ptr<MSRRemoteConfig> MSRReportersRemoteConfig();

}  // namespace kit::measurement

#pragma once

#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/support/MSRValue.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

// The one seam through which the measurement support code reaches the
// controller: the shared monitor and the facts of the install, the remote
// limits, internal events and user properties, the screen and app state,
// and the store, scheduler and write path of the running engine. The
// controller installs its own; tests install fakes. Until one is
// installed, a default stands in: a monitor made on first use over the SDK
// log, no App Store installation, default limits and no engine.
namespace kit::measurement {

class MSRDatabase;
class MSREvent;
class MSRMonitor;
class MSRScheduler;

// The remote limits the event rules read, at each call. The remote
// settings will answer them; until then the defaults stand.
struct MSRRemoteConfigLimits {
    int maxPublicEventParams = 100;
    int maxItemScopedCustomParameters = 27;
    int maxPublicEventParameterValueLength = 500;
    // Audiences per configuration, filters per audience (which also bounds
    // filter IDs), parameter filters per event filter, stored results.
    int maxAudienceCount = 100;
    int maxFiltersPerAudience = 10;
    int maxParametersPerFilter = 25;
    int maxFilterResultCount = 200;

    // Storage: rows of raw events kept, the age past which raw events and
    // bundles go, and how often that deletion runs (seconds).
    std::int64_t maxEventsStored = 100000;
    double maxQueueTime = 2419200;
    double databaseDeleteStaleBundlesInterval = 86400;

    int maxInternalEventParameterValueLength() const { return std::max(256, maxPublicEventParameterValueLength); }
};

class MeasurementServices {
public:
    virtual ~MeasurementServices() = default;

    // The engine's one monitor; the same object on every call.
    virtual MSRMonitor& monitor() = 0;
    // FAS: installed from the App Store.
    virtual bool isFAS() = 0;
    virtual std::int64_t appMeasurementLibraryVersion() = 0;
    // The current remote limits; the default answers the defaults.
    virtual MSRRemoteConfigLimits remoteConfig() { return {}; }
    // Queues an internal event of the engine ("_err" among them); without a
    // controller there is nobody to take it.
    virtual void logInternalEventWithOrigin(std::string_view /*origin*/, std::string_view /*name*/,
                                            const MSRParameters& /*parameters*/) {}
    // The same at a given time (seconds since 1970), as a screen view's
    // event is logged at the time of the application's call.
    virtual void logInternalEventWithOrigin(std::string_view origin, std::string_view name, double /*timestamp*/,
                                            const MSRParameters& parameters) {
        logInternalEventWithOrigin(origin, name, parameters);
    }
    // Queues an internal user property ("_sid", "_sno"); none removes it.
    virtual void setInternalUserProperty(const std::optional<MSRValue>& /*value*/, std::string_view /*name*/,
                                         std::string_view /*origin*/) {}
    // "_si", "_sc" and "_sn" of the screen on show; empty when none is tracked.
    virtual MSRParameters screenParameters() { return {}; }
    // Whether the application is active, as the screen-view reporter tracks
    // it; until one is installed nothing is known to be active.
    virtual bool isAppActive() { return false; }

    // The controller's state and its storage; without a controller there is
    // neither database nor worker queue. isEnabled answers the controller
    // fact of the same name unless overridden, so both seams agree.
    virtual bool isEnabled();
    virtual MSRDatabase* database() { return nullptr; }
    virtual MSRScheduler* scheduler() { return nullptr; }
    // The full event pipeline on the worker queue, and the part of it past
    // the conditional user properties.
    virtual void writeEventOnWorkerQueue(const MSREvent& /*event*/) {}
    virtual void writeFilteredEventOnWorkerQueue(const MSREvent& /*event*/) {}

    // The installed services, else the default.
    static MeasurementServices& current();
    // Installs `services`; null goes back to the default (made afresh).
    static void install(std::shared_ptr<MeasurementServices> services);
};

// The current services' monitor: how every line of the engine is logged.
MSRMonitor& MSRMeasurementMonitor();

// The engine-wide app-active test of the session, ad-exposure and
// controller code.
bool MSRIsAppActive();

}  // namespace kit::measurement

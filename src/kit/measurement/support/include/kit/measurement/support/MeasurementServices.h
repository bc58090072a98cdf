#pragma once

#include <cstdint>
#include <memory>

// The one seam through which the measurement support code reaches the
// controller's services: the shared monitor, the App Store probe and the
// library version. The controller installs its own; tests install fakes.
// Until one is installed, a default stands in: a monitor made on first use
// over the SDK log, and no App Store installation.
namespace kit::measurement {

class MSRMonitor;

inline constexpr std::int64_t kMSRDefaultLibraryVersion = 110900;

class MeasurementServices {
public:
    virtual ~MeasurementServices() = default;

    // The engine's one monitor; the same object on every call.
    virtual MSRMonitor& monitor() = 0;
    // Installed from the App Store.
    virtual bool isFAS() = 0;
    virtual std::int64_t appMeasurementLibraryVersion() = 0;

    // The installed services, else the default.
    static MeasurementServices& current();
    // Installs `services`; null goes back to the default (made afresh).
    static void install(std::shared_ptr<MeasurementServices> services);
};

// The current services' monitor: how every line of the engine is logged.
MSRMonitor& MSRMeasurementMonitor();

}  // namespace kit::measurement

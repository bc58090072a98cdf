#include "kit/measurement/support/MeasurementServices.h"

#include "kit/core/KitContext.h"
#include "kit/measurement/support/MSRMonitor.h"

#include <mutex>
#include <vector>

namespace kit::measurement {

namespace {

// Stands in until the controller installs its services.
class DefaultServices final : public MeasurementServices {
public:
    MSRMonitor& monitor() override {
        std::call_once(once_, [this] {
            MSRMonitor::Environment environment;
            environment.isFromAppStore = [this] { return isFAS(); };
            monitor_ = std::make_unique<MSRMonitor>(6, std::make_shared<MSRASLLogger>(), appMeasurementLibraryVersion(),
                                                    std::move(environment));
        });
        return *monitor_;
    }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return kMSRDefaultLibraryVersion; }

private:
    std::once_flag once_;
    std::unique_ptr<MSRMonitor> monitor_;
};

// The services of one kit context. The context stops every queue before it
// releases them, so no block logs through services that are gone.
struct Registry {
    std::mutex mutex;
    std::shared_ptr<MeasurementServices> current;  // guarded by mutex
    // Replaced services stay alive with the context: callers may still hold
    // references.
    std::vector<std::shared_ptr<MeasurementServices>> retired;  // guarded by mutex
};

Registry& registry() { return KitContext::current().service<Registry>(); }

}  // namespace

MeasurementServices& MeasurementServices::current() {
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    if (!shared.current) {
        shared.current = std::make_shared<DefaultServices>();
    }
    return *shared.current;
}

void MeasurementServices::install(std::shared_ptr<MeasurementServices> services) {
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    if (shared.current) {
        shared.retired.push_back(std::move(shared.current));
    }
    shared.current = std::move(services);
}

bool MeasurementServices::isEnabled() { return currentControllerFacts().isEnabled(); }

MSRMonitor& MSRMeasurementMonitor() { return MeasurementServices::current().monitor(); }

bool MSRIsAppActive() { return MeasurementServices::current().isAppActive(); }

}  // namespace kit::measurement

#include "kit/measurement/messages/MSREventEditingInstance.h"
#include "kit/core/KitContext.h"

#include <mutex>

namespace kit::measurement {
namespace {

// The installed factory of one kit context.
struct InstalledFactory {
    std::mutex mutex;
    MSREventEditingFactory factory;  // guarded by mutex
};

InstalledFactory& installed() { return KitContext::current().service<InstalledFactory>(); }

}  // namespace

void installEventEditingFactory(MSREventEditingFactory factory) {
    InstalledFactory& shared = installed();
    std::lock_guard lock(shared.mutex);
    shared.factory = std::move(factory);
}

std::shared_ptr<MSREventEditingInstance> makeEventEditingInstance(MSREventEditingModules modules) {
    MSREventEditingFactory factory;
    {
        InstalledFactory& shared = installed();
        std::lock_guard lock(shared.mutex);
        factory = shared.factory;
    }
    return factory ? factory(std::move(modules)) : nullptr;
}

}  // namespace kit::measurement

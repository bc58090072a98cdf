#include "kit/measurement/messages/MSREventEditingInstance.h"

#include <mutex>

namespace kit::measurement {
namespace {

std::mutex& factoryMutex() {
    static std::mutex mutex;
    return mutex;
}

MSREventEditingFactory& installedFactory() {
    static auto* factory = new MSREventEditingFactory;  // never destroyed: read during exit
    return *factory;
}

}  // namespace

void installEventEditingFactory(MSREventEditingFactory factory) {
    std::lock_guard lock(factoryMutex());
    installedFactory() = std::move(factory);
}

std::shared_ptr<MSREventEditingInstance> makeEventEditingInstance(MSREventEditingModules modules) {
    MSREventEditingFactory factory;
    {
        std::lock_guard lock(factoryMutex());
        factory = installedFactory();
    }
    return factory ? factory(std::move(modules)) : nullptr;
}

}  // namespace kit::measurement

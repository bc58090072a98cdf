#include "kit/measurement/controller/MSRReportersController.h"

#include "kit/core/KitContext.h"

#include "kit/measurement/messages/MSRRemoteConfig.h"

#include <mutex>

namespace kit::measurement {
namespace {

struct Installed {
    std::mutex mutex;
    std::shared_ptr<MSRReportersController> controller;  // guarded by mutex
};

Installed& installed() { return KitContext::current().service<Installed>(); }

}  // namespace

void MSRReportersController::install(std::shared_ptr<MSRReportersController> controller) {
    std::lock_guard lock(installed().mutex);
    installed().controller = std::move(controller);
}

std::shared_ptr<MSRReportersController> MSRReportersController::current() {
    std::lock_guard lock(installed().mutex);
    return installed().controller;
}

std::shared_ptr<MSRRemoteConfig> MSRReportersRemoteConfig() {
    if (const auto controller = MSRReportersController::current()) {
        if (auto remoteConfig = controller->remoteConfig()) {
            return remoteConfig;
        }
    }
    return MSRRemoteConfig::defaultInstance();
}

}  // namespace kit::measurement

#include "ExperimentTexts.h"
#include "kit/measurement/controller/MSRExperimentManager.h"

namespace kit::measurement {

MSRExperimentClient::MSRExperimentClient(MSRESDKProperty property,
                                         std::map<std::string, MSRPBFlag, std::less<>> defaultFlags,
                                         std::weak_ptr<MSRExperimentManager> manager)
    : property_(std::move(property)), defaultFlags_(std::move(defaultFlags)), manager_(std::move(manager)) {}

platform::Expected<void> MSRExperimentClient::activateLatestSnapshot() {
    const auto manager = manager_.lock();
    if (manager == nullptr) {
        return {};
    }
    auto activated = manager->activateSnapshotOfSDK(property_.name);
    if (!activated) {
        return platform::unexpected(activated.error());
    }
    return {};
}

void MSRExperimentClient::setDelegate(std::weak_ptr<MSREExperimentObserverDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<MSREExperimentObserverDelegate> MSRExperimentClient::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

std::optional<platform::Value> MSRExperimentClient::objectForKeyedSubscript(std::string_view flagName) {
    return valueForFlag(flagName);
}

std::optional<platform::Value> MSRExperimentClient::valueForFlag(std::string_view flagName) {
    const auto manager = manager_.lock();
    if (manager == nullptr) {
        return std::nullopt;
    }
    return manager->flagValueForFlagName(flagName, property_.name);
}

bool MSRExperimentClient::hasStaleSnapshot() {
    const auto manager = manager_.lock();
    return manager != nullptr && manager->activatedSnapshotStatusOfSDKName(property_.name) == 1;
}

void MSRExperimentClient::resetToDefaults() {
    if (const auto manager = manager_.lock()) {
        manager->resetToDefaultsOfSDKName(property_.name);
    }
}

}  // namespace kit::measurement

#include "kit/measurement/controller/MSRAEU.h"

#include "kit/core/Environment.h"
#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"
#include "platform/Bundle.h"

#include <mutex>
#include <optional>

namespace kit::measurement {

namespace {

struct InstallState {
    std::mutex mutex;
    MSRInstallEnvironment environment;  // guarded by mutex
    // The answer of isFAS for this environment: the bundle doesn't change
    // while the program runs, and every stored event asks.
    std::optional<bool> fromAppStore;  // guarded by mutex
};

InstallState& installState() { return KitContext::current().service<InstallState>(); }

MSRInstallEnvironment currentEnvironment() {
    InstallState& state = installState();
    std::lock_guard lock(state.mutex);
    return state.environment;
}

const platform::Bundle& bundleOf(const MSRInstallEnvironment& environment) {
    return environment.bundle ? *environment.bundle : kit::mainBundle();
}

}  // namespace

std::optional<std::filesystem::path> MSRAEU::appStoreRURL() {
    const MSRInstallEnvironment environment = currentEnvironment();
    const platform::Value* check = bundleOf(environment).infoDictionary().find("HaloAppStoreReceiptURLCheckEnabled");
    if (check != nullptr && (check->isNumber() || check->isBool()) && !*check->boolValue()) {
        return std::nullopt;
    }
    return environment.appStoreReceiptURL;
}

bool MSRAEU::isASRS() {
    const auto url = appStoreRURL();
    return url && url->filename() == "sandboxReceipt";
}

bool MSRAEU::isNOD() { return currentEnvironment().isNOD; }

namespace {

bool lookIsFAS() {
    const MSRInstallEnvironment environment = currentEnvironment();
    if (MSRAEU::isNOD() || MSRAEU::isASRS()) {
        return false;
    }
    const platform::Bundle& bundle = bundleOf(environment);
    std::error_code ignored;
    if (std::filesystem::exists(bundle.resourcePath() / "SC_Info", ignored)) {
        return true;
    }
    if (!environment.isExecutableEncrypted) {
        return false;
    }
    return !bundle.pathForResource("embedded", "mobileprovision").has_value();
}

}  // namespace

bool MSRAEU::isFAS() {
    InstallState& state = installState();
    {
        std::lock_guard lock(state.mutex);
        if (state.fromAppStore) {
            return *state.fromAppStore;
        }
    }
    const bool answer = lookIsFAS();
    std::lock_guard lock(state.mutex);
    state.fromAppStore = answer;
    return answer;
}

bool MSRAEU::isAEX() { return bundleOf(currentEnvironment()).resourcePath().string().ends_with(".appex"); }

std::string MSRAEU::deviceModel() { return LMUAppEnvironmentUtil::deviceModel(); }

std::string MSRAEU::systemVersion() { return LMUAppEnvironmentUtil::systemVersion(); }

void MSRAEU::setInstallEnvironment(std::optional<MSRInstallEnvironment> environment) {
    InstallState& state = installState();
    std::lock_guard lock(state.mutex);
    state.environment = environment ? std::move(*environment) : MSRInstallEnvironment{};
    state.fromAppStore.reset();
}

}  // namespace kit::measurement

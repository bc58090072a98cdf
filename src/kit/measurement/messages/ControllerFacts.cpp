#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/core/KitContext.h"

#include <mutex>

namespace kit::measurement {
namespace {

MSRControllerFacts defaultFacts() {
    MSRControllerFacts facts;
    facts.hasSharedInstance = [] { return false; };
    facts.isEnabled = [] { return false; };
    facts.SSTPreviewHeaders = [] { return std::optional<platform::Value::Dictionary>(); };
    facts.appVersion = [] { return std::optional<std::string>(); };
    facts.appDataConsentStatus = [] { return std::int64_t{-1}; };
    facts.appMeasurementLibraryVersion = [] { return kMSRDefaultLibraryVersion; };
    facts.isFAS = [] { return false; };
    facts.isDebugModeEnabled = [] { return false; };
    facts.checkOnBackgroundThreadWithMethodName = [](std::string_view) { return true; };
    return facts;
}

struct InstalledFacts {
    std::mutex mutex;
    MSRControllerFacts facts = defaultFacts();  // guarded by mutex
};

// One per kit context.
InstalledFacts& installed() { return KitContext::current().service<InstalledFacts>(); }

template <class Function>
void replaceWhenGiven(Function& target, const Function& given) {
    if (given) {
        target = given;
    }
}

}  // namespace

void installControllerFacts(const MSRControllerFacts& facts) {
    InstalledFacts& shared = installed();
    std::lock_guard lock(shared.mutex);
    replaceWhenGiven(shared.facts.hasSharedInstance, facts.hasSharedInstance);
    replaceWhenGiven(shared.facts.isEnabled, facts.isEnabled);
    replaceWhenGiven(shared.facts.SSTPreviewHeaders, facts.SSTPreviewHeaders);
    replaceWhenGiven(shared.facts.appVersion, facts.appVersion);
    replaceWhenGiven(shared.facts.appDataConsentStatus, facts.appDataConsentStatus);
    replaceWhenGiven(shared.facts.appMeasurementLibraryVersion, facts.appMeasurementLibraryVersion);
    replaceWhenGiven(shared.facts.isFAS, facts.isFAS);
    replaceWhenGiven(shared.facts.isDebugModeEnabled, facts.isDebugModeEnabled);
    replaceWhenGiven(shared.facts.checkOnBackgroundThreadWithMethodName, facts.checkOnBackgroundThreadWithMethodName);
}

void resetControllerFacts() {
    InstalledFacts& shared = installed();
    std::lock_guard lock(shared.mutex);
    shared.facts = defaultFacts();
}

MSRControllerFacts currentControllerFacts() {
    InstalledFacts& shared = installed();
    std::lock_guard lock(shared.mutex);
    return shared.facts;
}

}  // namespace kit::measurement

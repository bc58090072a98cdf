#include "kit/measurement/controller/MSRIdentifiers.h"

#include "kit/core/KitContext.h"

#include "IdentityTexts.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/support/MSRUtilities.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace kit::measurement {

namespace {

struct SharedIdentifiers {
    std::mutex mutex;
    std::unique_ptr<MSRIdentifiers> instance;                          // guarded by mutex
    std::function<std::shared_ptr<MSRIdentity>()> controllerIdentity;  // guarded by mutex
};

SharedIdentifiers& sharedIdentifiers() { return KitContext::current().service<SharedIdentifiers>(); }

// The controller's identity, else the shared one; which it was decides the log code.
std::pair<std::shared_ptr<MSRIdentity>, bool> currentIdentity() {
    std::function<std::shared_ptr<MSRIdentity>()> provider;
    {
        SharedIdentifiers& shared = sharedIdentifiers();
        std::lock_guard lock(shared.mutex);
        provider = shared.controllerIdentity;
    }
    if (provider) {
        if (auto identity = provider()) {
            return {std::move(identity), true};
        }
    }
    return {MSRIdentity::sharedInstance(), false};
}

}  // namespace

MSRIdentifiers& MSRIdentifiers::sharedInstance() {
    SharedIdentifiers& shared = sharedIdentifiers();
    std::lock_guard lock(shared.mutex);
    if (!shared.instance) {
        shared.instance = std::make_unique<MSRIdentifiers>();
    }
    return *shared.instance;
}

void MSRIdentifiers::setControllerIdentityProvider(std::function<std::shared_ptr<MSRIdentity>()> provider) {
    SharedIdentifiers& shared = sharedIdentifiers();
    std::lock_guard lock(shared.mutex);
    shared.controllerIdentity = std::move(provider);
}

std::optional<std::string> MSRIdentifiers::lumenAppID() {
    const auto [identity, fromController] = currentIdentity();
    std::optional<std::string> appID = identity ? identity->appIDFromLMP() : std::nullopt;
    if (!appID) {
        identity_texts::log(fromController ? identity_texts::kNoAppIDFromIdentity
                                           : identity_texts::kNoAppIDFromOptions);
    }
    return appID;
}

std::optional<std::string> MSRIdentifiers::analyticsAppID() {
    std::optional<std::string> appID = lumenAppID();
    if (!appID || appID->empty()) {
        identity_texts::log(identity_texts::kNoEffectiveAppID);
        return std::nullopt;
    }
    return appID;
}

std::optional<std::string> MSRIdentifiers::appInstanceID() {
    const auto [identity, fromController] = currentIdentity();
    std::optional<std::string> appInstanceID = identity ? identity->appInstanceID() : std::nullopt;
    if (!appInstanceID) {
        identity_texts::log(fromController ? identity_texts::kNoAppInstanceIDFromIdentity
                                           : identity_texts::kNoAppInstanceIDFromShared);
    }
    return appInstanceID;
}

std::string MSRIdentifiers::adEventID() {
    std::call_once(seedOnce_,
                   [this] { adEventCounter_.store(static_cast<std::uint64_t>(MSRNumericUtil::randomInt64())); });
    // Unsigned, so the counter wraps instead of overflowing.
    return std::to_string(static_cast<std::int64_t>(adEventCounter_.fetch_add(1)));
}

std::string MSRIdentifiers::libraryVersion() const {
    return std::to_string(MSRIdentity::appMeasurementLibraryVersion());
}

std::optional<std::string> MSRIdentifiers::origin() const {
    std::lock_guard lock(originMutex_);
    return origin_;
}

void MSRIdentifiers::setOrigin(std::string_view origin) {
    if (origin.empty()) {
        identity_texts::log(identity_texts::kEmptyOrigin);
        return;
    }
    std::lock_guard lock(originMutex_);
    origin_ = std::string(origin);
}

}  // namespace kit::measurement

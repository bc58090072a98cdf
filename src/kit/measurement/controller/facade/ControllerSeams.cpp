// The controller library's answers to the facade's seams, as the product
// installs them.

#include "FacadeState.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRIdentifiers.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRMeasurement.h"

namespace kit::measurement {
namespace {

// The shared identity as the facade reads it, looked up at each call (it is
// made over the persisted configuration on first use).
class SharedIdentity final : public MSRAnalyticsIdentity {
public:
    std::optional<std::string> appInstanceID() override {
        const auto identity = MSRIdentity::sharedInstance();
        return identity != nullptr ? identity->appInstanceID() : std::nullopt;
    }
    std::string randomAppInstanceID() override {
        const auto identity = MSRIdentity::sharedInstance();
        return identity != nullptr ? identity->randomAppInstanceID() : std::string();
    }
    void setIdentifiersOrigin(std::string_view origin) override { MSRIdentifiers::sharedInstance().setOrigin(origin); }
    void setHaloInstallationID(const std::optional<std::string>& installationID) override {
        if (const auto identity = MSRIdentity::sharedInstance()) {
            identity->setHaloInstallationID(installationID);
        }
    }
};

}  // namespace

MSRAnalyticsSeams MSRAnalytics::controllerSeams() {
    MSRAnalyticsSeams seams = makeDefaultSeams();
    seams.controllerFactory = MSRMeasurement::makeFactory();
    seams.identity = std::make_shared<SharedIdentity>();
    return seams;
}

}  // namespace kit::measurement

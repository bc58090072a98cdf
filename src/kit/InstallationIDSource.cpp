#include "InstallationIDSource.h"

#include "kit/core/KitError.h"
#include "kit/installations/HLOInstallations.h"
#include "platform/ProgrammerError.h"

namespace kit {
namespace {

class DefaultAppInstallations final : public measurement::MSRInstallationIDSource {
public:
    void installationID(std::function<void(std::optional<std::string> identifier, std::optional<platform::Error> error)>
                            completion) override {
        std::shared_ptr<installations::HLOInstallations> installations;
        try {
            installations = installations::HLOInstallations::installations();
        } catch (const platform::ProgrammerError& error) {
            // No default app (yet): there is no identifier to give.
            completion(std::nullopt, makeKitError(error.name(), 0, {error.reason(), {}, {}}));
            return;
        }
        installations->installationIDWithCompletion(
            [completion = std::move(completion)](std::optional<std::string> identifier, promises::ErrorPointer error) {
                completion(std::move(identifier),
                           error != nullptr ? std::optional<platform::Error>(*error) : std::nullopt);
            });
    }
};

}  // namespace

std::shared_ptr<measurement::MSRInstallationIDSource> makeInstallationIDSource() {
    return std::make_shared<DefaultAppInstallations>();
}

}  // namespace kit

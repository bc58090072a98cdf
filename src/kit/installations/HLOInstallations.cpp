#include "kit/installations/HLOInstallations.h"

#include "kit/core/HLOApp.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsTexts.h"

#include "platform/MessageFormat.h"
#include "platform/ProgrammerError.h"
#include "kit/core/ClassRegistry.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <memory>

namespace kit::installations {

using promises::PromiseClass;

namespace {

[[noreturn]] void raise(std::string reason) {
    throw platform::ProgrammerError(std::string(kInstallationsExceptionName), reason);
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += text.empty() ? "" : ", ";
        text += part;
    }
    return text;
}

// The class object the component registry reads the components from.
class HLOInstallationsLibrary final : public HLOLibrary {
public:
    std::vector<HLOComponent> componentsToRegister() const override { return HLOInstallations::componentsToRegister(); }
};

}  // namespace

// --- Class operations

std::shared_ptr<HLOInstallations> HLOInstallations::installations() {
    const auto app = HLOApp::isDefaultAppConfigured() ? HLOApp::defaultApp() : nullptr;
    if (!app) {
        raise(std::string(kNoDefaultAppReason));
    }
    return installationsWithApp(*app);
}

std::shared_ptr<HLOInstallations> HLOInstallations::installationsWithApp(HLOApp& app) {
    return std::dynamic_pointer_cast<HLOInstallations>(app.container().instanceFor<HLOInstallationsInstanceProvider>());
}

std::vector<HLOComponent> HLOInstallations::componentsToRegister() {
    return {HLOComponent::componentWithProtocol(
        HLOProtocol::of<HLOInstallationsInstanceProvider>(), HLOInstantiationTimingAlwaysEager,
        [](HLOComponentContainer& container, bool& isCacheable) -> std::shared_ptr<HLOObject> {
            const auto app = container.app();
            if (!app) {
                return nullptr;
            }
            isCacheable = true;
            return std::make_shared<HLOInstallations>(*app);
        })};
}

void HLOInstallations::registerLibrary() {
    kit::classRegistry().registerClass<HLOLibrary>(std::string(kInstallationsClassName),
                                                   std::make_shared<HLOInstallationsLibrary>());
    HLOApp::registerInternalLibrary(kInstallationsClassName, kInstallationsLibraryName);
}

// --- Creation

HLOInstallations::HLOInstallations(const HLOApp& app)
    : HLOInstallations(app.options(), app.name(), HLOInstallationsIDController::controllerWithApp(app), false) {}

HLOInstallations::HLOInstallations(const HLOOptions& appOptions, std::string appName,
                                   std::shared_ptr<HLOInstallationsIDController> installationsIDController,
                                   bool prefetchAuthToken)
    : appOptions_(appOptions), appName_(std::move(appName)) {
    validateAppOptions(appOptions_, appName_);
    assertCompatibleIIDVersion();
    if (!installationsIDController) {
        throw platform::ProgrammerError(std::string(kInvalidArgumentException), std::string(kNilControllerReason));
    }
    installationsIDController_ = std::move(installationsIDController);
    if (prefetchAuthToken) {
        authTokenWithCompletion([](const auto&, const auto&) {});
    }
}

void HLOInstallations::validateAppOptions(const HLOOptions& appOptions, std::string_view appName) {
    std::vector<std::string> missing;
    const auto isEmpty = [](const std::optional<std::string>& value) { return !value || value->empty(); };
    if (appName.empty()) {
        missing.emplace_back(kOptionAppName);
    }
    if (isEmpty(appOptions.APIKey())) {
        missing.emplace_back(kOptionAPIKey);
    }
    if (isEmpty(appOptions.lumenAppID())) {
        missing.emplace_back(kOptionAppID);
    }
    if (isEmpty(appOptions.projectID())) {
        missing.emplace_back(kOptionProjectID);
    }
    if (!missing.empty()) {
        raise(platform::formatMessage(kMissingOptionsFormat,
                                      {kHLOInstallationsLogService, kInvalidOptionsCode, joined(missing)}));
    }
    validateAPIKey(*appOptions.APIKey());
}

void HLOInstallations::validateAPIKey(std::string_view APIKey) {
    // Counted and classed as the platform's strings are: UTF-16 units, and
    // letters, marks and numbers of any script.
    std::size_t length = 0;
    bool onlyAllowed = true;
    std::int32_t offset = 0;
    const auto size = static_cast<std::int32_t>(APIKey.size());
    while (offset < size) {
        UChar32 character = 0;
        U8_NEXT(reinterpret_cast<const std::uint8_t*>(APIKey.data()), offset, size, character);
        if (character < 0) {
            onlyAllowed = false;
            ++length;
            continue;
        }
        length += U16_LENGTH(character);
        const bool alphanumeric = (U_GET_GC_MASK(character) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
        if (!alphanumeric && character != '-' && character != '_') {
            onlyAllowed = false;
        }
    }
    std::vector<std::string> findings;
    if (length != kAPIKeyLength) {
        findings.push_back(platform::formatMessage(kAPIKeyLengthFormat, {kAPIKeyLength}));
    }
    if (!APIKey.starts_with('A')) {
        findings.emplace_back(kAPIKeyFirstCharacter);
    }
    if (!onlyAllowed) {
        findings.emplace_back(kAPIKeyCharacters);
    }
    if (!findings.empty()) {
        raise(platform::formatMessage(kInvalidAPIKeyFormat,
                                      {kHLOInstallationsLogService, kInvalidOptionsCode, joined(findings)}));
    }
}

void HLOInstallations::assertCompatibleIIDVersion() {
    auto& registry = kit::classRegistry();
    if (registry.contains(kLegacyInstanceIDClassName) &&
        registry.lookup<HLOInstanceIDUsingINS>(kLegacyInstanceIDClassName) == nullptr) {
        raise(std::string(kIncompatibleInstanceIDReason));
    }
}

// --- Instance operations

// The observers take the error they are handed, never the promise itself: a
// promise that holds an observer holding it is never freed if it never
// settles (work stopped at quit). The error is the very object the promise
// holds.
void HLOInstallations::installationIDWithCompletion(IDCompletion completion) {
    const auto promise = installationsIDController_->getInstallationItem();
    promise.observeErrorPointerOnQueue(
        PromiseClass::defaultDispatchQueue(),
        [completion](const HLOInstallationsItem& installation) {
            completion(installation.haloInstallationID, nullptr);
        },
        [completion](const promises::ErrorPointer& error) {
            completion(std::nullopt, HLOInstallationsErrorUtil::publicDomainErrorWithError(error));
        });
}

void HLOInstallations::authTokenWithCompletion(AuthTokenCompletion completion) {
    authTokenForcingRefresh(false, std::move(completion));
}

void HLOInstallations::authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion) {
    const auto promise = installationsIDController_->getAuthTokenForcingRefresh(forceRefresh);
    promise.observeErrorPointerOnQueue(
        PromiseClass::defaultDispatchQueue(),
        [completion](const HLOInstallationsItem& installation) {
            completion(HLOInstallationsAuthTokenResult(
                           installation.authToken.token,
                           installation.authToken.expirationDate.value_or(platform::Value::Date{})),
                       nullptr);
        },
        [completion](const promises::ErrorPointer& error) {
            completion(std::nullopt, HLOInstallationsErrorUtil::publicDomainErrorWithError(error));
        });
}

void HLOInstallations::deleteWithCompletion(DeleteCompletion completion) {
    const auto promise = installationsIDController_->deleteInstallation();
    promise.observeErrorPointerOnQueue(
        PromiseClass::defaultDispatchQueue(), [completion](const promises::Null&) { completion(nullptr); },
        [completion](const promises::ErrorPointer& error) {
            completion(HLOInstallationsErrorUtil::publicDomainErrorWithError(error));
        });
}

}  // namespace kit::installations

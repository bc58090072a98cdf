#pragma once

#include "kit/core/HLOComponent.h"
#include "kit/core/HLOOptions.h"
#include "kit/installations/InstallationsIDController.h"
#include "kit/promises/PRMPromise.h"

#include "platform/Value.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The installation identity of a configured app: its installation ID (FID),
// short-lived auth tokens, deletion, and a notification when the ID changes.
// One instance per app, made eagerly by the app's component container.
// Every completion runs on the default promise queue (the main queue); every
// error is in the domain "com.halo.installations".
namespace kit::installations {

inline constexpr std::string_view HLOInstallationIDDidChangeNotification = kHLOInstallationIDDidChangeNotification;

// What the container answers for the installations.
class HLOInstallationsInstanceProvider : public virtual HLOObject {
public:
    static constexpr std::string_view kProtocolName = "HLOInstallationsInstanceProvider";
};

// A legacy instance-ID class registered under "HLOInstanceID" that says it
// works beside the installations (it answers "usesINS"). Registered as any
// other type, the class is taken for an incompatible one.
class HLOInstanceIDUsingINS {
public:
    virtual ~HLOInstanceIDUsingINS() = default;
    virtual bool usesINS() const = 0;
};

class HLOInstallationsAuthTokenResult {
public:
    HLOInstallationsAuthTokenResult(std::string token, platform::Value::Date expirationDate)
        : authToken_(std::move(token)), expirationDate_(expirationDate) {}
    const std::string& authToken() const noexcept { return authToken_; }
    platform::Value::Date expirationDate() const noexcept { return expirationDate_; }

private:
    std::string authToken_;
    platform::Value::Date expirationDate_;
};

class HLOInstallations final : public HLOInstallationsInstanceProvider {
public:
    using IDCompletion = std::function<void(std::optional<std::string> identifier, promises::ErrorPointer error)>;
    using AuthTokenCompletion =
        std::function<void(std::optional<HLOInstallationsAuthTokenResult> result, promises::ErrorPointer error)>;
    using DeleteCompletion = std::function<void(promises::ErrorPointer error)>;

    // The default app's instance; raises (com.halo.installations) when
    // there is no default app.
    static std::shared_ptr<HLOInstallations> installations();
    static std::shared_ptr<HLOInstallations> installationsWithApp(HLOApp& app);

    // One eager component for HLOInstallationsInstanceProvider.
    static std::vector<HLOComponent> componentsToRegister();
    // Registers the library class "HLOInstallations" as "fire-install".
    static void registerLibrary();

    // Raise (com.halo.installations) for missing options, a malformed API
    // key, or an incompatible legacy instance-ID class.
    explicit HLOInstallations(const HLOApp& app);
    HLOInstallations(const HLOOptions& appOptions, std::string appName,
                     std::shared_ptr<HLOInstallationsIDController> installationsIDController, bool prefetchAuthToken);

    void installationIDWithCompletion(IDCompletion completion);
    void authTokenWithCompletion(AuthTokenCompletion completion);
    void authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion);
    void deleteWithCompletion(DeleteCompletion completion);

    const HLOOptions& appOptions() const noexcept { return appOptions_; }
    const std::string& appName() const noexcept { return appName_; }

    static void validateAppOptions(const HLOOptions& appOptions, std::string_view appName);
    static void validateAPIKey(std::string_view APIKey);
    static void assertCompatibleIIDVersion();

private:
    HLOOptions appOptions_;
    std::string appName_;
    std::shared_ptr<HLOInstallationsIDController> installationsIDController_;
};

}  // namespace kit::installations

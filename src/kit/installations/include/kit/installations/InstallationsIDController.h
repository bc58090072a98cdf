#pragma once

#include "kit/installations/InstallationsAPIService.h"
#include "kit/installations/InstallationsBackoffController.h"
#include "kit/installations/InstallationsDateProvider.h"
#include "kit/installations/InstallationsItem.h"
#include "kit/installations/InstallationsSingleOperationPromiseCache.h"
#include "kit/installations/InstallationsStore.h"
#include "kit/installations/LegacyIdentity.h"
#include "kit/promises/PRMPromise.h"

#include "platform/Random.h"

#include <memory>
#include <optional>
#include <string>

namespace kit {
class HLOApp;
}

// The life of one app's installation: read or create it, register it, keep
// its auth token fresh, delete it. Concurrent callers of one operation share
// one promise; continuations run on the default promise queue.
namespace kit::installations {

class HLOInstallationsIDController : public std::enable_shared_from_this<HLOInstallationsIDController> {
public:
    struct Parts {
        std::shared_ptr<HLOInstallationsStore> installationsStore;
        std::shared_ptr<HLOInstallationsAPIService> APIService;
        std::shared_ptr<HLOInstallationsIIDStore> IIDStore;
        std::shared_ptr<HLOInstallationsIIDTokenStore> IIDTokenStore;
        std::shared_ptr<HLOInstallationsBackoffControllerProtocol> backoffController;
        HLOInstallationsDateProvider dateProvider = defaultDateProvider();
        // Must outlive the controller.
        platform::RandomSource* random = &platform::systemRandom();
    };

    // The app's secure items, its options' API key, project and sender, its
    // heartbeat logger, and the current endpoints.
    static std::shared_ptr<HLOInstallationsIDController> controllerWithApp(const HLOApp& app);
    static std::shared_ptr<HLOInstallationsIDController> controllerWithParts(std::string lumenAppID,
                                                                             std::string appName, Parts parts);

    HLOInstallationsIDController(const HLOInstallationsIDController&) = delete;
    HLOInstallationsIDController& operator=(const HLOInstallationsIDController&) = delete;

    const std::string& appID() const noexcept { return appID_; }
    const std::string& appName() const noexcept { return appName_; }

    // The stored installation, or a new one (then the change notification).
    // Only a missing, undecodable or invalid stored item is replaced; a
    // storage failure rejects and leaves the item alone.
    promises::PRMPromise<HLOInstallationsItem> getInstallationItem();
    // The installation, registered, with a token valid for at least an
    // hour (or a fresh one when forced). A plain call joins a pending
    // forced refresh.
    promises::PRMPromise<HLOInstallationsItem> getAuthTokenForcingRefresh(bool forceRefresh);
    // Deletes on the server (registered items only; a 404 counts as done),
    // then locally, then notifies. Waits for a pending operation first.
    promises::PRMPromise<promises::Null> deleteInstallation();

    // Posts HLOInstallationIDDidChangeNotification for this app.
    void postFIDDidChangeNotification() const;

private:
    HLOInstallationsIDController(std::string lumenAppID, std::string appName, Parts parts);

    using ItemPromise = promises::PRMPromise<HLOInstallationsItem>;

    ItemPromise createGetInstallationItemPromise();
    ItemPromise createAndSaveFID();
    ItemPromise migrateOrGenerateInstallation();
    HLOInstallationsItem createInstallationWithFID(std::string FID, std::optional<std::string> IIDDefaultToken) const;
    ItemPromise registerInstallationIfNeeded(const HLOInstallationsItem& installation);
    ItemPromise installationWithValidAuthTokenForcingRefresh(bool forceRefresh, bool mayStartOver);
    ItemPromise refreshAuthTokenForInstallation(const HLOInstallationsItem& installation);
    ItemPromise saveAndPass(const HLOInstallationsItem& installation);
    promises::PRMPromise<promises::Null> createDeleteInstallationPromise();
    std::optional<ItemPromise> mostRecentInstallationOperation();
    promises::PRMPromise<promises::Null> deleteInstallationLocally(const HLOInstallationsItem& installation);
    void updateBackoffWithSuccess(bool success, const platform::Error* APIError);
    bool hasValidAuthToken(const HLOInstallationsItem& installation) const;
    bool isDefaultApp() const;

    const std::string appID_;
    const std::string appName_;
    const Parts parts_;

    // Made once the controller is shared: their blocks hold it weakly.
    std::unique_ptr<HLOInstallationsSingleOperationPromiseCache<HLOInstallationsItem>> getInstallationPromiseCache_;
    std::unique_ptr<HLOInstallationsSingleOperationPromiseCache<HLOInstallationsItem>> authTokenPromiseCache_;
    std::unique_ptr<HLOInstallationsSingleOperationPromiseCache<HLOInstallationsItem>>
        authTokenForcingRefreshPromiseCache_;
    std::unique_ptr<HLOInstallationsSingleOperationPromiseCache<promises::Null>> deleteInstallationPromiseCache_;
};

}  // namespace kit::installations

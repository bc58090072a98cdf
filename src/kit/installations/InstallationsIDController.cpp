#include "kit/installations/InstallationsIDController.h"

#include "kit/core/HLOApp.h"
#include "kit/core/KeychainStorage.h"
#include "kit/core/Logger.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsTexts.h"

#include "platform/concurrency/NotificationCenter.h"

#include <chrono>

namespace kit::installations {

using promises::ErrorPointer;
using promises::Null;
using promises::PRMPromise;
using promises::Resolution;
using Item = HLOInstallationsItem;
using Status = HLOInstallationsRegistrationStatus;

namespace {

// A token is refreshed when it has less than an hour left.
constexpr std::chrono::seconds kTokenRefreshMargin{3600};

ErrorPointer pointerTo(platform::Error error) { return std::make_shared<const platform::Error>(std::move(error)); }

// What a step of a released controller's operation settles with.
ErrorPointer controllerGone() {
    return pointerTo(HLOInstallationsErrorUtil::installationsErrorWithCode(
        HLOInstallationsErrorCode::unknown, std::string(kControllerGoneReason), nullptr));
}

// What a stored item may be replaced for: nothing there, or nothing that
// reads as an installation. Any other failure is the storage's, and the
// item it could not read may well be intact.
bool replacesStoredItem(const platform::Error& error) {
    return HLOInstallationsErrorUtil::isInstallationItemNotFoundError(error) ||
           (error.domain() == kCocoaErrorDomain && error.code() == kCoderReadCorruptError);
}

long HTTPStatusOf(const platform::Error* error) {
    const auto* HTTPError = dynamic_cast<const HLOInstallationsHTTPError*>(error);
    return HTTPError != nullptr ? HTTPError->HTTPResponse().statusCode : 0;
}

}  // namespace

std::shared_ptr<HLOInstallationsIDController> HLOInstallationsIDController::controllerWithApp(const HLOApp& app) {
    const HLOOptions options = app.options();
    const std::string appID = options.lumenAppID().value_or("");
    Parts parts;
    auto keychain = std::make_shared<LMUKeychainStorage>(HLOInstallationsStore::keychainServiceWithAppID(appID));
    parts.installationsStore = std::make_shared<HLOInstallationsStore>(std::move(keychain), options.appGroupID());
    parts.APIService = std::make_shared<HLOInstallationsAPIService>(
        options.APIKey().value_or(""), options.projectID().value_or(""), app.heartbeatLogger());
    parts.IIDStore = std::make_shared<HLOInstallationsIIDStore>();
    parts.IIDTokenStore = std::make_shared<HLOInstallationsIIDTokenStore>(options.LCMSenderID().value_or(""));
    parts.backoffController = std::make_shared<HLOInstallationsBackoffController>();
    return controllerWithParts(appID, app.name(), std::move(parts));
}

std::shared_ptr<HLOInstallationsIDController> HLOInstallationsIDController::controllerWithParts(std::string lumenAppID,
                                                                                                std::string appName,
                                                                                                Parts parts) {
    std::shared_ptr<HLOInstallationsIDController> controller(
        new HLOInstallationsIDController(std::move(lumenAppID), std::move(appName), std::move(parts)));
    const std::weak_ptr<HLOInstallationsIDController> weak = controller;
    controller->getInstallationPromiseCache_ =
        std::make_unique<HLOInstallationsSingleOperationPromiseCache<Item>>([weak] {
            const auto self = weak.lock();
            return self ? self->createGetInstallationItemPromise()
                        : HLOInstallationsErrorUtil::rejectedPromiseWithError<Item>(controllerGone());
        });
    controller->authTokenPromiseCache_ = std::make_unique<HLOInstallationsSingleOperationPromiseCache<Item>>([weak] {
        const auto self = weak.lock();
        return self ? self->installationWithValidAuthTokenForcingRefresh(false, true)
                    : HLOInstallationsErrorUtil::rejectedPromiseWithError<Item>(controllerGone());
    });
    controller->authTokenForcingRefreshPromiseCache_ =
        std::make_unique<HLOInstallationsSingleOperationPromiseCache<Item>>([weak] {
            const auto self = weak.lock();
            return self ? self->installationWithValidAuthTokenForcingRefresh(true, true)
                        : HLOInstallationsErrorUtil::rejectedPromiseWithError<Item>(controllerGone());
        });
    controller->deleteInstallationPromiseCache_ =
        std::make_unique<HLOInstallationsSingleOperationPromiseCache<Null>>([weak] {
            const auto self = weak.lock();
            return self ? self->createDeleteInstallationPromise()
                        : HLOInstallationsErrorUtil::rejectedPromiseWithError<Null>(controllerGone());
        });
    return controller;
}

HLOInstallationsIDController::HLOInstallationsIDController(std::string lumenAppID, std::string appName, Parts parts)
    : appID_(std::move(lumenAppID)), appName_(std::move(appName)), parts_(std::move(parts)) {}

bool HLOInstallationsIDController::isDefaultApp() const { return appName_ == kDefaultAppName; }

// --- Operations

PRMPromise<Item> HLOInstallationsIDController::getInstallationItem() {
    return getInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

PRMPromise<Item> HLOInstallationsIDController::getAuthTokenForcingRefresh(bool forceRefresh) {
    if (forceRefresh) {
        return authTokenForcingRefreshPromiseCache_->getExistingPendingOrCreateNewPromise();
    }
    if (auto forcing = authTokenForcingRefreshPromiseCache_->getExistingPendingPromise()) {
        return *forcing;
    }
    return authTokenPromiseCache_->getExistingPendingOrCreateNewPromise();
}

PRMPromise<Null> HLOInstallationsIDController::deleteInstallation() {
    return deleteInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

// --- Get or create

PRMPromise<Item> HLOInstallationsIDController::createGetInstallationItemPromise() {
    HLOLogDebugMessage(kHLOInstallationsLogService, kGetInstallationCode, kGetInstallationFormat,
                       kGetInstallationFunction, appName_);
    // Every step holds the controller weakly: the controller keeps this
    // promise while it is pending, and one that never settles (work stopped
    // at quit) would otherwise keep both alive for good.
    const std::weak_ptr<HLOInstallationsIDController> weak = weak_from_this();
    PRMPromise<Item> result =
        parts_.installationsStore->installationForAppID(appID_, appName_)
            .recover([weak](const ErrorPointer& error) -> Resolution<Item> {
                const auto self = weak.lock();
                if (!self) {
                    return controllerGone();
                }
                if (replacesStoredItem(*error)) {
                    return self->createAndSaveFID();
                }
                return error;
            })
            .then([weak](const Item& installation) -> Resolution<Item> {
                const auto self = weak.lock();
                if (!self) {
                    return controllerGone();
                }
                if (auto valid = installation.isValid(); !valid) {
                    HLOLogWarningMessage(kHLOInstallationsLogService, kStoredInstallationInvalidCode,
                                         kStoredInstallationInvalidFormat, valid.error().what());
                    return self->createAndSaveFID();
                }
                return installation;
            });
    // A new installation gets registered and a token in the background.
    result.observeOnQueue(
        promises::PromiseClass::defaultDispatchQueue(),
        [weak](const Item&) {
            if (const auto controller = weak.lock()) {
                (void)controller->getAuthTokenForcingRefresh(false);
            }
        },
        [](const platform::Error&) {});
    return result;
}

PRMPromise<Item> HLOInstallationsIDController::createAndSaveFID() {
    auto self = shared_from_this();
    return migrateOrGenerateInstallation()
        .then([self](const Item& created) { return self->saveAndPass(created); })
        .then([self](const Item& saved) {
            self->postFIDDidChangeNotification();
            return saved;
        });
}

PRMPromise<Item> HLOInstallationsIDController::migrateOrGenerateInstallation() {
    auto self = shared_from_this();
    if (!isDefaultApp()) {
        return PRMPromise<Item>::resolvedWith(
            createInstallationWithFID(Item::generateFID(*parts_.random), std::nullopt));
    }
    return PRMPromise<std::string>::all(
               {parts_.IIDStore->existingIID(), parts_.IIDTokenStore->existingIIDDefaultToken()})
        .then([self](const std::vector<std::string>& legacy) {
            return self->createInstallationWithFID(legacy[0], legacy[1]);
        })
        .recover([self](const ErrorPointer&) {
            return self->createInstallationWithFID(Item::generateFID(*self->parts_.random), std::nullopt);
        });
}

Item HLOInstallationsIDController::createInstallationWithFID(std::string FID,
                                                             std::optional<std::string> IIDDefaultToken) const {
    Item installation(appID_, appName_);
    installation.haloInstallationID = std::move(FID);
    installation.IIDDefaultToken = std::move(IIDDefaultToken);
    installation.registrationStatus = Status::unregistered;
    return installation;
}

PRMPromise<Item> HLOInstallationsIDController::saveAndPass(const Item& installation) {
    return parts_.installationsStore->saveInstallation(installation).then([installation](const Null&) {
        return installation;
    });
}

// --- Registration and tokens

PRMPromise<Item> HLOInstallationsIDController::registerInstallationIfNeeded(const Item& installation) {
    if (installation.registrationStatus == Status::registered) {
        return PRMPromise<Item>::resolvedWith(installation);
    }
    if (!parts_.backoffController->isNextRequestAllowed()) {
        return HLOInstallationsErrorUtil::rejectedPromiseWithError<Item>(
            pointerTo(HLOInstallationsErrorUtil::backoffIntervalWaitError()));
    }
    auto self = shared_from_this();
    const std::string sentFID = installation.haloInstallationID;
    return parts_.APIService->registerInstallation(installation)
        .catch_([self](const platform::Error& error) {
            self->updateBackoffWithSuccess(false, &error);
            const long status = HTTPStatusOf(&error);
            if (status == 400 || status == 403 || status == 404) {
                HLOLogErrorMessage(kHLOInstallationsLogService, kRegistrationFailedCode, kRegistrationFailedFormat,
                                   self->appName_, error.failureReason());
            }
        })
        .then([self](const Item& registered) {
            self->updateBackoffWithSuccess(true, nullptr);
            return self->saveAndPass(registered);
        })
        .then([self, sentFID](const Item& registered) {
            if (registered.haloInstallationID != sentFID) {
                self->postFIDDidChangeNotification();
            }
            return registered;
        });
}

bool HLOInstallationsIDController::hasValidAuthToken(const Item& installation) const {
    if (!installation.authToken.expirationDate || installation.authToken.token.empty()) {
        return false;
    }
    const auto now = std::chrono::time_point_cast<std::chrono::microseconds>(parts_.dateProvider());
    return *installation.authToken.expirationDate - now >= kTokenRefreshMargin;
}

PRMPromise<Item> HLOInstallationsIDController::installationWithValidAuthTokenForcingRefresh(bool forceRefresh,
                                                                                            bool mayStartOver) {
    HLOLogDebugMessage(kHLOInstallationsLogService, kValidAuthTokenCode, kValidAuthTokenFormat,
                       static_cast<int>(forceRefresh), appName_);
    // The steps hold the controller weakly: they hang on the installation
    // item's promise, which the controller keeps while it is pending.
    const std::weak_ptr<HLOInstallationsIDController> weak = weak_from_this();
    return getInstallationItem()
        .then([weak](const Item& installation) -> Resolution<Item> {
            const auto self = weak.lock();
            if (!self) {
                return controllerGone();
            }
            return self->registerInstallationIfNeeded(installation);
        })
        .then([weak, forceRefresh, mayStartOver](const Item& installation) -> Resolution<Item> {
            const auto self = weak.lock();
            if (!self) {
                return controllerGone();
            }
            if (!forceRefresh && self->hasValidAuthToken(installation)) {
                return installation;
            }
            return self->refreshAuthTokenForInstallation(installation)
                .recover([self, mayStartOver, installation](const ErrorPointer& error) -> Resolution<Item> {
                    // The server no longer knows this installation: start
                    // over with a new one, once. A registration answered so
                    // is a wrong project or key, which a new FID won't mend.
                    const long status = HTTPStatusOf(error.get());
                    if (!mayStartOver || (status != 401 && status != 404)) {
                        return error;
                    }
                    return self->deleteInstallationLocally(installation).then([self](const Null&) {
                        return self->installationWithValidAuthTokenForcingRefresh(false, false);
                    });
                });
        });
}

PRMPromise<Item> HLOInstallationsIDController::refreshAuthTokenForInstallation(const Item& installation) {
    if (!parts_.backoffController->isNextRequestAllowed()) {
        return HLOInstallationsErrorUtil::rejectedPromiseWithError<Item>(
            pointerTo(HLOInstallationsErrorUtil::backoffIntervalWaitError()));
    }
    auto self = shared_from_this();
    return parts_.APIService->refreshAuthTokenForInstallation(installation)
        .catch_([self](const platform::Error& error) { self->updateBackoffWithSuccess(false, &error); })
        .then([self](const Item& refreshed) {
            self->updateBackoffWithSuccess(true, nullptr);
            return self->saveAndPass(refreshed);
        });
}

void HLOInstallationsIDController::updateBackoffWithSuccess(bool success, const platform::Error* APIError) {
    if (success) {
        parts_.backoffController->registerEvent(HLOInstallationsBackoffEvent::success);
        return;
    }
    // No response (a transport failure) says nothing about the server's
    // mind; 401 and 404 are about this installation, not about asking.
    const long status = HTTPStatusOf(APIError);
    if (status == 0 || status == 401 || status == 404) {
        return;
    }
    parts_.backoffController->registerEvent(status == 400 || status == 403
                                                ? HLOInstallationsBackoffEvent::unrecoverableError
                                                : HLOInstallationsBackoffEvent::recoverableError);
}

// --- Deletion

std::optional<PRMPromise<Item>> HLOInstallationsIDController::mostRecentInstallationOperation() {
    if (auto forcing = authTokenForcingRefreshPromiseCache_->getExistingPendingPromise()) {
        return forcing;
    }
    if (auto plain = authTokenPromiseCache_->getExistingPendingPromise()) {
        return plain;
    }
    return getInstallationPromiseCache_->getExistingPendingPromise();
}

PRMPromise<Null> HLOInstallationsIDController::createDeleteInstallationPromise() {
    HLOLogDebugMessage(kHLOInstallationsLogService, kDeleteInstallationCode, kDeleteInstallationFormat,
                       kDeleteInstallationFunction, appName_);
    // The steps may hang on an operation that the controller keeps while it
    // is pending: they hold the controller weakly.
    const std::weak_ptr<HLOInstallationsIDController> weak = weak_from_this();
    const auto pending = mostRecentInstallationOperation();
    const PRMPromise<Item> start =
        pending ? *pending : parts_.installationsStore->installationForAppID(appID_, appName_);
    return start
        .then([weak](const Item& installation) -> Resolution<Item> {
            const auto self = weak.lock();
            if (!self) {
                return controllerGone();
            }
            if (installation.registrationStatus != Status::registered) {
                return installation;
            }
            return self->parts_.APIService->deleteInstallation(installation)
                .recover([installation](const ErrorPointer& error) -> Resolution<Item> {
                    if (HLOInstallationsErrorUtil::isAPIError(*error, 404)) {
                        return installation;
                    }
                    return error;
                });
        })
        .then([weak](const Item& installation) -> Resolution<Null> {
            const auto self = weak.lock();
            if (!self) {
                return controllerGone();
            }
            return self->deleteInstallationLocally(installation);
        });
}

PRMPromise<Null> HLOInstallationsIDController::deleteInstallationLocally(const Item& installation) {
    auto self = shared_from_this();
    return parts_.installationsStore->removeInstallationForAppID(installation.appID(), installation.haloAppName())
        .then([self](const Null&) -> Resolution<Null> {
            if (self->isDefaultApp()) {
                return self->parts_.IIDStore->deleteExistingIID();
            }
            return Null{};
        })
        .then([self](const Null&) {
            self->postFIDDidChangeNotification();
            return Null{};
        });
}

void HLOInstallationsIDController::postFIDDidChangeNotification() const {
    const std::string name(kHLOInstallationIDDidChangeNotification);
    platform::NotificationCenter::defaultCenter().post(
        name, nullptr, platform::Value(platform::Value::Dictionary{{name, platform::Value(appName_)}}));
}

}  // namespace kit::installations

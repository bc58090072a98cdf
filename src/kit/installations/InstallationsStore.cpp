#include "kit/installations/InstallationsStore.h"

#include "kit/core/KitContext.h"
#include "kit/core/UserDefaults.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsTexts.h"

#include "platform/MessageFormat.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "platform/concurrency/SerialQueue.h"

namespace kit::installations {

using promises::Null;
using promises::PRMPromise;
using promises::Resolution;

namespace {

// One queue for every store of a kit context, owned by the context: the
// blocks hold the store's state, and a queue must never be destroyed by one
// of its own blocks (its thread would go on using it), so the blocks do not
// keep it alive. The context stops its work before it releases it. Stores
// on one suite serialise their markers as well.
struct StoreQueue {
    platform::SerialQueue queue{std::string(kStoreQueueLabel)};
};

promises::Queue storeQueue() {
    return promises::Queue(std::shared_ptr<void>(), &KitContext::current().service<StoreQueue>().queue);
}

}  // namespace

struct HLOInstallationsStore::State {
    std::shared_ptr<LMUKeychainStorage> secureStorage;
    std::optional<std::string> accessGroup;
    std::string suiteName;
    promises::Queue queue = storeQueue();
    // Both used on `queue` only. Reads go through the kit's wrapper; writes
    // go to the platform suite itself (the same file and state), which
    // reports a failed write instead of only logging it.
    std::unique_ptr<LMUUserDefaults> userDefaults;
    std::unique_ptr<platform::UserDefaults> markerWriter;
    // Why there is no suite: an access group that names no settings file.
    std::optional<platform::Error> suiteError;

    std::filesystem::path suiteFilePath;

    platform::Error markerWriteError(const platform::Error& cause) const {
        return HLOInstallationsErrorUtil::installationsErrorWithCode(
            HLOInstallationsErrorCode::keychain,
            platform::formatMessage(kMarkerWriteFailedFormat, {suiteFilePath.string(), cause.what()}), &cause);
    }

    platform::Expected<void> writeMarker(bool exists, const std::string& identifier) {
        if (suiteError) {
            return platform::unexpected(markerWriteError(*suiteError));
        }
        if (identifier.empty()) {
            userDefaults->setObject(std::nullopt, identifier);  // refused with the wrapper's warning
            return {};
        }
        try {
            if (exists) {
                markerWriter->set(identifier, platform::Value(true));
            } else {
                markerWriter->removeObject(identifier);
            }
        } catch (const platform::Error& error) {
            return platform::unexpected(markerWriteError(error));
        }
        return {};
    }

    bool markerExists(const std::string& identifier) const {
        return userDefaults && userDefaults->objectForKey(identifier).has_value();
    }
};

HLOInstallationsStore::HLOInstallationsStore(std::shared_ptr<LMUKeychainStorage> secureStorage,
                                             std::optional<std::string> accessGroup)
    : state_(std::make_shared<State>()) {
    state_->secureStorage = std::move(secureStorage);
    state_->accessGroup = std::move(accessGroup);
    state_->suiteName = state_->accessGroup && !state_->accessGroup->empty() ? *state_->accessGroup
                                                                             : std::string(kDefaultMarkerSuiteName);
    state_->suiteFilePath = platform::paths::settingsFolder() / (state_->suiteName + ".plist");
    try {
        state_->markerWriter = std::make_unique<platform::UserDefaults>(state_->suiteName);
        state_->userDefaults = std::make_unique<LMUUserDefaults>(state_->suiteName);
    } catch (const platform::Error& error) {
        state_->markerWriter.reset();
        state_->suiteError = error;
    }
}

HLOInstallationsStore::~HLOInstallationsStore() = default;

std::string HLOInstallationsStore::keychainServiceWithAppID(std::string_view appID) {
    std::string service(kKeychainServicePrefix);
    service += '.';
    service += appID;
    return service;
}

const std::optional<std::string>& HLOInstallationsStore::accessGroup() const noexcept { return state_->accessGroup; }

std::filesystem::path HLOInstallationsStore::markerSuiteFile() const { return state_->suiteFilePath; }

PRMPromise<HLOInstallationsItem> HLOInstallationsStore::installationForAppID(std::string appID, std::string appName) {
    auto state = state_;
    const std::string identifier = HLOInstallationsItem::identifierWithAppID(appID, appName);
    return installationExistsForAppID(appID, appName)
        .then([state, identifier](const Null&) {
            return PRMPromise<std::optional<KeychainObject>>::wrapObjectOrErrorCompletion(
                [state, identifier](PRMPromise<std::optional<KeychainObject>>::ObjectOrErrorCompletion handler) {
                    state->secureStorage->getObjectForKey(
                        identifier, std::string(kStoredItemClassName), state->accessGroup,
                        [handler](platform::Expected<std::optional<KeychainObject>> result) {
                            if (result) {
                                handler(std::move(result.value()), std::nullopt);
                            } else {
                                handler(std::nullopt, result.error());
                            }
                        });
                });
        })
        .then([appID, appName](const std::optional<KeychainObject>& object) -> Resolution<HLOInstallationsItem> {
            if (!object) {
                return HLOInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName);
            }
            auto stored = HLOInstallationsStoredItem::fromArchivedValue(object->value);
            if (!stored) {
                return stored.error();
            }
            HLOInstallationsItem item(appID, appName);
            item.updateWithStoredItem(stored.value());
            return item;
        });
}

PRMPromise<Null> HLOInstallationsStore::saveInstallation(const HLOInstallationsItem& installation) {
    auto state = state_;
    const std::string identifier = installation.identifier();
    KeychainObject object{std::string(kStoredItemClassName), installation.storedItem().archivedValue()};
    return PRMPromise<Null>::wrapErrorCompletion(
               [state, identifier, object](PRMPromise<Null>::ErrorCompletion handler) {
                   state->secureStorage->setObject(object, identifier, state->accessGroup,
                                                   [handler](platform::Expected<KeychainObject> result) {
                                                       if (result) {
                                                           handler(std::nullopt);
                                                       } else {
                                                           handler(result.error());
                                                       }
                                                   });
               })
        .then([state, identifier](const Null&) { return markerPromise(state, true, identifier); });
}

PRMPromise<Null> HLOInstallationsStore::removeInstallationForAppID(std::string appID, std::string appName) {
    auto state = state_;
    const std::string identifier = HLOInstallationsItem::identifierWithAppID(appID, appName);
    return PRMPromise<Null>::wrapErrorCompletion([state, identifier](PRMPromise<Null>::ErrorCompletion handler) {
               state->secureStorage->removeObjectForKey(identifier, state->accessGroup,
                                                        [handler](platform::Expected<void> result) {
                                                            if (result) {
                                                                handler(std::nullopt);
                                                            } else {
                                                                handler(result.error());
                                                            }
                                                        });
           })
        .then([state, identifier](const Null&) { return markerPromise(state, false, identifier); });
}

PRMPromise<Null> HLOInstallationsStore::installationExistsForAppID(std::string appID, std::string appName) {
    auto state = state_;
    return PRMPromise<Null>::async(
        state->queue, [state, appID = std::move(appID), appName = std::move(appName)](
                          const PRMPromise<Null>::Fulfiller& fulfill, const PRMPromise<Null>::Rejecter& reject) {
            if (state->markerExists(HLOInstallationsItem::identifierWithAppID(appID, appName))) {
                fulfill(Null{});
            } else {
                reject(HLOInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName));
            }
        });
}

PRMPromise<Null> HLOInstallationsStore::setInstallationExists(bool exists, std::string identifier) {
    return markerPromise(state_, exists, std::move(identifier));
}

PRMPromise<Null> HLOInstallationsStore::markerPromise(const std::shared_ptr<State>& state, bool exists,
                                                      std::string identifier) {
    return PRMPromise<Null>::async(
        state->queue, [state, exists, identifier = std::move(identifier)](const PRMPromise<Null>::Fulfiller& fulfill,
                                                                          const PRMPromise<Null>::Rejecter& reject) {
            if (auto written = state->writeMarker(exists, identifier); written) {
                fulfill(Null{});
            } else {
                reject(written.error());
            }
        });
}

}  // namespace kit::installations

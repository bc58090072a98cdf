#include "BundleSlots.h"
#include "MSRMeasurementUploader.h"
#include "RemoteConfigFetchLines.h"
#include "kit/core/CoreTexts.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRInAppPurchaseTransactionReporter.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/controller/MSRScreenViewReporter.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/controller/MSRTCFClient.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/script/ScriptRuntime.h"
#include "kit/measurement/support/MSRAudience.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <mutex>

// The remote configuration fetch, reset and wipe, the application's
// lifecycle notifications, the purchase filter and the network log lines.
namespace kit::measurement {

using namespace remote_config_fetch_lines;

namespace {

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

constexpr std::string_view kPlatform = "macos";
constexpr double kConfigurationRefreshAge = 604800;  // a week
// A configuration is a few kilobytes; a longer reply is refused.
constexpr std::size_t kMaximumConfigurationReplySize = std::size_t{1} << 20;

// Applies a fetched configuration; false (logged) rolls its transaction back.
bool applyConfiguration(const std::vector<std::uint8_t>& body, const std::optional<std::string>& appIDFromLMP,
                        MSRRemoteConfig& remoteConfig, MSRAudience* audience, MSRMeasurement& controller) {
    auto config = MSRPBMeasurementConfig::initWithBuffer(body);
    if (!config || !config->protoBuffer()) {
        log(kInvalidConfiguration);
        return false;
    }
    const auto appID = NanoMessageGetString(*config, config_slots::kAppID);
    if (!appID || !appIDFromLMP || *appID != *appIDFromLMP) {
        log(kNoValidAppID);
        return false;
    }
    const auto audiences =
        NanoMessageGetArray<MSRPBAudience>(*config, config_slots::kAudiences).value_or(std::vector<MSRPBAudience>{});
    NanoMessageClearField(*config, config_slots::kAudiences);
    if (!remoteConfig.updateMeasurementConfig(config)) {
        log(kConfigurationNotApplied, std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
        return false;
    }
    controller.updateConsentSettingsUtilWithRemoteConfig();
    if (audience != nullptr && !audience->updateAudiences(audiences)) {
        log(kAudiencesNotApplied);
        return false;
    }
    return true;
}

}  // namespace

void MSRMeasurement::fetchRemoteConfig() {
    if (remoteConfig_ == nullptr || network_ == nullptr) {
        log(kInvalidServerURL);
        return;
    }
    const auto url = remoteConfig_->remoteConfigURLWithPlatform(kPlatform, MSRIdentity::appMeasurementLibraryVersion(),
                                                                script::MSRPRuntime::runtimeVersion());
    if (!url) {
        log(kInvalidServerURL);
        return;
    }
    log(kFetching);
    LMUNetworkHeaders headers;
    if (const auto lastModified = persistedConfig_->configServerLastModifiedString();
        lastModified && lastModified->asString() != nullptr && !lastModified->asString()->empty()) {
        headers["If-Modified-Since"] = *lastModified->asString();
    }
    if (const auto eTag = persistedConfig_->configServerETag(); eTag && !eTag->empty()) {
        headers["If-None-Match"] = *eTag;
    }
    setIsNetworkRequestPending(true);
    network_->setTimeoutInterval(remoteConfig_->networkTimeout());
    network_->getURL(
        *url, headers, workerQueueExecutor(), shouldUseBackgroundSession(),
        [weak = weak_from_this()](std::optional<HTTPURLResponse> response, std::vector<std::uint8_t> data,
                                  std::optional<platform::Error> error) {
            if (const auto self = weak.lock()) {
                self->setIsNetworkRequestPending(false);
                self->networkRemoteConfigFetchCompletionHandler(response, std::move(data), error);
            }
        },
        kMaximumConfigurationReplySize);
}

void MSRMeasurement::networkRemoteConfigFetchCompletionHandler(const std::optional<HTTPURLResponse>& response,
                                                               const std::optional<std::vector<std::uint8_t>>& data,
                                                               const std::optional<platform::Error>& error) {
    const int status = response ? response->statusCode : 0;
    const double now = nowSince1970();
    log(kFetched, status);
    if (status != 200 && status != 204 && status != 304 && status != 404) {
        recordFailedConfigurationFetch(status, error, now);
        return;
    }
    persistedConfig_->setLastFailedUploadTimestamp(0);
    persistedConfig_->setLastBackoffTimestamp(0);
    const bool timestampUpdated = status == 304 || status == 404 ? recordUnchangedConfiguration(status, now)
                                                                 : applyFetchedConfiguration(*response, data, now);
    finishConfigurationFetch(timestampUpdated);
}

void MSRMeasurement::recordFailedConfigurationFetch(int status, const std::optional<platform::Error>& error,
                                                    double now) {
    const MSRLogContext errorContext = error ? MSRLogContext(*error) : MSRLogContext();
    log(kFetchFailed, status, errorContext);
    persistedConfig_->setLastFailedUploadTimestamp(now);
    if (status == 503 || status == 429) {
        persistedConfig_->setLastBackoffTimestamp(now);
    }
    log(kFetchRetryLater, status, errorContext);
    updateSchedule();
}

// 304 and 404 keep the configuration there is; true when the fetch time was recorded.
bool MSRMeasurement::recordUnchangedConfiguration(int status, double now) {
    if (status == 304) {
        log(kNotModified, status);
    } else {
        log(kNotFound);
    }
    if (database_ == nullptr) {
        return false;
    }
    if (const auto updated = database_->updateRemoteConfigSuccessfulTimestamp(now); !updated) {
        log(kUnchangedTimestampNotStored, updated.error());
        return false;
    }
    return true;
}

// A new configuration, applied in one transaction; true when the fetch time was recorded.
bool MSRMeasurement::applyFetchedConfiguration(const HTTPURLResponse& response,
                                               const std::optional<std::vector<std::uint8_t>>& data, double now) {
    log(kFetchSucceeded, response.statusCode, static_cast<std::int64_t>(response.expectedContentLength));
    bool timestampUpdated = false;
    if (database_ != nullptr) {
        if (const auto updated = database_->updateRemoteConfigSuccessfulTimestamp(now); !updated) {
            log(kTimestampNotStored, updated.error());
        } else {
            timestampUpdated = true;
        }
    }
    if (data && !data->empty() && database_ != nullptr && remoteConfig_ != nullptr) {
        const auto appIDFromLMP = persistedConfig_->appIDFromLMP();
        const auto applied = database_->performTransaction(
            [&] { return applyConfiguration(*data, appIDFromLMP, *remoteConfig_, audience_.get(), *this); });
        if (applied) {
            persistedConfig_->setConfigServerLastModifiedString(response.valueForHTTPHeaderField("Last-Modified"));
            persistedConfig_->setConfigServerETag(response.valueForHTTPHeaderField("ETag"));
        }
    }
    return timestampUpdated;
}

// Uploads stay off while the fetch could not be recorded; then what waited
// for the configuration goes on.
void MSRMeasurement::finishConfigurationFetch(bool timestampUpdated) {
    setSuspendedUploadTimestamp(timestampUpdated ? 0 : std::max(nowSinceBoot(), 1e-6));
    if (shouldRequestDeferredDeepLinkAfterConfigFetch_) {
        shouldRequestDeferredDeepLinkAfterConfigFetch_ = false;
        if (deepLinks_ != nullptr) {
            deepLinks_->requestDeferredDeepLink();
        } else {
            uploadDataOrRegisterAlarm();
        }
    } else {
        uploadDataOrRegisterAlarm();
    }
    if (tcfClient_ != nullptr && remoteConfig_ != nullptr) {
        tcfClient_->setIsDMARegion(remoteConfig_->isDMARegion());
    }
}

bool MSRMeasurement::resetAnalyticsDataWithAppInstanceID(const std::optional<std::string>& appInstanceID) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("resetAnalyticsData");
    const bool emptyID = !appInstanceID || appInstanceID->empty();
    if (emptyID) {
        if (!MSRConsentSettingsUtil::isAnalyticsStorageDenied()) {
            log(kEmptyAppInstanceID);
            return false;
        }
        log(kResettingWithEmptyAppInstanceID);
    }
    const double loadTimestamp = MSRAnalytics::loadTimestamp();
    bool wiped = false;
    scheduler_->dispatchSyncOnWorkerQueueBlockID("MSRMeasurement:3783", [&] {
        wiped = wipeoutAnalyticsDataAndResetComponents();
        if (!wiped) {
            return;
        }
        persistedConfig_->setAppInstanceID(appInstanceID);
        updatePersistedAppIDFromLMP();
        log(kDataReset);
        if (!isAnalyticsCollectionDeactivated_ && !MSRAnalytics::deferredAnalyticsCollection()) {
            MSRAnalytics::setDeferredAnalyticsCollection(
                platform::Value(std::int64_t{isAnalyticsCollectionEnabled_ ? 0 : 1}));
        }
        initTimestamp_ = loadTimestamp;
        persistedConfig_->setLoadTimestampValue(platform::Value(loadTimestamp));
        if (isAnalyticsCollectionEnabled_) {
            setPersonalizedAdsUserPropertyOnWorkerQueue();
            reportFirstOpenOnWorkerQueue();
        }
    });
    return wiped;
}

bool MSRMeasurement::wipeoutAnalyticsDataAndResetComponents() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("wipeoutAnalyticsDataAndResetComponents");
    log(kResetting);
    resetPSMCounts();
    previousLMPAppID_ = persistedConfig_->appIDFromLMP();
    persistedConfig_->clearValues();
    monitor().clearMonitoringData();
    if (MSRConsentSettingsUtil::adPersonalization()) {
        MSRConsentSettingsUtil::unsetAdPersonalization();
        MSRConsentSettingsUtil::setDefaultSettings(std::nullopt);
        MSRConsentSettingsUtil::setDelegatedSettings(std::nullopt);
    }
    // What waited for a batch of the old data is gone with it.
    uploader_->forgetBundlesInFlight();
    if (database_ != nullptr) {
        if (const auto reset = database_->reset(); !reset) {
            log(kDatabaseNotReset, reset.error());
            return false;
        }
        if (remoteConfig_ != nullptr) {
            remoteConfig_->reset();
        }
        sessionReporter_ = MSRSessionReporter::initWithPersistedConfig(persistedConfig_, *clock_);
        if (sessionReporter_ != nullptr) {
            sessionReporter_->setReportingEnabled(enabled_);
        }
    } else {
        const std::filesystem::path path = MSRMeasurementFilePath(databaseName_);
        std::error_code error;
        if (!path.empty() && !std::filesystem::remove(path, error) && error) {
            log(kOldDatabaseNotDeleted, error.message());
        }
    }
    if (identity_ != nullptr) {
        identity_->updateIdentifiersAndWait();
        identity_->resetEphemeralAppInstanceID();
        identity_->resetSessionStitchingToken();
    }
    return true;
}

double MSRMeasurement::firstOpenTimestamp() {
    if (database_ == nullptr) {
        return 0;
    }
    const auto attributes = database_->userAttributesIncludingInternal(true);
    if (!attributes) {
        log(kUserPropertiesQueryFailed, attributes.error());
        return 0;
    }
    if (attributes->empty()) {
        log(kNoUserProperties);
        return 0;
    }
    double earliest = std::numeric_limits<double>::max();
    for (const MSRUserAttribute& attribute : *attributes) {
        if (attribute.name() == "_fot") {
            return attribute.lastSetTimestamp();
        }
        earliest = std::min(earliest, attribute.lastSetTimestamp());
    }
    return earliest;
}

void MSRMeasurement::paymentQueueUpdatedTransactions(const std::vector<platform::PaymentTransaction>& transactions) {
    filterPurchaseTransactions(transactions, [](std::vector<platform::PaymentTransaction> filtered) {
        MSRInAppPurchaseTransactionReporter::sharedInstance().paymentQueueUpdatedFilteredTransactions(filtered);
    });
}

void MSRMeasurement::filterPurchaseTransactions(
    const std::vector<platform::PaymentTransaction>& transactions,
    std::function<void(std::vector<platform::PaymentTransaction>)> callback) {
    scheduleWeakBlock("MSRMeasurement:4209", [transactions, callback = std::move(callback)](MSRMeasurement& self) {
        std::vector<platform::PaymentTransaction> result;
        for (const platform::PaymentTransaction& transaction : transactions) {
            if (transaction.state != platform::PaymentTransactionState::purchased) {
                continue;
            }
            const std::string fingerprint =
                MSRInAppPurchaseTransactionReporter::transactionFingerprint(&transaction).value_or("");
            if (fingerprint.empty()) {
                log(kNoPurchaseFingerprint, transaction.productIdentifier);
                result.push_back(transaction);
                continue;
            }
            if (self.database_ == nullptr) {
                result.push_back(transaction);
                continue;
            }
            const auto inserted = self.database_->insertIfNotDuplicatePurchaseFingerprint(fingerprint);
            if (!inserted) {
                log(kPurchaseFingerprintNotSaved, transaction.productIdentifier, inserted.error());
                result.push_back(transaction);
            } else if (*inserted) {
                result.push_back(transaction);
            } else {
                log(kDuplicatePurchase, transaction.productIdentifier);
            }
        }
        // Delivered off the worker queue, as the reporter expects.
        platform::globalQueue().async(
            [callback, result = std::move(result)]() mutable { callback(std::move(result)); });
    });
}

void MSRMeasurement::subscribeForAppDidFinishLaunchingNotifications() {
    static const bool subscribed = [] {
        platform::NotificationCenter::defaultCenter().addObserver(
            std::string(core_texts::kApplicationDidFinishLaunchingNotification), nullptr,
            [](const platform::Notification& notification) { handleAppDidFinishLaunching(notification.userInfo); });
        return true;
    }();
    (void)subscribed;
    // The screen-view reporter keeps the app-active flag that lets a session
    // start: it observes from now on, so an activation that comes before the
    // end of launching (or without it) still counts.
    MSRScreenViewReporter::sharedInstance();
}

void MSRMeasurement::handleAppDidFinishLaunching(const platform::Value& userInfo) {
    MSRScreenViewReporter::sharedInstance();
    if (const auto* dictionary = userInfo.asDictionary(); dictionary != nullptr && !dictionary->empty()) {
        MSRDeepLinks::handleStoredURLAfterAppLaunchWithNotification(*dictionary,
                                                                    *MSRUserDefaults::sharedUserDefaults());
    }
}

void MSRMeasurement::subscribeForAppForegroundBackgroundNotifications() {
    auto& center = platform::NotificationCenter::defaultCenter();
    const std::weak_ptr<MSRMeasurement> weak = weak_from_this();
    notificationSubscription_ = std::make_unique<NotificationSubscription>();
    notificationSubscription_->tokens = {
        center.addObserver(std::string(core_texts::kApplicationDidBecomeActiveNotification), nullptr,
                           [weak](const platform::Notification&) {
                               if (const auto self = weak.lock()) {
                                   self->handleAppDidBecomeActiveEvent();
                               }
                           }),
        center.addObserver(std::string(core_texts::kApplicationWillResignActiveNotification), nullptr,
                           [weak](const platform::Notification&) {
                               if (const auto self = weak.lock()) {
                                   self->handleAppWillResignActiveEvent();
                               }
                           }),
    };
}

MSRMeasurement::NotificationSubscription::~NotificationSubscription() {
    for (const auto token : tokens) {
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    }
}

void MSRMeasurement::handleAppDidBecomeActiveEvent() {
    // The settings belong to the worker queue: the gate is read there.
    scheduleWeakBlock("MSRMeasurement:4343", [](MSRMeasurement& self) {
        if (self.remoteConfig_ == nullptr || !self.remoteConfig_->blocklistInternal()) {
            return;
        }
        if (std::fabs(self.nowSince1970() - self.remoteConfig_->lastRemoteConfigUpdateTimestamp()) <
            kConfigurationRefreshAge) {
            return;
        }
        if (self.isNetworkReadyForRequest()) {
            self.fetchRemoteConfig();
        } else {
            log(kFetchIgnoredWhilePending);
        }
    });
}

void MSRMeasurement::handleAppWillResignActiveEvent() {
    persistedConfig_->synchronizeToDisk();
    log(kResigningActive);
    MSRAnalytics::queueOperationWithBlock([weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->scheduleWeakBlock("MSRMeasurement:4396", [](MSRMeasurement& controller) { controller.uploadData(); });
        }
    });
}

void MSRMeasurement::handleNonFirstOpenEventURL(const std::string& url, double eventTimestamp) {
    if (deepLinks_ != nullptr) {
        deepLinks_->handleNonFirstOpenEventURL(url, eventTimestamp);
    }
}

bool MSRMeasurement::isHaloRemoteConfigSDKPresent() { return kit::classRegistry().contains("HLORemoteConfig"); }

void MSRMeasurement::LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                             const LMUNetworkLogContexts& contexts) {
    int monitorLevel = 3;
    switch (level) {
    case 3:
        monitorLevel = 1;
        break;
    case 4:
        monitorLevel = 4;
        break;
    case 5:
        monitorLevel = 3;
        break;
    case 6:
        monitorLevel = 6;
        break;
    case 7:
        monitorLevel = 7;
        break;
    default:
        break;
    }
    MSRLogContexts converted;
    converted.reserve(contexts.size());
    for (const auto& context : contexts) {
        converted.push_back(context ? MSRLogContext(*context) : MSRLogContext());
    }
    monitor().logWithLevel(monitorLevel, static_cast<std::uint64_t>(messageCode), message, converted);
}

void MSRMeasurement::LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                             const std::optional<std::string>& context) {
    LMUNetwork_logWithLevel(level, messageCode, message,
                            context ? LMUNetworkLogContexts{context} : LMUNetworkLogContexts{});
}

void MSRMeasurement::LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message) {
    LMUNetwork_logWithLevel(level, messageCode, message, LMUNetworkLogContexts{});
}

}  // namespace kit::measurement

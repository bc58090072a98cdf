#include "kit/measurement/controller/MSRDeepLinks.h"

#include "DeepLinkLines.h"
#include "kit/core/KitContext.h"

#include "DeepLinkURLs.h"
#include "kit/core/Endpoints.h"
#include "kit/core/network/Network.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/messages/MSRQueryString.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace kit::measurement {
namespace {

using platform::Value;

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

// The preview headers of the kit context: written by launch links, read by
// the upload on the worker queue.
struct PreviewHeaders {
    std::mutex mutex;
    std::optional<Value::Dictionary> headers;  // guarded by mutex
};

PreviewHeaders& previewHeaders() { return KitContext::current().service<PreviewHeaders>(); }

void setPreviewHeaders(std::optional<Value::Dictionary> headers) {
    PreviewHeaders& shared = previewHeaders();
    std::lock_guard lock(shared.mutex);
    shared.headers = std::move(headers);
}

// A header value must stay one header: CR, LF or NUL would end it and let
// the rest of the key pass for headers of its own.
bool isSafeHeaderValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool isNonEmptyString(const Value* value) {
    return value != nullptr && value->asString() != nullptr && !value->asString()->empty();
}

}  // namespace

// --- The stored launch link

void MSRStoreDeepLink(MSRKeyValueStore& defaults, std::string_view link, const platform::Clock& clock) {
    defaults.setObject(Value(link), kMSRStoredDeepLinkKey);
    defaults.setObject(Value(platform::secondsSince1970(clock.now())), kMSRStoredDeepLinkTimestampKey);
}

void MSRClearStoredDeepLink(MSRKeyValueStore& defaults) {
    defaults.removeObjectForKey(kMSRStoredDeepLinkKey);
    defaults.removeObjectForKey(kMSRStoredDeepLinkTimestampKey);
}

bool MSRHasStoredDeepLink(MSRKeyValueStore& defaults) {
    const auto link = defaults.objectForKey(kMSRStoredDeepLinkKey);
    const auto timestamp = defaults.objectForKey(kMSRStoredDeepLinkTimestampKey);
    return link && link->isString() && timestamp && timestamp->isNumber();
}

bool MSRIsStoredDeepLinkExpired(MSRKeyValueStore& defaults, double timeToLiveSeconds, const platform::Clock& clock) {
    const auto timestamp = defaults.objectForKey(kMSRStoredDeepLinkTimestampKey);
    const auto stored = timestamp ? timestamp->asDouble() : std::nullopt;
    if (!stored) {
        return false;
    }
    return std::fabs(platform::secondsSince1970(clock.now()) - *stored) > timeToLiveSeconds;
}

bool MSRClearStoredDeepLinkIfExpired(MSRKeyValueStore& defaults, const MSRRemoteConfig& remoteConfig,
                                     const platform::Clock& clock) {
    const bool expired = MSRIsStoredDeepLinkExpired(defaults, remoteConfig.attributionCacheTTLInterval(), clock);
    if (expired) {
        MSRClearStoredDeepLink(defaults);
    }
    return expired;
}

std::int64_t MSRPreviousHourStartMilliseconds(std::int64_t milliseconds) {
    // Whole hours counted towards zero, as the stored campaign report expects.
    return (milliseconds / 3600000) * 3600000 - 3600000;
}

bool isValidCampaignURLParamDictionary(const Value::Dictionary& parameters) {
    return std::any_of(kMSRRequiredCampaignKeys.begin(), kMSRRequiredCampaignKeys.end(), [&](std::string_view key) {
        const auto found = parameters.find(key);
        return found != parameters.end() && isNonEmptyString(&found->second);
    });
}

// --- Class-level operations

std::optional<std::string> MSRDeepLinks::deepLinkFromUserActivity(const MSRUserActivity* activity) {
    if (activity == nullptr) {
        deep_link_lines::log(deep_link_lines::kUserActivityEmpty, nullptr);
        return std::nullopt;
    }
    if (activity->activityType == kMSRUserActivityTypeBrowsingWeb && activity->webpageURL &&
        !activity->webpageURL->empty()) {
        return activity->webpageURL;
    }
    deep_link_lines::log(deep_link_lines::kUserActivityDoesNotDeepLink, activity->activityType);
    return std::nullopt;
}

void MSRDeepLinks::handleStoredURLAfterAppLaunchWithNotification(const Value::Dictionary& userInfo,
                                                                 MSRKeyValueStore& defaults,
                                                                 const platform::Clock& clock) {
    bool stored = false;
    if (const auto found = userInfo.find(kMSRLaunchUserActivityDictionaryKey); found != userInfo.end()) {
        // The activity travels as {"activityType", "webpageURL"}.
        const Value* entry = found->second.find(kMSRLaunchUserActivityKey);
        if (entry != nullptr && entry->asDictionary() != nullptr) {
            MSRUserActivity activity;
            if (const auto* type = entry->find("activityType"); type != nullptr && type->asString() != nullptr) {
                activity.activityType = *type->asString();
            }
            if (const auto* url = entry->find("webpageURL"); url != nullptr && url->asString() != nullptr) {
                activity.webpageURL = *url->asString();
            }
            if (const auto link = deepLinkFromUserActivity(&activity); link && !link->empty()) {
                MSRStoreDeepLink(defaults, *link, clock);
                stored = true;
            }
        }
    }
    if (const auto found = userInfo.find(kMSRLaunchURLKey); found != userInfo.end()) {
        const auto* url = found->second.asString();
        if (url != nullptr && !url->empty()) {
            if (!stored) {
                MSRStoreDeepLink(defaults, *url, clock);
            }
            handleSSTDebugModeWithURL(*url);
        }
    }
}

void MSRDeepLinks::handleSSTDebugModeWithURL(std::string_view url) {
    const auto query = deeplinks::queryOfURL(url);
    const MSRQueryDictionary arguments = query ? msr_dictionaryWithHttpArgumentsString(*query) : MSRQueryDictionary{};
    if (arguments.empty()) {
        return;
    }
    const auto enable = arguments.find(std::string(kMSRSSTDebugEnableKey));
    if (enable == arguments.end()) {
        return;
    }
    if (enable->second == "1") {
        monitor().setSSTDebugModeEnabled(true);
        const auto key = arguments.find(std::string(kMSRSSTPreviewKeyKey));
        if (key != arguments.end() && !key->second.empty() && isSafeHeaderValue(key->second)) {
            setPreviewHeaders(Value::Dictionary{{std::string(kMSRSSTPreviewHeaderName), Value(key->second)}});
        } else {
            setPreviewHeaders(std::nullopt);
        }
    } else if (enable->second == "0") {
        monitor().setSSTDebugModeEnabled(false);
        setPreviewHeaders(std::nullopt);
    }
}

std::optional<Value::Dictionary> MSRDeepLinks::SSTPreviewHeaders() {
    PreviewHeaders& shared = previewHeaders();
    std::lock_guard lock(shared.mutex);
    return shared.headers;
}

void MSRDeepLinks::installFacts() {
    MSRControllerFacts facts;
    facts.SSTPreviewHeaders = [] { return SSTPreviewHeaders(); };
    installControllerFacts(facts);
}

bool MSRDeepLinks::sendDeepLinkURLToAppDelegateOnMainThread(const std::string&, const Value::Dictionary&) {
    return false;
}

Value::Dictionary MSRDeepLinks::campaignExtrasFromDeferredDeepLinkInfo(const Value::Dictionary& info) {
    Value::Dictionary extras{{"cis", Value("ddp")}};
    for (const std::string_view key : {std::string_view("lclid"), std::string_view("lbraid")}) {
        if (const auto found = info.find(key); found != info.end() && isNonEmptyString(&found->second)) {
            extras.emplace(std::string(key), found->second);
        }
    }
    return extras;
}

// --- The instance

std::shared_ptr<MSRDeepLinks> MSRDeepLinks::create(Dependencies dependencies) {
    return std::make_shared<MSRDeepLinks>(Private{}, std::move(dependencies));
}

MSRDeepLinks::MSRDeepLinks(Private, Dependencies dependencies) : dependencies_(std::move(dependencies)) {}

std::shared_ptr<MSRRemoteConfig> MSRDeepLinks::remoteConfig() const {
    auto config = dependencies_.remoteConfig ? dependencies_.remoteConfig() : nullptr;
    return config != nullptr ? config : MSRRemoteConfig::defaultInstance();
}

double MSRDeepLinks::now() const { return platform::secondsSince1970(dependencies_.clock->now()); }

void MSRDeepLinks::handleNonFirstOpenEventURL(const std::string& url, double eventTimestampInSeconds) {
    const platform::SerialQueue* current = platform::SerialQueue::current();
    if (current != nullptr && current->label() == kMSRWorkerQueueLabel) {
        deep_link_lines::log(deep_link_lines::kDoNotCallHandleNonFirstOpenOpenURLMeasurementWorker);
        return;
    }
    handleOpenURL(url, std::nullopt, eventTimestampInSeconds);
}

void MSRDeepLinks::handleOpenURL(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                                 double eventTimestampInSeconds) {
    if (url.empty()) {
        return;
    }
    handleDeepLink(url, clickTimestampInMs, eventTimestampInSeconds);
}

void MSRDeepLinks::handleDeepLink(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                                  double eventTimestampInSeconds) {
    std::weak_ptr<MSRDeepLinks> weak = weak_from_this();
    dependencies_.scheduler->scheduleOnWorkerQueueBlockID(
        "MSRMeasurement:440", [weak, url, clickTimestampInMs, eventTimestampInSeconds] {
            if (const auto self = weak.lock()) {
                self->handleOpenURLOnWorkerQueue(url, clickTimestampInMs, eventTimestampInSeconds, {});
            }
        });
}

bool MSRDeepLinks::shouldAllowClickID() {
    const auto& environment = dependencies_.environment;
    const auto deviceID = environment.resettableDeviceID ? environment.resettableDeviceID() : std::nullopt;
    if (deviceID && !deviceID->empty()) {
        return true;
    }
    return environment.trackingConsentStatus && environment.trackingConsentStatus() == 3;
}

void MSRDeepLinks::handleOpenURLOnWorkerQueue(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                                              double eventTimestampInSeconds,
                                              const Value::Dictionary& extraParameters) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName(
        "handleOpenURLOnWorkerQueue:clickTimestampInMs:eventTimestampInSeconds:extraParameters:");
    Value::Dictionary parameters;
    Value::Dictionary numberExtras;
    for (const auto& [key, value] : extraParameters) {
        if (value.isString()) {
            parameters[key] = value;
        } else if (value.isNumber()) {
            numberExtras[key] = value;
        }
    }
    if (const auto query = deeplinks::queryOfURL(url)) {
        for (auto& [key, value] : msr_dictionaryWithHttpArgumentsString(*query)) {
            parameters[key] = Value(std::move(value));
        }
    }
    if (parameters.empty()) {
        deep_link_lines::log(deep_link_lines::kDeepLinkWebURLQueryEmpty);
        return;
    }
    if (!isValidCampaignURLParamDictionary(parameters)) {
        deep_link_lines::log(deep_link_lines::kDeepLinkDoesNotContainValid, Value(parameters));
        return;
    }
    MSRObjectDictionary eventParameters;
    for (const auto& [queryKey, eventParameter] : kMSRCampaignParameterMap) {
        const auto found = parameters.find(queryKey);
        if (found != parameters.end() && isNonEmptyString(&found->second)) {
            eventParameters[std::string(eventParameter)] = found->second;
        }
    }
    if (!shouldAllowClickID()) {
        for (const std::string_view key : kMSRClickIDKeys) {
            if (const auto found = eventParameters.find(key); found != eventParameters.end()) {
                eventParameters.erase(found);
            }
        }
    }
    for (const auto& [key, value] : numberExtras) {
        eventParameters[key] = value;
    }
    if (clickTimestampInMs) {
        eventParameters["click_timestamp"] = Value(*clickTimestampInMs);
    }
    const double firstOpen =
        dependencies_.persistedConfig != nullptr
            ? static_cast<double>(dependencies_.persistedConfig->firstOpenTimestampMilliseconds()) / 1000.0
            : 0.0;
    const double eventTime = std::max(firstOpen, eventTimestampInSeconds);
    const auto controller = dependencies_.controller.lock();

    if (const auto found = eventParameters.find("lbraid"); found != eventParameters.end()) {
        const auto* text = std::get_if<Value>(&found->second);
        const auto value = text != nullptr ? MSRValue::valueFromObject(*text) : std::nullopt;
        if (value && value->stringValue() != nullptr && !value->stringValue()->empty()) {
            const auto attribute = MSRUserAttribute::initWithOrigin("auto", "_lbraid", *value, eventTime);
            if (attribute && controller != nullptr) {
                controller->setUserPropertyInDatabaseOnWorkerQueue(*attribute);
            }
        }
    }
    const auto campaignCount = numberExtras.find("_cc");
    const bool carriedOver = campaignCount != numberExtras.end() && campaignCount->second.asDouble() == 1.0;
    const auto event =
        MSREvent::initWithOrigin("auto", false, carriedOver ? "_cmpx" : "_cmp", eventTime, 0, eventParameters);
    if (!event) {
        return;
    }
    if (controller != nullptr) {
        controller->handleInternalEventOnWorkerQueue(*event);
    }
    MSRAnalytics::notifyEventListeners(*event);
}

// --- The deferred deep link

bool MSRDeepLinks::shouldAllowRequestDeferredDeepLink() {
    const auto config = remoteConfig();
    if (!config->isDeferredDeepLinkEnabled()) {
        deep_link_lines::log(deep_link_lines::kDeferredDeepLinkFeatureDisabled);
        return false;
    }
    const auto& info = dependencies_.environment.infoDictionary;
    const auto enabled = info.find(kMSRDeferredDeepLinkInfoKey);
    if (enabled == info.end() || !(enabled->second.isBool() || enabled->second.isNumber()) ||
        !enabled->second.boolValue().value_or(false)) {
        return false;
    }
    auto& persisted = *dependencies_.persistedConfig;
    if (persisted.deferredDeepLinkRetrievalComplete()) {
        deep_link_lines::log(deep_link_lines::kAlreadyRetrievedDeferredDeepLink);
        return false;
    }
    if (persisted.deferredDeepLinkRetryCount() >= config->maxDeferredDeepLinkRetryCount()) {
        deep_link_lines::log(deep_link_lines::kFailedRetrieveDeferredDeepLink);
        persisted.setDeferredDeepLinkRetrievalComplete(Value(std::int64_t{1}));
        return false;
    }
    if (MSRConsentSettingsUtil::isAdStorageDenied()) {
        deep_link_lines::log(deep_link_lines::kIDFAUnavailableRetrieveDeferredDeepLink);
        return false;
    }
    const auto& environment = dependencies_.environment;
    const auto limited = environment.limitedAdTracking ? environment.limitedAdTracking() : std::nullopt;
    if (limited.value_or(true)) {
        deep_link_lines::log(deep_link_lines::kIDFAUnavailableRetrieveDeferredDeepLink2);
        return false;
    }
    deep_link_lines::log(deep_link_lines::kDeferredDeepLinkFeatureEnabled);
    return true;
}

std::optional<std::string> MSRDeepLinks::deferredDeepLinkURL() {
    const auto& environment = dependencies_.environment;
    const auto config = remoteConfig();
    std::vector<std::pair<std::string, std::string>> query;
    const std::int64_t version = environment.appMeasurementLibraryVersion ? environment.appMeasurementLibraryVersion()
                                                                          : kMSRDefaultLibraryVersion;
    query.emplace_back("sdk_version", std::to_string(version));
    query.emplace_back("rdid", environment.resettableDeviceID ? environment.resettableDeviceID().value_or("") : "");
    query.emplace_back("id_type", "idfa");
    query.emplace_back("bundleid", environment.appID ? environment.appID() : "");
    query.emplace_back("retry", std::to_string(dependencies_.persistedConfig->deferredDeepLinkRetryCount()));
    const bool isFAS = environment.isFAS && environment.isFAS();
    if (!isFAS && std::find(environment.launchArguments.begin(), environment.launchArguments.end(),
                            kMSRDebugDeferredDeepLinkArgument) != environment.launchArguments.end()) {
        query.emplace_back("ddl_test", "1");
    }
    if (const std::string signals = MSRConsentSettingsUtil::consentSignals(); !signals.empty()) {
        query.emplace_back("gcs", signals);
    }
    const bool isDMARegion = config->isDMARegion();
    query.emplace_back("dma", isDMARegion ? "1" : "0");
    if (MSRConsentSettingsUtil::isAdUserDataDenied()) {
        query.emplace_back("dma_cps", "-");
    } else if (const auto services = config->corePlatformServices(); isDMARegion && !services.empty()) {
        std::string joined;
        for (const auto& service : services) {  // a std::set: already sorted
            joined += service;
        }
        query.emplace_back("dma_cps", joined);
    }
    if (const auto personalization = MSRConsentSettingsUtil::adPersonalization()) {
        query.emplace_back("npa", *personalization != 0 ? "0" : "1");
    }
    return deeplinks::serviceURL(kit::Endpoints::current().deepLinkHost, kMSRDeferredDeepLinkPath,
                                 msr_queryString(query));
}

void MSRDeepLinks::requestDeferredDeepLink() {
    const auto url = deferredDeepLinkURL();
    if (!url) {
        deep_link_lines::log(deep_link_lines::kURLRetrieveDeferredDeepLinkInvalid);
        return;
    }
    if (dependencies_.network == nullptr) {
        const auto endpoints = kit::Endpoints::current();
        kit::LMUNetworkConfiguration configuration;
        configuration.transport = kit::TransportOptions::fromEndpoints(endpoints);
        dependencies_.network = kit::LMUNetwork::initWithReachabilityHost(deeplinks::hostOf(endpoints.deepLinkHost),
                                                                          std::move(configuration));
        if (dependencies_.network == nullptr) {
            deep_link_lines::log(deep_link_lines::kURLRetrieveDeferredDeepLinkInvalid);
            return;
        }
    }
    if (const auto controller = dependencies_.controller.lock()) {
        controller->setIsNetworkRequestPending(true);
    }
    dependencies_.network->setTimeoutInterval(remoteConfig()->networkTimeout());
    const std::shared_ptr<platform::Executor> workerQueue(dependencies_.scheduler,
                                                          &dependencies_.scheduler->workerQueue());
    std::weak_ptr<MSRDeepLinks> weak = weak_from_this();
    dependencies_.network->getURL(*url, {}, workerQueue, false,
                                  [weak](std::optional<kit::HTTPURLResponse> response, std::vector<std::uint8_t> data,
                                         std::optional<platform::Error> error) {
                                      if (const auto self = weak.lock()) {
                                          self->handleDeferredDeepLinkReply(response ? response->statusCode : 0, data,
                                                                            error.has_value() || !response);
                                      }
                                  });
}

void MSRDeepLinks::handleDeferredDeepLinkReply(int status, const std::vector<std::uint8_t>& data, bool failed) {
    const auto controller = dependencies_.controller.lock();
    if (controller == nullptr) {
        return;
    }
    controller->setIsNetworkRequestPending(false);
    if (!failed && (status == 200 || status == 204 || status == 304)) {
        dependencies_.persistedConfig->setDeferredDeepLinkRetrievalComplete(Value(std::int64_t{0}));
        const auto info = deepLinkInfoFromResponseData(data);
        if (info && !info->empty()) {
            deep_link_lines::log(deep_link_lines::kSuccessfullyRetrievedDeferredDeepLink);
            handleDeferredDeepLinkInfo(*info);
        } else {
            controller->updateSchedule();
        }
        return;
    }
    deep_link_lines::log(deep_link_lines::kFailedRetrieveDeferredDeepLinkRetry, status,
                         failed ? "request failed" : "unexpected status");
    auto& persisted = *dependencies_.persistedConfig;
    persisted.setDeferredDeepLinkRetryCount(persisted.deferredDeepLinkRetryCount() + 1);
    controller->updateSchedule();
}

std::optional<Value::Dictionary> MSRDeepLinks::deepLinkInfoFromResponseData(const std::vector<std::uint8_t>& data) {
    if (data.empty()) {
        deep_link_lines::log(deep_link_lines::kDeferredDeepLinkResponseEmpty);
        return std::nullopt;
    }
    const auto parsed = Value::fromJson(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    if (!parsed) {
        deep_link_lines::log(deep_link_lines::kFailedParseDeferredDeepLinkJSON, "not JSON");
        return std::nullopt;
    }
    const auto* dictionary = parsed->asDictionary();
    if (dictionary == nullptr || dictionary->empty()) {
        return std::nullopt;
    }
    const Value* link = parsed->find("deeplink");
    if (link == nullptr || link->asString() == nullptr || !deeplinks::isURL(*link->asString())) {
        return std::nullopt;
    }
    return *dictionary;
}

void MSRDeepLinks::handleDeferredDeepLinkInfo(const Value::Dictionary& info) {
    const auto found = info.find("deeplink");
    if (found == info.end() || found->second.asString() == nullptr || !deeplinks::isURL(*found->second.asString())) {
        return;
    }
    const std::string url = *found->second.asString();
    // Kept for a host that can take the link; this one answers NO below.
    const Value::Dictionary campaignExtras = campaignExtrasFromDeferredDeepLinkInfo(info);
    Value::Dictionary extraInfo;
    if (const auto timestamp = info.find("timestamp"); timestamp != info.end()) {
        extraInfo.emplace("timestamp", timestamp->second);
    }
    deep_link_lines::log(deep_link_lines::kSendingDeferredDeepLinkAppDelegate);
    platform::MainQueue::get()->async([url, extraInfo, campaignExtras] {
        if (!sendDeepLinkURLToAppDelegateOnMainThread(url, extraInfo)) {
            deep_link_lines::log(deep_link_lines::kAppDelegateNotConfiguredHandleDeferred, url);
        }
    });
}

}  // namespace kit::measurement

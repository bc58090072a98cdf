#include "MSREventWritePipeline.h"

#include "BundleSlots.h"
#include "EventEntryLines.h"
#include "EventTexts.h"
#include "WritePipelineLines.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/core/WireLiterals.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSREnvironmentInfo.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRLifetimeValueRecorder.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/messages/MSREventEditingInstance.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRConditionalUserPropertyController.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MSRLogDescriptions.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace kit::measurement {

using platform::Value;
using namespace event_texts;
using namespace write_pipeline_lines;

namespace {

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

MSRObjectDictionary objectsFromPlain(const Value::Dictionary& parameters) {
    MSRObjectDictionary objects;
    for (const auto& [key, value] : parameters) {
        objects.emplace(key, MSRObject(value));
    }
    return objects;
}

const MSRValue* parameter(const MSREvent& event, std::string_view name) {
    const auto found = event.parameters().find(name);
    return found != event.parameters().end() ? &found->second : nullptr;
}

std::string parameterText(const MSREvent& event, std::string_view name) {
    const MSRValue* value = parameter(event, name);
    return value != nullptr ? value->description() : std::string();
}

std::string eventName(const MSREvent& event) { return MSREventNameDescription(event.name()); }

bool isOverLimitLogged(std::int64_t excess) { return excess % kOverLimitLogInterval == 0; }

}  // namespace

MSREventWritePipeline::MSREventWritePipeline(MSRMeasurement& controller,
                                             std::optional<std::vector<std::string>> safelistedEvents)
    : controller_(controller), safelistedEvents_(std::move(safelistedEvents)) {}

// --- Handling

void MSREventWritePipeline::handleEventOnWorkerQueue(const MSREvent& incoming) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("handleEventOnWorkerQueue");
    auto event = acceptedEvent(incoming);
    if (!event) {
        return;
    }
    writeSessionStartEventOnWorkerQueue(*event);
    writeEditedEventOnWorkerQueue(std::move(*event));
    controller_.updateSchedule();
}

// The event as the checks before editing leave it; none when one drops it.
std::optional<MSREvent> MSREventWritePipeline::acceptedEvent(const MSREvent& incoming) {
    if (!controller_.isEnabled()) {
        log(kDisabled);
        return std::nullopt;
    }
    auto safelisted = eventAfterSafelistingEvent(incoming);
    if (!safelisted) {
        return std::nullopt;
    }
    processSessionFromEvent(*safelisted);
    if (!dedupeSubscriptionEvent(*safelisted) || shouldDropDuplicatedSessionStartWithRolloutEvent(*safelisted)) {
        return std::nullopt;
    }
    return appExceptionEventWithHaloFeatureRollouts(*safelisted);
}

// Writes the event as editing leaves it, then the events editing created.
void MSREventWritePipeline::writeEditedEventOnWorkerQueue(MSREvent event) {
    const auto settings = controller_.remoteConfigInstance();
    const std::shared_ptr<MSREventEditingInstance> editing = settings != nullptr ? settings->eventEditing() : nullptr;
    if (editing == nullptr) {
        writeEventOnWorkerQueue(event);
        return;
    }
    if (auto handled = editing->handleEvent(event.editEvent()); !handled) {
        // A broken program must not hold the event back: it is written as
        // it came, and the upload is scheduled as for any other.
        writeEventOnWorkerQueue(event);
        log(kEditingFailed, eventName(event));
        return;
    }
    if (editing->hasEdits()) {
        if (auto edited = MSREvent::eventFromEditEvent(editing->outputEvent())) {
            event = std::move(*edited);
        } else {
            log(kEditingFailed, eventName(event));
        }
    }
    // Copied first: writing runs other code on this queue before the loop ends.
    const std::vector<MSRPEvent> created =
        editing->hasCreatedEvents() ? editing->eventsToLog() : std::vector<MSRPEvent>{};
    writeEventOnWorkerQueue(event);
    for (const MSRPEvent& source : created) {
        const Value* origin = source.parameterForName(kOriginParameterName);
        const std::string_view originText =
            origin != nullptr && origin->isString() ? std::string_view(*origin->asString()) : kAppOrigin;
        auto made = MSREvent::initWithOrigin(originText, false, source.name(), source.timestamp(), 0,
                                             objectsFromPlain(source.parameters()));
        if (!made) {
            log(event_entry_lines::kNilEventWithParameters, originText, MSREventNameDescription(source.name()),
                MSRDictionaryDescription(Value(source.parameters()), ""));
            continue;
        }
        writeEventOnWorkerQueue(*made);
    }
}

void MSREventWritePipeline::handleInternalEventOnWorkerQueue(const MSREvent& event) {
    MSREvent handled = event;
    if (handled.name() != kErrorEventName) {
        if (auto defaults = controller_.persistedConfig()->defaultEventParameters(); defaults && !defaults->empty()) {
            handled.applyParameters(objectsFromPlain(*defaults), true);
        }
    }
    handleEventOnWorkerQueue(handled);
    MSRAnalytics::notifyEventListeners(handled);
}

std::optional<MSREvent> MSREventWritePipeline::eventAfterSafelistingEvent(const MSREvent& event) {
    if (!safelistedEvents_ || safelistedEvents_->empty()) {
        return event;
    }
    for (const std::string& name : *safelistedEvents_) {
        if (name == event.name()) {
            MSREvent allowed = event;
            allowed.parameters().insert_or_assign(std::string(kSafelistedParameterName), MSRValue::initWithInt64(1));
            return allowed;
        }
    }
    log(kNotInAllowlist, eventName(event), event.origin());
    return std::nullopt;
}

void MSREventWritePipeline::processSessionFromEvent(const MSREvent& event) {
    const auto sessionReporter = controller_.sessionReporter();
    if (MSRIsAppActive() || sessionReporter == nullptr) {
        return;
    }
    if (const MSRValue* extend = parameter(event, kExtendSessionParameterName)) {
        if (extend->isInt64() && extend->int64Value() == 1) {
            if (sessionReporter->isSessionExpired()) {
                controller_.reportSessionStartOnWorkerQueueWithTimestamp(event.timestamp(), true);
            } else {
                sessionReporter->extendSession();
            }
        } else {
            log(kReservedExtendSession);
        }
    }
    MSRDatabase* database = controller_.database();
    if (!sessionReporter->isSessionExpired() || database == nullptr) {
        return;
    }
    struct Removal {
        std::string_view name;
        const Line& line;
    };
    static constexpr Removal kRemovals[] = {
        {kSessionIDPropertyName, kSessionIDNotRemoved},
        {kSessionNumberPropertyName, kSessionNumberNotRemoved},
        {kSessionEngagementPropertyName, kSessionEngagementNotRemoved},
    };
    (void)database->performTransaction([&] {
        for (const Removal& removal : kRemovals) {
            if (auto removed = database->deleteUserAttributeWithName(removal.name); !removed) {
                log(removal.line, removed.error());
                return false;
            }
        }
        return true;
    });
}

bool MSREventWritePipeline::dedupeSubscriptionEvent(const MSREvent& event) {
    MSRDatabase* database = controller_.database();
    if (!MSRIsSubscriptionEvent(event) || database == nullptr) {
        return true;
    }
    const MSRValue* subscriptionID = parameter(event, kSubscriptionIDParameterName);
    if (subscriptionID == nullptr || !subscriptionID->isInt64()) {
        return true;
    }
    const std::string productID = parameterText(event, kProductIDParameterName);
    auto inserted = database->insertIfNotDuplicateSubscriptionID(std::to_string(subscriptionID->int64Value()));
    if (!inserted) {
        log(kSubscriptionIDNotSaved, productID, inserted.error());
    } else if (!*inserted) {
        log(kDuplicateSubscription, productID);
        return false;
    }
    auto deleted = database->deleteSubscriptionsOverLimit();
    if (!deleted) {
        log(kOldSubscriptionsNotDeleted, deleted.error());
        return false;
    }
    if (*deleted != 0) {
        log(kOldSubscriptionsDeleted, *deleted);
    }
    return true;
}

bool MSREventWritePipeline::shouldDropDuplicatedSessionStartWithRolloutEvent(const MSREvent& event) {
    if (event.name() != kSessionStartRolloutEventName) {
        return false;
    }
    const auto persistedConfig = controller_.persistedConfig();
    const MSRValue* rollouts = parameter(event, kRolloutsParameterName);
    const std::string* rolloutsText = rollouts != nullptr ? rollouts->stringValue() : nullptr;
    const std::optional<std::string> stored = persistedConfig->haloFeatureRollouts();
    const bool duplicate = stored ? (rolloutsText != nullptr && *rolloutsText == *stored)
                                  : (rollouts == nullptr || (rolloutsText != nullptr && rolloutsText->empty()));
    if (duplicate) {
        log(kDuplicateRollouts);
        return true;
    }
    if (rollouts != nullptr && rolloutsText == nullptr) {
        log(kRolloutsNotText);
    }
    if (rolloutsText != nullptr && !rolloutsText->empty()) {
        persistedConfig->setHaloFeatureRollouts(*rolloutsText);
    } else {
        persistedConfig->setHaloFeatureRollouts(std::nullopt);
    }
    return false;
}

MSREvent MSREventWritePipeline::appExceptionEventWithHaloFeatureRollouts(const MSREvent& event) {
    if (event.name() != kAppExceptionEventName) {
        return event;
    }
    const auto rollouts = controller_.persistedConfig()->haloFeatureRollouts();
    if (!rollouts) {
        return event;
    }
    MSREvent withRollouts = event;
    withRollouts.parameters().insert_or_assign(std::string(kRolloutsParameterName),
                                               MSRValue::initWithString(*rollouts));
    return withRollouts;
}

void MSREventWritePipeline::writeSessionStartEventOnWorkerQueue(const MSREvent& event) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("writeSessionStartEventOnWorkerQueue");
    if (event.name() != kSessionStartEventName) {
        return;
    }
    const MSRValue* sessionID = parameter(event, kSessionIDParameterName);
    const MSRValue* sessionNumber = parameter(event, kSessionNumberParameterName);
    if (sessionID != nullptr && sessionNumber != nullptr) {
        controller_.backfillSessionID(sessionID->int64Value(), sessionNumber->int64Value());
    }
    const auto rollouts = controller_.persistedConfig()->haloFeatureRollouts();
    if (!rollouts) {
        return;
    }
    auto rolloutEvent = MSREvent::initWithOrigin(
        kAutoOrigin, false, kSessionStartRolloutEventName, controller_.nowSince1970(), 0,
        {{std::string(kRolloutsParameterName), MSRObject(MSRValue::initWithString(*rollouts))}});
    if (rolloutEvent) {
        writeEventOnWorkerQueue(*rolloutEvent);
    }
}

// --- Writing

void MSREventWritePipeline::writeEventOnWorkerQueue(const MSREvent& event) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("writeEventOnWorkerQueue");
    if (monitor().wantsLine(kLoggingEvent.level)) {
        log(kLoggingEvent, event.origin(), eventName(event), MSRParametersDescription(event.parameters()));
    }
    // The conditional properties run their own transaction, so this runs
    // outside any.
    auto produced = MSRConditionalUserPropertyController::sharedInstance().processEventOnWorkerQueue(&event);
    if (!produced) {
        log(kConditionalPropertyFailed, eventName(event), event.origin());
    }
    writeFilteredEventOnWorkerQueue(event);
    for (const MSREvent& triggered : produced.value_or(std::vector<MSREvent>{})) {
        writeFilteredEventOnWorkerQueue(triggered);
    }
}

void MSREventWritePipeline::writeFilteredEventOnWorkerQueue(const MSREvent& filtered) {
    const std::shared_ptr<MSRRemoteConfig> settings = controller_.remoteConfigOrDefault();
    if (settings->isEventBlocklisted(filtered.name())) {
        log(kBlocklisted, eventName(filtered));
        if (!settings->blocklistInternal() && !settings->blocklistPublic() && filtered.name() != kErrorEventName) {
            MSRLogErrorEventWithName(MSRFailureCodeEventIsBlocked, filtered.name(), kBlockedEventNameLimit, nullptr);
        }
        return;
    }
    MSRDatabase* database = controller_.database();
    if (database == nullptr) {
        log(kRawEventNotStored, std::string("The measurement store is not open"));
        return;
    }
    if (const auto identity = controller_.identity(); identity != nullptr) {
        identity->updateIdentifiers();
    }
    MSREvent event = filtered;
    if (isOneOf(event.name(), kConversionEventNames)) {
        event.setConversion(true);
    }
    bool blockRan = false;
    auto written = database->performTransaction([&] {
        blockRan = true;
        return writeCountedEvent(event);
    });
    if (!written && !blockRan) {
        // The store refused the transaction itself (nested or busy).
        log(kRawEventNotStored, written.error());
    }
}

// Lifetime value, the daily counts, then the row when the limits let it in.
bool MSREventWritePipeline::writeCountedEvent(MSREvent& event) {
    MSRDatabase& database = *controller_.database();
    if (!updateLifetimeValueWithEvent(event)) {
        return false;
    }
    const bool isPublic = !event.name().starts_with("_");
    auto dailyCounts = database.dailyCounts();
    if (!dailyCounts) {
        log(kDailyCountsQueryFailed, dailyCounts.error());
        return false;
    }
    const bool process = shouldProcessEvent(event, *dailyCounts, isPublic);
    const bool realtime = isRealtimeEvent(event, *dailyCounts);
    if (auto saved = database.updateDailyCounts(*dailyCounts); !saved) {
        log(kDailyCountsNotUpdated, eventName(event), saved.error());
        return false;
    }
    return process ? writeEvent(event, isPublic, realtime) : true;
}

bool MSREventWritePipeline::updateLifetimeValueWithEvent(const MSREvent& event) {
    if (!MSRLifetimeValueRecorder::isPurchaseEvent(event)) {
        return true;
    }
    MSRDatabaseLifetimeValueStore store(*controller_.database());
    if (MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(
            store, event, controller_.remoteConfigOrDefault()->maxTrackedCurrencies(), controller_.nowSince1970())) {
        return true;
    }
    log(kLifetimeValueNotStored, eventName(event), parameterText(event, kCurrencyParameterName),
        parameterText(event, kValueParameterName));
    return false;
}

bool MSREventWritePipeline::shouldProcessEvent(const MSREvent& event, MSRDailyCounts& dailyCounts, bool isPublicEvent) {
    const std::shared_ptr<MSRRemoteConfig> settings = controller_.remoteConfigOrDefault();
    const double now = controller_.nowSince1970();
    const auto day = static_cast<std::uint32_t>(static_cast<std::int64_t>(
        std::floor((now - controller_.persistedConfig()->midnightOffset()) / kSecondsPerDay)));
    if (dailyCounts.day() != day) {
        dailyCounts.resetWithNewDay(day);
    }
    const bool isError = event.name() == kErrorEventName;
    const std::int32_t maxEvents = settings->maxEventsPerDay();
    const std::int64_t over = static_cast<std::int64_t>(dailyCounts.allEventsCount()) - maxEvents;
    bool dropped = false;
    if (over >= 0) {
        dropped = true;
        if (isOverLimitLogged(over)) {
            log(kTooManyEvents, eventName(event), maxEvents);
        }
    } else if (isError) {
        const std::int32_t maxErrors = settings->maxErrorEventsPerDay();
        const std::int64_t errorsOver = static_cast<std::int64_t>(dailyCounts.errorEventsCount()) - maxErrors;
        if (errorsOver >= 0) {
            dropped = true;
            if (isOverLimitLogged(errorsOver)) {
                log(kTooManyErrorEvents, parameterText(event, kErrorEventName), maxErrors);
            }
        }
    } else if (isPublicEvent) {
        const std::int32_t maxPublic = settings->maxPublicEventsPerDay();
        const std::int64_t publicOver = static_cast<std::int64_t>(dailyCounts.publicEventsCount()) - maxPublic;
        if (publicOver >= 0) {
            dropped = true;
            if (isOverLimitLogged(publicOver)) {
                log(kTooManyPublicEvents, eventName(event), maxPublic);
            }
            MSRLogErrorEvent(MSRFailureCodePublicEventLimitReached);
        }
    }
    if (isError) {
        dailyCounts.incrementErrorEventsCountForCurrentDay(day);
    } else {
        const std::size_t items = MSREventItemCount(&event);
        const std::int64_t effective = 1 + static_cast<std::int64_t>(items);
        dailyCounts.incrementCountsForCurrentDay(
            day, isPublicEvent, false,
            static_cast<std::int32_t>(std::min<std::int64_t>(effective, std::numeric_limits<std::int32_t>::max())));
    }
    // Only the total limit spends the all-events count on dropped events.
    if (dropped && over < 0) {
        dailyCounts.decrementAllEventsCount();
    }
    return !dropped;
}

bool MSREventWritePipeline::isRealtimeEvent(MSREvent& event, const MSRDailyCounts& dailyCounts) {
    const std::shared_ptr<MSRRemoteConfig> settings = controller_.remoteConfigOrDefault();
    const bool debugMode = monitor().isDebugModeEnabled();
    const bool limitApplies = !debugMode && !isOneOf(event.name(), kRealtimeLimitExemptNames);
    const std::int32_t maxRealtime = settings->maxRealtimeEventCountPerDay();
    bool candidate = false;
    if (event.isConversion() || settings->isEventCustomConversion(event.name())) {
        candidate = !limitApplies || dailyCounts.realtimeCount() < maxRealtime;
    }
    if (event.isRealtime() && limitApplies && dailyCounts.realtimeCount() >= maxRealtime) {
        event.setRealtime(false);
        log(kRealtimeLimit, eventName(event), MSRParametersDescription(event.parameters()));
    }
    if (event.isRealtime() && !debugMode && event.name() == kDCUEventName &&
        dailyCounts.dcuRealtimeCount() >= settings->maxRealtimeDCUEventCountPerDay()) {
        event.setRealtime(false);
    }
    maybeAddDebugAndRealtimeParameters(event);
    return candidate || event.isRealtime();
}

void MSREventWritePipeline::maybeAddDebugAndRealtimeParameters(MSREvent& event) {
    if (!monitor().isDebugModeEnabled()) {
        return;
    }
    event.setRealtime(true);
    event.setDebug(true);
    log(kDebugMode, eventName(event), MSRParametersDescription(event.parameters()));
}

bool MSREventWritePipeline::writeEvent(const MSREvent& event, bool isPublicEvent, bool isRealtime) {
    MSRDatabase& database = *controller_.database();
    if (!ensureEventAggregates(database, event, isPublicEvent)) {
        return false;
    }
    if (const auto identity = controller_.identity();
        identity != nullptr && identity->shouldSetLastAdvertisingIDResetUserProperty()) {
        controller_.setLastAdvertisingIDResetUserPropertyOnWorkerQueue();
    }
    auto attributes = database.userAttributesIncludingInternal(true);
    if (!attributes) {
        log(kUserPropertiesQueryFailed, attributes.error());
        return false;
    }
    rememberAdCampaign(event);
    const auto fingerprint = storeRawEventMetadata(database, event, *attributes);
    if (!fingerprint) {
        return false;
    }
    if (auto inserted = database.insertRawEvent(event, *fingerprint, isRealtime); !inserted) {
        log(kRawEventNotStored, inserted.error());
        return false;
    }
    countFirstOpen(event);
    if (monitor().wantsLine(kEventLogged.level)) {
        log(kEventLogged, eventName(event), MSRParametersDescription(event.parameters()));
    }
    return true;
}

// The event name's aggregates row, made when it is the name's first event
// and the limit on names allows one more.
bool MSREventWritePipeline::ensureEventAggregates(MSRDatabase& database, const MSREvent& event, bool isPublicEvent) {
    auto aggregates = database.eventAggregatesWithName(event.name());
    if (!aggregates) {
        log(kAggregatesQueryFailed, eventName(event), aggregates.error());
        return false;
    }
    if (*aggregates) {
        return true;
    }
    if (isPublicEvent) {
        auto publicCount = database.publicEventCount();
        if (!publicCount) {
            log(kEventCountQueryFailed, publicCount.error());
            return false;
        }
        if (*publicCount >= controller_.remoteConfigOrDefault()->maxEventNameCardinality()) {
            log(kEventNameLimit, eventName(event));
            MSRLogErrorEvent(MSRFailureCodeEventLimitReached);
            return false;
        }
    }
    auto fresh = MSREventAggregates::initWithName(event.name(), 0, 0, 0, 0);
    if (!fresh) {
        log(kAggregatesNotStored, std::string("The event name is not valid"));
        return false;
    }
    if (auto stored = database.updateEventAggregates(*fresh); !stored) {
        log(kAggregatesNotStored, stored.error());
        return false;
    }
    return true;
}

void MSREventWritePipeline::rememberAdCampaign(const MSREvent& event) {
    if (event.name() != kCampaignEventName) {
        return;
    }
    if (auto campaign = adCampaignInfoFromEvent(event)) {
        if (auto bytes = campaign->protoBuffer()) {
            controller_.persistedConfig()->setAdCampaignInfoBuffer(Value(Value::Data(bytes->begin(), bytes->end())));
        }
    }
}

std::optional<std::int64_t> MSREventWritePipeline::storeRawEventMetadata(
    MSRDatabase& database, const MSREvent& event, const std::vector<MSRUserAttribute>& attributes) {
    const auto persistedConfig = controller_.persistedConfig();
    MSRPBMeasurementBundle metadata = createRawEventMetadataWithUserAttributes(attributes);
    if (NanoMessageHasField(metadata, bundle_slots::kResettableDeviceID)) {
        if (persistedConfig->unmatchedFirstOpenWithoutIDFA()) {
            logFirstOpenConsentedEvent(event.timestamp());
        }
    } else if (event.name() == kFirstOpenEventName) {
        persistedConfig->setUnmatchedFirstOpenWithoutIDFA(true);
    }
    if (auto stored = database.insertIfNotExistsRawEventMetadata(metadata); !stored) {
        log(kMetadataNotStored, stored.error());
        return std::nullopt;
    }
    auto deleted = database.deleteRawEventsOverAbsoluteLimit();
    if (!deleted) {
        log(kStorageLimitCheckFailed, deleted.error());
        return std::nullopt;
    }
    if (*deleted != 0) {
        log(kTooManyStoredEvents, *deleted);
    }
    const auto bytes = metadata.protoBuffer();
    return bytes ? msr_64LSBMD5(std::span<const std::uint8_t>(*bytes)) : std::int64_t{0};
}

void MSREventWritePipeline::countFirstOpen(const MSREvent& event) {
    if (event.name() != kFirstOpenEventName) {
        return;
    }
    const std::int64_t counted = std::max<std::int64_t>(controller_.storedFirstOpenCount(), 0);
    const std::int64_t raised = counted == std::numeric_limits<std::int64_t>::max() ? counted : counted + 1;
    controller_.setPreviousFirstOpenCount(std::to_string(raised));
}

// --- The metadata record

MSRPBMeasurementBundle MSREventWritePipeline::createRawEventMetadataWithUserAttributes(
    const std::vector<MSRUserAttribute>& attributes) {
    namespace slot = bundle_slots;
    MSRPBMeasurementBundle metadata;
    NanoMessageSetString(metadata, slot::kPlatform, kit::kApplePlatform);
    NanoMessageSetInt32(metadata, slot::kProtocolVersion, 1);
    const std::shared_ptr<MSRRemoteConfig> settings = controller_.remoteConfigOrDefault();
    if (const auto identity = controller_.identity(); identity != nullptr) {
        fillIdentityMetadata(metadata, *identity, *settings);
    }
    MSRFillBundleConsentFields(metadata, MSRConsentSettingsUtil::consentDiagnostics(),
                               MSRConsentSettingsUtil::isAdUserDataDenied(), std::nullopt, *settings, true);
    MSREnvironmentInfo& environment = MSREnvironmentInfo::sharedInstance();
    NanoMessageSetString(metadata, slot::kDeviceModel, environment.deviceModel());
    NanoMessageSetString(metadata, slot::kOSVersion, environment.deviceOSVersion());
    NanoMessageSetInt32(metadata, slot::kTimeZoneOffsetMinutes, environment.timeZoneOffsetMinutes());
    if (const auto language = environment.userDefaultLanguage()) {
        NanoMessageSetString(metadata, slot::kUserDefaultLanguage, *language);
    }
    if (!attributes.empty()) {
        // Every stored property, internal ones ("_npa" among them) included.
        std::vector<MSRPBUserAttribute> protos;
        protos.reserve(attributes.size());
        for (const MSRUserAttribute& attribute : attributes) {
            protos.push_back(attribute.protoUserAttribute());
        }
        NanoMessageSetArray(metadata, slot::kUserAttributes, protos);
    }
    if (const auto buffer = controller_.persistedConfig()->adCampaignInfoBuffer(); buffer && buffer->isData()) {
        if (auto campaign = MSRPBAdCampaignInfo::initWithBuffer(*buffer->asData())) {
            NanoMessageSetMessage(metadata, slot::kAdCampaignInfo, *campaign);
        }
    }
    return metadata;
}

// The application's and the identity's fields of the metadata record.
void MSREventWritePipeline::fillIdentityMetadata(MSRPBMeasurementBundle& metadata, MSRIdentity& identity,
                                                 const MSRRemoteConfig& settings) {
    namespace slot = bundle_slots;
    NanoMessageSetString(metadata, slot::kAppID, identity.appID());
    const auto& isFromAppStoreProbe = controller_.environment().isFromAppStore;
    const bool fromAppStore = isFromAppStoreProbe ? isFromAppStoreProbe() : identity.isFromAppStore();
    if (!fromAppStore) {
        NanoMessageSetString(metadata, slot::kInstallSource, kManualInstallSource);
    }
    if (identity.appVersion()) {
        NanoMessageSetString(metadata, slot::kAppVersion, *identity.appVersion());
    }
    if (const auto lmpAppID = identity.appIDFromLMP(); lmpAppID && !lmpAppID->empty()) {
        NanoMessageSetString(metadata, slot::kLMPAppID, *lmpAppID);
    }
    NanoMessageSetInt64(metadata, slot::kLibraryVersion, MSRIdentity::appMeasurementLibraryVersion());
    if (const auto installationID = identity.haloInstallationID()) {
        NanoMessageSetString(metadata, slot::kInstallationID, *installationID);
    }
    const auto sessionReporter = controller_.sessionReporter();
    const bool sessionExpired = sessionReporter == nullptr || sessionReporter->isSessionExpired();
    const auto token =
        identity.sessionStitchingTokenWithSessionNumber(controller_.persistedConfig()->sessionNumber(), sessionExpired,
                                                        controller_.hasUserPropertyUserIDOnWorkerQueue());
    if (token && !token->empty()) {
        NanoMessageSetString(metadata, slot::kSessionStitchingToken, *token);
    }
    const std::pair<int, const std::optional<std::int64_t>&> versionParts[] = {
        {slot::kAppVersionMajor, identity.appVersionMajor()},
        {slot::kAppVersionMinor, identity.appVersionMinor()},
        {slot::kAppVersionRelease, identity.appVersionRelease()},
    };
    for (const auto& [field, part] : versionParts) {
        if (part) {
            NanoMessageSetInt32(metadata, field, static_cast<std::int32_t>(*part));
        }
    }
    MSRFillBundleIdentityFields(metadata, MSRConsentSettingsUtil::consentSignals(), settings.gateIDFAOnATTMASEnabled(),
                                identity, true);
}

std::optional<MSRPBAdCampaignInfo> MSREventWritePipeline::adCampaignInfoFromEvent(const MSREvent& event) {
    if (event.name() != kCampaignEventName) {
        return std::nullopt;
    }
    const MSRValue* clickID = parameter(event, kCampaignClickIDParameterName);
    const MSRValue* braid = parameter(event, kCampaignBraidParameterName);
    if (clickID == nullptr && braid == nullptr) {
        return std::nullopt;
    }
    namespace slot = bundle_slots;
    MSRPBAdCampaignInfo campaign;
    NanoMessageSetInt64(campaign, slot::kCampaignTimestampMillis,
                        MSRMillisecondsFromSeconds(event.timestamp()).value_or(0));
    const std::pair<int, std::string_view> texts[] = {
        {slot::kCampaignLclid, kCampaignClickIDParameterName},
        {slot::kCampaignLbraid, kCampaignBraidParameterName},
        {slot::kCampaignSource, kCampaignSourceParameterName},
    };
    for (const auto& [field, name] : texts) {
        const MSRValue* value = parameter(event, name);
        if (value != nullptr && value->isString()) {
            NanoMessageSetString(campaign, field, *value->stringValue());
        }
    }
    return campaign;
}

void MSREventWritePipeline::logFirstOpenConsentedEvent(double timestamp) {
    controller_.persistedConfig()->setUnmatchedFirstOpenWithoutIDFA(false);
    const std::int64_t previousCount = controller_.storedFirstOpenCount();
    const std::int64_t previousFirstOpens = previousCount < 2 ? 0 : previousCount - 1;
    std::int64_t uninstalledWithoutApp = 0;
    if (MSRDatabase* database = controller_.database(); database != nullptr) {
        if (auto firstInstall = database->userAttributeWithName(kFirstInstallPropertyName);
            firstInstall && *firstInstall) {
            const MSRValue& value = (*firstInstall)->value();
            const bool belowOne =
                value.isInt64() ? value.int64Value() < 1 : value.isDouble() && value.doubleValue() < 1;
            uninstalledWithoutApp = belowOne ? 1 : 0;
        }
    }
    auto event = MSREvent::initWithOrigin(
        kAutoOrigin, false, kFirstOpenConsentedEventName, timestamp, 0,
        {{std::string(kPreviousFirstOpenParameterName), MSRObject(MSRValue::initWithInt64(previousFirstOpens))},
         {std::string(kUninstallWithoutAppParameterName), MSRObject(MSRValue::initWithInt64(uninstalledWithoutApp))}});
    if (!event) {
        return;
    }
    event->setRealtime(true);
    controller_.scheduler().scheduleOnWorkerQueueBlockID("MSRMeasurement:979",
                                                         [weak = controller_.weak_from_this(), event = *event] {
                                                             if (const auto self = weak.lock()) {
                                                                 self->writeEventOnWorkerQueue(event);
                                                             }
                                                         });
}

}  // namespace kit::measurement

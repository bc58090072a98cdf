#include "kit/measurement/controller/MSRMeasurement.h"

#include "BundleSlots.h"
#include "EventTexts.h"
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

// One event from the worker queue to its stored row: allowlist, session,
// de-duplication, editing, daily limits, the row and its metadata record.
namespace kit::measurement {

using platform::Value;
using namespace event_texts;

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

}  // namespace

// The persisted count of earlier first opens as a 64-bit integer; 0 for none.
std::int64_t MSRMeasurement::storedFirstOpenCount() {
    const auto text = previousFirstOpenCount();
    return text ? Value(*text).integerValue().value_or(0) : 0;
}

namespace {

bool isOverLimitLogged(std::int64_t excess) { return excess % kOverLimitLogInterval == 0; }

}  // namespace

std::shared_ptr<MSRRemoteConfig> MSRMeasurement::remoteConfigOrDefault() {
    return remoteConfig_ != nullptr ? remoteConfig_ : MSRRemoteConfig::defaultInstance();
}

void MSRMeasurement::handleEventOnWorkerQueue(const MSREvent& incoming) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("handleEventOnWorkerQueue");
    if (!isEnabled()) {
        monitor().logWithLevel(7, 23049, "Analytics is disabled. Event not logged");
        return;
    }
    auto safelisted = eventAfterSafelistingEvent(incoming);
    if (!safelisted) {
        return;
    }
    processSessionFromEvent(*safelisted);
    if (!dedupeSubscriptionEvent(*safelisted) || shouldDropDuplicatedSessionStartWithRolloutEvent(*safelisted)) {
        return;
    }
    MSREvent event = appExceptionEventWithHaloFeatureRollouts(*safelisted);
    writeSessionStartEventOnWorkerQueue(event);

    const std::shared_ptr<MSREventEditingInstance> editing =
        remoteConfig_ != nullptr ? remoteConfig_->eventEditing() : nullptr;
    if (editing == nullptr) {
        writeEventOnWorkerQueue(event);
        updateSchedule();
        return;
    }
    if (auto handled = editing->handleEvent(event.editEvent()); !handled) {
        // A broken program must not hold the event back: it is written as
        // it came, and the upload is scheduled as for any other.
        writeEventOnWorkerQueue(event);
        monitor().logWithLevel(1, 23223, "Event editing failed. Event name", eventName(event));
        updateSchedule();
        return;
    }
    if (editing->hasEdits()) {
        if (auto edited = MSREvent::eventFromEditEvent(editing->outputEvent())) {
            event = std::move(*edited);
        } else {
            monitor().logWithLevel(1, 23223, "Event editing failed. Event name", eventName(event));
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
            monitor().logWithLevel(1, 23219, "Attempted to log nil event. Origin, name, parameters", originText,
                                   MSREventNameDescription(source.name()),
                                   MSRDictionaryDescription(Value(source.parameters()), ""));
            continue;
        }
        writeEventOnWorkerQueue(*made);
    }
    updateSchedule();
}

void MSRMeasurement::handleInternalEventOnWorkerQueue(const MSREvent& event) {
    MSREvent handled = event;
    if (handled.name() != kErrorEventName) {
        if (auto defaults = persistedConfig_->defaultEventParameters(); defaults && !defaults->empty()) {
            handled.applyParameters(objectsFromPlain(*defaults), true);
        }
    }
    handleEventOnWorkerQueue(handled);
    MSRAnalytics::notifyEventListeners(handled);
}

std::optional<MSREvent> MSRMeasurement::eventAfterSafelistingEvent(const MSREvent& event) {
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
    monitor().logWithLevel(3, 23174, "Event dropped. Reason: not in allowlist. Event name, origin", eventName(event),
                           event.origin());
    return std::nullopt;
}

void MSRMeasurement::processSessionFromEvent(const MSREvent& event) {
    if (MSRIsAppActive() || sessionReporter_ == nullptr) {
        return;
    }
    if (const MSRValue* extend = parameter(event, kExtendSessionParameterName)) {
        if (extend->isInt64() && extend->int64Value() == 1) {
            if (sessionReporter_->isSessionExpired()) {
                reportSessionStartOnWorkerQueueWithTimestamp(event.timestamp(), true);
            } else {
                sessionReporter_->extendSession();
            }
        } else {
            monitor().logWithLevel(3, 23179,
                                   "extend_session is a reserved parameter. To extend or start a session in the "
                                   "background, set an event parameter {@'extend_session': @1}");
        }
    }
    if (!sessionReporter_->isSessionExpired() || database_ == nullptr) {
        return;
    }
    struct Removal {
        std::string_view name;
        std::uint64_t code;
        std::string_view message;
    };
    static constexpr Removal kRemovals[] = {
        {kSessionIDPropertyName, 23177, "Failed to remove session ID user property on session expiration. Error"},
        {kSessionNumberPropertyName, 23178,
         "Failed to remove session number user property on session expiration. Error"},
        {kSessionEngagementPropertyName, 23192,
         "Failed to remove session user engagement user property on session expiration. Error"},
    };
    (void)database_->performTransaction([&] {
        for (const Removal& removal : kRemovals) {
            if (auto removed = database_->deleteUserAttributeWithName(removal.name); !removed) {
                monitor().logWithLevel(2, removal.code, removal.message, removed.error());
                return false;
            }
        }
        return true;
    });
}

bool MSRMeasurement::dedupeSubscriptionEvent(const MSREvent& event) {
    if (!MSRIsSubscriptionEvent(event) || database_ == nullptr) {
        return true;
    }
    const MSRValue* subscriptionID = parameter(event, kSubscriptionIDParameterName);
    if (subscriptionID == nullptr || !subscriptionID->isInt64()) {
        return true;
    }
    const std::string productID = parameterText(event, kProductIDParameterName);
    auto inserted = database_->insertIfNotDuplicateSubscriptionID(std::to_string(subscriptionID->int64Value()));
    if (!inserted) {
        monitor().logWithLevel(2, 23181, "Failed to save subscription ID. Product ID, error", productID,
                               inserted.error());
    } else if (!*inserted) {
        monitor().logWithLevel(4, 23182, "Event dropped. Reason: Subscription purchase is a duplicate. Product ID",
                               productID);
        return false;
    }
    auto deleted = database_->deleteSubscriptionsOverLimit();
    if (!deleted) {
        monitor().logWithLevel(5, 23183, "Failed to delete older subscription records. Error", deleted.error());
        return false;
    }
    if (*deleted != 0) {
        monitor().logWithLevel(5, 23184, "Deleted older subscription records beyond limit", *deleted);
    }
    return true;
}

bool MSRMeasurement::shouldDropDuplicatedSessionStartWithRolloutEvent(const MSREvent& event) {
    if (event.name() != kSessionStartRolloutEventName) {
        return false;
    }
    const MSRValue* rollouts = parameter(event, kRolloutsParameterName);
    const std::string* rolloutsText = rollouts != nullptr ? rollouts->stringValue() : nullptr;
    const std::optional<std::string> stored = persistedConfig_->haloFeatureRollouts();
    const bool duplicate = stored ? (rolloutsText != nullptr && *rolloutsText == *stored)
                                  : (rollouts == nullptr || (rolloutsText != nullptr && rolloutsText->empty()));
    if (duplicate) {
        monitor().logWithLevel(8, 23191, "Feature rollouts value is a duplicate, dropping event");
        return true;
    }
    if (rollouts != nullptr && rolloutsText == nullptr) {
        monitor().logWithLevel(2, 23190, "Unable to process halo feature rollouts, value is not a string.");
    }
    if (rolloutsText != nullptr && !rolloutsText->empty()) {
        persistedConfig_->setHaloFeatureRollouts(*rolloutsText);
    } else {
        persistedConfig_->setHaloFeatureRollouts(std::nullopt);
    }
    return false;
}

MSREvent MSRMeasurement::appExceptionEventWithHaloFeatureRollouts(const MSREvent& event) {
    if (event.name() != kAppExceptionEventName) {
        return event;
    }
    const auto rollouts = persistedConfig_->haloFeatureRollouts();
    if (!rollouts) {
        return event;
    }
    MSREvent withRollouts = event;
    withRollouts.parameters().insert_or_assign(std::string(kRolloutsParameterName), MSRValue::initWithString(*rollouts));
    return withRollouts;
}

void MSRMeasurement::writeSessionStartEventOnWorkerQueue(const MSREvent& event) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("writeSessionStartEventOnWorkerQueue");
    if (event.name() != kSessionStartEventName) {
        return;
    }
    const MSRValue* sessionID = parameter(event, kSessionIDParameterName);
    const MSRValue* sessionNumber = parameter(event, kSessionNumberParameterName);
    if (sessionID != nullptr && sessionNumber != nullptr) {
        backfillSessionID(sessionID->int64Value(), sessionNumber->int64Value());
    }
    const auto rollouts = persistedConfig_->haloFeatureRollouts();
    if (!rollouts) {
        return;
    }
    auto rolloutEvent =
        MSREvent::initWithOrigin(kAutoOrigin, false, kSessionStartRolloutEventName, nowSince1970(), 0,
                                 {{std::string(kRolloutsParameterName), MSRObject(MSRValue::initWithString(*rollouts))}});
    if (rolloutEvent) {
        writeEventOnWorkerQueue(*rolloutEvent);
    }
}

void MSRMeasurement::writeEventOnWorkerQueue(const MSREvent& event) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("writeEventOnWorkerQueue");
    if (monitor().wantsLine(7)) {
        monitor().logWithLevel(7, 23051, "Logging event: origin, name, params", event.origin(), eventName(event),
                               MSRParametersDescription(event.parameters()));
    }
    // The conditional properties run their own transaction, so this runs
    // outside any.
    auto produced = MSRConditionalUserPropertyController::sharedInstance().processEventOnWorkerQueue(&event);
    if (!produced) {
        monitor().logWithLevel(4, 23050, "Unable to process conditional user property. Event name, origin",
                               eventName(event), event.origin());
    }
    writeFilteredEventOnWorkerQueue(event);
    for (const MSREvent& triggered : produced.value_or(std::vector<MSREvent>{})) {
        writeFilteredEventOnWorkerQueue(triggered);
    }
}

void MSRMeasurement::writeFilteredEventOnWorkerQueue(const MSREvent& filtered) {
    const std::shared_ptr<MSRRemoteConfig> settings = remoteConfigOrDefault();
    if (settings->isEventBlocklisted(filtered.name())) {
        monitor().logWithLevel(5, 23052, "Rejected event. Event name", eventName(filtered));
        if (!settings->blocklistInternal() && !settings->blocklistPublic() && filtered.name() != kErrorEventName) {
            MSRLogErrorEventWithName(MSRFailureCodeEventIsBlocked, filtered.name(), kBlockedEventNameLimit, nullptr);
        }
        return;
    }
    if (database_ == nullptr) {
        monitor().logWithLevel(1, 23071, "Data loss. Cannot record raw event. Error",
                               std::string("The measurement store is not open"));
        return;
    }
    if (identity_ != nullptr) {
        identity_->updateIdentifiers();
    }
    MSREvent event = filtered;
    if (isOneOf(event.name(), kConversionEventNames)) {
        event.setConversion(true);
    }
    bool blockRan = false;
    auto written = database_->performTransaction([&] {
        blockRan = true;
        if (!updateLifetimeValueWithEvent(event)) {
            return false;
        }
        const bool isPublic = !event.name().starts_with("_");
        auto dailyCounts = database_->dailyCounts();
        if (!dailyCounts) {
            monitor().logWithLevel(1, 23054, "Data loss. Unable to query daily event counts. Error",
                                   dailyCounts.error());
            return false;
        }
        const bool process = shouldProcessEvent(event, *dailyCounts, isPublic);
        const bool realtime = isRealtimeEvent(event, *dailyCounts);
        if (auto saved = database_->updateDailyCounts(*dailyCounts); !saved) {
            monitor().logWithLevel(1, 23061, "Data loss. Unable to update daily event counts. Name, error",
                                   eventName(event), saved.error());
            return false;
        }
        return process ? writeEvent(event, isPublic, realtime) : true;
    });
    if (!written && !blockRan) {
        // The store refused the transaction itself (nested or busy).
        monitor().logWithLevel(1, 23071, "Data loss. Cannot record raw event. Error", written.error());
    }
}

bool MSRMeasurement::updateLifetimeValueWithEvent(const MSREvent& event) {
    if (!MSRLifetimeValueRecorder::isPurchaseEvent(event)) {
        return true;
    }
    MSRDatabaseLifetimeValueStore store(*database_);
    if (MSRLifetimeValueRecorder::recordLifetimeValueToDatabase(store, event,
                                                                remoteConfigOrDefault()->maxTrackedCurrencies(),
                                                                nowSince1970())) {
        return true;
    }
    monitor().logWithLevel(1, 23053, "Cannot record lifetime value of event. Name, currency code, transaction value",
                           eventName(event), parameterText(event, kCurrencyParameterName),
                           parameterText(event, kValueParameterName));
    return false;
}

bool MSRMeasurement::shouldProcessEvent(const MSREvent& event, MSRDailyCounts& dailyCounts, bool isPublicEvent) {
    const std::shared_ptr<MSRRemoteConfig> settings = remoteConfigOrDefault();
    const double now = nowSince1970();
    const auto day = static_cast<std::uint32_t>(
        static_cast<std::int64_t>(std::floor((now - persistedConfig_->midnightOffset()) / kSecondsPerDay)));
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
            monitor().logWithLevel(1, 23055, "Data loss. Too many events logged. Name, limit", eventName(event),
                                   maxEvents);
        }
    } else if (isError) {
        const std::int32_t maxErrors = settings->maxErrorEventsPerDay();
        const std::int64_t errorsOver = static_cast<std::int64_t>(dailyCounts.errorEventsCount()) - maxErrors;
        if (errorsOver >= 0) {
            dropped = true;
            if (isOverLimitLogged(errorsOver)) {
                monitor().logWithLevel(1, 23056, "Too many error events logged. Error code, limit",
                                       parameterText(event, kErrorEventName), maxErrors);
            }
        }
    } else if (isPublicEvent) {
        const std::int32_t maxPublic = settings->maxPublicEventsPerDay();
        const std::int64_t publicOver = static_cast<std::int64_t>(dailyCounts.publicEventsCount()) - maxPublic;
        if (publicOver >= 0) {
            dropped = true;
            if (isOverLimitLogged(publicOver)) {
                monitor().logWithLevel(1, 23057, "Data loss. Too many public events logged. Name, limit",
                                       eventName(event), maxPublic);
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

bool MSRMeasurement::isRealtimeEvent(MSREvent& event, const MSRDailyCounts& dailyCounts) {
    const std::shared_ptr<MSRRemoteConfig> settings = remoteConfigOrDefault();
    const bool debugMode = monitor().isDebugModeEnabled();
    const bool limitApplies = !debugMode && !isOneOf(event.name(), kRealtimeLimitExemptNames);
    const std::int32_t maxRealtime = settings->maxRealtimeEventCountPerDay();
    bool candidate = false;
    if (event.isConversion() || settings->isEventCustomConversion(event.name())) {
        candidate = !limitApplies || dailyCounts.realtimeCount() < maxRealtime;
    }
    if (event.isRealtime() && limitApplies && dailyCounts.realtimeCount() >= maxRealtime) {
        event.setRealtime(false);
        monitor().logWithLevel(4, 23060, "Too many real-time events. Event is no longer real-time. Event name, parameters",
                               eventName(event), MSRParametersDescription(event.parameters()));
    }
    if (event.isRealtime() && !debugMode && event.name() == kDCUEventName &&
        dailyCounts.dcuRealtimeCount() >= settings->maxRealtimeDCUEventCountPerDay()) {
        event.setRealtime(false);
    }
    maybeAddDebugAndRealtimeParameters(event);
    return candidate || event.isRealtime();
}

void MSRMeasurement::maybeAddDebugAndRealtimeParameters(MSREvent& event) {
    if (!monitor().isDebugModeEnabled()) {
        return;
    }
    event.setRealtime(true);
    event.setDebug(true);
    monitor().logWithLevel(7, 23073,
                           "Debug mode is enabled. Marking event as debug and real-time. Event name, parameters",
                           eventName(event), MSRParametersDescription(event.parameters()));
}

bool MSRMeasurement::writeEvent(const MSREvent& event, bool isPublicEvent, bool isRealtime) {
    auto aggregates = database_->eventAggregatesWithName(event.name());
    if (!aggregates) {
        monitor().logWithLevel(1, 23063, "Cannot query event aggregates. Name, error", eventName(event),
                               aggregates.error());
        return false;
    }
    if (!*aggregates) {
        if (isPublicEvent) {
            auto publicCount = database_->publicEventCount();
            if (!publicCount) {
                monitor().logWithLevel(1, 23064, "Cannot query event count. Error", publicCount.error());
                return false;
            }
            if (*publicCount >= remoteConfigOrDefault()->maxEventNameCardinality()) {
                monitor().logWithLevel(1, 23065, "Cannot set event. Reached limit on set events. Name",
                                       eventName(event));
                MSRLogErrorEvent(MSRFailureCodeEventLimitReached);
                return false;
            }
        }
        auto fresh = MSREventAggregates::initWithName(event.name(), 0, 0, 0, 0);
        if (!fresh) {
            monitor().logWithLevel(1, 23066, "Data loss. Cannot record event aggregates. Error",
                                   std::string("The event name is not valid"));
            return false;
        }
        if (auto stored = database_->updateEventAggregates(*fresh); !stored) {
            monitor().logWithLevel(1, 23066, "Data loss. Cannot record event aggregates. Error", stored.error());
            return false;
        }
    }
    if (identity_ != nullptr && identity_->shouldSetLastAdvertisingIDResetUserProperty()) {
        setLastAdvertisingIDResetUserPropertyOnWorkerQueue();
    }
    auto attributes = database_->userAttributesIncludingInternal(true);
    if (!attributes) {
        monitor().logWithLevel(1, 23067, "Data loss. Cannot query user properties. Error", attributes.error());
        return false;
    }
    if (event.name() == kCampaignEventName) {
        if (auto campaign = adCampaignInfoFromEvent(event)) {
            if (auto bytes = campaign->protoBuffer()) {
                persistedConfig_->setAdCampaignInfoBuffer(Value(Value::Data(bytes->begin(), bytes->end())));
            }
        }
    }
    MSRPBMeasurementBundle metadata = createRawEventMetadataWithUserAttributes(*attributes);
    if (NanoMessageHasField(metadata, bundle_slots::kResettableDeviceID)) {
        if (persistedConfig_->unmatchedFirstOpenWithoutIDFA()) {
            logFirstOpenConsentedEvent(event.timestamp());
        }
    } else if (event.name() == kFirstOpenEventName) {
        persistedConfig_->setUnmatchedFirstOpenWithoutIDFA(true);
    }
    if (auto stored = database_->insertIfNotExistsRawEventMetadata(metadata); !stored) {
        monitor().logWithLevel(1, 23068, "Data loss. Cannot record event metadata. Error", stored.error());
        return false;
    }
    auto deleted = database_->deleteRawEventsOverAbsoluteLimit();
    if (!deleted) {
        monitor().logWithLevel(1, 23069, "Data loss. Unable to check raw event storage limit. Error", deleted.error());
        return false;
    }
    if (*deleted != 0) {
        monitor().logWithLevel(4, 23070, "Data loss. Too many events stored on disk. Deleted count", *deleted);
    }
    const auto bytes = metadata.protoBuffer();
    const std::int64_t fingerprint =
        bytes ? msr_64LSBMD5(std::span<const std::uint8_t>(*bytes)) : std::int64_t{0};
    if (auto inserted = database_->insertRawEvent(event, fingerprint, isRealtime); !inserted) {
        monitor().logWithLevel(1, 23071, "Data loss. Cannot record raw event. Error", inserted.error());
        return false;
    }
    if (event.name() == kFirstOpenEventName) {
        const std::int64_t counted = std::max<std::int64_t>(storedFirstOpenCount(), 0);
        const std::int64_t raised =
            counted == std::numeric_limits<std::int64_t>::max() ? counted : counted + 1;
        setPreviousFirstOpenCount(std::to_string(raised));
    }
    if (monitor().wantsLine(7)) {
        monitor().logWithLevel(7, 23072, "Event logged. Event name, event params", eventName(event),
                               MSRParametersDescription(event.parameters()));
    }
    return true;
}

MSRPBMeasurementBundle MSRMeasurement::createRawEventMetadataWithUserAttributes(
    const std::vector<MSRUserAttribute>& attributes) {
    namespace slot = bundle_slots;
    MSRPBMeasurementBundle metadata;
    NanoMessageSetString(metadata, slot::kPlatform, kit::kApplePlatform);
    NanoMessageSetInt32(metadata, slot::kProtocolVersion, 1);
    const std::shared_ptr<MSRRemoteConfig> settings = remoteConfigOrDefault();
    if (identity_ != nullptr) {
        MSRIdentity& identity = *identity_;
        NanoMessageSetString(metadata, slot::kAppID, identity.appID());
        const bool fromAppStore =
            environment_.isFromAppStore ? environment_.isFromAppStore() : identity.isFromAppStore();
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
        const bool sessionExpired = sessionReporter_ == nullptr || sessionReporter_->isSessionExpired();
        const auto token = identity.sessionStitchingTokenWithSessionNumber(persistedConfig_->sessionNumber(),
                                                                           sessionExpired,
                                                                           hasUserPropertyUserIDOnWorkerQueue());
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
        MSRFillBundleIdentityFields(metadata, MSRConsentSettingsUtil::consentSignals(),
                                    settings->gateIDFAOnATTMASEnabled(), identity, true);
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
    if (const auto buffer = persistedConfig_->adCampaignInfoBuffer(); buffer && buffer->isData()) {
        if (auto campaign = MSRPBAdCampaignInfo::initWithBuffer(*buffer->asData())) {
            NanoMessageSetMessage(metadata, slot::kAdCampaignInfo, *campaign);
        }
    }
    return metadata;
}

std::optional<MSRPBAdCampaignInfo> MSRMeasurement::adCampaignInfoFromEvent(const MSREvent& event) {
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

void MSRMeasurement::logFirstOpenConsentedEvent(double timestamp) {
    persistedConfig_->setUnmatchedFirstOpenWithoutIDFA(false);
    const std::int64_t previousCount = storedFirstOpenCount();
    const std::int64_t previousFirstOpens = previousCount < 2 ? 0 : previousCount - 1;
    std::int64_t uninstalledWithoutApp = 0;
    if (database_ != nullptr) {
        if (auto firstInstall = database_->userAttributeWithName(kFirstInstallPropertyName); firstInstall && *firstInstall) {
            const MSRValue& value = (*firstInstall)->value();
            const bool belowOne = value.isInt64() ? value.int64Value() < 1 : value.isDouble() && value.doubleValue() < 1;
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
    scheduleWeakBlock("MSRMeasurement:979",
                      [event = *event](MSRMeasurement& self) { self.writeEventOnWorkerQueue(event); });
}

}  // namespace kit::measurement

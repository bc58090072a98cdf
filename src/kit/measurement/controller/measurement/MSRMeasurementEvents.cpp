#include "kit/measurement/controller/MSRMeasurement.h"

#include "BundleSlots.h"
#include "EventEntryLines.h"
#include "EventTexts.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSREventIsListenerExempt.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRLogDescriptions.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPackedDictionary.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"

#include <cinttypes>
#include <limits>

// Events as the facade hands them in, the default event parameters and the
// backfill of stored events.
namespace kit::measurement {

using platform::Value;
using namespace event_texts;
using namespace event_entry_lines;

namespace {

MSRObjectDictionary objectsFromPlain(const Value::Dictionary& parameters) {
    MSRObjectDictionary objects;
    for (const auto& [key, value] : parameters) {
        objects.emplace(key, MSRObject(value));
    }
    return objects;
}

MSRObjectDictionary objectsFromTyped(const MSRParameters& parameters) {
    MSRObjectDictionary objects;
    for (const auto& [key, value] : parameters) {
        objects.emplace(key, MSRObject(value));
    }
    return objects;
}

// Public names (not starting with "_") go, last in ascending order first,
// until at most `limit` are left.
void trimPublicNamesToLimit(Value::Dictionary& parameters, std::int32_t limit) {
    std::int64_t publicCount = 0;
    for (const auto& entry : parameters) {
        publicCount += entry.first.starts_with("_") ? 0 : 1;
    }
    for (auto entry = parameters.end(); publicCount > limit && entry != parameters.begin();) {
        --entry;
        if (!entry->first.starts_with("_")) {
            entry = parameters.erase(entry);
            --publicCount;
        }
    }
}

}  // namespace

void MSRMeasurement::logEventWithOrigin(const MSREventRequest& request) {
    // A burst of events waits here for the store by the thousand: their
    // parameters wait packed.
    MSREventRequest waiting = request;
    waiting.parameters.clear();
    auto block = [waiting = std::move(waiting),
                  parameters = MSRPackedDictionary(request.parameters)](MSRMeasurement& self) mutable {
        waiting.parameters = parameters.unpack();
        self.logEventOnWorkerQueueWithOrigin(waiting);
    };
    scheduleWeakBlock("MSRMeasurement:2363", std::move(block));
}

void MSRMeasurement::logEventOnWorkerQueueWithOrigin(const MSREventRequest& request) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("logEventOnWorkerQueueWithOrigin");
    // Error events and events that skip the interceptor carry no defaults.
    Value::Dictionary parameters = request.parameters;
    if (!request.ignoreInterceptor && request.name != kErrorEventName) {
        parameters = parametersWithAddedDefaultEventParameters(parameters);
    }
    auto event = MSREvent::initWithOrigin(request.origin, request.isPublicEvent, request.name, request.timestamp, 0,
                                          objectsFromPlain(parameters));
    if (!event) {
        log(kNilEventWithParameters, request.origin, MSREventNameDescription(request.name),
            MSRDictionaryDescription(Value(parameters), ""));
        return;
    }
    if (!request.addedScreenParameters.empty()) {
        event->addScreenParameters(objectsFromTyped(request.addedScreenParameters));
    }

    bool notifyEventListeners = false;
    if ((request.enabled || request.ignoreEnabled) && !MSREventIsListenerExempt(*event)) {
        if (request.interceptor && request.isPublicEvent && !request.ignoreInterceptor) {
            Value::Dictionary intercepted = parameters;
            for (const auto& [key, value] : request.addedScreenParameters) {
                intercepted.insert_or_assign(key, value.plainValue());
            }
            request.interceptor(request.origin, request.name, intercepted, request.timestamp);
            return;
        }
        notifyEventListeners = true;
    }
    logEventOnWorkerQueue(*event, notifyEventListeners);
}

void MSRMeasurement::logEventOnWorkerQueue(const MSREvent& event, bool notifyEventListeners) {
    if (!notifyEventListeners) {
        handleEventOnWorkerQueue(event);
        return;
    }
    // Listeners hear the event as it was logged, not as the pipeline left it.
    const MSREvent heard = event;
    handleEventOnWorkerQueue(event);
    MSRAnalytics::notifyEventListeners(heard);
}

void MSRMeasurement::logEvent(const std::optional<MSREvent>& event) {
    if (!event) {
        log(kNilEvent);
        return;
    }
    scheduleWeakBlock("MSRMeasurement:2469",
                      [event = *event](MSRMeasurement& self) { self.handleEventOnWorkerQueue(event); });
}

void MSRMeasurement::setDefaultEventParameters(const std::optional<Value::Dictionary>& parameters) {
    scheduleWeakBlock("MSRMeasurement:2477", [parameters](MSRMeasurement& self) {
        const bool backfill = self.shouldBackfillEvents();
        self.handleSetDefaultEventParametersOnWorkerQueue(parameters, backfill);
    });
}

void MSRMeasurement::handleSetDefaultEventParametersOnWorkerQueue(const std::optional<Value::Dictionary>& parameters,
                                                                  bool backfillEvents) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("handleSetDefaultEventParametersOnWorkerQueue");
    // Nothing clears every default; otherwise the given ones go over the stored.
    Value::Dictionary defaults;
    if (parameters) {
        defaults = persistedConfig_->defaultEventParameters().value_or(Value::Dictionary{});
    }
    for (const auto& [key, value] : parameters.value_or(Value::Dictionary{})) {
        if (value.isArray()) {
            MSRLogErrorEvent(kFailureCodeArrayInDefaults);
        }
        if (!value.isNull() && !value.isNumber() && !value.isBool() && !value.isString()) {
            log(kInvalidDefaultKey);
            continue;
        }
        if (!MSRDataTypeValidator::isValidPublicEventParameterName(key)) {
            log(kInvalidDefaultName, key);
            continue;
        }
        if (value.isNull()) {
            defaults.erase(key);
            continue;
        }
        const auto converted = MSRValue::valueFromObject(value);
        if (converted && MSRDataTypeValidator::isValidPublicEventParameterValue(&*converted)) {
            defaults.insert_or_assign(key, value);
        }
    }
    const std::int32_t limit = remoteConfigOrDefault()->maxPublicEventParams();
    if (static_cast<std::int64_t>(defaults.size()) > limit) {
        trimPublicNamesToLimit(defaults, limit);
        MSRLogErrorEvent(kFailureCodeTooManyDefaults);
        log(kTooManyDefaults);
    }
    if (backfillEvents) {
        const double since = initTimestamp_;
        backfillEventsWithParameters(objectsFromPlain(defaults), true, [since](const MSRRawEventData& row) {
            return row.rawEvent().timestamp() >= since;
        });
        log(kDefaultsWithBackfill, MSRDictionaryDescription(Value(defaults), ""));
    } else {
        log(kDefaultsUpdated, MSRDictionaryDescription(Value(defaults), ""));
    }
    persistedConfig_->setDefaultEventParameters(defaults);
}

// Defaults are written into stored events only while the application
// itself has logged nothing in this run.
bool MSRMeasurement::shouldBackfillEvents() {
    if (database_ == nullptr) {
        return false;
    }
    auto stored = database_->allRawEventsWithError();
    if (!stored || stored->empty()) {
        return false;
    }
    for (const MSRRawEventData& row : *stored) {
        if (row.rawEvent().timestamp() >= initTimestamp_ && row.rawEvent().origin().starts_with("app")) {
            return false;
        }
    }
    return true;
}

void MSRMeasurement::backfillEventsWithParameters(const MSRObjectDictionary& parameters, bool isPublic,
                                                  const std::function<bool(const MSRRawEventData&)>& eventFilter) {
    if (parameters.empty() || database_ == nullptr) {
        return;
    }
    auto stored = database_->allRawEventsWithError();
    if (!stored) {
        log(kBackfillFetchFailed, stored.error());
        return;
    }
    std::int64_t failures = 0;
    std::optional<platform::Error> lastError;
    for (const MSRRawEventData& row : *stored) {
        if (eventFilter && !eventFilter(row)) {
            continue;
        }
        auto event = std::make_shared<MSREvent>(row.rawEvent());
        event->applyParameters(parameters, isPublic);
        const auto updated = MSRRawEventData::initWithRawEvent(event, row.rowID(), row.metadataFingerprint());
        if (!updated) {
            continue;
        }
        if (auto written = database_->updateRawEvent(*updated); !written) {
            ++failures;
            lastError = written.error();
        }
    }
    if (failures > 0) {
        log(kBackfillUpdateFailed, static_cast<std::int64_t>(failures), *lastError);
    }
}

Value::Dictionary MSRMeasurement::parametersWithAddedDefaultEventParameters(const Value::Dictionary& parameters) {
    auto defaults = persistedConfig_->defaultEventParameters();
    if (!defaults || defaults->empty()) {
        return parameters;
    }
    Value::Dictionary merged = std::move(*defaults);
    for (const auto& [key, value] : parameters) {
        merged.insert_or_assign(key, value);
    }
    return merged;
}

double MSRMeasurement::backfillStartTimestampForSessionID(std::int64_t sessionID) {
    double start = static_cast<double>(sessionID) - kSessionBackfillLeadSeconds;
    if (database_ == nullptr) {
        return start;
    }
    auto stored = database_->allRawEventsWithError();
    if (!stored) {
        return start;
    }
    for (const MSRRawEventData& row : *stored) {
        if (row.rawEvent().name() == kFirstOpenEventName) {
            start = row.rawEvent().timestamp();
            break;
        }
    }
    return start;
}

bool MSRMeasurement::shouldBackfillSessionID(double backfillStartTimestamp, const MSRRawEventData& row) {
    if (row.rawEvent().timestamp() < backfillStartTimestamp) {
        return false;
    }
    auto metadata = database_->queryRawEventsMetadataWithFingerprint(row.metadataFingerprint());
    if (!metadata) {
        log(kSessionBackfillMetadataFailed, metadata.error());
        return false;
    }
    if (!*metadata) {
        return true;
    }
    const auto attributes = NanoMessageGetArray<MSRPBUserAttribute>(**metadata, bundle_slots::kUserAttributes);
    for (const MSRPBUserAttribute& attribute : attributes.value_or(std::vector<MSRPBUserAttribute>{})) {
        if (NanoMessageGetString(attribute, bundle_slots::kUserAttributeName) == kSessionIDPropertyName) {
            return false;
        }
    }
    return true;
}

void MSRMeasurement::backfillSessionID(std::int64_t sessionID, std::int64_t sessionNumber) {
    const double start = backfillStartTimestampForSessionID(sessionID);
    backfillEventsWithParameters(
        {{std::string(kSessionIDParameterName), MSRObject(MSRValue::initWithInt64(sessionID))},
         {std::string(kSessionNumberParameterName), MSRObject(MSRValue::initWithInt64(sessionNumber))}},
        false, [this, start](const MSRRawEventData& row) { return shouldBackfillSessionID(start, row); });
}

std::optional<std::string> MSRMeasurement::previousFirstOpenCount() {
    const auto count = persistedConfig_->previousFirstOpenCount();
    if (!count) {
        return std::nullopt;
    }
    if (const std::string* text = count->asString()) {
        return *text;
    }
    return std::to_string(count->integerValue().value_or(0));
}

// The persisted count of earlier first opens as a 64-bit integer; 0 for none.
std::int64_t MSRMeasurement::storedFirstOpenCount() {
    const auto text = previousFirstOpenCount();
    return text ? Value(*text).integerValue().value_or(0) : 0;
}

void MSRMeasurement::setPreviousFirstOpenCount(const std::optional<std::string>& count) {
    if (!count) {
        persistedConfig_->setPreviousFirstOpenCount(std::nullopt);
        return;
    }
    persistedConfig_->setPreviousFirstOpenCount(Value(Value(*count).integerValue().value_or(0)));
}

}  // namespace kit::measurement

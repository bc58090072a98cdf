#include "kit/measurement/support/MSRConditionalUserPropertyController.h"
#include "kit/core/KitContext.h"

#include "ConditionalUserPropertyLines.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/concurrency/OperationQueue.h"
#include "platform/concurrency/SerialQueue.h"

#include <memory>
#include <mutex>

namespace kit::measurement {

namespace {

constexpr double kMinimumInterval = 0.001;
constexpr double kMaximumInterval = 1.5552e7;  // 180 days

bool isValidInterval(double seconds) { return seconds >= kMinimumInterval && seconds <= kMaximumInterval; }

bool isValid(const MSRConditionalUserProperty& property) {
    if (!MSRDataTypeValidator::isValidConditionalUserPropertyOrigin(property.origin) ||
        !MSRDataTypeValidator::isValidConditionalUserPropertyName(property.name)) {
        return false;
    }
    if (property.value && !MSRDataTypeValidator::isValidConditionalUserPropertyValue(&*property.value)) {
        return false;
    }
    if (!isValidInterval(property.triggerTimeout)) {
        conditional_property_lines::log(conditional_property_lines::kInvalidConditionalUserPropertyTriggerTimeout,
                                        property.triggerTimeout);
        return false;
    }
    if (!isValidInterval(property.timeToLive)) {
        conditional_property_lines::log(conditional_property_lines::kInvalidConditionalUserPropertyTimeLive,
                                        property.timeToLive);
        return false;
    }
    return true;
}

// The event a transition logs: the template's name and parameters under
// the property's origin.
std::optional<MSREvent> transitionEvent(const MSREvent& eventTemplate, std::string_view origin, double timestamp) {
    MSRObjectDictionary parameters;
    for (const auto& [key, value] : eventTemplate.parameters()) {
        parameters.emplace(key, value);
    }
    return MSREvent::initWithOrigin(origin, false, eventTemplate.name(), timestamp, 0, parameters);
}

void keep(std::vector<MSREvent>& events, const std::optional<MSREvent>& eventTemplate, std::string_view origin,
          double timestamp) {
    if (eventTemplate) {
        if (auto event = transitionEvent(*eventTemplate, origin, timestamp)) {
            events.push_back(std::move(*event));
        }
    }
}

std::string valueText(const std::optional<MSRValue>& value) { return value ? value->description() : "(nil)"; }

// A list call's result, shared with the worker block, which may finish
// after the caller stopped waiting and returned.
struct ListCall {
    platform::Group group;
    std::mutex mutex;
    std::optional<std::vector<MSRConditionalUserProperty>> result;  // guarded by mutex
};

std::optional<std::vector<MSRConditionalUserProperty>> queryOnWorkerQueue(const std::string& namePrefix,
                                                                          const std::string& origin) {
    MeasurementServices& services = MeasurementServices::current();
    MSRDatabase* database = services.database();
    if (!services.isEnabled() || database == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotQueryConditionalUserProperties);
        return std::nullopt;
    }
    auto properties = database->conditionalUserPropertiesWithPrefix(namePrefix, origin);
    if (!properties) {
        conditional_property_lines::log(conditional_property_lines::kCannotQueryConditionalUserPropertiesName,
                                        namePrefix, origin, properties.error());
        return std::nullopt;
    }
    return std::move(*properties);
}

}  // namespace

MSRConditionalUserPropertyController::MSRConditionalUserPropertyController(const platform::Clock& clock,
                                                                           std::chrono::nanoseconds listWaitTimeout)
    : clock_(clock), listWaitTimeout_(listWaitTimeout) {}

MSRConditionalUserPropertyController& MSRConditionalUserPropertyController::sharedInstance() {
    return KitContext::current().service<MSRConditionalUserPropertyController>();
}

double MSRConditionalUserPropertyController::now() const { return platform::secondsSince1970(clock_.now()); }

// --- Any thread

void MSRConditionalUserPropertyController::setConditionalUserProperty(const MSRConditionalUserProperty* property,
                                                                      std::string_view name) {
    if (property == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotSetNilConditionalUserProperty);
        return;
    }
    MSRConditionalUserProperty copy = *property;
    copy.name = name;
    // Whether and when it takes effect is the controller's to decide.
    copy.active = false;
    copy.triggeredTimestamp = 0;
    if (!isValid(copy)) {
        return;
    }
    copy.creationTimestamp = now();
    MSRScheduler* scheduler = MeasurementServices::current().scheduler();
    if (scheduler == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotSetConditionalUserProperty);
        return;
    }
    scheduler->scheduleOnWorkerQueueBlockID("MSRConditionalUserPropertyController:88", [this, copy] {
        if (copy.value) {
            setConditionalUserPropertyOnWorkerQueue(&copy);
        } else {
            removeConditionalUserPropertyOnWorkerQueue(&copy);
        }
    });
}

void MSRConditionalUserPropertyController::clearConditionalUserPropertyWithClearEvent(const MSREvent* clearEvent,
                                                                                      std::string_view name) {
    if (!MSRDataTypeValidator::isValidConditionalUserPropertyName(name)) {
        return;
    }
    MSRConditionalUserProperty property;
    property.name = name;
    if (clearEvent != nullptr) {
        property.expiredEvent = *clearEvent;
    }
    MSRScheduler* scheduler = MeasurementServices::current().scheduler();
    if (scheduler == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotRemoveConditionalUserProperty);
        return;
    }
    scheduler->scheduleOnWorkerQueueBlockID("MSRConditionalUserPropertyController:113", [this, property] {
        removeConditionalUserPropertyOnWorkerQueue(&property);
    });
}

std::optional<std::vector<MSRConditionalUserProperty>>
MSRConditionalUserPropertyController::conditionalUserPropertiesWithNamePrefix(const platform::Value& namePrefix,
                                                                              const platform::Value& origin) {
    if (!namePrefix.isNull() && !namePrefix.isString()) {
        conditional_property_lines::log(conditional_property_lines::kCannotQueryConditionalUserPropertiesName2,
                                        std::string(MSRObjectClassName(namePrefix)));
        return std::nullopt;
    }
    if (!origin.isNull() && !origin.isString()) {
        conditional_property_lines::log(conditional_property_lines::kCannotQueryConditionalUserPropertiesOrigin,
                                        std::string(MSRObjectClassName(origin)));
        return std::nullopt;
    }
    const std::string prefixText = namePrefix.isString() ? *namePrefix.asString() : std::string();
    const std::string originText = origin.isString() ? *origin.asString() : std::string();
    MSRScheduler* scheduler = MeasurementServices::current().scheduler();
    if (scheduler == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotQueryConditionalUserProperties);
        return std::nullopt;
    }
    // On the worker queue a wait would block the very block it waits for.
    if (scheduler->workerQueue().isCurrent()) {
        return queryOnWorkerQueue(prefixText, originText);
    }
    auto call = std::make_shared<ListCall>();
    call->group.enter();
    scheduler->scheduleOnWorkerQueueBlockID("MSRConditionalUserPropertyController:161", [call, prefixText, originText] {
        struct Leave {
            ListCall& call;
            ~Leave() { call.group.leave(); }
        } leave{*call};
        auto result = queryOnWorkerQueue(prefixText, originText);
        std::lock_guard lock(call->mutex);
        call->result = std::move(result);
    });
    if (!call->group.wait(listWaitTimeout_)) {
        return std::nullopt;
    }
    std::lock_guard lock(call->mutex);
    return std::move(call->result);
}

// --- Worker queue

void MSRConditionalUserPropertyController::setConditionalUserPropertyOnWorkerQueue(
    const MSRConditionalUserProperty* property) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setConditionalUserPropertyOnWorkerQueue");
    MeasurementServices& services = MeasurementServices::current();
    MSRDatabase* database = services.database();
    if (!services.isEnabled() || database == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotSetConditionalUserProperty);
        return;
    }
    if (property == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotSetNilConditionalUserProperty2);
        return;
    }
    std::optional<MSREvent> triggeredEvent;
    const bool committed = static_cast<bool>(database->performTransaction([&] {
        triggeredEvent.reset();
        auto stored = database->conditionalUserPropertyWithName(property->name);
        if (!stored) {
            conditional_property_lines::log(conditional_property_lines::kCannotQueryConditionalUserProperty,
                                            property->name, property->origin, stored.error());
            return false;
        }
        MSRConditionalUserProperty updated = *property;
        const bool storedActive = stored->has_value() && (*stored)->active;
        if (stored->has_value() && (*stored)->origin != property->origin) {
            conditional_property_lines::log(conditional_property_lines::kUpdatingConditionalUserPropertyDifferentOrigin,
                                            property->name, property->origin, (*stored)->origin);
        }
        bool activatedNow = false;
        if (storedActive) {
            const MSRConditionalUserProperty& previous = **stored;
            updated.origin = previous.origin;
            updated.creationTimestamp = previous.creationTimestamp;
            updated.triggerEventName = previous.triggerEventName;
            updated.triggeredEvent = previous.triggeredEvent;
            updated.triggerTimeout = previous.triggerTimeout;
            // It stays in effect since it first took effect.
            updated.active = true;
            updated.triggeredTimestamp = previous.triggeredTimestamp;
        } else if (updated.triggerEventName.empty()) {
            updated.active = true;
            updated.triggeredTimestamp = updated.creationTimestamp;
            activatedNow = true;
        }
        // While the property is in effect the user property holds its value,
        // a new value of a re-set one included.
        if (updated.active) {
            auto attribute = MSRUserAttribute::initWithOrigin(updated.origin, updated.name, *updated.value,
                                                              updated.triggeredTimestamp);
            auto written =
                attribute
                    ? database->updateUserAttribute(*attribute)
                    : platform::Expected<void>(platform::unexpected(msr_errorWithCode(
                          MSRErrorCode::invalidArgument, "Invalid user property from conditional user property")));
            if (written) {
                conditional_property_lines::log(conditional_property_lines::kUserPropertyUpdated, updated.name,
                                                updated.origin);
            } else {
                conditional_property_lines::log(conditional_property_lines::kCannotUpdateUserPropertyConditionalUser,
                                                updated.name, updated.origin, written.error());
            }
            if (activatedNow && updated.triggeredEvent) {
                triggeredEvent = transitionEvent(*updated.triggeredEvent, updated.origin, updated.triggeredTimestamp);
            }
        }
        if (auto saved = database->updateConditionalUserProperty(updated); saved) {
            conditional_property_lines::log(conditional_property_lines::kConditionalUserPropertyAdded, updated.name,
                                            updated.origin);
        } else {
            conditional_property_lines::log(conditional_property_lines::kCannotInsertUserPropertyConditionalUser,
                                            updated.name, updated.origin, saved.error());
        }
        return true;
    }));
    if (committed && triggeredEvent) {
        services.writeEventOnWorkerQueue(*triggeredEvent);
    }
}

void MSRConditionalUserPropertyController::removeConditionalUserPropertyOnWorkerQueue(
    const MSRConditionalUserProperty* property) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("removeConditionalUserPropertyOnWorkerQueue:");
    MeasurementServices& services = MeasurementServices::current();
    MSRDatabase* database = services.database();
    if (!services.isEnabled() || database == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotRemoveConditionalUserProperty);
        return;
    }
    if (property == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotRemoveNilConditionalUserProperty);
        return;
    }
    std::optional<MSREvent> clearEvent;
    const bool committed = static_cast<bool>(database->performTransaction([&] {
        clearEvent.reset();
        auto stored = database->conditionalUserPropertyWithName(property->name);
        if (!stored) {
            conditional_property_lines::log(conditional_property_lines::kCannotQueryConditionalUserPropertyRemove,
                                            property->name, property->origin, stored.error());
            return false;
        }
        if (!stored->has_value()) {
            conditional_property_lines::log(conditional_property_lines::kCannotRemoveNonexistentConditionalUserProperty,
                                            property->name, property->origin);
            return true;
        }
        const MSRConditionalUserProperty& previous = **stored;
        if (auto deleted = database->deleteConditionalUserPropertyWithName(previous.name); !deleted) {
            conditional_property_lines::log(conditional_property_lines::kCannotDeleteConditionalUserProperty,
                                            previous.name, previous.origin, deleted.error());
            return false;
        }
        if (previous.active) {
            if (auto deleted = database->deleteUserAttributeWithName(previous.name); !deleted) {
                conditional_property_lines::log(conditional_property_lines::kCannotRemoveConditionalUserPropertyFailed,
                                                previous.name, previous.origin, deleted.error());
                return false;
            }
        }
        if (property->expiredEvent) {
            clearEvent = transitionEvent(*property->expiredEvent, previous.origin, now());
        }
        return true;
    }));
    if (committed && clearEvent) {
        services.writeEventOnWorkerQueue(*clearEvent);
    }
}

std::optional<std::vector<MSREvent>> MSRConditionalUserPropertyController::processEventOnWorkerQueue(
    const MSREvent* event) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("processEventOnWorkerQueue:");
    if (event == nullptr) {
        conditional_property_lines::log(conditional_property_lines::kCannotProcessNilEventConditionalUser);
        return std::nullopt;
    }
    MeasurementServices& services = MeasurementServices::current();
    MSRDatabase* database = services.database();
    if (database == nullptr) {
        return std::nullopt;
    }
    // Most events meet no conditional property at all: a look without the
    // write lock settles that.
    if (const auto empty = database->isConditionalUserPropertyTableEmpty(); empty && *empty) {
        return std::vector<MSREvent>();
    }
    std::vector<MSREvent> endedEvents;
    std::optional<std::vector<MSREvent>> triggeredEvents;
    const bool committed = static_cast<bool>(database->performTransaction([&] {
        endedEvents.clear();
        triggeredEvents.reset();
        if (!removeTimedOutCUPWithTimedOutEvents(endedEvents) || !removeExpiredCUPWithExpiredEvents(endedEvents)) {
            return false;
        }
        triggeredEvents = updateConditionalUserPropertiesWithEventNameOnWorkerQueue(event->name());
        return triggeredEvents.has_value();
    }));
    if (!committed) {
        return std::nullopt;
    }
    for (const MSREvent& ended : endedEvents) {
        services.writeFilteredEventOnWorkerQueue(ended);
    }
    return triggeredEvents;
}

bool MSRConditionalUserPropertyController::removeTimedOutCUPWithTimedOutEvents(std::vector<MSREvent>& timedOutEvents) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("removeTimedOutCUPWithTimedOutEvents:");
    MSRDatabase* database = MeasurementServices::current().database();
    if (database == nullptr) {
        return false;
    }
    auto timedOut = database->timedOutConditionalUserPropertiesWithError();
    if (!timedOut) {
        conditional_property_lines::log(conditional_property_lines::kCannotFetchTimedOutConditionalUser,
                                        timedOut.error());
        return false;
    }
    for (const MSRConditionalUserProperty& property : *timedOut) {
        conditional_property_lines::log(conditional_property_lines::kConditionalUserPropertyTimedOut, property.name);
        if (auto deleted = database->deleteConditionalUserPropertyWithName(property.name); !deleted) {
            conditional_property_lines::log(conditional_property_lines::kCannotDeleteTimedOutConditionUser,
                                            property.name, deleted.error());
            return false;
        }
        keep(timedOutEvents, property.timedOutEvent, property.origin, now());
    }
    return true;
}

bool MSRConditionalUserPropertyController::removeExpiredCUPWithExpiredEvents(std::vector<MSREvent>& expiredEvents) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("removeExpiredCUPWithExpiredEvents:");
    MSRDatabase* database = MeasurementServices::current().database();
    if (database == nullptr) {
        return false;
    }
    auto expired = database->expiredConditionalUserPropertiesWithError();
    if (!expired) {
        conditional_property_lines::log(conditional_property_lines::kCannotFetchExpiredConditionalUserProperties,
                                        expired.error());
        return false;
    }
    for (const MSRConditionalUserProperty& property : *expired) {
        conditional_property_lines::log(conditional_property_lines::kConditionalUserPropertyExpired, property.name,
                                        property.expiredEvent ? property.expiredEvent->name() : std::string("(nil)"));
        if (auto deleted = database->deleteUserAttributeWithName(property.name); !deleted) {
            conditional_property_lines::log(conditional_property_lines::kCannotRemoveConditionalUserPropertyFailed2,
                                            property.name, property.origin, deleted.error());
            return false;
        }
        if (auto deleted = database->deleteConditionalUserPropertyWithName(property.name); !deleted) {
            conditional_property_lines::log(conditional_property_lines::kCannotDeleteExpiredConditionUserProperty,
                                            property.name, deleted.error());
            return false;
        }
        keep(expiredEvents, property.expiredEvent, property.origin, now());
    }
    return true;
}

std::optional<std::vector<MSREvent>>
MSRConditionalUserPropertyController::updateConditionalUserPropertiesWithEventNameOnWorkerQueue(
    std::string_view eventName) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName(
        "updateConditionalUserPropertiesBasedOnEventNameOnWorkerQueue:");
    MSRDatabase* database = MeasurementServices::current().database();
    if (database == nullptr) {
        return std::nullopt;
    }
    auto triggered = database->triggeredConditionalUserPropertiesWithEventName(eventName);
    if (triggered && triggered->empty()) {
        const MSRNameMap& aliases = MSRAdImpressionEventNameMap();
        if (const auto alias = aliases.find(eventName); alias != aliases.end()) {
            triggered = database->triggeredConditionalUserPropertiesWithEventName(alias->second);
        }
    }
    if (!triggered) {
        conditional_property_lines::log(conditional_property_lines::kCannotFetchTriggeringConditionalUserProperties,
                                        std::string(eventName), triggered.error());
        return std::nullopt;
    }
    std::vector<MSREvent> events;
    for (MSRConditionalUserProperty property : *triggered) {
        const double triggeredAt = now();
        if (property.value) {
            auto attribute =
                MSRUserAttribute::initWithOrigin(property.origin, property.name, *property.value, triggeredAt);
            auto written =
                attribute
                    ? database->updateUserAttribute(*attribute)
                    : platform::Expected<void>(platform::unexpected(msr_errorWithCode(
                          MSRErrorCode::invalidArgument, "Invalid user property from conditional user property")));
            if (written) {
                conditional_property_lines::log(conditional_property_lines::kUserPropertyUpdatedNameOriginValue,
                                                property.name, property.origin, valueText(property.value));
            } else {
                conditional_property_lines::log(conditional_property_lines::kCannotUpdateUserPropertyConditionalUser2,
                                                property.name, property.origin, written.error());
            }
        }
        keep(events, property.triggeredEvent, property.origin, triggeredAt);
        property.active = true;
        property.triggeredTimestamp = triggeredAt;
        if (auto saved = database->updateConditionalUserProperty(property); !saved) {
            conditional_property_lines::log(conditional_property_lines::kCannotUpdateConditionalUserProperty,
                                            property.name, property.origin, saved.error());
            return std::nullopt;
        }
    }
    return events;
}

}  // namespace kit::measurement

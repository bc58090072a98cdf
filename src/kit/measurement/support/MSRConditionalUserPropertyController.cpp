#include "kit/measurement/support/MSRConditionalUserPropertyController.h"
#include "kit/core/KitContext.h"

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

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

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
        monitor().logWithLevel(2, 11000, "Invalid conditional user property trigger timeout", property.triggerTimeout);
        return false;
    }
    if (!isValidInterval(property.timeToLive)) {
        monitor().logWithLevel(2, 11001, "Invalid conditional user property time to live", property.timeToLive);
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
        monitor().logWithLevel(3, 11005, "Cannot query for conditional user properties. Analytics is disabled");
        return std::nullopt;
    }
    auto properties = database->conditionalUserPropertiesWithPrefix(namePrefix, origin);
    if (!properties) {
        monitor().logWithLevel(2, 11006, "Cannot query for conditional user properties. Name prefix, origin, error",
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

double MSRConditionalUserPropertyController::now() const {
    return platform::secondsSince1970(clock_.now());
}

// --- Any thread

void MSRConditionalUserPropertyController::setConditionalUserProperty(const MSRConditionalUserProperty* property,
                                                                      std::string_view name) {
    if (property == nullptr) {
        monitor().logWithLevel(2, 11002, "Cannot set nil conditional user property");
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
        monitor().logWithLevel(3, 11007, "Cannot set conditional user property. Analytics is disabled");
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
        monitor().logWithLevel(3, 11015, "Cannot remove conditional user property. Analytics is disabled");
        return;
    }
    scheduler->scheduleOnWorkerQueueBlockID("MSRConditionalUserPropertyController:113",
                                            [this, property] { removeConditionalUserPropertyOnWorkerQueue(&property); });
}

std::optional<std::vector<MSRConditionalUserProperty>>
MSRConditionalUserPropertyController::conditionalUserPropertiesWithNamePrefix(const platform::Value& namePrefix,
                                                                              const platform::Value& origin) {
    if (!namePrefix.isNull() && !namePrefix.isString()) {
        monitor().logWithLevel(2, 11003, "Cannot query for conditional user properties. Name prefix is not a string. "
                                         "Class",
                               std::string(MSRObjectClassName(namePrefix)));
        return std::nullopt;
    }
    if (!origin.isNull() && !origin.isString()) {
        monitor().logWithLevel(2, 11004, "Cannot query for conditional user properties. Origin is not a string. Class",
                               std::string(MSRObjectClassName(origin)));
        return std::nullopt;
    }
    const std::string prefixText = namePrefix.isString() ? *namePrefix.asString() : std::string();
    const std::string originText = origin.isString() ? *origin.asString() : std::string();
    MSRScheduler* scheduler = MeasurementServices::current().scheduler();
    if (scheduler == nullptr) {
        monitor().logWithLevel(3, 11005, "Cannot query for conditional user properties. Analytics is disabled");
        return std::nullopt;
    }
    // On the worker queue a wait would block the very block it waits for.
    if (scheduler->workerQueue().isCurrent()) {
        return queryOnWorkerQueue(prefixText, originText);
    }
    auto call = std::make_shared<ListCall>();
    call->group.enter();
    scheduler->scheduleOnWorkerQueueBlockID("MSRConditionalUserPropertyController:161",
                                            [call, prefixText, originText] {
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
        monitor().logWithLevel(3, 11007, "Cannot set conditional user property. Analytics is disabled");
        return;
    }
    if (property == nullptr) {
        monitor().logWithLevel(2, 11008, "Cannot set nil conditional user property on worker queue");
        return;
    }
    std::optional<MSREvent> triggeredEvent;
    const bool committed = static_cast<bool>(database->performTransaction([&] {
        triggeredEvent.reset();
        auto stored = database->conditionalUserPropertyWithName(property->name);
        if (!stored) {
            monitor().logWithLevel(1, 11009, "Cannot query conditional user property. Name, origin, error",
                                   property->name, property->origin, stored.error());
            return false;
        }
        MSRConditionalUserProperty updated = *property;
        const bool storedActive = stored->has_value() && (*stored)->active;
        if (stored->has_value() && (*stored)->origin != property->origin) {
            monitor().logWithLevel(5, 11010, "Updating a conditional user property with different origin. Name, "
                                             "origin, saved origin",
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
            auto written = attribute ? database->updateUserAttribute(*attribute)
                                     : platform::Expected<void>(platform::unexpected(msr_errorWithCode(
                                           1, "Invalid user property from conditional user property")));
            if (written) {
                monitor().logWithLevel(7, 11012, "User property updated. Name, origin", updated.name, updated.origin);
            } else {
                monitor().logWithLevel(1, 11011, "Cannot update user property from conditional user property. Name, "
                                                 "origin, error",
                                       updated.name, updated.origin, written.error());
            }
            if (activatedNow && updated.triggeredEvent) {
                triggeredEvent = transitionEvent(*updated.triggeredEvent, updated.origin, updated.triggeredTimestamp);
            }
        }
        if (auto saved = database->updateConditionalUserProperty(updated); saved) {
            monitor().logWithLevel(7, 11013, "Conditional user property added. Name, origin", updated.name,
                                   updated.origin);
        } else {
            monitor().logWithLevel(1, 11014, "Cannot insert user property from conditional user property. Name, "
                                             "origin, error",
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
        monitor().logWithLevel(3, 11015, "Cannot remove conditional user property. Analytics is disabled");
        return;
    }
    if (property == nullptr) {
        monitor().logWithLevel(0, 11016, "Cannot remove nil conditional user property on worker queue");
        return;
    }
    std::optional<MSREvent> clearEvent;
    const bool committed = static_cast<bool>(database->performTransaction([&] {
        clearEvent.reset();
        auto stored = database->conditionalUserPropertyWithName(property->name);
        if (!stored) {
            monitor().logWithLevel(1, 11017, "Cannot query conditional user property to remove. Name, origin, error",
                                   property->name, property->origin, stored.error());
            return false;
        }
        if (!stored->has_value()) {
            monitor().logWithLevel(4, 11018, "Cannot remove nonexistent conditional user property. Name, origin",
                                   property->name, property->origin);
            return true;
        }
        const MSRConditionalUserProperty& previous = **stored;
        if (auto deleted = database->deleteConditionalUserPropertyWithName(previous.name); !deleted) {
            monitor().logWithLevel(1, 11019, "Cannot delete conditional user property. Name, origin, error",
                                   previous.name, previous.origin, deleted.error());
            return false;
        }
        if (previous.active) {
            if (auto deleted = database->deleteUserAttributeWithName(previous.name); !deleted) {
                monitor().logWithLevel(1, 11020, "Cannot remove conditional user property. Failed to delete the user "
                                                 "property. Name, origin, error",
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
        monitor().logWithLevel(2, 10000, "Cannot process nil event for conditional user property");
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
        monitor().logWithLevel(1, 10001, "Cannot fetch timed out conditional user properties. Error", timedOut.error());
        return false;
    }
    for (const MSRConditionalUserProperty& property : *timedOut) {
        monitor().logWithLevel(7, 10002, "Conditional user property has timed out. Name", property.name);
        if (auto deleted = database->deleteConditionalUserPropertyWithName(property.name); !deleted) {
            monitor().logWithLevel(1, 10003, "Cannot delete timed out condition user property. Name, error",
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
        monitor().logWithLevel(1, 10004, "Cannot fetch expired conditional user properties. Error", expired.error());
        return false;
    }
    for (const MSRConditionalUserProperty& property : *expired) {
        monitor().logWithLevel(7, 10005, "Conditional user property has expired. Name, expired event", property.name,
                               property.expiredEvent ? property.expiredEvent->name() : std::string("(nil)"));
        if (auto deleted = database->deleteUserAttributeWithName(property.name); !deleted) {
            monitor().logWithLevel(1, 10006, "Cannot remove conditional user property. Failed to delete the user "
                                             "property. Name, origin, error",
                                   property.name, property.origin, deleted.error());
            return false;
        }
        if (auto deleted = database->deleteConditionalUserPropertyWithName(property.name); !deleted) {
            monitor().logWithLevel(1, 10007, "Cannot delete expired condition user property. Name, error",
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
    MSRScheduler::checkOnBackgroundThreadWithMethodName("updateConditionalUserPropertiesBasedOnEventNameOnWorkerQueue:");
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
        monitor().logWithLevel(1, 10008, "Cannot fetch triggering conditional user properties. Event name, error",
                               std::string(eventName), triggered.error());
        return std::nullopt;
    }
    std::vector<MSREvent> events;
    for (MSRConditionalUserProperty property : *triggered) {
        const double triggeredAt = now();
        if (property.value) {
            auto attribute =
                MSRUserAttribute::initWithOrigin(property.origin, property.name, *property.value, triggeredAt);
            auto written = attribute ? database->updateUserAttribute(*attribute)
                                     : platform::Expected<void>(platform::unexpected(msr_errorWithCode(
                                           1, "Invalid user property from conditional user property")));
            if (written) {
                monitor().logWithLevel(7, 10010, "User property updated. Name, origin, value", property.name,
                                       property.origin, valueText(property.value));
            } else {
                monitor().logWithLevel(1, 10009, "Cannot update user property from conditional user property. Name, "
                                                 "origin, error",
                                       property.name, property.origin, written.error());
            }
        }
        keep(events, property.triggeredEvent, property.origin, triggeredAt);
        property.active = true;
        property.triggeredTimestamp = triggeredAt;
        if (auto saved = database->updateConditionalUserProperty(property); !saved) {
            monitor().logWithLevel(1, 10011, "Cannot update conditional user property. Name, origin, error",
                                   property.name, property.origin, saved.error());
            return std::nullopt;
        }
    }
    return events;
}

}  // namespace kit::measurement

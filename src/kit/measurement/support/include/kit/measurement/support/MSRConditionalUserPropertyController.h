#pragma once

#include "kit/measurement/support/MSRConditionalUserProperty.h"
#include "kit/measurement/support/MSREvent.h"
#include "platform/Clock.h"
#include "platform/Value.h"

#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

// Conditional user properties: set now, in effect once their trigger event
// is logged, timed out when it does not come in time, expired a fixed time
// after taking effect. Public calls come from any thread; they validate and
// schedule. All reads and writes run on the worker queue, each operation in
// a database transaction of its own, so none may be called inside another
// transaction. The controller's services (collection switch, database,
// worker queue, event pipeline) come through MeasurementServices.
namespace kit::measurement {

class MSRConditionalUserPropertyController {
public:
    static constexpr std::chrono::seconds kListWaitTimeout{30};

    // Times come from `clock`; a list call waits `listWaitTimeout` at most.
    explicit MSRConditionalUserPropertyController(const platform::Clock& clock = platform::systemClock(),
                                                  std::chrono::nanoseconds listWaitTimeout = kListWaitTimeout);
    MSRConditionalUserPropertyController(const MSRConditionalUserPropertyController&) = delete;
    MSRConditionalUserPropertyController& operator=(const MSRConditionalUserPropertyController&) = delete;

    // The one controller, made once.
    static MSRConditionalUserPropertyController& sharedInstance();

    // --- Any thread
    // `property` null stands for nil (logged, 11002). A property without a
    // value removes the stored one.
    void setConditionalUserProperty(const MSRConditionalUserProperty* property, std::string_view name);
    void clearConditionalUserPropertyWithClearEvent(const MSREvent* clearEvent, std::string_view name);
    // Null stands for nil; anything but text or nil is refused (11003, 11004).
    // Waits for the worker queue; called on it, runs the query inline.
    // Nothing when the query failed, collection is off or the wait ran out.
    std::optional<std::vector<MSRConditionalUserProperty>> conditionalUserPropertiesWithNamePrefix(
        const platform::Value& namePrefix, const platform::Value& origin);

    // --- Worker queue
    void setConditionalUserPropertyOnWorkerQueue(const MSRConditionalUserProperty* property);
    void removeConditionalUserPropertyOnWorkerQueue(const MSRConditionalUserProperty* property);
    // The events the triggered properties log; nothing after a roll back.
    // The timed-out and expired events go to writeFilteredEventOnWorkerQueue.
    std::optional<std::vector<MSREvent>> processEventOnWorkerQueue(const MSREvent* event);
    // These three run inside the caller's transaction.
    bool removeTimedOutCUPWithTimedOutEvents(std::vector<MSREvent>& timedOutEvents);
    bool removeExpiredCUPWithExpiredEvents(std::vector<MSREvent>& expiredEvents);
    std::optional<std::vector<MSREvent>> updateConditionalUserPropertiesWithEventNameOnWorkerQueue(
        std::string_view eventName);

private:
    double now() const;

    const platform::Clock& clock_;
    const std::chrono::nanoseconds listWaitTimeout_;
};

}  // namespace kit::measurement

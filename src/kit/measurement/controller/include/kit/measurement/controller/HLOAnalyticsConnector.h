#pragma once

#include "kit/core/HLOComponent.h"
#include "kit/measurement/controller/MSRAnalyticsSeams.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/Value.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class SerialQueue;
}

// How other components of the kit use the measurement engine without
// linking its classes: they ask the component registry for an
// HLOAnalyticsInterop, and get a connector that logs their events and sets
// their user properties under their own origin.
namespace kit::measurement {

inline constexpr std::string_view kHLOAnalyticsConnectorQueueLabel = "com.lumen.analytics_connector.queue";
inline constexpr std::string_view kHLOAnalyticsConnectorClassName = "HLOAnalyticsConnector";
inline constexpr std::string_view kHLOAnalyticsLibraryName = "fire-analytics";

// Receives the events of its origin on the main queue.
class HLOAnalyticsListener {
public:
    virtual ~HLOAnalyticsListener() = default;
    virtual void messageTriggered(std::string_view name, const platform::Value::Dictionary& parameters) = 0;
};

// A conditional user property as components hand it in.
struct HLOAConditionalUserProperty {
    std::string name;
    std::string origin;
    std::optional<MSRValue> value;
    std::optional<double> creationTimestamp;
    std::optional<MSREvent> triggeredEvent;
    std::optional<MSREvent> timedOutEvent;
    std::optional<MSREvent> expiredEvent;
    // Every other entry, under its key as given.
    platform::Value::Dictionary otherFields;
};

// The conditional-user-property controller as the connector drives it.
class HLOConditionalUserPropertyStore {
public:
    virtual ~HLOConditionalUserPropertyStore() = default;
    virtual void setConditionalUserProperty(const HLOAConditionalUserProperty& property, std::string_view name) = 0;
    virtual void clearConditionalUserPropertyWithClearEvent(const MSREvent& clearEvent, std::string_view name) = 0;
    virtual std::vector<HLOAConditionalUserProperty> conditionalUserPropertiesWithNamePrefix(
        std::string_view prefix, std::string_view origin) = 0;
};

class HLOAnalyticsInterop : public virtual kit::HLOObject {
public:
    static constexpr std::string_view kProtocolName = "HLOAnalyticsInterop";
    using Parameters = platform::Value::Dictionary;

    virtual void setConditionalUserProperty(const Parameters& property) = 0;
    virtual void clearConditionalUserProperty(std::string_view userPropertyName, std::string_view origin,
                                              std::string_view clearEventName,
                                              const Parameters& clearEventParameters) = 0;
    virtual std::vector<Parameters> conditionalUserProperties(std::string_view origin,
                                                              std::string_view propertyNamePrefix) = 0;
    virtual std::int64_t maxUserProperties(std::string_view origin) = 0;
    virtual void getUserPropertiesWithCallback(std::function<void(Parameters)> callback) = 0;
    virtual void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) = 0;
    virtual void setUserPropertyWithOrigin(std::string_view origin, std::string_view name,
                                           const platform::Value& value) = 0;
    virtual void registerAnalyticsListener(std::shared_ptr<HLOAnalyticsListener> listener, std::string_view origin) = 0;
    virtual void unregisterAnalyticsListenerWithOrigin(std::string_view origin) = 0;
};

class HLOAnalyticsConnector final : public HLOAnalyticsInterop,
                                    public std::enable_shared_from_this<HLOAnalyticsConnector> {
public:
    // Registers the connector's library ("fire-analytics") with the kit.
    static void registerLibrary();
    static void installConditionalUserPropertyStore(std::shared_ptr<HLOConditionalUserPropertyStore> store);
    // How long maxUserProperties waits for the engine (10 s).
    static void setMaxUserPropertiesTimeout(std::chrono::milliseconds timeout);
    static platform::SerialQueue& connectorQueue();

    void setConditionalUserProperty(const Parameters& property) override;
    void clearConditionalUserProperty(std::string_view userPropertyName, std::string_view origin,
                                      std::string_view clearEventName, const Parameters& clearEventParameters) override;
    std::vector<Parameters> conditionalUserProperties(std::string_view origin,
                                                      std::string_view propertyNamePrefix) override;
    std::int64_t maxUserProperties(std::string_view origin) override;
    void getUserPropertiesWithCallback(std::function<void(Parameters)> callback) override;
    void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) override;
    void setUserPropertyWithOrigin(std::string_view origin, std::string_view name,
                                   const platform::Value& value) override;
    void registerAnalyticsListener(std::shared_ptr<HLOAnalyticsListener> listener, std::string_view origin) override;
    void unregisterAnalyticsListenerWithOrigin(std::string_view origin) override;

    // Numbers and text kept; anything else left out.
    static Parameters simplifiedParametersFromEventParameters(const Parameters& parameters);
    // A non-public event from "origin", "name", "timestamp" (now when
    // absent) and "parameters".
    static std::optional<MSREvent> eventFromDictionary(const Parameters& dictionary);
    static std::optional<MSREvent> eventWithOrigin(std::string_view origin, std::string_view eventName,
                                                   const Parameters& parameters);

    ~HLOAnalyticsConnector() override;

private:
    // The facade's listener: picks the component listener for one event.
    void deliverEvent(std::string_view origin, std::string_view name, const Parameters& parameters);

    // Registration runs on any thread while events are delivered on the
    // connector and main queues.
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<HLOAnalyticsListener>, std::less<>> listeners_;  // guarded by mutex_
    MSRAnalyticsEntryPoints::ListenerToken logEventListener_;                              // guarded by mutex_
};

}  // namespace kit::measurement

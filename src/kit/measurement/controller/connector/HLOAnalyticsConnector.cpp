#include "kit/measurement/controller/HLOAnalyticsConnector.h"

#include "kit/core/KitContext.h"

#include "kit/core/HLOApp.h"
#include "kit/core/Logger.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/HLOConnectorUtils.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

#include <condition_variable>

namespace kit::measurement {
namespace {

using platform::Value;
using Parameters = HLOAnalyticsInterop::Parameters;

class ConnectorLibrary final : public kit::HLOLibrary {
public:
    std::vector<kit::HLOComponent> componentsToRegister() const override {
        return {kit::HLOComponent::componentWithProtocol(
            kit::HLOProtocol::of<HLOAnalyticsInterop>(),
            [](kit::HLOComponentContainer&, bool&) -> std::shared_ptr<kit::HLOObject> {
                return std::make_shared<HLOAnalyticsConnector>();
            })};
    }
};

// The connectors' shared state, a service of the kit context.
struct ConnectorShared {
    std::mutex mutex;
    std::shared_ptr<HLOConditionalUserPropertyStore> store;      // guarded by mutex
    std::chrono::milliseconds maxUserPropertiesTimeout{10'000};  // guarded by mutex
    platform::SerialQueue queue{std::string(kHLOAnalyticsConnectorQueueLabel)};
};

ConnectorShared& shared() { return KitContext::current().service<ConnectorShared>(); }

std::shared_ptr<HLOConditionalUserPropertyStore> propertyStore() {
    ConnectorShared& state = shared();
    std::lock_guard lock(state.mutex);
    return state.store;
}

double now() { return platform::secondsSince1970(std::chrono::system_clock::now()); }

MSRObjectDictionary objects(const Parameters& parameters) {
    MSRObjectDictionary converted;
    for (const auto& [key, value] : parameters) {
        converted.emplace(key, value);
    }
    return converted;
}

const std::string* textIn(const Parameters& dictionary, std::string_view key) {
    const auto found = dictionary.find(key);
    return found != dictionary.end() ? found->second.asString() : nullptr;
}

}  // namespace

void HLOAnalyticsConnector::registerLibrary() {
    kit::classRegistry().registerClass<kit::HLOLibrary>(std::string(kHLOAnalyticsConnectorClassName),
                                                        std::make_shared<ConnectorLibrary>());
    kit::HLOApp::registerInternalLibrary(kHLOAnalyticsConnectorClassName, kHLOAnalyticsLibraryName,
                                         kit::HLOSDKVersionString());
}

void HLOAnalyticsConnector::installConditionalUserPropertyStore(
    std::shared_ptr<HLOConditionalUserPropertyStore> store) {
    ConnectorShared& state = shared();
    std::lock_guard lock(state.mutex);
    state.store = std::move(store);
}

void HLOAnalyticsConnector::setMaxUserPropertiesTimeout(std::chrono::milliseconds timeout) {
    ConnectorShared& state = shared();
    std::lock_guard lock(state.mutex);
    state.maxUserPropertiesTimeout = timeout;
}

platform::SerialQueue& HLOAnalyticsConnector::connectorQueue() { return shared().queue; }

HLOAnalyticsConnector::~HLOAnalyticsConnector() = default;

// --- Conditional user properties

void HLOAnalyticsConnector::setConditionalUserProperty(const Parameters& dictionary) {
    if (dictionary.empty()) {
        return;
    }
    HLOAConditionalUserProperty property;
    for (const auto& [key, value] : dictionary) {
        const auto* nested = value.asDictionary();
        if ((key == "expiredEvent" || key == "timedOutEvent" || key == "triggeredEvent") && nested != nullptr) {
            auto event = eventFromDictionary(*nested);
            (key == "expiredEvent"    ? property.expiredEvent
             : key == "timedOutEvent" ? property.timedOutEvent
                                      : property.triggeredEvent) = std::move(event);
        } else if (key == "value" && value.asString() != nullptr) {
            property.value = MSRValue::initWithString(*value.asString());
        } else if (key == "creationTimestamp" && value.isNumber()) {
            property.creationTimestamp = value.asDouble();
        } else if (key == "name" && value.asString() != nullptr) {
            property.name = *value.asString();
        } else if (key == "origin" && value.asString() != nullptr) {
            property.origin = *value.asString();
        } else {
            property.otherFields.insert_or_assign(key, value);
        }
    }
    if (const auto store = propertyStore()) {
        store->setConditionalUserProperty(property, property.name);
    }
}

void HLOAnalyticsConnector::clearConditionalUserProperty(std::string_view userPropertyName, std::string_view origin,
                                                         std::string_view clearEventName,
                                                         const Parameters& clearEventParameters) {
    if (clearEventParameters.empty()) {
        return;
    }
    const auto& [key, value] = *clearEventParameters.begin();
    const auto clearEvent = eventWithOrigin(origin, clearEventName, {{key, value}});
    const auto store = propertyStore();
    if (clearEvent && store != nullptr) {
        // The property to clear is the one named by the caller, not a key of
        // the clear event's parameters.
        store->clearConditionalUserPropertyWithClearEvent(*clearEvent, userPropertyName);
    }
}

std::vector<Parameters> HLOAnalyticsConnector::conditionalUserProperties(std::string_view origin,
                                                                         std::string_view propertyNamePrefix) {
    std::vector<Parameters> properties;
    const auto store = propertyStore();
    if (store == nullptr) {
        return properties;
    }
    for (const auto& property : store->conditionalUserPropertiesWithNamePrefix(propertyNamePrefix, origin)) {
        const std::string* text = property.value ? property.value->stringValue() : nullptr;
        if (!property.name.empty() && text != nullptr) {
            properties.push_back({{"name", Value(property.name)}, {"value", Value(*text)}});
        }
    }
    return properties;
}

// --- User properties

std::int64_t HLOAnalyticsConnector::maxUserProperties(std::string_view origin) {
    struct Answer {
        std::mutex mutex;
        std::condition_variable ready;
        std::optional<std::int64_t> count;  // guarded by mutex
    };
    const auto answer = std::make_shared<Answer>();
    std::chrono::milliseconds timeout;
    {
        ConnectorShared& state = shared();
        std::lock_guard lock(state.mutex);
        timeout = state.maxUserPropertiesTimeout;
    }
    HLOAnalytics::sharedInstance()->maxUserPropertiesForOrigin(origin, &connectorQueue(), [answer](std::int64_t count) {
        std::lock_guard lock(answer->mutex);
        answer->count = count;
        answer->ready.notify_all();
    });
    std::unique_lock lock(answer->mutex);
    answer->ready.wait_for(lock, timeout, [&] { return answer->count.has_value(); });
    return answer->count.value_or(0);
}

void HLOAnalyticsConnector::getUserPropertiesWithCallback(std::function<void(Parameters)> callback) {
    HLOAnalytics::userPropertiesIncludingInternal(true, &connectorQueue(), [callback](Parameters properties) {
        std::erase_if(properties,
                      [](const auto& entry) { return !HLOConnectorUtils::isUserPropertyAllowedForQuery(entry.first); });
        if (callback) {
            callback(std::move(properties));
        }
    });
}

void HLOAnalyticsConnector::setUserPropertyWithOrigin(std::string_view origin, std::string_view name,
                                                      const Value& value) {
    if (HLOConnectorUtils::isOriginAllowed(origin) && HLOConnectorUtils::isUserPropertyAllowed(name, origin)) {
        HLOAnalytics::sharedInstance()->setInternalUserProperty(value, name, origin);
    }
}

// --- Events

void HLOAnalyticsConnector::logEventWithOrigin(std::string_view origin, std::string_view name,
                                               const Parameters& parameters) {
    if (!HLOConnectorUtils::isOriginAllowed(origin) || !HLOConnectorUtils::shouldLogEventWithName(name, parameters)) {
        return;
    }
    Parameters completed = parameters;
    if (name == "_cmp") {
        static const std::map<std::string, std::string, std::less<>>& integrations =
            *new std::map<std::string, std::string, std::less<>>{{"fcm", "fcm_integration"},
                                                                 {"fdl", "fdl_integration"},
                                                                 {"fiam", "fiam_integration"},
                                                                 {"frc", "frc_integration"}};
        if (const auto found = integrations.find(origin); found != integrations.end()) {
            completed.insert_or_assign("_cis", Value(found->second));
        }
    } else if (name == "_ae" && origin == "clx") {
        completed.insert_or_assign("_r", Value(std::int64_t{1}));
    }
    HLOAnalytics::logInternalEventWithOrigin(origin, name, completed);
}

// --- Listeners

void HLOAnalyticsConnector::registerAnalyticsListener(std::shared_ptr<HLOAnalyticsListener> listener,
                                                      std::string_view origin) {
    if (listener == nullptr || !HLOConnectorUtils::isListenerOriginAllowed(origin)) {
        return;
    }
    std::unique_lock lock(mutex_);
    listeners_.insert_or_assign(std::string(origin), std::move(listener));
    if (logEventListener_ != nullptr) {
        return;
    }
    lock.unlock();
    // Added outside the lock: the facade may call the listener at once.
    auto token = HLOAnalytics::addLogEventListener([weakSelf = weak_from_this()](std::string_view eventOrigin,
                                                                                 std::string_view name,
                                                                                 const Parameters& parameters) {
        if (const auto self = weakSelf.lock()) {
            self->deliverEvent(eventOrigin, name, parameters);
        }
    });
    lock.lock();
    if (logEventListener_ == nullptr && !listeners_.empty()) {
        logEventListener_ = std::move(token);
        return;
    }
    lock.unlock();
    if (token != nullptr) {
        HLOAnalytics::removeLogEventListener(token);  // lost a race with another registration or removal
    }
}

void HLOAnalyticsConnector::unregisterAnalyticsListenerWithOrigin(std::string_view origin) {
    MSRAnalyticsEntryPoints::ListenerToken token;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = listeners_.find(origin); found != listeners_.end()) {
            listeners_.erase(found);
        }
        if (!listeners_.empty()) {
            return;
        }
        token = std::exchange(logEventListener_, nullptr);
    }
    HLOAnalytics::removeLogEventListener(token);
}

void HLOAnalyticsConnector::deliverEvent(std::string_view origin, std::string_view name, const Parameters& parameters) {
    if (!HLOConnectorUtils::isEventNameAllowedForListeners(name)) {
        return;
    }
    std::shared_ptr<HLOAnalyticsListener> chosen;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = listeners_.find(origin); found != listeners_.end()) {
            chosen = found->second;
        } else if (!HLOConnectorUtils::isAppOrigin(origin)) {
            const auto clx = listeners_.find("clx");
            if (!HLOConnectorUtils::isEventNameAllowedForListenerOrigin(name, "clx") || clx == listeners_.end()) {
                return;
            }
            chosen = clx->second;
        }
    }
    connectorQueue().async(
        [weakSelf = weak_from_this(), chosen, origin = std::string(origin), name = std::string(name), parameters] {
            auto simplified = simplifiedParametersFromEventParameters(parameters);
            platform::MainQueue::get()->async([weakSelf, chosen, origin, name, simplified = std::move(simplified)] {
                if (chosen != nullptr) {
                    chosen->messageTriggered(name, simplified);
                    return;
                }
                const auto self = weakSelf.lock();
                if (self == nullptr || !HLOConnectorUtils::isAppOrigin(origin)) {
                    return;
                }
                std::vector<std::shared_ptr<HLOAnalyticsListener>> everyone;
                {
                    std::lock_guard lock(self->mutex_);
                    for (const auto& [listenerOrigin, listener] : self->listeners_) {
                        everyone.push_back(listener);
                    }
                }
                for (const auto& listener : everyone) {
                    listener->messageTriggered(name, simplified);
                }
            });
        });
}

// --- Conversions

Parameters HLOAnalyticsConnector::simplifiedParametersFromEventParameters(const Parameters& parameters) {
    Parameters simplified;
    for (const auto& [key, value] : parameters) {
        if (value.isNumber() || value.isBool() || value.asString() != nullptr) {
            simplified.emplace(key, value);
        }
    }
    return simplified;
}

std::optional<MSREvent> HLOAnalyticsConnector::eventFromDictionary(const Parameters& dictionary) {
    const std::string* origin = textIn(dictionary, "origin");
    const std::string* name = textIn(dictionary, "name");
    double timestamp = now();
    if (const auto found = dictionary.find("timestamp"); found != dictionary.end() && found->second.isNumber()) {
        timestamp = found->second.asDouble().value_or(timestamp);
    }
    Parameters parameters;
    if (const auto found = dictionary.find("parameters"); found != dictionary.end() && found->second.isDictionary()) {
        parameters = *found->second.asDictionary();
    }
    return MSREvent::initWithOrigin(origin != nullptr ? *origin : "", false, name != nullptr ? *name : "", timestamp, 0,
                                    objects(parameters));
}

std::optional<MSREvent> HLOAnalyticsConnector::eventWithOrigin(std::string_view origin, std::string_view eventName,
                                                               const Parameters& parameters) {
    return MSREvent::initWithOrigin(origin, false, eventName, now(), 0, objects(parameters));
}

}  // namespace kit::measurement

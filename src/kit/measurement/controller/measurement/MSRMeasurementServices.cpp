#include "kit/measurement/controller/HLOAnalyticsConnector.h"
#include "kit/measurement/controller/MSRControllerServices.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/controller/MSRIdentifiers.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/controller/MSRReportersController.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/messages/MessagesMonitor.h"
#include "kit/measurement/support/MSRConditionalUserPropertyController.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"

// What the shared controller installs into the seams of the libraries below
// it and of the parts of the controller library built before it.
namespace kit::measurement {

namespace {

// The messages library's numbered lines, written by the engine's monitor.
class ControllerMessagesMonitor final : public MessagesMonitor {
public:
    using MessagesMonitor::logWithLevel;

    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message,
                      const std::vector<MessagesMonitorContext>& contexts) override {
        MSRLogContexts converted;
        converted.reserve(contexts.size());
        for (const auto& context : contexts) {
            converted.push_back(std::visit(
                [](const auto& value) -> MSRLogContext {
                    if constexpr (std::is_same_v<std::decay_t<decltype(value)>, MessagesMonitorNull>) {
                        return MSRLogContext(nullptr);
                    } else if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::int64_t>) {
                        return MSRLogContext(static_cast<long long>(value));
                    } else {
                        return MSRLogContext(value);
                    }
                },
                context));
        }
        MSRMeasurementMonitor().logWithLevel(level, messageCode, message, converted);
    }
};

// The reporters' view of the shared controller, asked afresh at each use.
class SharedReportersController final : public MSRReportersController {
public:
    bool didInitializeComponents() override {
        const auto controller = MSRMeasurement::sharedInstance();
        return controller != nullptr && controller->didInitializeComponents();
    }
    std::shared_ptr<MSRSessionReporter> sessionReporter() override {
        const auto controller = MSRMeasurement::sharedInstance();
        return controller != nullptr ? controller->sessionReporter() : nullptr;
    }
    std::shared_ptr<MSRRemoteConfig> remoteConfig() override {
        const auto controller = MSRMeasurement::sharedInstance();
        return controller != nullptr ? controller->remoteConfigInstance() : nullptr;
    }
};

// The connector's conditional user properties, kept by the engine's
// conditional-user-property controller.
class ConditionalUserPropertyStore final : public HLOConditionalUserPropertyStore {
public:
    void setConditionalUserProperty(const HLOAConditionalUserProperty& property, std::string_view name) override {
        const MSRConditionalUserProperty converted = engineProperty(property);
        MSRConditionalUserPropertyController::sharedInstance().setConditionalUserProperty(&converted, name);
    }

    void clearConditionalUserPropertyWithClearEvent(const MSREvent& clearEvent, std::string_view name) override {
        MSRConditionalUserPropertyController::sharedInstance().clearConditionalUserPropertyWithClearEvent(&clearEvent,
                                                                                                          name);
    }

    std::vector<HLOAConditionalUserProperty> conditionalUserPropertiesWithNamePrefix(std::string_view prefix,
                                                                                     std::string_view origin) override {
        std::vector<HLOAConditionalUserProperty> answer;
        const auto found =
            MSRConditionalUserPropertyController::sharedInstance().conditionalUserPropertiesWithNamePrefix(
                platform::Value(prefix), platform::Value(origin));
        if (!found) {
            return answer;
        }
        for (const auto& property : *found) {
            HLOAConditionalUserProperty entry;
            entry.name = property.name;
            entry.origin = property.origin;
            entry.value = property.value;
            entry.creationTimestamp = property.creationTimestamp;
            entry.triggeredEvent = property.triggeredEvent;
            entry.timedOutEvent = property.timedOutEvent;
            entry.expiredEvent = property.expiredEvent;
            entry.otherFields = {
                {"active", platform::Value(property.active)},
                {"triggerEventName", platform::Value(property.triggerEventName)},
                {"triggerTimeout", platform::Value(property.triggerTimeout)},
                {"timeToLive", platform::Value(property.timeToLive)},
                {"triggeredTimestamp", platform::Value(property.triggeredTimestamp)},
            };
            answer.push_back(std::move(entry));
        }
        return answer;
    }

private:
    // The connector keeps the property's settable fields by name; those the
    // engine's property has are taken, of the right kind, and the rest dropped.
    static MSRConditionalUserProperty engineProperty(const HLOAConditionalUserProperty& property) {
        MSRConditionalUserProperty converted;
        converted.name = property.name;
        converted.origin = property.origin;
        converted.value = property.value;
        converted.creationTimestamp = property.creationTimestamp.value_or(0);
        converted.triggeredEvent = property.triggeredEvent;
        converted.timedOutEvent = property.timedOutEvent;
        converted.expiredEvent = property.expiredEvent;
        for (const auto& [key, value] : property.otherFields) {
            if (key == "active") {
                converted.active = value.boolValue().value_or(false);
            } else if (key == "triggerEventName" && value.isString()) {
                converted.triggerEventName = *value.asString();
            } else if (key == "triggerTimeout" && value.isNumber()) {
                converted.triggerTimeout = value.asDouble().value_or(0);
            } else if (key == "timeToLive" && value.isNumber()) {
                converted.timeToLive = value.asDouble().value_or(0);
            } else if (key == "triggeredTimestamp" && value.isNumber()) {
                converted.triggeredTimestamp = value.asDouble().value_or(0);
            }
        }
        return converted;
    }
};

}  // namespace

void MSRMeasurement::installControllerServices() {
    installMeasurementControllerServices();
    installIdentityControllerFacts();

    MSRControllerFacts facts;
    facts.hasSharedInstance = [] { return MSRMeasurement::hasSharedInstance(); };
    facts.isEnabled = [] {
        const auto controller = MSRMeasurement::sharedInstance();
        return controller != nullptr && controller->isEnabled();
    };
    facts.appVersion = []() -> std::optional<std::string> {
        const auto controller = MSRMeasurement::sharedInstance();
        const auto identity = controller != nullptr ? controller->identity() : nullptr;
        return identity != nullptr ? identity->appVersion() : std::nullopt;
    };
    facts.isDebugModeEnabled = [] { return MSRMeasurementMonitor().isDebugModeEnabled(); };
    facts.checkOnBackgroundThreadWithMethodName = [](std::string_view methodName) {
        return MSRScheduler::checkOnBackgroundThreadWithMethodName(methodName);
    };
    installControllerFacts(facts);
    MSRDeepLinks::installFacts();

    MSRIdentifiers::setControllerIdentityProvider([]() -> std::shared_ptr<MSRIdentity> {
        const auto controller = MSRMeasurement::sharedInstance();
        return controller != nullptr ? controller->identity() : nullptr;
    });
    installMessagesMonitor(std::make_shared<ControllerMessagesMonitor>());
    MSRReportersController::install(std::make_shared<SharedReportersController>());
    HLOAnalyticsConnector::installConditionalUserPropertyStore(std::make_shared<ConditionalUserPropertyStore>());
}

}  // namespace kit::measurement

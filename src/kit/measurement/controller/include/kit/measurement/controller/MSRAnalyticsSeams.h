#pragma once

#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/store/PaymentQueue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the analytics facade asks of the parts built around it: the
// measurement controller, the identity, and the event and user-property
// entry points. Each is installed by its owner (tests install fakes); until
// then a default stands in that has nothing to offer.
namespace kit::measurement {

using MSRSessionIDCompletion = std::function<void(std::int64_t sessionID, std::optional<platform::Error> error)>;

// The facade's log-event interceptor: takes public events in place of the
// write pipeline, with their merged parameters and their time.
using MSRLogEventInterceptor = std::function<void(std::string_view origin, std::string_view name,
                                                  const platform::Value::Dictionary& parameters, double timestamp)>;

// One event as the facade hands it to the controller.
struct MSREventRequest {
    std::string origin;
    bool isPublicEvent = false;
    std::string name;
    platform::Value::Dictionary parameters;
    double timestamp = 0;  // seconds since 1970
    bool enabled = false;  // the facade's analytics-enabled flag
    bool ignoreEnabled = false;
    bool ignoreInterceptor = false;
    MSRLogEventInterceptor interceptor;
    // "_sn", "_sc" and "_si" of the screen on show; empty for none.
    MSRParameters addedScreenParameters;
};

// The shared measurement controller as the facade drives it.
class MSRMeasurementController {
public:
    virtual ~MSRMeasurementController() = default;
    virtual bool wasEnabledDuringInitialization() = 0;
    virtual bool hasInitializedComponents() = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setSessionTimeoutInterval(double seconds) = 0;
    virtual void sessionIDWithCompletion(MSRSessionIDCompletion completion) = 0;
    // True when the stored data was reset.
    virtual bool resetAnalyticsDataWithAppInstanceID(const std::optional<std::string>& appInstanceID) = 0;
    virtual void setUserData(const platform::Value::Dictionary& userData) = 0;
    virtual void userPropertiesIncludingInternal(bool includingInternal,
                                                 std::function<void(platform::Value::Dictionary)> callback) = 0;
    virtual void maxUserPropertiesForOrigin(std::string_view origin, std::function<void(std::int64_t)> callback) = 0;
    // Store transactions the payment queue reported, while analytics is on.
    virtual void paymentQueueUpdatedTransactions(const std::vector<platform::PaymentTransaction>& /*transactions*/) {}

    // --- Events and user properties from the facade's entry points. The
    // defaults drop what they are given, as when no controller exists.
    virtual void logEventWithOrigin(const MSREventRequest& /*request*/) {}
    virtual void setDefaultEventParameters(const std::optional<platform::Value::Dictionary>& /*parameters*/) {}
    virtual void setUserAttribute(const MSRUserAttribute& /*attribute*/) {}
    virtual void removeUserAttribute(const MSRUserAttribute& /*attribute*/) {}
    // Nothing when no consent or setting decides it.
    virtual std::optional<bool> shouldDisableAdPersonalization() { return std::nullopt; }
    // A link opened after launch; `eventTimestamp` in seconds since 1970.
    virtual void handleNonFirstOpenEventURL(const std::string& /*url*/, double /*eventTimestamp*/) {}

    // --- What the deep links ask of the controller, on its worker queue.
    virtual void handleInternalEventOnWorkerQueue(const MSREvent& /*event*/) {}
    virtual void setUserPropertyInDatabaseOnWorkerQueue(const MSRUserAttribute& /*attribute*/) {}
    virtual void updateSchedule() {}
    virtual void setIsNetworkRequestPending(bool /*pending*/) {}
};

// The screen-view reporter as the facade hands it "screen_view" events.
class MSRScreenViewTracking {
public:
    virtual ~MSRScreenViewTracking() = default;
    virtual void trackScreenWithParameters(const platform::Value::Dictionary& parameters, double timestamp) = 0;
};

struct MSRMeasurementStartOptions {
    std::string appID;
    bool isAnalyticsCollectionEnabled = true;
    bool isAnalyticsCollectionDeactivated = false;
    std::optional<std::vector<std::string>> safelistedEvents;
};

// Creates the shared controller; the default creates none.
class MSRMeasurementControllerFactory {
public:
    virtual ~MSRMeasurementControllerFactory() = default;
    virtual std::shared_ptr<MSRMeasurementController> initializeSharedInstance(
        const MSRMeasurementStartOptions& options) = 0;
};

// The identity as the facade reads it.
class MSRAnalyticsIdentity {
public:
    virtual ~MSRAnalyticsIdentity() = default;
    virtual std::optional<std::string> appInstanceID() = 0;
    // A new random identifier; empty when none could be made.
    virtual std::string randomAppInstanceID() = 0;
    virtual void setIdentifiersOrigin(std::string_view origin) = 0;
    virtual void setHaloInstallationID(const std::optional<std::string>& installationID) = 0;
};

// The installation identifier, asked for by the public start.
class MSRInstallationIDSource {
public:
    virtual ~MSRInstallationIDSource() = default;
    virtual void installationID(
        std::function<void(std::optional<std::string> identifier, std::optional<platform::Error> error)>
            completion) = 0;
};

// The facade's event and user-property entry points, which validate and
// queue what the public interface and the connector hand in.
class MSRAnalyticsEntryPoints {
public:
    using Parameters = platform::Value::Dictionary;
    using LogEventListener =
        std::function<void(std::string_view origin, std::string_view name, const Parameters& parameters)>;
    // Refers to a listener without keeping it.
    using ListenerToken = std::shared_ptr<const void>;

    virtual ~MSRAnalyticsEntryPoints() = default;
    virtual void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) = 0;
    virtual void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                            const Parameters& parameters) = 0;
    virtual void setUserPropertyString(const std::optional<std::string>& value, std::string_view name) = 0;
    virtual void setInternalUserProperty(const std::optional<platform::Value>& value, std::string_view name,
                                         std::string_view origin) = 0;
    virtual ListenerToken addLogEventListener(LogEventListener listener) = 0;
    virtual void removeLogEventListener(const ListenerToken& token) = 0;
};

struct MSRAnalyticsSeams {
    std::shared_ptr<MSRMeasurementControllerFactory> controllerFactory;
    std::shared_ptr<MSRAnalyticsIdentity> identity;
    std::shared_ptr<MSRInstallationIDSource> installations;
    std::shared_ptr<MSRAnalyticsEntryPoints> entryPoints;
    std::shared_ptr<MSRScreenViewTracking> screenViews;
};

}  // namespace kit::measurement

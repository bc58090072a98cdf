// The facade's entry points for events, user properties, listeners and
// links: names and values are checked on the caller's thread, then the work
// goes through the queues to the controller.

#include "FacadeLines.h"
#include "FacadeState.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRScreenViewReporter.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPackedDictionary.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRStrings.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <array>

namespace kit::measurement {
namespace {

using platform::Value;
using Parameters = MSRAnalytics::Parameters;

constexpr std::string_view kScreenViewEventName = "screen_view";
constexpr std::string_view kAllowPersonalizedAdsName = "allow_personalized_ads";
constexpr std::array<std::string_view, 3> kScreenParameterNames = {"_sn", "_sc", "_si"};
constexpr std::size_t kMaxEventNameLength = 40;
constexpr std::size_t kMaxUserPropertyNameLength = 24;
constexpr std::size_t kMaxOriginLength = 32;

// Error-event codes of the failure table.
constexpr std::int64_t kErrorInvalidEventName = 2;
constexpr std::int64_t kErrorInvalidUserPropertyName = 6;
constexpr std::int64_t kErrorUserPropertyValueTooLong = 7;
constexpr std::int64_t kErrorReservedEventName = 13;
constexpr std::int64_t kErrorReservedUserPropertyName = 15;

double nowSeconds() { return platform::secondsSince1970(facadeClock().now()); }

bool hasScreenParameters(const Parameters& parameters) {
    for (const std::string_view name : kScreenParameterNames) {
        if (parameters.contains(name)) {
            return true;
        }
    }
    return false;
}

// The screen on show, unless the event names its own.
MSRParameters screenParametersFor(const Parameters& parameters) {
    return hasScreenParameters(parameters) ? MSRParameters{} : MeasurementServices::current().screenParameters();
}

void logNameError(std::int64_t code, std::string_view name, std::size_t maxLength) {
    const MSRValue nameValue = MSRValue::initWithString(std::string(name));
    MSRLogErrorEventWithName(code, name, maxLength, &nameValue);
}

void setAllowPersonalizedAdsOnSerialQueue(const std::optional<std::string>& value) {
    const bool enabled = MSRAnalytics::isAnalyticsEnabled();
    if (!enabled) {
        facade_lines::log(facade_lines::kPersonalizedAdsPropertyChangedWhileAnalytics);
    }
    MSRPersistedConfig::sharedInstance()->setAllowPersonalizedAds(
        value ? std::optional<Value>(Value(Value(*value).boolValue().value_or(false))) : std::nullopt);
    if (!value && MSRConsentSettingsUtil::adPersonalization()) {
        MSRConsentSettingsUtil::unsetAdPersonalization();
    }
    if (!enabled) {
        return;
    }
    const auto controller = MSRAnalytics::controller();
    if (controller == nullptr) {
        return;
    }
    const auto disable = controller->shouldDisableAdPersonalization();
    const auto attribute = MSRUserAttribute::initWithOrigin(
        "auto", "_npa", MSRValue::initWithInt64(disable && *disable ? 1 : 0), nowSeconds());
    if (!attribute) {
        return;
    }
    if (disable) {
        controller->setUserAttribute(*attribute);
    } else {
        controller->removeUserAttribute(*attribute);
    }
}

// The entry points as the public face and the connector reach them.
class FacadeEntryPoints final : public MSRAnalyticsEntryPoints {
public:
    void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) override {
        MSRAnalytics::logEventWithOrigin(origin, name, parameters);
    }
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                    const Parameters& parameters) override {
        MSRAnalytics::logInternalEventWithOrigin(origin, name, parameters);
    }
    void setUserPropertyString(const std::optional<std::string>& value, std::string_view name) override {
        MSRAnalytics::setUserPropertyString(value, name);
    }
    void setInternalUserProperty(const std::optional<Value>& value, std::string_view name,
                                 std::string_view origin) override {
        MSRAnalytics::setInternalUserProperty(value, name, origin);
    }
    ListenerToken addLogEventListener(LogEventListener listener) override {
        return MSRAnalytics::addLogEventListener(std::move(listener));
    }
    void removeLogEventListener(const ListenerToken& token) override { MSRAnalytics::removeLogEventListener(token); }
};

// "screen_view" goes to the shared screen-view reporter.
class SharedScreenViews final : public MSRScreenViewTracking {
public:
    void trackScreenWithParameters(const Parameters& parameters, double timestamp) override {
        MSRScreenViewReporter::sharedInstance()->trackScreenWithParameters(parameters, timestamp);
    }
};

// Runs at once on the serial queue, else queued behind the start.
void onSerialQueue(platform::Work block) {
    if (MSRAnalytics::isCurrentQueueSerialQueue()) {
        block();
    } else {
        MSRAnalytics::queueOperationWithBlock(std::move(block));
    }
}

// A name the application may set; one it may not is logged as an error event.
bool isValidPublicUserPropertyName(std::string_view name) {
    int failure = 0;
    if (MSRDataTypeValidator::isValidPublicUserAttributeName(name, &failure)) {
        return true;
    }
    logNameError(
        failure == MSRDataTypeValidator::Reserved ? kErrorReservedUserPropertyName : kErrorInvalidUserPropertyName,
        name, kMaxUserPropertyNameLength);
    return false;
}

}  // namespace

std::shared_ptr<MSRAnalyticsEntryPoints> makeFacadeEntryPoints() { return std::make_shared<FacadeEntryPoints>(); }

std::shared_ptr<MSRScreenViewTracking> makeSharedScreenViews() { return std::make_shared<SharedScreenViews>(); }

// --- Events

void MSRAnalytics::logEventWithName(std::string_view name, const Parameters& parameters) {
    logEventWithOrigin("app", name, parameters);
}

void MSRAnalytics::logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) {
    int failure = 0;
    if (!MSRDataTypeValidator::isValidPublicEventName(name, &failure)) {
        logNameError(failure == MSRDataTypeValidator::Reserved ? kErrorReservedEventName : kErrorInvalidEventName, name,
                     kMaxEventNameLength);
        return;
    }
    logEventWithOrigin(origin, true, name, parameters);
}

void MSRAnalytics::logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                              const Parameters& parameters) {
    if (origin == "am") {
        const auto found = parameters.find("_aeid");
        const std::string* text = found != parameters.end() ? found->second.asString() : nullptr;
        if (text != nullptr) {
            if (MSRIsDecimalNumberString(*text)) {
                Parameters converted = parameters;
                converted["_aeid"] = Value(Value(*text).integerValue().value_or(0));
                logEventWithOrigin(origin, false, name, converted);
                return;
            }
            facade_lines::log(facade_lines::kAdEventIDStringNotNumber, *text);
        }
    }
    logEventWithOrigin(origin, false, name, parameters);
}

void MSRAnalytics::logEventWithOrigin(std::string_view origin, bool isPublicEvent, std::string_view name,
                                      const Parameters& parameters) {
    if (name == kScreenViewEventName) {
        // A screen view becomes an event only through the screen reporter.
        if (const auto screenViews = seams().screenViews) {
            screenViews->trackScreenWithParameters(parameters, nowSeconds());
        }
        return;
    }
    MSRParameters screenParameters = screenParametersFor(parameters);
    // The time is read and the event queued in one step of the timestamp
    // queue, so queued events carry non-decreasing times in queue order.
    facadeState().timestampQueue.sync([&] {
        // Events logged in a burst wait here by the thousand: their
        // parameters wait packed.
        queueOperationWithBlock([origin = std::string(origin), isPublicEvent, name = std::string(name),
                                 parameters = MSRPackedDictionary(parameters), timestamp = nowSeconds(),
                                 screenParameters = std::move(screenParameters)]() mutable {
            logEventOnSerialQueueWithOrigin(std::move(origin), isPublicEvent, std::move(name), parameters.unpack(),
                                            timestamp, false, false, std::move(screenParameters));
        });
    });
}

void MSRAnalytics::logInternalEventWithOrigin(std::string_view origin, std::string_view name, double timestamp,
                                              const Parameters& parameters) {
    queueOperationWithBlock([origin = std::string(origin), name = std::string(name), parameters, timestamp,
                             screenParameters = screenParametersFor(parameters)]() mutable {
        logEventOnSerialQueueWithOrigin(std::move(origin), false, std::move(name), std::move(parameters), timestamp,
                                        false, false, std::move(screenParameters));
    });
}

void MSRAnalytics::logEventWithOrigin(std::string_view origin, bool isPublicEvent, std::string_view name,
                                      const Parameters& parameters, double timestamp, bool ignoreEnabled,
                                      bool ignoreInterceptor) {
    queueOperationWithBlock([origin = std::string(origin), isPublicEvent, name = std::string(name), parameters,
                             timestamp, ignoreEnabled, ignoreInterceptor]() mutable {
        logEventOnSerialQueueWithOrigin(std::move(origin), isPublicEvent, std::move(name), std::move(parameters),
                                        timestamp, ignoreEnabled, ignoreInterceptor, {});
    });
}

void MSRAnalytics::logEventOnSerialQueueWithOrigin(std::string origin, bool isPublicEvent, std::string name,
                                                   Parameters parameters, double timestamp, bool ignoreEnabled,
                                                   bool ignoreInterceptor, MSRParameters addedScreenParameters) {
    // A forwarded event that skips the interceptor carries its screen in
    // its own parameters; it moves where the controller looks for it.
    if (ignoreInterceptor && addedScreenParameters.empty() &&
        MSRDataTypeValidator::isValidForwardedEventOrigin(origin)) {
        for (const std::string_view key : kScreenParameterNames) {
            const auto found = parameters.find(key);
            if (found == parameters.end()) {
                continue;
            }
            if (auto value = MSRValue::valueFromObject(found->second)) {
                addedScreenParameters.emplace(std::string(key), std::move(*value));
            }
            parameters.erase(found);
        }
    }
    const auto controller = MSRAnalytics::controller();
    if (controller == nullptr) {
        return;
    }
    MSREventRequest request;
    request.origin = std::move(origin);
    request.isPublicEvent = isPublicEvent;
    request.name = std::move(name);
    request.parameters = std::move(parameters);
    request.timestamp = timestamp;
    request.enabled = isAnalyticsEnabled();
    request.ignoreEnabled = ignoreEnabled;
    request.ignoreInterceptor = ignoreInterceptor;
    request.interceptor = facadeState().logEventInterceptor;
    request.addedScreenParameters = std::move(addedScreenParameters);
    controller->logEventWithOrigin(request);
}

void MSRAnalytics::setDefaultEventParameters(const std::optional<Parameters>& parameters) {
    queueOperationWithBlock([parameters] {
        if (const auto controller = MSRAnalytics::controller()) {
            controller->setDefaultEventParameters(parameters);
        }
    });
}

// --- User properties

void MSRAnalytics::setUserPropertyString(const std::optional<std::string>& value, std::string_view name) {
    if (name == kAllowPersonalizedAdsName) {
        queueOperationWithBlock([value] { setAllowPersonalizedAdsOnSerialQueue(value); });
        return;
    }
    if (!value) {
        removeUserAttributeForName(name);
        return;
    }
    if (!isValidPublicUserPropertyName(name)) {
        return;
    }
    int failure = 0;
    const MSRValue measurementValue = MSRValue::initWithString(*value);
    if (MSRDataTypeValidator::isValidPublicUserAttributeValue(&measurementValue, &failure)) {
        setInternalUserProperty(Value(*value), name, "app");
    } else if (failure == MSRDataTypeValidator::TooLong) {
        MSRLogErrorEventWithName(kErrorUserPropertyValueTooLong, name, kMaxUserPropertyNameLength, &measurementValue);
    }
}

void MSRAnalytics::setUserID(const std::optional<Value>& userID) {
    if (!userID || userID->isNull()) {
        removeInternalUserAttributeForName("_id");
        removeInternalUserAttributeForName("_lair");
        return;
    }
    if (!userID->isString()) {
        facade_lines::log(facade_lines::kUserIDNSString, *userID);
        return;
    }
    setInternalUserProperty(*userID, "_id", "app");
}

void MSRAnalytics::removeUserAttributeForName(std::string_view name) {
    if (MSRDataTypeValidator::isValidPublicUserAttributeName(name)) {
        removeInternalUserAttributeForName(name);
    }
}

void MSRAnalytics::setUserAttributeNumber(const Value& number, std::string_view name) {
    if (!isValidPublicUserPropertyName(name)) {
        return;
    }
    if (number.isDouble()) {
        setInternalUserProperty(Value(*number.asDouble()), name, "auto");
    } else if (number.isInteger() || number.isBool()) {
        setInternalUserProperty(Value(number.integerValue().value_or(0)), name, "auto");
    }
}

void MSRAnalytics::setInternalUserProperty(const std::optional<Value>& value, std::string_view name,
                                           std::string_view origin) {
    int failure = 0;
    if (!MSRDataTypeValidator::isValidInternalUserAttributeName(name, &failure)) {
        logNameError(kErrorInvalidUserPropertyName, name, kMaxUserPropertyNameLength);
        return;
    }
    const std::size_t originLength = msr_UTF32Length(origin);
    if (originLength < 1 || originLength > kMaxOriginLength) {
        facade_lines::log(facade_lines::kUnableSetUserPropertyOriginInvalid, origin, name);
        return;
    }
    if (!value || value->isNull()) {
        removeInternalUserAttributeForName(name);
        return;
    }
    const auto measurementValue = MSRValue::valueFromObject(*value);
    if (!measurementValue) {
        return;
    }
    if (MSRDataTypeValidator::isValidInternalUserAttributeValue(&*measurementValue, name, &failure)) {
        const auto attribute = MSRUserAttribute::initWithOrigin(origin, name, *measurementValue, nowSeconds());
        if (!attribute) {
            return;
        }
        queueOperationWithBlock([attribute = *attribute] {
            if (const auto controller = MSRAnalytics::controller()) {
                controller->setUserAttribute(attribute);
            }
        });
    } else if (failure == MSRDataTypeValidator::TooLong) {
        std::optional<MSRValue> text;
        if (measurementValue->isString()) {
            text = measurementValue;
        } else if (value->isNumber()) {
            text = MSRValue::initWithString(value->descriptionText());
        }
        MSRLogErrorEventWithName(kErrorUserPropertyValueTooLong, name, kMaxUserPropertyNameLength,
                                 text ? &*text : nullptr);
    }
}

void MSRAnalytics::removeInternalUserAttributeForName(std::string_view name) {
    const auto attribute = MSRUserAttribute::initWithOrigin("", name, MSRValue::initWithDouble(0), nowSeconds());
    if (!attribute) {
        return;
    }
    queueOperationWithBlock([attribute = *attribute] {
        if (const auto controller = MSRAnalytics::controller()) {
            controller->removeUserAttribute(attribute);
        }
    });
}

// --- Listeners and the interceptor

void MSRAnalytics::setLogEventInterceptor(MSRLogEventInterceptor interceptor) {
    onSerialQueue([interceptor = std::move(interceptor)]() mutable {
        facadeState().logEventInterceptor = std::move(interceptor);
    });
}

MSRAnalytics::ListenerToken MSRAnalytics::addLogEventListener(LogEventListener listener) {
    if (!listener) {
        facade_lines::log(facade_lines::kAttemptedAdditionNilLogEventListener);
        return nullptr;
    }
    // The token only names the entry; the table holds the listener.
    ListenerToken token = std::make_shared<const char>('\0');
    onSerialQueue([token, listener = std::move(listener)]() mutable {
        FacadeState& state = facadeState();
        if (!state.listeners) {
            state.listeners.emplace();
        }
        state.listeners->emplace(token, std::move(listener));
    });
    return token;
}

void MSRAnalytics::removeLogEventListener(const ListenerToken& token) {
    if (token == nullptr) {
        facade_lines::log(facade_lines::kAttemptedRemovalNilLogEvent);
        return;
    }
    queueOperationWithBlock([token] {
        FacadeState& state = facadeState();
        if (!state.listeners) {
            facade_lines::log(facade_lines::kAttemptedRemovalNilLogEventListener);
            return;
        }
        if (state.listeners->erase(token) == 0) {
            facade_lines::log(facade_lines::kAttemptedRemovalLogEventListenerInvalid);
        }
    });
}

void MSRAnalytics::notifyEventListeners(const MSREvent& event) {
    queueOperationWithBlock([event] { notifyEventListenersOnSerialQueue(event); });
}

void MSRAnalytics::notifyEventListenersOnSerialQueue(const MSREvent& event) {
    FacadeState& state = facadeState();
    if (!state.listeners || state.listeners->empty()) {
        return;
    }
    // A listener may add or remove listeners; the walk goes over a copy, so
    // one added now hears only later events.
    const auto listeners = *state.listeners;
    Parameters parameters;
    for (const auto& [key, value] : event.parameters()) {
        parameters.emplace(key, value.plainValue());
    }
    for (const auto& [token, listener] : listeners) {
        listener(event.origin(), event.name(), parameters);
    }
}

// --- Links

void MSRAnalytics::handleOpenURL(const std::string& url) {
    const double timestamp = nowSeconds();
    MSRDeepLinks::handleSSTDebugModeWithURL(url);
    dispatchAsyncOnSerialQueue([url, timestamp] {
        if (const auto controller = MSRAnalytics::controller()) {
            controller->handleNonFirstOpenEventURL(url, timestamp);
        }
        if (const auto& listener = facadeState().openURLListener) {
            listener(url);
        }
    });
}

void MSRAnalytics::handleUserActivity(const MSRUserActivity& activity) {
    const double timestamp = nowSeconds();
    dispatchAsyncOnSerialQueue([activity, timestamp] {
        const auto url = MSRDeepLinks::deepLinkFromUserActivity(&activity);
        if (!url || url->empty()) {
            return;
        }
        if (const auto controller = MSRAnalytics::controller()) {
            controller->handleNonFirstOpenEventURL(*url, timestamp);
        }
    });
}

void MSRAnalytics::setOpenURLListener(OpenURLListener listener) {
    dispatchAsyncOnSerialQueue(
        [listener = std::move(listener)]() mutable { facadeState().openURLListener = std::move(listener); });
}

}  // namespace kit::measurement

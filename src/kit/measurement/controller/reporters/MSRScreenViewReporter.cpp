#include "kit/measurement/controller/MSRScreenViewReporter.h"

#include "kit/core/KitContext.h"

#include "ReporterLines.h"
#include "kit/measurement/controller/MSRAdExposureReporter.h"
#include "kit/measurement/controller/MSRReportersController.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSREventParameters.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <chrono>
#include <mutex>

namespace kit::measurement {

struct MSRScreenViewReporter::Private {};

namespace {

struct Shared {
    std::mutex mutex;
    std::shared_ptr<MSRScreenViewReporter> instance;                        // guarded by mutex
    platform::SchedulingClock* clock = &platform::systemSchedulingClock();  // guarded by mutex
    platform::RandomSource* random = &platform::systemRandom();             // guarded by mutex
};

Shared& shared() { return KitContext::current().service<Shared>(); }

// The controller's session reporter once it has made its components.
std::shared_ptr<MSRSessionReporter> initializedSessionReporter() {
    const auto controller = MSRReportersController::current();
    if (!controller || !controller->didInitializeComponents()) {
        return nullptr;
    }
    return controller->sessionReporter();
}

// A screen name or class the application handed in: text of the allowed length.
bool isValidScreenObject(const platform::Value& value) {
    return value.isString() && MSRDataTypeValidator::isValidScreenParameterValue(*value.asString());
}

std::optional<std::string> stringEntry(const platform::Value::Dictionary& parameters, std::string_view key) {
    const auto found = parameters.find(key);
    if (found == parameters.end() || !found->second.isString()) {
        return std::nullopt;
    }
    return *found->second.asString();
}

}  // namespace

MSRScreenViewReporter::MSRScreenViewReporter(Private, platform::SchedulingClock& clock, platform::RandomSource& random)
    : clock_(clock), currentScreenInstanceID_(MSRNumericUtil::randomInt64(random)) {}

MSRScreenViewReporter::~MSRScreenViewReporter() {
    for (const auto token : observers_) {
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    }
}

std::shared_ptr<MSRScreenViewReporter> MSRScreenViewReporter::sharedInstance() {
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    if (!state.instance) {
        state.instance = std::make_shared<MSRScreenViewReporter>(Private{}, *state.clock, *state.random);
        state.instance->observeNotifications();
    }
    return state.instance;
}

void MSRScreenViewReporter::setSharedInstanceSources(platform::SchedulingClock& clock, platform::RandomSource& random) {
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    state.clock = &clock;
    state.random = &random;
}

void MSRScreenViewReporter::observeNotifications() {
    auto& center = platform::NotificationCenter::defaultCenter();
    const std::weak_ptr<MSRScreenViewReporter> weakSelf = weak_from_this();
    const auto observe = [&](std::string_view name, void (MSRScreenViewReporter::*handler)()) {
        observers_.push_back(center.addObserver(std::string(name), nullptr, [weakSelf, handler](const auto&) {
            if (const auto self = weakSelf.lock()) {
                ((*self).*handler)();
            }
        }));
    };
    observe(MSRWindowDidResignKeyNotification(), &MSRScreenViewReporter::handleWindowDidResign);
    observe(MSRApplicationDidBecomeActiveNotification(), &MSRScreenViewReporter::handleApplicationDidBecomeActive);
    observe(MSRApplicationWillResignActiveNotification(), &MSRScreenViewReporter::handleApplicationWillResignActive);
}

void MSRScreenViewReporter::trackScreenWithParameters(const platform::Value::Dictionary& parameters, double timestamp) {
    MSRMonitor& monitor = MSRMeasurementMonitor();
    if (!isAppActive_.load() && appHasBeenInitialized_.load()) {
        reporter_lines::log(monitor, reporter_lines::kCannotLogScreenViewEventWhen);
        return;
    }
    const auto name = parameters.find("screen_name");
    if (name != parameters.end() && !isValidScreenObject(name->second)) {
        reporter_lines::log(monitor, reporter_lines::kReceivedInvalidNameScreen, name->second);
        return;
    }
    const auto screenClass = parameters.find("screen_class");
    if (screenClass != parameters.end() && !isValidScreenObject(screenClass->second)) {
        reporter_lines::log(monitor, reporter_lines::kReceivedInvalidClassScreen, screenClass->second);
        return;
    }
    MSRScreen next(stringEntry(parameters, "screen_name"), stringEntry(parameters, "screen_class"),
                   incrementScreenInstanceID());
    next.setManuallyTracked(true);
    next.setEventTimestamp(timestamp);
    reporter_lines::log(monitor, reporter_lines::kLoggingScreenViewScreenNameScreen,
                        next.name().value_or(std::string()), next.className().value_or(std::string()));

    // Reading the previous screen and setting the new one is one step, so two
    // screen views from two threads each see the other's screen or none.
    std::optional<MSRScreen> previous;
    queue_.sync([&] {
        previous = currentScreen_;
        currentScreen_ = next;
    });

    MSRObjectDictionary objects;
    for (const auto& [key, value] : parameters) {
        objects.emplace(key, value);
    }
    queue_.async([weakSelf = weak_from_this(), previous = std::move(previous), next = std::move(next),
                  objects = std::move(objects)] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->postScreenDidChangeNotificationWithPreviousScreen(previous, next);
        std::optional<MSRParameters> validated = MSRValidatedEventParameters(objects, "screen_view", true);
        if (validated) {
            validated->erase("screen_name");
            validated->erase("screen_class");
        }
        self->logViewScreenEventWithPreviousScreen(previous, next, validated);
    });
}

MSRParameters MSRScreenViewReporter::screenParameters() {
    MSRParameters parameters;
    if (!isAppActive_.load() && appHasBeenInitialized_.load()) {
        return parameters;
    }
    queue_.sync([&] {
        if (!currentScreen_ || !allowScreenParameters_.load()) {
            return;
        }
        parameters.emplace("_si", MSRValue::initWithInt64(currentScreen_->instanceID()));
        if (const auto& className = currentScreen_->className(); className && !className->empty()) {
            parameters.emplace("_sc", MSRValue::initWithString(*className));
        }
        if (const auto& name = currentScreen_->name(); name && !name->empty()) {
            parameters.emplace("_sn", MSRValue::initWithString(*name));
        }
    });
    return parameters;
}

void MSRScreenViewReporter::getScreenName(std::optional<std::string>* name, std::optional<std::string>* screenClass) {
    if (name == nullptr && screenClass == nullptr) {
        return;
    }
    queue_.sync([&] {
        if (name != nullptr) {
            *name = currentScreen_ ? currentScreen_->name() : std::nullopt;
        }
        if (screenClass != nullptr) {
            *screenClass = currentScreen_ ? currentScreen_->className() : std::nullopt;
        }
    });
}

void MSRScreenViewReporter::setScreenName(const std::optional<std::string>& /*name*/,
                                          const std::optional<std::string>& /*screenClass*/) {
    reporter_lines::log(reporter_lines::kIgnoringCallSetScreenNameScreenClass);
}

void MSRScreenViewReporter::postScreenDidChangeNotificationWithPreviousScreen(const std::optional<MSRScreen>& previous,
                                                                              const std::optional<MSRScreen>& next) {
    if (!isAppActive_.load() || !allowPostScreenDidChangeNotification_.load()) {
        return;
    }
    if (previous) {
        if (const auto sessionReporter = initializedSessionReporter()) {
            sessionReporter->handleScreenDidChangeFromScreen(previous, next);
        }
    }
    MSRAdExposureReporter::sharedInstance()->handleScreenDidChangeFromScreen(previous, next);
}

void MSRScreenViewReporter::logViewScreenEventWithPreviousScreen(const std::optional<MSRScreen>& previous,
                                                                 const std::optional<MSRScreen>& next,
                                                                 const std::optional<MSRParameters>& parameters) {
    if (!next || !allowScreenViewEvent_.load()) {
        return;
    }
    if (!isAppActive_.load() && appHasBeenInitialized_.load()) {
        reporter_lines::log(reporter_lines::kScreenViewEventNotLogged);
        return;
    }
    MSRParameters event = parameters.value_or(MSRParameters{});
    for (auto& [key, value] : MSRScreenParametersForScreen(*next)) {
        event.insert_or_assign(key, value);
    }
    if (previous) {
        for (auto& [key, value] : MSRPreviousScreenParametersForScreen(*previous)) {
            event.insert_or_assign(key, value);
        }
        const auto sessionReporter = initializedSessionReporter();
        if (sessionReporter && MSRReportersRemoteConfig()->efficientEngagementReportingEnabled()) {
            if (const std::int64_t millis = sessionReporter->cutFreerideEngagementTimeMillis(); millis >= 1) {
                event.insert_or_assign("_et", MSRValue::initWithInt64(millis));
            }
        }
    }
    event.insert_or_assign("_mst", MSRValue::initWithInt64(1));
    if (!MSRHasScreenParameters(event)) {
        reporter_lines::log(reporter_lines::kScreenViewEventNotLoggedScreen);
        return;
    }
    previousScreen_ = next;
    MeasurementServices& services = MeasurementServices::current();
    if (next->isManuallyTracked()) {
        services.logInternalEventWithOrigin("app", "_vs", next->eventTimestamp(), event);
    } else {
        services.logInternalEventWithOrigin("auto", "_vs", event);
    }
}

void MSRScreenViewReporter::handleApplicationDidBecomeActive() {
    isAppActive_.store(true);
    appHasBeenInitialized_.store(true);
    if (const auto sessionReporter = initializedSessionReporter()) {
        sessionReporter->handleAppDidBecomeActive();
    }
    MSRAdExposureReporter::sharedInstance()->handleAppDidBecomeActive();
}

void MSRScreenViewReporter::handleApplicationWillResignActive() {
    if (const auto sessionReporter = initializedSessionReporter()) {
        sessionReporter->handleAppWillResignActiveWithScreen(std::nullopt);
    }
    MSRAdExposureReporter::sharedInstance()->handleAppWillResignActiveWithScreen(std::nullopt);
}

void MSRScreenViewReporter::handleApplicationDidEnterBackground() { isAppActive_.store(false); }

std::int64_t MSRScreenViewReporter::incrementScreenInstanceID() {
    // Wraps like the two's-complement counter it is rather than overflowing.
    return static_cast<std::int64_t>(
        static_cast<std::uint64_t>(currentScreenInstanceID_.fetch_add(1, std::memory_order_relaxed)) + 1);
}

void MSRScreenViewReporter::waitUntilIdleForTesting() {
    queue_.sync([] {});
}

}  // namespace kit::measurement

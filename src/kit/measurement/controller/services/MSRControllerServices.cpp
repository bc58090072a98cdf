#include "kit/measurement/controller/MSRControllerServices.h"

#include "kit/measurement/controller/MSRAEU.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRIdentitySupport.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/controller/MSRScreenViewReporter.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRMonitor.h"

namespace kit::measurement {

MSRMonitor& MSRControllerServices::monitor() {
    std::call_once(monitorOnce_, [this] {
        MSRMonitor::Environment environment;
        environment.isFromAppStore = [] { return MSRAEU::isFAS(); };
        monitor_ = std::make_unique<MSRMonitor>(6, std::make_shared<MSRASLLogger>(),
                                                MSRIdentity::appMeasurementLibraryVersion(), std::move(environment));
    });
    return *monitor_;
}

bool MSRControllerServices::isFAS() { return MSRAEU::isFAS(); }

std::int64_t MSRControllerServices::appMeasurementLibraryVersion() {
    return MSRIdentity::appMeasurementLibraryVersion();
}

namespace {

platform::Value::Dictionary plainParameters(const MSRParameters& parameters) {
    platform::Value::Dictionary plain;
    for (const auto& [key, value] : parameters) {
        plain.emplace(key, value.plainValue());
    }
    return plain;
}

}  // namespace

void MSRControllerServices::logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                                       const MSRParameters& parameters) {
    MSRAnalytics::logInternalEventWithOrigin(origin, name, plainParameters(parameters));
}

void MSRControllerServices::logInternalEventWithOrigin(std::string_view origin, std::string_view name, double timestamp,
                                                       const MSRParameters& parameters) {
    MSRAnalytics::logInternalEventWithOrigin(origin, name, timestamp, plainParameters(parameters));
}

void MSRControllerServices::setInternalUserProperty(const std::optional<MSRValue>& value, std::string_view name,
                                                    std::string_view origin) {
    MSRAnalytics::setInternalUserProperty(value ? std::optional<platform::Value>(value->plainValue()) : std::nullopt,
                                          name, origin);
}

MSRParameters MSRControllerServices::screenParameters() {
    return MSRScreenViewReporter::sharedInstance()->screenParameters();
}

bool MSRControllerServices::isAppActive() { return MSRScreenViewReporter::sharedInstance()->isAppActive(); }

MSRRemoteConfigLimits MSRControllerServices::remoteConfig() {
    const auto settings = MSRMeasurement::remoteConfig();
    MSRRemoteConfigLimits limits;
    limits.maxPublicEventParams = settings->maxPublicEventParams();
    limits.maxItemScopedCustomParameters = settings->maxItemScopedCustomParameters();
    limits.maxPublicEventParameterValueLength = settings->maxPublicEventParameterValueLength();
    limits.maxAudienceCount = settings->maxAudienceCount();
    limits.maxFiltersPerAudience = settings->maxFiltersPerAudience();
    limits.maxParametersPerFilter = settings->maxParametersPerFilter();
    limits.maxFilterResultCount = settings->maxFilterResultCount();
    limits.maxEventsStored = settings->maxEventsStored();
    limits.maxQueueTime = settings->maxQueueTime();
    limits.databaseDeleteStaleBundlesInterval = settings->databaseDeleteStaleBundlesInterval();
    return limits;
}

bool MSRControllerServices::isEnabled() {
    const auto controller = MSRMeasurement::sharedInstance();
    return controller != nullptr && controller->isEnabled();
}

// The shared controller lives until the process ends (or a test drops it
// after its queues are idle), so the pointers stay good for the caller.
MSRDatabase* MSRControllerServices::database() {
    const auto controller = MSRMeasurement::sharedInstance();
    return controller != nullptr ? controller->database() : nullptr;
}

MSRScheduler* MSRControllerServices::scheduler() {
    const auto controller = MSRMeasurement::sharedInstance();
    return controller != nullptr ? &controller->scheduler() : nullptr;
}

void MSRControllerServices::writeEventOnWorkerQueue(const MSREvent& event) {
    if (const auto controller = MSRMeasurement::sharedInstance()) {
        controller->writeEventOnWorkerQueue(event);
    }
}

void MSRControllerServices::writeFilteredEventOnWorkerQueue(const MSREvent& event) {
    if (const auto controller = MSRMeasurement::sharedInstance()) {
        controller->writeFilteredEventOnWorkerQueue(event);
    }
}

void installMeasurementControllerServices() { MeasurementServices::install(std::make_shared<MSRControllerServices>()); }

void installIdentityControllerFacts() {
    MSRControllerFacts facts;
    facts.appMeasurementLibraryVersion = [] { return MSRIdentity::appMeasurementLibraryVersion(); };
    facts.isFAS = [] { return MSRAEU::isFAS(); };
    facts.appDataConsentStatus = [] { return MSRDefaultIdentitySupport::sharedInstance()->appDataConsentStatus(); };
    installControllerFacts(facts);
}

}  // namespace kit::measurement

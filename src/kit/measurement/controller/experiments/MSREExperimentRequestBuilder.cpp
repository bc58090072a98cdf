#include "ExperimentTexts.h"
#include "kit/core/MainBundle.h"
#include "kit/core/WireLiterals.h"
#include "kit/measurement/controller/MSREnvironmentInfo.h"
#include "kit/measurement/controller/MSRETaskManager.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Bundle.h"

#include <algorithm>
#include <cctype>

namespace kit::measurement {
namespace {

namespace text = experiment_text;

// The experiment component's version: "10000000" without its last three digits.
constexpr std::int64_t kExperimentComponentVersion = 10000;

// Slots of AppProperty, ClientProperty, CustomProperty and ExperimentRequest.
constexpr int appPlatformSlot = 0;
constexpr int appLanguageSlot = 3;
constexpr int appBundleIdentifierSlot = 4;
constexpr int appFromAppStoreSlot = 5;
constexpr int appVersionSlot = 6;
constexpr int clientNameSlot = 0;
constexpr int clientDiversionKeySlot = 1;
constexpr int clientVersionSlot = 2;
constexpr int clientAppIDSlot = 3;
constexpr int clientCustomPropertiesSlot = 4;
constexpr int customKeySlot = 0;
constexpr int customValueSlot = 1;
constexpr int requestAppPropertySlot = 0;
constexpr int requestClientPropertiesSlot = 1;

MSREExperimentRequestEnvironment withDefaults(MSREExperimentRequestEnvironment environment) {
    if (!environment.diversionKey) {
        environment.diversionKey = [] {
            const auto identity = MSRIdentity::sharedInstance();
            return identity != nullptr ? identity->diversionKey() : std::string();
        };
    }
    if (!environment.preferredLanguage) {
        environment.preferredLanguage = [] { return MSREnvironmentInfo::sharedInstance().userDefaultLanguage(); };
    }
    if (!environment.bundleIdentifier) {
        environment.bundleIdentifier = [] { return kit::mainBundle().bundleIdentifier(); };
    }
    if (!environment.isFromAppStore) {
        environment.isFromAppStore = [] { return MeasurementServices::current().isFAS(); };
    }
    return environment;
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

MSREExperimentRequestBuilder::MSREExperimentRequestBuilder(MSREExperimentRequestEnvironment environment)
    : environment_(withDefaults(std::move(environment))) {}

void MSREExperimentRequestBuilder::addSDKProperty(const MSRESDKProperty& property) {
    if (property.name.empty()) {
        text::log(text::addEmptyProperty);
        return;
    }
    std::lock_guard lock(mutex_);
    clientPropertyBySDKName_.insert_or_assign(property.name, property);
}

MSRPBAppProperty MSREExperimentRequestBuilder::appPropertyProto() const {
    MSRPBAppProperty message;
    NanoMessageSetString(message, appPlatformSlot, kit::kApplePlatform);
    if (auto language = environment_.preferredLanguage(); language && !language->empty()) {
        NanoMessageSetString(message, appLanguageSlot, lowercased(std::move(*language)));
    }
    NanoMessageSetString(message, appBundleIdentifierSlot, environment_.bundleIdentifier());
    NanoMessageSetBool(message, appFromAppStoreSlot, environment_.isFromAppStore());
    NanoMessageSetInt64(message, appVersionSlot, kExperimentComponentVersion);
    return message;
}

std::optional<MSRPBClientProperty> MSREExperimentRequestBuilder::clientPropertyProto(
    const MSRESDKProperty& property, const std::function<std::string()>& diversionKey) {
    std::string key = property.diversionKey;
    if (key.empty() && diversionKey) {
        key = diversionKey();
    }
    if (key.empty()) {
        text::log(text::emptyDiversionKey);
        return std::nullopt;
    }
    MSRPBClientProperty message;
    NanoMessageSetString(message, clientNameSlot, property.name);
    NanoMessageSetString(message, clientDiversionKeySlot, key + "-" + property.name);
    NanoMessageSetInt64(message, clientVersionSlot, property.version);
    if (!property.appID.empty()) {
        // An empty ID is no ID: the service would read "" as a real one.
        NanoMessageSetString(message, clientAppIDSlot, property.appID);
    }
    std::map<std::string, std::string> custom = property.customProperties;
    if (const auto delegate = property.delegate.lock()) {
        for (auto& [name, value] : delegate->dynamicCustomPropertiesForSDKProperty(property)) {
            custom.insert_or_assign(name, value);
        }
    }
    std::vector<MSRPBCustomProperty> entries;
    for (const auto& [name, value] : custom) {
        MSRPBCustomProperty entry;
        NanoMessageSetString(entry, customKeySlot, name);
        NanoMessageSetString(entry, customValueSlot, value);
        entries.push_back(std::move(entry));
    }
    NanoMessageSetArray(message, clientCustomPropertiesSlot, entries);
    return message;
}

MSRPBExperimentRequest MSREExperimentRequestBuilder::request() const {
    std::vector<MSRESDKProperty> properties;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : clientPropertyBySDKName_) {
            properties.push_back(entry.second);
        }
    }
    MSRPBExperimentRequest message;
    NanoMessageSetMessage(message, requestAppPropertySlot, appPropertyProto());
    std::vector<MSRPBClientProperty> clients;
    for (const MSRESDKProperty& property : properties) {
        if (auto client = clientPropertyProto(property, environment_.diversionKey)) {
            clients.push_back(std::move(*client));
        }
    }
    if (!clients.empty()) {
        NanoMessageSetArray(message, requestClientPropertiesSlot, clients);
    }
    return message;
}

}  // namespace kit::measurement

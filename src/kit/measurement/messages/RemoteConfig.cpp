#include "RemoteConfigPrivate.h"
#include "kit/core/KitContext.h"

#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/messages/MSREventNames.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <cmath>
#include <utility>

// Creation, storing and parsing a configuration, and what is derived from it
// besides the settings and the URLs.
namespace kit::measurement {
namespace {

using platform::Value;

// MeasurementConfig slots.
constexpr int kConfigVersion = 0;
constexpr int kConfigAppID = 1;
constexpr int kConfigSettings = 3;
constexpr int kConfigEventConfigs = 4;
constexpr int kConfigPrograms = 8;
constexpr int kConfigDataControls = 9;
constexpr int kConfigConsent = 12;
constexpr int kConfigPSM = 13;

constexpr std::string_view kPSMKeys[] = {"measurement.psm_prefix_email", "measurement.psm_prefix_phone",
                                         "measurement.psm_signin_delay"};

std::optional<std::string> consentTypeName(std::int32_t type) {
    switch (type) {
    case 1:
        return "ad_storage";
    case 2:
        return "analytics_storage";
    case 3:
        return "ad_user_data";
    case 4:
        return "ad_personalization";
    default:
        return std::nullopt;
    }
}

std::optional<std::string> consentStatusName(std::int32_t status) {
    switch (status) {
    case 1:
        return "granted";
    case 2:
        return "denied";
    default:
        return std::nullopt;
    }
}

MSRRemoteConfig::Dictionary consentEntries(const std::vector<MSRPBConsentDefaultEntry>& entries) {
    MSRRemoteConfig::Dictionary result;
    for (const auto& entry : entries) {
        auto type = consentTypeName(NanoMessageGetInt32(entry, 0));
        auto status = consentStatusName(NanoMessageGetInt32(entry, 1));
        if (type && status) {
            result.insert_or_assign(std::move(*type), std::move(*status));
        }
    }
    return result;
}

bool appIDMatches(const MSRPBMeasurementConfig& config, std::string_view appID) {
    return NanoMessageGetString(config, kConfigAppID).value_or("") == appID;
}

struct DefaultInstance {
    std::mutex mutex;
    std::shared_ptr<MSRRemoteConfig> instance;  // guarded by mutex
};

// One per kit context.
DefaultInstance& defaultInstanceHolder() { return KitContext::current().service<DefaultInstance>(); }

}  // namespace

MSRRemoteConfig::MSRRemoteConfig(Token, std::string_view appID, std::shared_ptr<MSRRemoteConfigStore> database,
                                 std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig,
                                 std::shared_ptr<MSREManager> experimentManager)
    : appID_(appID),
      database_(database),
      persistedConfig_(std::move(persistedConfig)),
      experimentManager_(std::move(experimentManager)),
      isDefaultInstance_(database == nullptr && appID.empty()),
      state_(std::make_shared<const State>()) {}

MSRRemoteConfig::~MSRRemoteConfig() = default;

std::shared_ptr<MSRRemoteConfig> MSRRemoteConfig::make(std::string_view appID,
                                                       std::shared_ptr<MSRRemoteConfigStore> database,
                                                       std::optional<MSRPBMeasurementConfig> measurementConfig,
                                                       std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig,
                                                       std::shared_ptr<MSREManager> experimentManager) {
    auto config = std::make_shared<MSRRemoteConfig>(Token{}, appID, std::move(database), std::move(persistedConfig),
                                                    std::move(experimentManager));
    // The experiment client and the scripts' modules hold the object weakly,
    // so both wait until it is owned.
    config->connectExperiments();
    config->loadInitialConfiguration(std::move(measurementConfig));
    return config;
}

std::shared_ptr<MSRRemoteConfig> MSRRemoteConfig::initWithAppID(
    std::string_view appID, std::shared_ptr<MSRRemoteConfigStore> database,
    std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig, std::shared_ptr<MSREManager> experimentManager) {
    if (appID.empty()) {
        logRemoteConfigLine(remote_config_line::emptyAppID);
        return nullptr;
    }
    if (database == nullptr) {
        logRemoteConfigLine(remote_config_line::noDatabase);
        return nullptr;
    }
    return make(appID, std::move(database), std::nullopt, std::move(persistedConfig), std::move(experimentManager));
}

std::shared_ptr<MSRRemoteConfig> MSRRemoteConfig::initWithAppID(std::string_view appID,
                                                                std::shared_ptr<MSRRemoteConfigStore> database,
                                                                std::shared_ptr<MSREManager> experimentManager) {
    return initWithAppID(appID, std::move(database), std::shared_ptr<MSRPersistedAppInstanceID>(),
                         std::move(experimentManager));
}

std::shared_ptr<MSRRemoteConfig> MSRRemoteConfig::initWithAppID(std::string_view appID,
                                                                std::shared_ptr<MSRRemoteConfigStore> database,
                                                                std::optional<MSRPBMeasurementConfig> measurementConfig,
                                                                std::shared_ptr<MSREManager> experimentManager) {
    return make(appID, std::move(database), std::move(measurementConfig), nullptr, std::move(experimentManager));
}

std::shared_ptr<MSRRemoteConfig> MSRRemoteConfig::initWithAppID(
    std::string_view appID, std::shared_ptr<MSRRemoteConfigStore> database,
    std::optional<MSRPBMeasurementConfig> measurementConfig, std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig,
    std::shared_ptr<MSREManager> experimentManager) {
    return make(appID, std::move(database), std::move(measurementConfig), std::move(persistedConfig),
                std::move(experimentManager));
}

std::shared_ptr<MSRRemoteConfig> MSRRemoteConfig::defaultInstance() {
    DefaultInstance& holder = defaultInstanceHolder();
    std::lock_guard lock(holder.mutex);
    if (holder.instance == nullptr) {
        holder.instance = make({}, nullptr, std::nullopt, nullptr, nullptr);
    }
    return holder.instance;
}

void MSRRemoteConfig::connectExperiments() {
    if (experimentManager_ != nullptr) {
        MSRESDKProperty property;
        property.name = std::string(kExperimentSDKName);
        property.version = currentControllerFacts().appMeasurementLibraryVersion();
        experimentClient_ = experimentManager_->registerSDKProperty(property, {});
        if (experimentClient_ != nullptr) {
            experimentClient_->setDelegate(weak_from_this());
        }
    }
    if (experimentClient_ != nullptr) {
        if (auto activated = experimentClient_->activateLatestSnapshot(); !activated) {
            logRemoteConfigLine(remote_config_line::staleSnapshot, activated.error());
        }
        updateCachedExperimentFlags();
    }
}

void MSRRemoteConfig::loadInitialConfiguration(std::optional<MSRPBMeasurementConfig> measurementConfig) {
    if (isDefaultInstance_) {
        return;
    }
    if (measurementConfig) {
        updateMeasurementConfig(measurementConfig);
        return;
    }
    if (auto stored = measurementConfigFromDatabase()) {
        auto proto = std::make_shared<const MSRPBMeasurementConfig>(std::move(*stored));
        auto next = std::make_shared<State>(*state());
        next->config = proto;
        publish(std::move(next));
        parseRemoteConfigFromMeasurementConfig(*proto);
    }
}

std::shared_ptr<const MSRRemoteConfig::State> MSRRemoteConfig::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void MSRRemoteConfig::publish(std::shared_ptr<const State> state) {
    std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

bool MSRRemoteConfig::updateMeasurementConfig(const std::optional<MSRPBMeasurementConfig>& config) {
    currentControllerFacts().checkOnBackgroundThreadWithMethodName("updateMeasurementConfig");
    if (isDefaultInstance_) {
        logRemoteConfigLine(remote_config_line::updateDefault);
        return false;
    }
    if (!config) {
        logRemoteConfigLine(remote_config_line::updateEmpty);
        return false;
    }
    if (!appIDMatches(*config, appID_)) {
        logRemoteConfigLine(remote_config_line::updateAppIDMismatch);
        return false;
    }
    // Only a store that succeeded changes what the settings answer: a refusal
    // or an error leaves the previous configuration in force.
    const std::shared_ptr<MSRRemoteConfigStore> database = database_.lock();
    if (database == nullptr) {
        logRemoteConfigLine(remote_config_line::storeFailed, std::string("The database is gone"));
        return false;
    }
    if (auto stored = database->updateRemoteConfig(*config); !stored) {
        logRemoteConfigLine(remote_config_line::storeFailed, stored.error());
        return false;
    }
    auto proto = std::make_shared<const MSRPBMeasurementConfig>(*config);
    auto next = std::make_shared<State>(*state());
    next->config = proto;
    publish(std::move(next));
    parseRemoteConfigFromMeasurementConfig(*proto);
    return true;
}

void MSRRemoteConfig::parseRemoteConfigFromMeasurementConfig(const MSRPBMeasurementConfig& config) {
    const auto settings = NanoMessageGetArray<MSRPBSetting>(config, kConfigSettings);
    if (!settings) {
        logRemoteConfigLine(remote_config_line::parseEmpty);
        return;
    }
    if (!appIDMatches(config, appID_)) {
        return;
    }
    // The whole parse goes into a new state, published at the end (or where
    // a failed program stops it), so no reader sees it half done.
    auto next = std::make_shared<State>(*state());

    next->settings = std::make_shared<SettingsCache>();
    for (const auto& setting : *settings) {
        const auto name = NanoMessageGetString(setting, 0);
        auto value = NanoMessageGetString(setting, 1);
        if (!value || !name || name->empty()) {
            logRemoteConfigLine(remote_config_line::cacheEmpty);
            continue;
        }
        next->settings->setObject(Value(std::move(*value)), *name);
    }

    auto eventConfigs = std::make_shared<State::EventConfigs>();
    for (auto& eventConfig :
         NanoMessageGetArray<MSRPBEventConfig>(config, kConfigEventConfigs).value_or(std::vector<MSRPBEventConfig>{})) {
        const std::string name = NanoMessageGetString(eventConfig, 0).value_or("");
        if (name.empty()) {
            logRemoteConfigLine(remote_config_line::emptyEventConfigName);
            continue;
        }
        const auto& names = MSRInternalEventNameMap();
        const auto internal = names.find(name);
        eventConfigs->insert_or_assign(internal != names.end() ? internal->second : name, std::move(eventConfig));
    }
    next->eventConfigs = std::move(eventConfigs);

    if (NanoMessageHasField(config, kConfigVersion)) {
        logRemoteConfigLine(remote_config_line::parsed, NanoMessageGetInt64(config, kConfigVersion));
    }

    const auto programs = NanoMessageGetArray<MSRPBProgram>(config, kConfigPrograms);
    if (programs && !programs->empty()) {
        MSREventEditingModules modules;
        // The scripts read whatever configuration is current when they ask.
        modules.remoteConfigValue = [weak = weak_from_this()](std::string_view key) -> std::optional<std::string> {
            const auto self = weak.lock();
            return self != nullptr ? self->settingText(key) : std::nullopt;
        };
        modules.appMetadata = [] {
            const MSRControllerFacts facts = currentControllerFacts();
            Value::Dictionary metadata;
            metadata.emplace("platform", Value(kAppMetadataPlatform));
            metadata.emplace("package_name", Value(remoteConfigBundle()->bundleIdentifier()));
            metadata.emplace("lmp_version", Value(facts.appMeasurementLibraryVersion()));
            if (auto appVersion = facts.appVersion()) {
                metadata.emplace("app_version", Value(std::move(*appVersion)));
            }
            return metadata;
        };
        std::shared_ptr<MSREventEditingInstance> instance = makeEventEditingInstance(std::move(modules));
        std::optional<MessagesMonitorContext> failure;
        if (instance == nullptr) {
            failure = std::string("No event-editing runtime is installed");
        } else if (auto loaded = instance->loadProgram(programs->front()); !loaded) {
            failure = MessagesMonitorContext(loaded.error());
        }
        if (failure) {
            logRemoteConfigLine(remote_config_line::eventEditingFailed, *failure);
            next->eventEditing = nullptr;
            publish(std::move(next));
            return;
        }
        next->eventEditing = std::move(instance);
        logRemoteConfigLine(remote_config_line::eventEditingLoaded, static_cast<std::int64_t>(programs->size()));
    }
    // A configuration without programs leaves the loaded one editing events.

    next->dataControls.clear();
    for (const auto& control :
         NanoMessageGetArray<MSRPBDataControl>(config, kConfigDataControls).value_or(std::vector<MSRPBDataControl>{})) {
        if (NanoMessageHasField(control, 0)) {
            if (auto field = NanoMessageGetString(control, 0)) {
                next->dataControls.push_back(std::move(*field));
            }
        }
    }

    if (const auto consent = NanoMessageGetMessage<MSRPBConsentConfig>(config, kConfigConsent)) {
        next->consentDefaults = consentEntries(NanoMessageGetArray<MSRPBConsentDefaultEntry>(*consent, 0)
                                                   .value_or(std::vector<MSRPBConsentDefaultEntry>{}));
        next->consentDelegations.clear();
        for (const auto& delegation : NanoMessageGetArray<MSRPBConsentDelegationEntry>(*consent, 1)
                                          .value_or(std::vector<MSRPBConsentDelegationEntry>{})) {
            auto type = consentTypeName(NanoMessageGetInt32(delegation, 0));
            auto follows = consentTypeName(NanoMessageGetInt32(delegation, 1));
            if (type && follows) {
                next->consentDelegations.insert_or_assign(std::move(*type), std::move(*follows));
            }
        }
        next->corePlatformServices.clear();
        for (const auto& service : NanoMessageGetArray<MSRPBCorePlatformServiceEntry>(*consent, 2)
                                       .value_or(std::vector<MSRPBCorePlatformServiceEntry>{})) {
            if (auto name = NanoMessageGetString(service, 0)) {
                next->corePlatformServices.insert(std::move(*name));
            }
        }
        next->isDMARegion = NanoMessageGetBool(*consent, 3);
        next->regionalDefaults = consentEntries(NanoMessageGetArray<MSRPBConsentDefaultEntry>(*consent, 4)
                                                    .value_or(std::vector<MSRPBConsentDefaultEntry>{}));
    }

    // The PSM values win over settings of the same keys, and no bounds apply.
    if (const auto psm = NanoMessageGetMessage<MSRPBPsmSetting>(config, kConfigPSM)) {
        for (int slot = 0; slot < 3; ++slot) {
            if (NanoMessageHasField(*psm, slot)) {
                const auto value = static_cast<std::uint32_t>(NanoMessageGetInt32(*psm, slot));
                next->settings->setObject(Value(static_cast<std::int64_t>(value)), std::string(kPSMKeys[slot]));
            }
        }
    }
    publish(std::move(next));
}

std::optional<MSRPBMeasurementConfig> MSRRemoteConfig::measurementConfigFromDatabase() {
    currentControllerFacts().checkOnBackgroundThreadWithMethodName("measurementConfigFromDatabase");
    if (isDefaultInstance_) {
        logRemoteConfigLine(remote_config_line::databaseOfDefault);
        return std::nullopt;
    }
    // Without a database nothing is stored.
    const std::shared_ptr<MSRRemoteConfigStore> database = database_.lock();
    if (database == nullptr) {
        logRemoteConfigLine(remote_config_line::notInDatabase);
        return std::nullopt;
    }
    auto stored = database->queryMeasurementConfigWithError();
    if (!stored) {
        logRemoteConfigLine(remote_config_line::databaseFailed, stored.error());
        return std::nullopt;
    }
    if (!*stored) {
        logRemoteConfigLine(remote_config_line::notInDatabase);
        return std::nullopt;
    }
    return std::move(**stored);
}

void MSRRemoteConfig::reset() {
    auto next = std::make_shared<State>();
    const auto previous = state();
    next->eventEditing = previous->eventEditing;
    if (isDefaultInstance_) {
        next->config = previous->config;
    }
    publish(std::move(next));
    if (experimentManager_ != nullptr) {
        experimentManager_->reset();
    }
}

std::int64_t MSRRemoteConfig::version() const {
    const auto config = state()->config;
    if (config == nullptr || !NanoMessageHasField(*config, kConfigVersion)) {
        return -1;
    }
    return NanoMessageGetInt64(*config, kConfigVersion);
}

double MSRRemoteConfig::lastRemoteConfigUpdateTimestamp() const {
    if (isDefaultInstance_) {
        logRemoteConfigLine(remote_config_line::timestampOfDefault);
        return 0.0;
    }
    const std::shared_ptr<MSRRemoteConfigStore> database = database_.lock();
    if (database == nullptr) {
        return 0.0;
    }
    auto timestamp = database->lastRemoteConfigUpdateTimestamp();
    if (!timestamp) {
        logRemoteConfigLine(remote_config_line::timestampQueryFailed, timestamp.error());
        return 0.0;
    }
    return timestamp->value_or(0.0);
}

bool MSRRemoteConfig::isExpired() const {
    if (isDefaultInstance_) {
        logRemoteConfigLine(remote_config_line::expiryOfDefault);
        return false;
    }
    const double now = platform::secondsSince1970(remoteConfigNow());
    return std::fabs(now - lastRemoteConfigUpdateTimestamp()) >= remoteConfigCacheTimeInterval();
}

std::shared_ptr<MSREventEditingInstance> MSRRemoteConfig::eventEditing() const { return state()->eventEditing; }

std::shared_ptr<const MSRPBMeasurementConfig> MSRRemoteConfig::remoteConfigProto() const { return state()->config; }

std::optional<MSRPBEventConfig> MSRRemoteConfig::eventConfigWithName(std::string_view name) const {
    if (name.empty()) {
        logRemoteConfigLine(remote_config_line::emptyEventName);
        return std::nullopt;
    }
    const auto eventConfigs = state()->eventConfigs;
    if (const auto found = eventConfigs->find(name); found != eventConfigs->end()) {
        return found->second;
    }
    return std::nullopt;
}

bool MSRRemoteConfig::isEventBlocklisted(std::string_view name) const {
    if (const auto eventConfig = eventConfigWithName(name)) {
        if (NanoMessageHasField(*eventConfig, 1) && NanoMessageGetBool(*eventConfig, 1)) {
            return true;
        }
    }
    const bool isPublic = !name.empty() && name.front() != '_';
    return isPublic ? blocklistPublic() : blocklistInternal();
}

bool MSRRemoteConfig::isEventCustomConversion(std::string_view name) const {
    const auto eventConfig = eventConfigWithName(name);
    return eventConfig && NanoMessageHasField(*eventConfig, 2) && NanoMessageGetBool(*eventConfig, 2);
}

bool MSRRemoteConfig::eventHasSamplingRate(std::string_view name) const {
    const auto eventConfig = eventConfigWithName(name);
    return eventConfig && NanoMessageHasField(*eventConfig, 3);
}

std::int32_t MSRRemoteConfig::samplingRateForEvent(std::string_view name) const {
    const auto eventConfig = eventConfigWithName(name);
    if (!eventConfig) {
        return 1;
    }
    const std::int32_t rate = NanoMessageGetInt32(*eventConfig, 3);
    return rate >= 2 && rate <= 65535 ? rate : 1;
}

MSRRemoteConfig::Dictionary MSRRemoteConfig::consentDefaults() const { return state()->consentDefaults; }
MSRRemoteConfig::Dictionary MSRRemoteConfig::consentDelegations() const { return state()->consentDelegations; }
MSRRemoteConfig::Dictionary MSRRemoteConfig::regionalDefaults() const { return state()->regionalDefaults; }
std::set<std::string> MSRRemoteConfig::corePlatformServices() const { return state()->corePlatformServices; }
bool MSRRemoteConfig::isDMARegion() const { return state()->isDMARegion; }
std::vector<std::string> MSRRemoteConfig::dataControls() const { return state()->dataControls; }

void MSRRemoteConfig::clientDidReceiveNewSnapshot(MSREClient& /*client*/) {
    std::lock_guard lock(mutex_);
    hasNewSnapshot_ = true;
}

void MSRRemoteConfig::clientDidReceiveFetchError(MSREClient& /*client*/, const std::optional<platform::Error>& error) {
    if (error) {
        logRemoteConfigLine(remote_config_line::fetchFailed, *error);
    }
}

bool MSRRemoteConfig::shouldFetchExperimentsForClient(MSREClient& /*client*/) {
    const MSRControllerFacts facts = currentControllerFacts();
    return facts.hasSharedInstance() && facts.isEnabled();
}

bool MSRRemoteConfig::activateNewSnapshot() {
    {
        std::lock_guard lock(mutex_);
        if (!hasNewSnapshot_) {
            return false;
        }
    }
    if (experimentClient_ == nullptr) {
        return false;
    }
    if (auto activated = experimentClient_->activateLatestSnapshot(); !activated) {
        logRemoteConfigLine(remote_config_line::snapshotFailed, activated.error());
        return false;
    }
    updateCachedExperimentFlags();
    std::lock_guard lock(mutex_);
    hasNewSnapshot_ = false;
    return true;
}

void MSRRemoteConfig::updateCachedExperimentFlags() {}

}  // namespace kit::measurement

#include "kit/measurement/support/MSRPersistedConfig.h"

#include "MainThread.h"
#include "PersistedConfigLines.h"
#include "kit/core/PlistCheck.h"
#include "UtilitiesLog.h"
#include "kit/core/KitContext.h"
#include "kit/core/KitPaths.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/InputFile.h"
#include "platform/MessageFormat.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "platform/Random.h"
#include "platform/UserDefaults.h"
#include "platform/concurrency/SerialQueue.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kit::measurement {

namespace {

constexpr int kWarning = 4;
constexpr int kError = 3;
constexpr auto kWriteDelay = std::chrono::seconds(1);

std::string valueText(const platform::Value& value) { return value.toJson(); }

bool storable(const platform::Value& value) { return kit::plistCanHold(value); }

// A stored number, Booleans counting as 0 and 1; nothing for other kinds.
std::optional<double> numberAsDouble(const std::optional<platform::Value>& value) {
    if (!value) {
        return std::nullopt;
    }
    if (const auto flag = value->asBool()) {
        return *flag ? 1.0 : 0.0;
    }
    return value->asDouble();
}

std::optional<std::int64_t> numberAsInteger(const std::optional<platform::Value>& value) {
    if (!value) {
        return std::nullopt;
    }
    if (const auto flag = value->asBool()) {
        return *flag ? 1 : 0;
    }
    return value->isNumber() ? value->asInteger() : std::nullopt;
}

std::optional<platform::Value> readPlistFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    return platform::Value::fromPlist(bytes);
}

}  // namespace

// --- Shared accessors

std::int64_t MSRKeyValueStore::integerForKey(std::string_view key) {
    return numberAsInteger(objectForKey(key)).value_or(0);
}

float MSRKeyValueStore::floatForKey(std::string_view key) { return static_cast<float>(doubleForKey(key)); }

double MSRKeyValueStore::doubleForKey(std::string_view key) { return numberAsDouble(objectForKey(key)).value_or(0.0); }

bool MSRKeyValueStore::boolForKey(std::string_view key) {
    return numberAsDouble(objectForKey(key)).value_or(0.0) != 0.0;
}

std::optional<std::string> MSRKeyValueStore::stringForKey(std::string_view key) {
    const auto value = objectForKey(key);
    return value && value->isString() ? std::optional<std::string>(*value->asString()) : std::nullopt;
}

std::optional<platform::Value> MSRKeyValueStore::numberForKey(std::string_view key) {
    auto value = objectForKey(key);
    return value && (value->isNumber() || value->isBool()) ? value : std::nullopt;
}

std::optional<platform::Value::Array> MSRKeyValueStore::arrayForKey(std::string_view key) {
    const auto value = objectForKey(key);
    return value && value->isArray() ? std::optional<platform::Value::Array>(*value->asArray()) : std::nullopt;
}

std::optional<platform::Value::Dictionary> MSRKeyValueStore::dictionaryForKey(std::string_view key) {
    const auto value = objectForKey(key);
    return value && value->isDictionary() ? std::optional<platform::Value::Dictionary>(*value->asDictionary())
                                          : std::nullopt;
}

// --- User defaults

namespace {

// The application's own suite, one per kit context.
struct SharedUserDefaults {
    std::shared_ptr<MSRUserDefaults> defaults = [] {
        auto made = std::make_shared<MSRUserDefaults>();
        made->setPreferenceFileExcluded(true);
        return made;
    }();
};

}  // namespace

std::shared_ptr<MSRUserDefaults> MSRUserDefaults::sharedUserDefaults() {
    return KitContext::current().service<SharedUserDefaults>().defaults;
}

MSRUserDefaults::MSRUserDefaults(std::optional<std::string> suiteName) : isPreferenceFileExcluded_(false) {
    if (suiteName && !suiteName->empty()) {
        suiteName_ = std::move(suiteName);
        ownSuite_ = std::make_unique<platform::UserDefaults>(*suiteName_);
        suite_ = ownSuite_.get();
    } else {
        // The application's suite, in the settings folder of now: the same
        // file the window's standard suite reads and writes.
        ownSuite_ = std::make_unique<platform::UserDefaults>(platform::UserDefaults::standard().suiteName());
        suite_ = ownSuite_.get();
    }
}

MSRUserDefaults::~MSRUserDefaults() = default;

bool MSRUserDefaults::isPreferenceFileExcluded() const {
    std::lock_guard lock(mutex_);
    return isPreferenceFileExcluded_;
}

void MSRUserDefaults::setPreferenceFileExcluded(bool excluded) {
    std::lock_guard lock(mutex_);
    isPreferenceFileExcluded_ = excluded;
}

std::optional<platform::Value> MSRUserDefaults::objectForKey(std::string_view key) {
    if (key.empty()) {
        MSRUtilitiesLog(kWarning, 41001, "Cannot get object for invalid user default key.");
        return std::nullopt;
    }
    return suite_->object(key);
}

void MSRUserDefaults::setObject(std::optional<platform::Value> value, std::string_view key) {
    if (key.empty()) {
        MSRUtilitiesLog(kWarning, 41002, "Cannot set object for invalid user default key.");
        return;
    }
    if (value && !storable(*value)) {
        MSRUtilitiesLog(kWarning, 41003,
                        platform::formatMessage("Cannot set invalid object to user defaults. Must be a string or "
                                                "number or an array. Value %@",
                                                {platform::MessageArgument(valueText(*value))}));
        return;
    }
    try {
        if (value) {
            suite_->set(key, std::move(*value));
        } else {
            suite_->removeObject(key);
        }
    } catch (const platform::Error&) {
        MSRUtilitiesLog(kError, 41004, "Cannot synchronize user defaults to disk");
    }
}

void MSRUserDefaults::clearAllData() {
    try {
        suite_->removeAll();
    } catch (const platform::Error&) {
        MSRUtilitiesLog(kError, 41004, "Cannot synchronize user defaults to disk");
    }
}

void MSRUserDefaults::synchronize() {
    try {
        suite_->synchronize();
    } catch (const platform::Error&) {
        MSRUtilitiesLog(kError, 41004, "Cannot synchronize user defaults to disk");
    }
    std::lock_guard lock(mutex_);
    if (!isPreferenceFileExcluded_ && suiteName_) {
        std::error_code ignored;
        const auto path = MSRPreferencesFilePath(*suiteName_);
        if (!path.empty() && std::filesystem::exists(path, ignored) && MSRExcludePathFromBackup(path)) {
            isPreferenceFileExcluded_ = true;
        }
    }
}

// --- Persistent dictionary

struct MSRPersistentDictionary::Private {};

struct MSRPersistentDictionary::Shared {
    std::mutex mutex;
    platform::Value::Dictionary dictionary;  // guarded by mutex
    bool persistPending = false;             // guarded by mutex
    bool lastWriteFailed = false;            // guarded by mutex
    std::shared_ptr<platform::Timer> timer;  // guarded by mutex
    std::filesystem::path fileURL;
    platform::SchedulingClock* clock = nullptr;
    // Every file write runs here, one at a time, each with the newest state.
    std::unique_ptr<platform::SerialQueue> persistQueue;

    void persistToDisk() {
        platform::Value::Dictionary copy;
        {
            std::lock_guard lock(mutex);
            copy = dictionary;
            persistPending = false;
            if (timer) {
                timer->cancel();
                timer.reset();
            }
        }
        bool failed = false;
        try {
            const std::string bytes = platform::Value(std::move(copy)).toXmlPlist();
            platform::replaceFileAtomically(fileURL, std::as_bytes(std::span(bytes.data(), bytes.size())));
        } catch (const platform::Error&) {
            failed = true;
            MSRUtilitiesLog(kError, 43000, "Cannot persist configs to disk");
        }
        std::lock_guard lock(mutex);
        lastWriteFailed = failed;
    }
};

std::shared_ptr<MSRPersistentDictionary> MSRPersistentDictionary::create(std::string_view fileName,
                                                                         platform::SchedulingClock& clock) {
    if (fileName.empty()) {
        return nullptr;
    }
    const std::filesystem::path path = MSRPersistentDictionaryFilePath(fileName);
    if (path.empty()) {
        return nullptr;
    }
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        MSRUtilitiesLog(kError, 43004, "Cannot create subdirectories for config plist files.");
        return nullptr;
    }
    return std::make_shared<MSRPersistentDictionary>(Private{}, path, clock);
}

MSRPersistentDictionary::MSRPersistentDictionary(Private, std::filesystem::path fileURL,
                                                 platform::SchedulingClock& clock)
    : fileURL_(std::move(fileURL)), shared_(std::make_shared<Shared>()) {
    shared_->fileURL = fileURL_;
    shared_->clock = &clock;
    shared_->persistQueue = std::make_unique<platform::SerialQueue>("MSRPersistentDictionary");
    if (auto loaded = readPlistFile(fileURL_); loaded && loaded->isDictionary()) {
        shared_->dictionary = std::move(*loaded->asDictionary());
    }
}

MSRPersistentDictionary::~MSRPersistentDictionary() {
    {
        // No timer may reach the queue once it is gone.
        std::lock_guard lock(shared_->mutex);
        if (shared_->timer) {
            shared_->timer->cancel();
        }
    }
    flush();
}

std::optional<platform::Value> MSRPersistentDictionary::objectForKey(std::string_view key) {
    if (key.empty()) {
        MSRUtilitiesLog(kWarning, 43001, "Cannot get object for invalid config key.");
        return std::nullopt;
    }
    std::lock_guard lock(shared_->mutex);
    const auto found = shared_->dictionary.find(key);
    return found != shared_->dictionary.end() ? std::optional<platform::Value>(found->second) : std::nullopt;
}

void MSRPersistentDictionary::setObject(std::optional<platform::Value> value, std::string_view key) {
    if (key.empty()) {
        MSRUtilitiesLog(kWarning, 43002, "Cannot set object for invalid config key.");
        return;
    }
    if (value && !storable(*value)) {
        MSRUtilitiesLog(kWarning, 43003,
                        platform::formatMessage("Cannot set invalid object to config. Must be a string, number, "
                                                "array, dictionary, date, or data. Value %@",
                                                {platform::MessageArgument(valueText(*value))}));
        return;
    }
    {
        std::lock_guard lock(shared_->mutex);
        auto& dictionary = shared_->dictionary;
        const auto found = dictionary.find(key);
        if (!value) {
            if (found == dictionary.end()) {
                return;
            }
            dictionary.erase(found);
        } else if (found != dictionary.end()) {
            if (found->second == *value) {
                return;
            }
            found->second = std::move(*value);
        } else {
            dictionary.emplace(std::string(key), std::move(*value));
        }
    }
    schedulePersistToDisk();
}

void MSRPersistentDictionary::clearAllData() {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->dictionary.empty()) {
            return;
        }
        shared_->dictionary.clear();
    }
    schedulePersistToDisk();
}

void MSRPersistentDictionary::schedulePersistToDisk() {
    std::lock_guard lock(shared_->mutex);
    if (shared_->persistPending) {
        return;
    }
    shared_->persistPending = true;
    std::weak_ptr<Shared> weak = shared_;
    shared_->timer = shared_->clock->after(kWriteDelay, *shared_->persistQueue, [weak] {
        if (const auto shared = weak.lock()) {
            shared->persistToDisk();
        }
    });
}

void MSRPersistentDictionary::synchronize() {
    shared_->persistQueue->sync([shared = shared_.get()] { shared->persistToDisk(); });
}

void MSRPersistentDictionary::flush() {
    // On the persist queue, so a write under way is seen through to its end first.
    shared_->persistQueue->sync([shared = shared_.get()] {
        bool unwritten = false;
        {
            std::lock_guard lock(shared->mutex);
            unwritten = shared->persistPending || shared->lastWriteFailed;
        }
        if (unwritten) {
            shared->persistToDisk();
        }
    });
}

bool MSRPersistentDictionary::hasUnwrittenChanges() {
    std::lock_guard lock(shared_->mutex);
    return shared_->persistPending || shared_->lastWriteFailed;
}

// --- Persisted configuration

struct MSRPersistedConfig::Private {};

namespace {

// The shared settings of one kit context, made on first need. Pending
// values are written when the host posts that the application will
// terminate; the context stops the engine's queues before it lets them go.
struct SharedConfig {
    std::mutex mutex;
    std::shared_ptr<MSRPersistedConfig> config;  // guarded by mutex
    bool attempted = false;                      // guarded by mutex
};

SharedConfig& sharedConfig() { return KitContext::current().service<SharedConfig>(); }

}  // namespace

std::shared_ptr<MSRPersistedConfig> MSRPersistedConfig::sharedInstance() {
    std::shared_ptr<MSRPersistedConfig> config;
    {
        SharedConfig& shared = sharedConfig();
        std::lock_guard lock(shared.mutex);
        if (!shared.attempted) {
            shared.attempted = true;
            shared.config = create(kMSRPersistedConfigSuiteName, platform::systemSchedulingClock());
        }
        config = shared.config;
    }
    if (!config) {
        persisted_config_lines::log(persisted_config_lines::kPersistedConfigSSharedInstanceNil);
    }
    return config;
}

std::shared_ptr<MSRPersistedConfig> MSRPersistedConfig::create(std::string_view suiteName,
                                                               platform::SchedulingClock& clock,
                                                               std::shared_ptr<MSRUserDefaults> sharedUserDefaults) {
    if (suiteName.empty()) {
        return nullptr;
    }
    MSRMigratePreferencesFile(suiteName);
    auto dictionary = MSRPersistentDictionary::create(suiteName, clock);
    if (!dictionary) {
        return nullptr;
    }
    return std::make_shared<MSRPersistedConfig>(
        Private{}, std::string(suiteName), std::move(dictionary), clock,
        sharedUserDefaults ? std::move(sharedUserDefaults) : MSRUserDefaults::sharedUserDefaults());
}

MSRPersistedConfig::MSRPersistedConfig(Private, std::string suiteName,
                                       std::shared_ptr<MSRPersistentDictionary> dictionary,
                                       platform::SchedulingClock& clock,
                                       std::shared_ptr<MSRUserDefaults> sharedUserDefaults)
    : suiteName_(std::move(suiteName)),
      dictionary_(std::move(dictionary)),
      clock_(clock),
      sharedUserDefaults_(std::move(sharedUserDefaults)),
      configQueue_(std::make_unique<platform::SerialQueue>("MSRPersistedConfig")),
      self_(std::make_shared<MSRPersistedConfig*>(this)) {
    std::weak_ptr<MSRPersistedConfig*> weak = self_;
    willTerminateToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        std::string(kApplicationWillTerminateNotification), nullptr, [weak](const platform::Notification&) {
            if (const auto self = weak.lock()) {
                (*self)->flush();
            }
        });
}

MSRPersistedConfig::~MSRPersistedConfig() {
    platform::NotificationCenter::defaultCenter().removeObserver(willTerminateToken_);
    self_.reset();
    cancelScheduledSynchronize();
    dictionary_->flush();
}

template <typename Function>
auto MSRPersistedConfig::onConfigQueue(Function&& function) -> decltype(function()) {
    return configQueue_->syncResult(std::forward<Function>(function));
}

void MSRPersistedConfig::scheduleSynchronizeToDisk() {
    std::lock_guard lock(scheduleMutex_);
    if (scheduledSynchronize_) {
        scheduledSynchronize_->cancel();
    }
    std::weak_ptr<MSRPersistedConfig*> weak = self_;
    scheduledSynchronize_ = clock_.after(kWriteDelay, *configQueue_, [weak] {
        if (const auto self = weak.lock()) {
            (*self)->synchronizeToDisk();
        }
    });
}

void MSRPersistedConfig::cancelScheduledSynchronize() {
    std::lock_guard lock(scheduleMutex_);
    if (scheduledSynchronize_) {
        scheduledSynchronize_->cancel();
        scheduledSynchronize_.reset();
    }
}

void MSRPersistedConfig::synchronizeToDisk() {
    // No file write on the main thread.
    if (MSRIsMainThread()) {
        scheduleSynchronizeToDisk();
        return;
    }
    dictionary_->synchronize();
}

void MSRPersistedConfig::flush() {
    cancelScheduledSynchronize();
    dictionary_->flush();
}

bool MSRPersistedConfig::boolForKey(std::string_view key) {
    if (key.empty()) {
        return false;
    }
    return onConfigQueue([&] { return dictionary_->boolForKey(key); });
}

std::int64_t MSRPersistedConfig::int64ForKey(std::string_view key) { return int64ForKey(key, *dictionary_); }

std::int64_t MSRPersistedConfig::int64ForKey(std::string_view key, MSRKeyValueStore& userDefault) {
    if (key.empty()) {
        return 0;
    }
    return onConfigQueue([&] { return userDefault.integerForKey(key); });
}

double MSRPersistedConfig::doubleForKey(std::string_view key) {
    return onConfigQueue([&] { return dictionary_->doubleForKey(key); });
}

std::optional<std::string> MSRPersistedConfig::stringForKey(std::string_view key) {
    return onConfigQueue([&] { return dictionary_->stringForKey(key); });
}

std::optional<platform::Value::Dictionary> MSRPersistedConfig::dictionaryForKey(std::string_view key) {
    return onConfigQueue([&] { return dictionary_->dictionaryForKey(key); });
}

std::optional<platform::Value> MSRPersistedConfig::numberForKey(std::string_view key) {
    return onConfigQueue([&] { return dictionary_->numberForKey(key); });
}

std::optional<platform::Value> MSRPersistedConfig::objectForKey(std::string_view key) {
    return onConfigQueue([&] { return dictionary_->objectForKey(key); });
}

void MSRPersistedConfig::setObject(std::optional<platform::Value> value, std::string_view key) {
    onConfigQueue([&] { dictionary_->setObject(std::move(value), key); });
    scheduleSynchronizeToDisk();
}

void MSRPersistedConfig::setBool(bool value, std::string_view key) { setObject(platform::Value(value), key); }
void MSRPersistedConfig::setInt64(std::int64_t value, std::string_view key) { setObject(platform::Value(value), key); }
void MSRPersistedConfig::setDouble(double value, std::string_view key) { setObject(platform::Value(value), key); }

void MSRPersistedConfig::setString(std::optional<std::string> value, std::string_view key) {
    setObject(value ? std::optional<platform::Value>(platform::Value(std::move(*value))) : std::nullopt, key);
}

void MSRPersistedConfig::setDictionary(std::optional<platform::Value::Dictionary> value, std::string_view key) {
    if (value && !storable(platform::Value(*value))) {
        persisted_config_lines::log(persisted_config_lines::kUnsupportedValuePassedDictionary);
        return;
    }
    setObject(value ? std::optional<platform::Value>(platform::Value(std::move(*value))) : std::nullopt, key);
}

void MSRPersistedConfig::setNumber(std::optional<platform::Value> value, std::string_view key) {
    if (value && !value->isNumber() && !value->isBool()) {
        return;
    }
    setObject(std::move(value), key);
}

void MSRPersistedConfig::clearValues() {
    onConfigQueue([&] { dictionary_->clearAllData(); });
}

// --- The settings

namespace keys {
constexpr std::string_view lastDeleteStale = "/lumen/measurement/last_delete_stale";
constexpr std::string_view isSearchAdCampaign = "/lumen/measurement/is_search_ad_campaign";
constexpr std::string_view searchAdLastAttempt = "/lumen/measurement/search_ad_last_attempt_timestamp";
constexpr std::string_view searchAdRetries = "/lumen/measurement/search_ad_number_of_retries";
constexpr std::string_view appInstanceID = "/lumen/measurement/app_instance_id";
constexpr std::string_view lmpAppID = "/lumen/measurement/lmp_app_id";
constexpr std::string_view adKitAppID = "/lumen/measurement/adkit_app_id";
constexpr std::string_view hashedIDFA = "/lumen/measurement/hashed_idfa";
constexpr std::string_view diversionKey = "/lumen/measurement/diversion_key";
constexpr std::string_view measurementEnabledState = "/lumen/measurement/measurement_enabled_state";
constexpr std::string_view lastBackoff = "/lumen/measurement/last_backoff";
constexpr std::string_view lastSuccessfulUpload = "/lumen/measurement/last_successful_upload";
constexpr std::string_view lastFailedUpload = "/lumen/measurement/last_failed_upload";
constexpr std::string_view appVersion = "/lumen/measurement/app_version";
constexpr std::string_view osVersion = "/lumen/measurement/os_version";
constexpr std::string_view midnightOffset = "/lumen/measurement/midnight_offset";
constexpr std::string_view lastMonitorSampled = "/lumen/measurement/last_monitor_data_sampled_timestamp";
constexpr std::string_view firstOpenMs = "/lumen/measurement/first_open_timestamp_ms";
constexpr std::string_view lastModifiedSince = "/lumen/measurement/last_modified_since_key";
constexpr std::string_view configETag = "/lumen/measurement/config_etag";
constexpr std::string_view loadTimestamp = "/lumen/measurement/load_timestamp";
constexpr std::string_view allowPersonalizedAds = "/lumen/measurement/allow_personalized_ads";
constexpr std::string_view featureRollouts = "/lumen/measurement/halo_feature_rollouts";
constexpr std::string_view deepLinkComplete = "/lumen/measurement/deep_link_retrieval_complete";
constexpr std::string_view deepLinkRetries = "/lumen/measurement/deep_link_retry_count";
constexpr std::string_view lastAdIDReset = "/lumen/measurement/set_last_advertising_id_reset";
constexpr std::string_view unmatchedFirstOpen = "/lumen/measurement/unmatched_first_open";
constexpr std::string_view previousFirstOpenCount = "/lumen/measurement/previous_first_open_count";
constexpr std::string_view previousConsentSignals = "/lumen/measurement/previous_bundled_consent_signals";
constexpr std::string_view adCampaignInfoBuffer = "/lumen/measurement/ad_campaign_info_buffer";
constexpr std::string_view lastEngagementEnd = "/lumen/measurement/last_engagement_end";
constexpr std::string_view sessionNumber = "/lumen/measurement/session_number";
constexpr std::string_view sessionTimeout = "/lumen/measurement/session_timeout";
constexpr std::string_view defaultEventParameters = "/lumen/measurement/default_event_parameters";
constexpr std::string_view lastUploadedEventMillis = "/lumen/measurement/last_uploaded_event_millis";
constexpr std::string_view skanEvaluationTime = "/lumen/measurement/skan_evaluation_event_time_millis";
constexpr std::string_view skanBackoff = "/lumen/measurement/skan_evaluation_update_backoff_millis";
}  // namespace keys

double MSRPersistedConfig::lastDeleteStaleBundlesTimestamp() { return doubleForKey(keys::lastDeleteStale); }
void MSRPersistedConfig::setLastDeleteStaleBundlesTimestamp(double value) { setDouble(value, keys::lastDeleteStale); }

std::optional<platform::Value> MSRPersistedConfig::searchAdCampaignValue() {
    return dictionary_->numberForKey(keys::isSearchAdCampaign);
}
void MSRPersistedConfig::setSearchAdCampaignValue(std::optional<platform::Value> value) {
    if (value && (value->isNumber() || value->isBool())) {
        dictionary_->setObject(std::move(value), keys::isSearchAdCampaign);
    }
}

double MSRPersistedConfig::lastSearchAdLookUpTimestamp() { return doubleForKey(keys::searchAdLastAttempt); }
void MSRPersistedConfig::setLastSearchAdLookUpTimestamp(double value) { setDouble(value, keys::searchAdLastAttempt); }
std::int64_t MSRPersistedConfig::searchAdRetryCount() { return int64ForKey(keys::searchAdRetries); }
void MSRPersistedConfig::setSearchAdRetryCount(std::int64_t value) { setInt64(value, keys::searchAdRetries); }
std::optional<std::string> MSRPersistedConfig::appInstanceID() { return stringForKey(keys::appInstanceID); }
void MSRPersistedConfig::setAppInstanceID(std::optional<std::string> value) {
    setString(std::move(value), keys::appInstanceID);
}
std::optional<std::string> MSRPersistedConfig::appIDFromLMP() { return stringForKey(keys::lmpAppID); }
void MSRPersistedConfig::setAppIDFromLMP(std::optional<std::string> value) {
    setString(std::move(value), keys::lmpAppID);
}
std::optional<std::string> MSRPersistedConfig::appIDFromAdKit() { return stringForKey(keys::adKitAppID); }
void MSRPersistedConfig::setAppIDFromAdKit(std::optional<std::string> value) {
    setString(std::move(value), keys::adKitAppID);
}
std::optional<std::string> MSRPersistedConfig::hashedResettableDeviceID() { return stringForKey(keys::hashedIDFA); }
void MSRPersistedConfig::setHashedResettableDeviceID(std::optional<std::string> value) {
    setString(std::move(value), keys::hashedIDFA);
}
std::optional<std::string> MSRPersistedConfig::diversionKey() { return stringForKey(keys::diversionKey); }
void MSRPersistedConfig::setDiversionKey(std::optional<std::string> value) {
    setString(std::move(value), keys::diversionKey);
}

std::int64_t MSRPersistedConfig::measurementEnabledState() {
    return int64ForKey(keys::measurementEnabledState, *sharedUserDefaults_);
}
void MSRPersistedConfig::setMeasurementEnabledState(std::int64_t value) {
    onConfigQueue([&] {
        sharedUserDefaults_->setObject(platform::Value(value), keys::measurementEnabledState);
        sharedUserDefaults_->synchronize();
    });
}

double MSRPersistedConfig::lastBackoffTimestamp() { return doubleForKey(keys::lastBackoff); }
void MSRPersistedConfig::setLastBackoffTimestamp(double value) { setDouble(value, keys::lastBackoff); }
double MSRPersistedConfig::lastSuccessfulUploadTimestamp() { return doubleForKey(keys::lastSuccessfulUpload); }
void MSRPersistedConfig::setLastSuccessfulUploadTimestamp(double value) {
    setDouble(value, keys::lastSuccessfulUpload);
}
double MSRPersistedConfig::lastFailedUploadTimestamp() { return doubleForKey(keys::lastFailedUpload); }
void MSRPersistedConfig::setLastFailedUploadTimestamp(double value) { setDouble(value, keys::lastFailedUpload); }
std::optional<std::string> MSRPersistedConfig::appVersion() { return stringForKey(keys::appVersion); }
void MSRPersistedConfig::setAppVersion(std::optional<std::string> value) {
    setString(std::move(value), keys::appVersion);
}
std::optional<std::string> MSRPersistedConfig::osVersion() { return stringForKey(keys::osVersion); }
void MSRPersistedConfig::setOSVersion(std::optional<std::string> value) {
    setString(std::move(value), keys::osVersion);
}

double MSRPersistedConfig::midnightOffset() {
    if (const auto stored = numberForKey(keys::midnightOffset)) {
        return numberAsDouble(stored).value_or(0.0);
    }
    const double offset = static_cast<double>(platform::systemRandom().below(86'400'000)) / 1000.0;
    setDouble(offset, keys::midnightOffset);
    return offset;
}

double MSRPersistedConfig::lastMonitorDataSampledTimestamp() { return doubleForKey(keys::lastMonitorSampled); }
void MSRPersistedConfig::setLastMonitorDataSampledTimestamp(double value) {
    setDouble(value, keys::lastMonitorSampled);
}
std::int64_t MSRPersistedConfig::firstOpenTimestampMilliseconds() { return int64ForKey(keys::firstOpenMs); }
void MSRPersistedConfig::setFirstOpenTimestampMilliseconds(std::int64_t value) { setInt64(value, keys::firstOpenMs); }
std::optional<platform::Value> MSRPersistedConfig::configServerLastModifiedString() {
    return objectForKey(keys::lastModifiedSince);
}
void MSRPersistedConfig::setConfigServerLastModifiedString(std::optional<std::string> value) {
    setString(std::move(value), keys::lastModifiedSince);
}
std::optional<std::string> MSRPersistedConfig::configServerETag() { return stringForKey(keys::configETag); }
void MSRPersistedConfig::setConfigServerETag(std::optional<std::string> value) {
    setString(std::move(value), keys::configETag);
}
std::optional<platform::Value> MSRPersistedConfig::loadTimestampValue() { return objectForKey(keys::loadTimestamp); }
void MSRPersistedConfig::setLoadTimestampValue(std::optional<platform::Value> value) {
    onConfigQueue([&] { dictionary_->setObject(std::move(value), keys::loadTimestamp); });
}
std::optional<platform::Value> MSRPersistedConfig::allowPersonalizedAds() {
    return objectForKey(keys::allowPersonalizedAds);
}
void MSRPersistedConfig::setAllowPersonalizedAds(std::optional<platform::Value> value) {
    onConfigQueue([&] { dictionary_->setObject(std::move(value), keys::allowPersonalizedAds); });
}
std::optional<std::string> MSRPersistedConfig::haloFeatureRollouts() { return stringForKey(keys::featureRollouts); }
void MSRPersistedConfig::setHaloFeatureRollouts(std::optional<std::string> value) {
    setString(std::move(value), keys::featureRollouts);
}
std::optional<platform::Value> MSRPersistedConfig::deferredDeepLinkRetrievalComplete() {
    return objectForKey(keys::deepLinkComplete);
}
void MSRPersistedConfig::setDeferredDeepLinkRetrievalComplete(std::optional<platform::Value> value) {
    onConfigQueue([&] { dictionary_->setObject(std::move(value), keys::deepLinkComplete); });
}
std::int64_t MSRPersistedConfig::deferredDeepLinkRetryCount() { return int64ForKey(keys::deepLinkRetries); }
void MSRPersistedConfig::setDeferredDeepLinkRetryCount(std::int64_t value) { setInt64(value, keys::deepLinkRetries); }
bool MSRPersistedConfig::shouldSetLastAdvertisingIDResetUserProperty() { return int64ForKey(keys::lastAdIDReset) != 0; }
void MSRPersistedConfig::setShouldSetLastAdvertisingIDResetUserProperty(bool value) {
    setInt64(value ? 1 : 0, keys::lastAdIDReset);
}
bool MSRPersistedConfig::unmatchedFirstOpenWithoutIDFA() { return int64ForKey(keys::unmatchedFirstOpen) != 0; }
void MSRPersistedConfig::setUnmatchedFirstOpenWithoutIDFA(bool value) {
    setInt64(value ? 1 : 0, keys::unmatchedFirstOpen);
}
std::optional<platform::Value> MSRPersistedConfig::previousFirstOpenCount() {
    return numberForKey(keys::previousFirstOpenCount);
}
void MSRPersistedConfig::setPreviousFirstOpenCount(std::optional<platform::Value> value) {
    setNumber(std::move(value), keys::previousFirstOpenCount);
}
std::optional<std::string> MSRPersistedConfig::previousBundledConsentSignals() {
    return stringForKey(keys::previousConsentSignals);
}
void MSRPersistedConfig::setPreviousBundledConsentSignals(std::optional<std::string> value) {
    setString(std::move(value), keys::previousConsentSignals);
}
std::optional<platform::Value> MSRPersistedConfig::adCampaignInfoBuffer() {
    return objectForKey(keys::adCampaignInfoBuffer);
}
void MSRPersistedConfig::setAdCampaignInfoBuffer(std::optional<platform::Value> value) {
    setObject(std::move(value), keys::adCampaignInfoBuffer);
}
double MSRPersistedConfig::lastSessionActivityClockTime() { return doubleForKey(keys::lastEngagementEnd); }
void MSRPersistedConfig::setLastSessionActivityClockTime(double value) { setDouble(value, keys::lastEngagementEnd); }
std::int64_t MSRPersistedConfig::sessionNumber() { return int64ForKey(keys::sessionNumber); }
void MSRPersistedConfig::setSessionNumber(std::int64_t value) { setInt64(value, keys::sessionNumber); }
std::optional<platform::Value> MSRPersistedConfig::sessionTimeoutValue() { return numberForKey(keys::sessionTimeout); }
void MSRPersistedConfig::setSessionTimeoutValue(std::optional<platform::Value> value) {
    setNumber(std::move(value), keys::sessionTimeout);
}
std::optional<platform::Value::Dictionary> MSRPersistedConfig::defaultEventParameters() {
    return dictionaryForKey(keys::defaultEventParameters);
}
void MSRPersistedConfig::setDefaultEventParameters(std::optional<platform::Value::Dictionary> value) {
    setDictionary(std::move(value), keys::defaultEventParameters);
}
std::int64_t MSRPersistedConfig::lastUploadedEventTimestampMillis() {
    return int64ForKey(keys::lastUploadedEventMillis);
}
void MSRPersistedConfig::setLastUploadedEventTimestampMillis(std::int64_t value) {
    setInt64(value, keys::lastUploadedEventMillis);
}
std::int64_t MSRPersistedConfig::SKANEvaluationEventTimeMillis() { return int64ForKey(keys::skanEvaluationTime); }
void MSRPersistedConfig::setSKANEvaluationEventTimeMillis(std::int64_t value) {
    setInt64(value, keys::skanEvaluationTime);
}
std::int64_t MSRPersistedConfig::SKANEvaluationUpdateBackoffMillis() { return int64ForKey(keys::skanBackoff); }
void MSRPersistedConfig::setSKANEvaluationUpdateBackoffMillis(std::int64_t value) {
    setInt64(value, keys::skanBackoff);
}

// --- Paths and files

std::filesystem::path MSRMeasurementFilePath(std::string_view name) {
    if (name.empty()) {
        return {};
    }
    const std::filesystem::path support = kit::kitDataDirectory();
    if (support.empty()) {
        persisted_config_lines::log(persisted_config_lines::kNSSearchPathApplicationSupportDirectoryEmpty);
        return {};
    }
    return support / "Lumen" / "Measurement" / std::string(name);
}

std::filesystem::path MSRPersistentDictionaryFilePath(std::string_view name) {
    if (name.empty()) {
        return {};
    }
    std::string fileName(name);
    if (std::filesystem::path(fileName).extension() != ".plist") {
        fileName += ".plist";
    }
    return MSRMeasurementFilePath(fileName);
}

std::filesystem::path MSRPreferencesFilePath(std::string_view suiteName) {
    if (suiteName.empty()) {
        return {};
    }
    const std::filesystem::path folder = platform::paths::settingsFolder();
    if (folder.empty()) {
        persisted_config_lines::log(persisted_config_lines::kNSSearchPathLibraryDirectoryEmpty);
        return {};
    }
    return folder / (std::string(suiteName) + ".plist");
}

platform::Expected<void> MSRExcludePathFromBackup(const std::filesystem::path& /*path*/) { return {}; }

platform::Expected<void> MSRDeleteFileAtPath(const std::filesystem::path& path) {
    if (path.empty()) {
        return platform::unexpected(
            msr_errorWithCode(MSRErrorCode::invalidArgument, "Received empty path for deleting file"));
    }
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (error) {
        return platform::unexpected(
            platform::systemError(std::string(kMSRErrorDomain), 3, "Cannot delete file", path, error.value()));
    }
    return {};
}

bool MSRMigratePreferencesFile(std::string_view suiteName) {
    if (suiteName.empty()) {
        return false;
    }
    const std::filesystem::path oldPath = MSRPreferencesFilePath(suiteName);
    const std::filesystem::path newPath = MSRPersistentDictionaryFilePath(suiteName);
    if (oldPath.empty() || newPath.empty()) {
        return false;
    }
    std::error_code error;
    const auto oldStatus = std::filesystem::symlink_status(oldPath, error);
    if (!std::filesystem::exists(oldStatus)) {
        return true;
    }
    if (std::filesystem::is_directory(oldStatus)) {
        return false;
    }
    const auto newStatus = std::filesystem::status(newPath, error);
    if (!std::filesystem::exists(newStatus)) {
        std::filesystem::create_directories(newPath.parent_path(), error);
        if (error) {
            return false;
        }
        std::filesystem::rename(oldPath, newPath, error);
        return !error;
    }
    if (std::filesystem::is_directory(newStatus)) {
        return false;
    }
    return std::filesystem::remove(oldPath, error) && !error;
}

}  // namespace kit::measurement

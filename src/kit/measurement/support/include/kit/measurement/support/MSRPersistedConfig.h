#pragma once

#include "kit/core/CoreTexts.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "platform/Value.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/Timers.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class SerialQueue;
class UserDefaults;
}  // namespace platform

// The engine's small persistent state outside the SQLite store: a plist
// dictionary written a second after a change, user-defaults suites, and the
// typed settings on top of them.
namespace kit::measurement {

// Posted by the host when the application is about to end; pending
// settings are written at once.
inline constexpr std::string_view kApplicationWillTerminateNotification =
    core_texts::kApplicationWillTerminateNotification;

// The accessor set that the plist dictionary and the user defaults share.
class MSRKeyValueStore {
public:
    virtual ~MSRKeyValueStore() = default;

    // Nothing, with a warning, for an empty key.
    virtual std::optional<platform::Value> objectForKey(std::string_view key) = 0;
    // Nothing removes the key. A key that is empty, or a value a plist file
    // cannot hold whole (a null at any depth among them), is refused with a
    // warning and nothing changes.
    virtual void setObject(std::optional<platform::Value> value, std::string_view key) = 0;
    virtual void clearAllData() = 0;
    virtual void synchronize() = 0;

    void removeObjectForKey(std::string_view key) { setObject(std::nullopt, key); }
    std::int64_t integerForKey(std::string_view key);
    float floatForKey(std::string_view key);
    double doubleForKey(std::string_view key);
    bool boolForKey(std::string_view key);
    std::optional<std::string> stringForKey(std::string_view key);
    std::optional<platform::Value> numberForKey(std::string_view key);
    std::optional<platform::Value::Array> arrayForKey(std::string_view key);
    std::optional<platform::Value::Dictionary> dictionaryForKey(std::string_view key);
    void setInteger(std::int64_t value, std::string_view key) { setObject(platform::Value(value), key); }
    void setFloat(float value, std::string_view key) { setObject(platform::Value(static_cast<double>(value)), key); }
    void setDouble(double value, std::string_view key) { setObject(platform::Value(value), key); }
    void setBool(bool value, std::string_view key) { setObject(platform::Value(value), key); }
};

// A user-defaults suite (the standard one for the shared instance).
class MSRUserDefaults final : public MSRKeyValueStore {
public:
    static std::shared_ptr<MSRUserDefaults> sharedUserDefaults();

    // The standard suite for an absent or empty name.
    explicit MSRUserDefaults(std::optional<std::string> suiteName = std::nullopt);
    ~MSRUserDefaults() override;

    const std::optional<std::string>& suiteName() const noexcept { return suiteName_; }
    bool isPreferenceFileExcluded() const;
    void setPreferenceFileExcluded(bool excluded);

    std::optional<platform::Value> objectForKey(std::string_view key) override;
    void setObject(std::optional<platform::Value> value, std::string_view key) override;
    void clearAllData() override;
    void synchronize() override;

private:
    std::optional<std::string> suiteName_;
    std::unique_ptr<platform::UserDefaults> ownSuite_;
    platform::UserDefaults* suite_;
    mutable std::mutex mutex_;
    bool isPreferenceFileExcluded_;  // guarded by mutex_
};

// A dictionary kept in a plist file. Changes are written one second after
// the first unwritten one; writes replace the file atomically, one at a
// time, each with the newest state.
class MSRPersistentDictionary final : public MSRKeyValueStore {
public:
    // Nothing for an empty name, or when the folder cannot be made (43004).
    static std::shared_ptr<MSRPersistentDictionary> create(std::string_view fileName, platform::SchedulingClock& clock);
    ~MSRPersistentDictionary() override;

    const std::filesystem::path& fileURL() const noexcept { return fileURL_; }

    std::optional<platform::Value> objectForKey(std::string_view key) override;
    // Writing an equal value, or removing a missing key, changes nothing.
    void setObject(std::optional<platform::Value> value, std::string_view key) override;
    void clearAllData() override;
    // Writes now.
    void synchronize() override;
    // Writes now when a write is pending or the last one failed; from any thread.
    void flush();

    // A write is waiting (scheduled or failed).
    bool hasUnwrittenChanges();

    // Private; use create().
    struct Private;
    MSRPersistentDictionary(Private, std::filesystem::path fileURL, platform::SchedulingClock& clock);

private:
    struct Shared;
    void schedulePersistToDisk();

    std::filesystem::path fileURL_;
    std::shared_ptr<Shared> shared_;
};

// The engine's typed settings, in the dictionary named after the suite.
class MSRPersistedConfig {
public:
    // Made once with the suite "com.lumen.lmp.measurement"; while it cannot
    // be made, every call logs 27001 and gives null.
    static std::shared_ptr<MSRPersistedConfig> sharedInstance();
    // Null for an empty name or when the dictionary cannot be opened.
    static std::shared_ptr<MSRPersistedConfig> create(std::string_view suiteName, platform::SchedulingClock& clock,
                                                      std::shared_ptr<MSRUserDefaults> sharedUserDefaults = nullptr);
    ~MSRPersistedConfig();

    const std::string& suiteName() const noexcept { return suiteName_; }
    MSRPersistentDictionary& dictionary() noexcept { return *dictionary_; }

    // Typed access, synchronous on the config queue.
    bool boolForKey(std::string_view key);
    std::int64_t int64ForKey(std::string_view key);
    std::int64_t int64ForKey(std::string_view key, MSRKeyValueStore& userDefault);
    double doubleForKey(std::string_view key);
    std::optional<std::string> stringForKey(std::string_view key);
    std::optional<platform::Value::Dictionary> dictionaryForKey(std::string_view key);
    std::optional<platform::Value> numberForKey(std::string_view key);
    std::optional<platform::Value> objectForKey(std::string_view key);

    // Typed writes, each followed by a synchronization one second after the last change.
    void setBool(bool value, std::string_view key);
    void setInt64(std::int64_t value, std::string_view key);
    void setDouble(double value, std::string_view key);
    void setString(std::optional<std::string> value, std::string_view key);
    void setDictionary(std::optional<platform::Value::Dictionary> value, std::string_view key);
    void setNumber(std::optional<platform::Value> value, std::string_view key);
    void setObject(std::optional<platform::Value> value, std::string_view key);

    void clearValues();
    void scheduleSynchronizeToDisk();
    void cancelScheduledSynchronize();
    void synchronizeToDisk();
    // Writes pending or failed changes now, from any thread.
    void flush();

    // --- The settings
    double lastDeleteStaleBundlesTimestamp();
    void setLastDeleteStaleBundlesTimestamp(double value);
    std::optional<platform::Value> searchAdCampaignValue();
    void setSearchAdCampaignValue(std::optional<platform::Value> value);
    double lastSearchAdLookUpTimestamp();
    void setLastSearchAdLookUpTimestamp(double value);
    std::int64_t searchAdRetryCount();
    void setSearchAdRetryCount(std::int64_t value);
    std::optional<std::string> appInstanceID();
    void setAppInstanceID(std::optional<std::string> value);
    std::optional<std::string> appIDFromLMP();
    void setAppIDFromLMP(std::optional<std::string> value);
    std::optional<std::string> appIDFromAdKit();
    void setAppIDFromAdKit(std::optional<std::string> value);
    std::optional<std::string> hashedResettableDeviceID();
    void setHashedResettableDeviceID(std::optional<std::string> value);
    std::optional<std::string> diversionKey();
    void setDiversionKey(std::optional<std::string> value);
    std::int64_t measurementEnabledState();
    void setMeasurementEnabledState(std::int64_t value);
    double lastBackoffTimestamp();
    void setLastBackoffTimestamp(double value);
    double lastSuccessfulUploadTimestamp();
    void setLastSuccessfulUploadTimestamp(double value);
    double lastFailedUploadTimestamp();
    void setLastFailedUploadTimestamp(double value);
    std::optional<std::string> appVersion();
    void setAppVersion(std::optional<std::string> value);
    std::optional<std::string> osVersion();
    void setOSVersion(std::optional<std::string> value);
    double midnightOffset();
    double lastMonitorDataSampledTimestamp();
    void setLastMonitorDataSampledTimestamp(double value);
    std::int64_t firstOpenTimestampMilliseconds();
    void setFirstOpenTimestampMilliseconds(std::int64_t value);
    std::optional<platform::Value> configServerLastModifiedString();
    void setConfigServerLastModifiedString(std::optional<std::string> value);
    std::optional<std::string> configServerETag();
    void setConfigServerETag(std::optional<std::string> value);
    std::optional<platform::Value> loadTimestampValue();
    void setLoadTimestampValue(std::optional<platform::Value> value);
    std::optional<platform::Value> allowPersonalizedAds();
    void setAllowPersonalizedAds(std::optional<platform::Value> value);
    std::optional<std::string> haloFeatureRollouts();
    void setHaloFeatureRollouts(std::optional<std::string> value);
    std::optional<platform::Value> deferredDeepLinkRetrievalComplete();
    void setDeferredDeepLinkRetrievalComplete(std::optional<platform::Value> value);
    std::int64_t deferredDeepLinkRetryCount();
    void setDeferredDeepLinkRetryCount(std::int64_t value);
    bool shouldSetLastAdvertisingIDResetUserProperty();
    void setShouldSetLastAdvertisingIDResetUserProperty(bool value);
    bool unmatchedFirstOpenWithoutIDFA();
    void setUnmatchedFirstOpenWithoutIDFA(bool value);
    std::optional<platform::Value> previousFirstOpenCount();
    void setPreviousFirstOpenCount(std::optional<platform::Value> value);
    std::optional<std::string> previousBundledConsentSignals();
    void setPreviousBundledConsentSignals(std::optional<std::string> value);
    std::optional<platform::Value> adCampaignInfoBuffer();
    void setAdCampaignInfoBuffer(std::optional<platform::Value> value);
    double lastSessionActivityClockTime();
    void setLastSessionActivityClockTime(double value);
    std::int64_t sessionNumber();
    void setSessionNumber(std::int64_t value);
    std::optional<platform::Value> sessionTimeoutValue();
    void setSessionTimeoutValue(std::optional<platform::Value> value);
    std::optional<platform::Value::Dictionary> defaultEventParameters();
    void setDefaultEventParameters(std::optional<platform::Value::Dictionary> value);
    std::int64_t lastUploadedEventTimestampMillis();
    void setLastUploadedEventTimestampMillis(std::int64_t value);
    std::int64_t SKANEvaluationEventTimeMillis();
    void setSKANEvaluationEventTimeMillis(std::int64_t value);
    std::int64_t SKANEvaluationUpdateBackoffMillis();
    void setSKANEvaluationUpdateBackoffMillis(std::int64_t value);

    struct Private;
    MSRPersistedConfig(Private, std::string suiteName, std::shared_ptr<MSRPersistentDictionary> dictionary,
                       platform::SchedulingClock& clock, std::shared_ptr<MSRUserDefaults> sharedUserDefaults);

private:
    template <typename Function>
    auto onConfigQueue(Function&& function) -> decltype(function());

    std::string suiteName_;
    std::shared_ptr<MSRPersistentDictionary> dictionary_;
    platform::SchedulingClock& clock_;
    std::shared_ptr<MSRUserDefaults> sharedUserDefaults_;
    std::unique_ptr<platform::SerialQueue> configQueue_;
    std::mutex scheduleMutex_;
    std::shared_ptr<platform::Timer> scheduledSynchronize_;  // guarded by scheduleMutex_
    // Lets a timer that outlives the object do nothing.
    std::shared_ptr<MSRPersistedConfig*> self_;
    platform::NotificationCenter::Token willTerminateToken_ = 0;
};

inline constexpr std::string_view kMSRPersistedConfigSuiteName = "com.lumen.lmp.measurement";

// Paths: "" for an empty argument.
std::filesystem::path MSRMeasurementFilePath(std::string_view name);
std::filesystem::path MSRPersistentDictionaryFilePath(std::string_view name);
std::filesystem::path MSRPreferencesFilePath(std::string_view suiteName);
// Nothing to do here (no backup exclusion on this system): succeeds.
platform::Expected<void> MSRExcludePathFromBackup(const std::filesystem::path& path);
platform::Expected<void> MSRDeleteFileAtPath(const std::filesystem::path& path);
// True when the suite's old preferences file is gone afterwards.
bool MSRMigratePreferencesFile(std::string_view suiteName);

}  // namespace kit::measurement

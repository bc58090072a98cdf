#pragma once

#include "kit/measurement/support/MSRValue.h"

#include <atomic>
#include <cstdint>
#include <optional>

namespace kit::measurement {

class MSRMeasurement;

// The reports of the application's lifecycle: first open, the campaign of
// a stored launch link, session start, application and system updates, and
// the personalised-ads state that goes with them.
//
// Owned by the controller and confined to its worker queue, but for the
// plist flag, which the personalised-ads decision raises from any thread.
// It reaches the store, the settings and the other concerns only through
// the controller's public operations.
class MSRLifecycleReports {
public:
    explicit MSRLifecycleReports(MSRMeasurement& controller);
    MSRLifecycleReports(const MSRLifecycleReports&) = delete;
    MSRLifecycleReports& operator=(const MSRLifecycleReports&) = delete;

    void reportFirstOpenOnWorkerQueue();
    // `clickTimestampMillis`: none when the click time is unknown.
    void reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t> clickTimestampMillis);
    void reportSessionStartOnWorkerQueueWithTimestamp(double timestamp, bool appInBackground);
    void reportAppUpdateOnWorkerQueue();
    void reportOSUpdateOnWorkerQueue();
    bool isVersionSameAsOriginalVersion() const;
    void backfillSessionNumber();

    void setPersonalizedAdsUserPropertyOnWorkerQueue();
    void updateAdPersonalizationConsentFromNPAValue(const std::optional<MSRValue>& npaValue);
    // True when the settings changed the ad-personalisation consent, so the
    // stored "_npa" property must follow.
    bool updateConsentSettingsUtilWithRemoteConfig();
    // The Info.plist decided personalised ads. Any thread.
    void noteAdPersonalizationPlistFlag() { foundAdPersonalizationPlistFlag_ = true; }

    static std::int64_t timestampMillisRoundedUpToNextHour(std::int64_t timestampMillis);

private:
    // The steps of the first-open report.
    void reportRepeatedStart(std::int64_t previousCount);
    bool storeFirstOpenProperties(std::int64_t firstOpenAfterInstall, std::int64_t initMilliseconds);
    void reportFirstOpenEvents(std::int64_t previousCount, std::int64_t firstOpenAfterInstall);
    std::optional<std::string> runningAppVersion() const;

    MSRMeasurement& controller_;
    std::atomic<bool> foundAdPersonalizationPlistFlag_{false};
};

}  // namespace kit::measurement

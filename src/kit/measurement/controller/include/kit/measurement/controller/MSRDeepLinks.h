#pragma once

#include "kit/measurement/controller/MSRAnalyticsSeams.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/Clock.h"
#include "platform/Value.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit {
class LMUNetwork;
}

namespace kit::measurement {

class MSRRemoteConfig;
class MSRScheduler;

// --- Keys and texts.

inline constexpr std::string_view kMSRStoredDeepLinkKey = "/lumen/measurement/deep_link";
inline constexpr std::string_view kMSRStoredDeepLinkTimestampKey = "/lumen/measurement/deep_link_timestamp_seconds";
inline constexpr std::string_view kMSRUserActivityTypeBrowsingWeb = "NSUserActivityTypeBrowsingWeb";
inline constexpr std::string_view kMSRLaunchUserActivityDictionaryKey =
    "UIApplicationLaunchOptionsUserActivityDictionaryKey";
inline constexpr std::string_view kMSRLaunchUserActivityKey = "UIApplicationLaunchOptionsUserActivityKey";
inline constexpr std::string_view kMSRLaunchURLKey = "UIApplicationLaunchOptionsURLKey";
inline constexpr std::string_view kMSRSSTDebugEnableKey = "sst_debug_enable";
inline constexpr std::string_view kMSRSSTPreviewKeyKey = "sst_preview_key";
inline constexpr std::string_view kMSRSSTPreviewHeaderName = "X-Sst-Server-Preview";
inline constexpr std::string_view kMSRDeferredDeepLinkPath = "/pagead/conversion/app/deeplink";
inline constexpr std::string_view kMSRDeferredDeepLinkInfoKey = "LUMEN_ANALYTICS_DEFERRED_DEEP_LINK_ENABLED";
inline constexpr std::string_view kMSRDebugDeferredDeepLinkArgument = "-DebugDeferredDeepLink";

// Query key of a campaign link, and the event parameter it becomes.
struct MSRCampaignParameter {
    std::string_view queryKey;
    std::string_view eventParameter;
};

inline constexpr std::array<MSRCampaignParameter, 19> kMSRCampaignParameterMap = {{
    {"aclid", "aclid"},
    {"anid", "anid"},
    {"utm_campaign", "campaign"},
    {"cis", "_cis"},
    {"utm_content", "content"},
    {"cp1", "cp1"},
    {"pclid", "pclid"},
    {"lad_source", "lad_source"},
    {"lclid", "lclid"},
    {"lbraid", "lbraid"},
    {"utm_medium", "medium"},
    {"utm_source", "source"},
    {"srsltid", "srsltid"},
    {"utm_term", "term"},
    {"utm_id", "campaign_id"},
    {"utm_creative_format", "creative_format"},
    {"utm_marketing_tactic", "marketing_tactic"},
    {"utm_source_platform", "source_platform"},
    {"sfmc_id", "sfmc_id"},
}};

// A link is a campaign when one of these has a non-empty value.
inline constexpr std::array<std::string_view, 10> kMSRRequiredCampaignKeys = {
    "utm_campaign", "lclid", "utm_medium", "utm_source", "lbraid",
    "utm_id",       "pclid", "srsltid",    "sfmc_id",    "lad_source"};

// Dropped when click IDs are not allowed.
inline constexpr std::array<std::string_view, 3> kMSRClickIDKeys = {"lclid", "pclid", "srsltid"};

// What a web-browsing hand-over carries; the desktop has none of its own,
// but the shell or a test may hand one in.
struct MSRUserActivity {
    std::string activityType;
    std::optional<std::string> webpageURL;
};

// --- The stored launch link, in the shared measurement user defaults.

void MSRStoreDeepLink(MSRKeyValueStore& defaults, std::string_view link,
                      const platform::Clock& clock = platform::systemClock());
void MSRClearStoredDeepLink(MSRKeyValueStore& defaults);
bool MSRHasStoredDeepLink(MSRKeyValueStore& defaults);
// Expired either way: a stored time in the future by more than the TTL
// counts too. NO when no time is stored.
bool MSRIsStoredDeepLinkExpired(MSRKeyValueStore& defaults, double timeToLiveSeconds,
                                const platform::Clock& clock = platform::systemClock());
bool MSRClearStoredDeepLinkIfExpired(MSRKeyValueStore& defaults, const MSRRemoteConfig& remoteConfig,
                                     const platform::Clock& clock = platform::systemClock());
// The start of the hour before the one holding `milliseconds`.
std::int64_t MSRPreviousHourStartMilliseconds(std::int64_t milliseconds);

// Whether the parameters form a campaign (a required key with a value).
bool isValidCampaignURLParamDictionary(const platform::Value::Dictionary& parameters);

// What the deep links read of the identity and the app, at each use.
struct MSRDeepLinkEnvironment {
    std::function<std::optional<std::string>()> resettableDeviceID;
    // 3 is authorized.
    std::function<std::int64_t()> trackingConsentStatus;
    // The bundle identifier the identity reports.
    std::function<std::string()> appID;
    // Nothing when the identity cannot tell (counted as limited).
    std::function<std::optional<bool>()> limitedAdTracking;
    std::function<bool()> isFAS;
    std::function<std::int64_t()> appMeasurementLibraryVersion;
    // The main bundle's Info.plist.
    platform::Value::Dictionary infoDictionary;
    std::vector<std::string> launchArguments;
};

// Links opened into the app: campaign events, the launch link, the deferred
// deep link, and the server-side tagging preview switch. The controller owns
// one and calls it; work that touches the store runs on its worker queue.
class MSRDeepLinks : public std::enable_shared_from_this<MSRDeepLinks> {
public:
    struct Dependencies {
        // Held weakly: a reply that arrives after the controller is gone does nothing.
        std::weak_ptr<MSRMeasurementController> controller;
        std::shared_ptr<MSRScheduler> scheduler;
        std::function<std::shared_ptr<MSRRemoteConfig>()> remoteConfig;
        std::shared_ptr<MSRPersistedConfig> persistedConfig;
        std::shared_ptr<MSRKeyValueStore> userDefaults;
        // Made when the deferred deep link is requested, unless given.
        std::shared_ptr<kit::LMUNetwork> network;
        const platform::Clock* clock = &platform::systemClock();
        MSRDeepLinkEnvironment environment;
    };

    static std::shared_ptr<MSRDeepLinks> create(Dependencies dependencies);

    // --- Class-level operations: no controller needed.
    static std::optional<std::string> deepLinkFromUserActivity(const MSRUserActivity* activity);
    // The launch notification's user info; stores the launch link.
    static void handleStoredURLAfterAppLaunchWithNotification(const platform::Value::Dictionary& userInfo,
                                                              MSRKeyValueStore& defaults,
                                                              const platform::Clock& clock = platform::systemClock());
    static void handleSSTDebugModeWithURL(std::string_view url);
    // {"X-Sst-Server-Preview": key} or nothing, of the current kit context.
    // Read from any thread.
    static std::optional<platform::Value::Dictionary> SSTPreviewHeaders();
    // Installs the preview headers into the controller facts.
    static void installFacts();

    // --- Links handled after launch.
    void handleNonFirstOpenEventURL(const std::string& url, double eventTimestampInSeconds);
    void handleOpenURL(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                       double eventTimestampInSeconds);
    void handleDeepLink(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                        double eventTimestampInSeconds);
    void handleOpenURLOnWorkerQueue(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                                    double eventTimestampInSeconds, const platform::Value::Dictionary& extraParameters);
    bool shouldAllowClickID();

    // --- The deferred deep link.
    bool shouldAllowRequestDeferredDeepLink();
    // The request's address, query included; nothing when it cannot be made.
    std::optional<std::string> deferredDeepLinkURL();
    void requestDeferredDeepLink();
    static std::optional<platform::Value::Dictionary> deepLinkInfoFromResponseData(
        const std::vector<std::uint8_t>& data);
    void handleDeferredDeepLinkInfo(const platform::Value::Dictionary& info);
    // No app delegate takes links here: always NO.
    static bool sendDeepLinkURLToAppDelegateOnMainThread(const std::string& url,
                                                         const platform::Value::Dictionary& extraInfo);

    // The campaign extras of a deferred reply (no entry for a missing value).
    static platform::Value::Dictionary campaignExtrasFromDeferredDeepLinkInfo(const platform::Value::Dictionary& info);

private:
    struct Private {};

public:
    MSRDeepLinks(Private, Dependencies dependencies);

private:
    void handleDeferredDeepLinkReply(int status, const std::vector<std::uint8_t>& data, bool failed);
    std::shared_ptr<MSRRemoteConfig> remoteConfig() const;
    double now() const;

    Dependencies dependencies_;
};

}  // namespace kit::measurement

#pragma once

#include "platform/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class Bundle;
class SerialQueue;
}  // namespace platform

// The engine-wide consent state: for four consent types the effective
// setting and the source that set it, the remote configuration's defaults,
// delegations and regional defaults, and a diagnostic code per type.
namespace kit::measurement {

// Type name to value text ("granted", "denied", "eu_consent_policy"), or,
// for delegations, type name to type name. Values of another kind are kept
// but count as neither granted nor denied.
using MSRConsentDictionary = platform::Value::Dictionary;

inline constexpr std::string_view kMSRConsentTypeAdStorage = "ad_storage";
inline constexpr std::string_view kMSRConsentTypeAnalyticsStorage = "analytics_storage";
inline constexpr std::string_view kMSRConsentTypeAdUserData = "ad_user_data";
inline constexpr std::string_view kMSRConsentTypeAdPersonalization = "ad_personalization";

inline constexpr std::string_view kMSRConsentGranted = "granted";
inline constexpr std::string_view kMSRConsentDenied = "denied";
inline constexpr std::string_view kMSRConsentEUPolicy = "eu_consent_policy";

// Where the settings came from; a lower value has the higher priority.
inline constexpr std::int64_t kMSRConsentSourceTCF = 5;
inline constexpr std::int64_t kMSRConsentSourceThirdParty = 10;
inline constexpr std::int64_t kMSRConsentSourcePlist = 20;
inline constexpr std::int64_t kMSRConsentSourceAPI = 30;
inline constexpr std::int64_t kMSRConsentSourceOnStart = 40;
inline constexpr std::int64_t kMSRConsentSourceNone = 100;

// The Info.plist keys of the application's consent defaults.
inline constexpr std::string_view kMSRPlistDefaultAllowAdStorage = "LUMEN_ANALYTICS_DEFAULT_ALLOW_AD_STORAGE";
inline constexpr std::string_view kMSRPlistDefaultAllowAnalyticsStorage =
    "LUMEN_ANALYTICS_DEFAULT_ALLOW_ANALYTICS_STORAGE";
inline constexpr std::string_view kMSRPlistDefaultAllowAdUserData = "LUMEN_ANALYTICS_DEFAULT_ALLOW_AD_USER_DATA";
inline constexpr std::string_view kMSRPlistDefaultAllowAdPersonalization =
    "LUMEN_ANALYTICS_DEFAULT_ALLOW_AD_PERSONALIZATION_SIGNALS";

// 1 "ad_storage", 2 "analytics_storage", 3 "ad_user_data",
// 4 "ad_personalization"; nothing for any other number.
std::optional<std::string_view> MSRConsentTypeName(std::int64_t type);
// 1..4 for the names above, 0 for any other text.
std::int64_t MSRConsentTypeFromName(std::string_view name);
// 1 "granted", 2 "denied"; nothing for any other number.
std::optional<std::string_view> MSRConsentStatusName(std::int64_t status);
// "granted" 1, "denied" 2, anything else 0.
std::int64_t MSRConsentStatusFromName(std::string_view name);
// The diagnostic digit of a source: 5 gives 7; 10 and 30 give 5; 20 gives 3;
// 40 gives 4; anything else 0.
std::int64_t MSRConsentDiagnosticFromSource(std::int64_t source);

// Class operations only. Readers run synchronously on the serial queue and
// answer copies; writers are queued and return at once, so a read after a
// write from the same thread sees the write.
class MSRConsentSettingsUtil {
public:
    MSRConsentSettingsUtil() = delete;

    // "MSRConsentSettingsUtilQueue", made on first use.
    static platform::SerialQueue& serialQueue();

    static std::optional<MSRConsentDictionary> consentSettings();
    static std::optional<MSRConsentDictionary> defaultSettings();
    static std::optional<MSRConsentDictionary> delegatedSettings();
    static std::optional<MSRConsentDictionary> regionalDefaults();

    static std::int64_t consentSource();
    // Stores the source and recomputes every present type's diagnostic from it.
    static void setConsentSource(std::int64_t source);
    static std::int64_t version();
    // Only 1 and 2 are stored; other values are ignored.
    static void setVersion(std::int64_t version);

    // Nothing also sets the source to none and refreshes the diagnostics.
    static void setConsentSettings(std::optional<MSRConsentDictionary> settings);
    static void setDefaultSettings(std::optional<MSRConsentDictionary> settings);
    static void setDelegatedSettings(std::optional<MSRConsentDictionary> settings);
    static void setRegionalDefaults(std::optional<MSRConsentDictionary> settings);
    // Merges into the settings; source and diagnostics stay.
    static void updateSettings(const MSRConsentDictionary& settings);
    // Merges, stores the source, and gives each merged type the source's
    // diagnostic digit.
    static void updateSettings(const MSRConsentDictionary& settings, std::int64_t consentSource);

    static bool isAdStorageDenied();
    static bool isAnalyticsStorageDenied();
    static bool isAdUserDataDenied();
    // 0 for denied, 1 for granted, nothing otherwise.
    static std::optional<std::int64_t> adPersonalization();
    static bool didAdUserDataConsentChange(bool previouslyDenied);

    static bool isConsentSourceEqualPriority(std::int64_t source);
    // Whether a candidate source may replace the current one.
    static bool isConsentSourceHigherPriority(std::int64_t source);

    // Only the four type keys, values as they are.
    static MSRConsentDictionary consentSettingsFromDictionary(const MSRConsentDictionary& dictionary);
    // The application's consent defaults from the main bundle's Info.plist.
    static MSRConsentDictionary consentSettingsFromPlist();
    static MSRConsentDictionary consentSettingsFromPlist(const platform::Bundle& bundle);

    // "G1" and one character each for ad and analytics storage.
    static std::string consentSignals();
    // "1" and one digit per type.
    static std::string consentDiagnostics();
    static void setDiagnosticSource(std::int64_t code, std::string_view consentType);
    static void resetDiagnosticSources();
    static void refreshDiagnosticSources(bool applySource);
    static void unsetAdPersonalization();
    static void clearAllSettings();
    static std::string description();
};

}  // namespace kit::measurement

#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// Names and numbers the event entry and the write pipeline share.
namespace kit::measurement::event_texts {

inline constexpr std::string_view kAppOrigin = "app";
inline constexpr std::string_view kAutoOrigin = "auto";

inline constexpr std::string_view kErrorEventName = "_err";
inline constexpr std::string_view kFirstOpenEventName = "_f";
inline constexpr std::string_view kFirstOpenConsentedEventName = "_fx";
inline constexpr std::string_view kSessionStartEventName = "_s";
inline constexpr std::string_view kSessionStartRolloutEventName = "_ssr";
inline constexpr std::string_view kAppExceptionEventName = "_ae";
inline constexpr std::string_view kCampaignEventName = "_cmp";
inline constexpr std::string_view kPurchaseEventName = "_iap";
inline constexpr std::string_view kDCUEventName = "_dcu";
inline constexpr std::array<std::string_view, 5> kConversionEventNames = {"ecommerce_purchase", "_f", "_iap",
                                                                          "purchase", "refund"};
// Events the real-time daily limit never holds back.
inline constexpr std::array<std::string_view, 4> kRealtimeLimitExemptNames = {"_iap", "_f", "_dcu", "_fx"};

inline constexpr std::string_view kSafelistedParameterName = "la_safelisted";
inline constexpr std::string_view kExtendSessionParameterName = "extend_session";
inline constexpr std::string_view kSubscriptionIDParameterName = "_did";
inline constexpr std::string_view kProductIDParameterName = "product_id";
inline constexpr std::string_view kRolloutsParameterName = "_ffr";
inline constexpr std::string_view kOriginParameterName = "_o";
inline constexpr std::string_view kSessionIDParameterName = "_sid";
inline constexpr std::string_view kSessionNumberParameterName = "_sno";
inline constexpr std::string_view kPreviousFirstOpenParameterName = "_pfo";
inline constexpr std::string_view kUninstallWithoutAppParameterName = "_uwa";
inline constexpr std::string_view kCurrencyParameterName = "currency";
inline constexpr std::string_view kValueParameterName = "value";
inline constexpr std::string_view kCampaignClickIDParameterName = "lclid";
inline constexpr std::string_view kCampaignBraidParameterName = "lbraid";
inline constexpr std::string_view kCampaignSourceParameterName = "lad_source";

inline constexpr std::string_view kSessionIDPropertyName = "_sid";
inline constexpr std::string_view kSessionNumberPropertyName = "_sno";
inline constexpr std::string_view kSessionEngagementPropertyName = "_se";
inline constexpr std::string_view kFirstInstallPropertyName = "_fi";
inline constexpr std::string_view kNonPersonalizedAdsPropertyName = "_npa";

inline constexpr std::string_view kManualInstallSource = "manual_install";

inline constexpr std::int64_t kFailureCodeTooManyDefaults = 26;
inline constexpr std::int64_t kFailureCodeArrayInDefaults = 27;
inline constexpr std::size_t kBlockedEventNameLimit = 40;
// A new session takes stored events from this long before its ID.
inline constexpr double kSessionBackfillLeadSeconds = 15.0;
inline constexpr double kSecondsPerDay = 86400.0;
// Over-limit lines are logged at the first excess event and every
// thousandth after it.
inline constexpr std::int64_t kOverLimitLogInterval = 1000;

template <std::size_t N>
bool isOneOf(std::string_view name, const std::array<std::string_view, N>& names) {
    for (const std::string_view candidate : names) {
        if (candidate == name) {
            return true;
        }
    }
    return false;
}

}  // namespace kit::measurement::event_texts

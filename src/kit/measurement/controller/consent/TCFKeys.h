#pragma once

#include <cstdint>
#include <string_view>

// The keys of the transparency-and-consent data, as the framework and our
// stored copy name them.
namespace kit::measurement::tcf_keys {

inline constexpr std::string_view kEnableAdvertiserConsentMode = "IABTCF_EnableAdvertiserConsentMode";
inline constexpr std::string_view kVendorConsents = "IABTCF_VendorConsents";
inline constexpr std::string_view kVendorLegitimateInterests = "IABTCF_VendorLegitimateInterests";
inline constexpr std::string_view kCmpSdkID = "IABTCF_CmpSdkID";
inline constexpr std::string_view kGdprApplies = "IABTCF_gdprApplies";
inline constexpr std::string_view kPolicyVersion = "IABTCF_PolicyVersion";
inline constexpr std::string_view kPurposeConsents = "IABTCF_PurposeConsents";
inline constexpr std::string_view kPurposeLegitimateInterests = "IABTCF_PurposeLegitimateInterests";
// Followed by the purpose number 1 to 10 in the user defaults; alone in the copy.
inline constexpr std::string_view kPublisherRestrictions = "IABTCF_PublisherRestrictions";
inline constexpr std::string_view kPurposeOneTreatment = "IABTCF_PurposeOneTreatment";
inline constexpr std::string_view kPublisherCC = "IABTCF_PublisherCC";

inline constexpr std::string_view kTCFDataEnabled = "LUMEN_ANALYTICS_TCF_DATA_ENABLED";
inline constexpr std::string_view kStringRepresentation = "tcf_StringRepresentation";
inline constexpr std::string_view kCopySuiteName = "com.lumen.lmp.measurement.tcf.userdefaults";

// The engine's vendor number in the global vendor list, as a bit index.
inline constexpr std::int64_t kLumenVendorBit = 754;
inline constexpr int kPurposeCount = 10;

}  // namespace kit::measurement::tcf_keys

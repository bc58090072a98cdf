#pragma once

#include <string_view>

// Texts that name the platform to the kit's servers. They stay as the
// protocol has them, whatever system the kit runs on.
namespace kit {

inline constexpr std::string_view kApplePlatform = "macos";
inline constexpr std::string_view kDeploymentType = "swiftpm";
// The campaign source of an install attributed to a search ad.
inline constexpr std::string_view kSearchAdCampaignSource = "Apple";

}  // namespace kit

#pragma once

#include "kit/installations/InstallationsItem.h"

#include "platform/Clock.h"
#include "platform/Expected.h"
#include "platform/Value.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Reading the installations service's answers. Every value taken from an
// answer is checked before it goes into a path, a header or the store.
namespace kit::installations {

struct HLOInstallationsResponses {
    // A register answer: the sent item registered, with the server's FID when
    // it gives one. Fails with the JSON or the missing-field error.
    static platform::Expected<HLOInstallationsItem> registeredInstallationWithJSONData(
        std::span<const std::uint8_t> data, platform::TimePoint date, const HLOInstallationsItem& sent);
    // A generate-token answer ("token" and "expiresIn" at the top level).
    static platform::Expected<HLOInstallationsStoredAuthToken> authTokenWithGenerateTokenAPIJSONData(
        std::span<const std::uint8_t> data, platform::TimePoint date);
    static platform::Expected<HLOInstallationsStoredAuthToken> authTokenWithJSONDict(
        const platform::Value::Dictionary& dictionary, platform::TimePoint date);
    // The JSON serialisation error unless the body is a JSON object.
    static platform::Expected<platform::Value::Dictionary> dictionaryFromJSONData(std::span<const std::uint8_t> data);
    // A non-empty string without control characters, else nothing.
    static std::optional<std::string> validStringOrNilForKey(std::string_view key,
                                                             const platform::Value::Dictionary& dictionary);
    // Seconds of an "expiresIn" text: digits with an optional fraction,
    // optionally followed by one "s", at most ten years; else nothing.
    static std::optional<double> secondsOfExpiresIn(std::string_view text);
    // Only [A-Za-z0-9_-]: an FID goes into URL paths.
    static bool isSafeFID(std::string_view fid);
};

}  // namespace kit::installations

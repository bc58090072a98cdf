#include "kit/installations/InstallationsResponses.h"

#include "InstallationsPrivate.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsTexts.h"

#include <chrono>
#include <cmath>
#include <cstdlib>

namespace kit::installations {

namespace {

// Ten years of 365.25 days: far beyond any token the service hands out,
// near enough that a date stays within what a TimePoint holds.
constexpr double kLongestExpiresIn = 10 * 365.25 * 24 * 60 * 60;

bool isDigit(char character) { return character >= '0' && character <= '9'; }

platform::Error missingField(std::string_view name) {
    return HLOInstallationsErrorUtil::FIDRegistrationErrorWithResponseMissingField(name);
}

}  // namespace

std::optional<double> HLOInstallationsResponses::secondsOfExpiresIn(std::string_view text) {
    if (text.ends_with('s')) {
        text.remove_suffix(1);
    }
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto allDigits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), isDigit);
    };
    if (!allDigits(whole) || (point != std::string_view::npos && !allDigits(fraction))) {
        return std::nullopt;
    }
    // Digits and one point only: strtod reads it the same in every locale
    // that keeps "." as its decimal point, and the kit never sets another.
    const std::string digits(text);
    const double seconds = std::strtod(digits.c_str(), nullptr);
    if (!std::isfinite(seconds) || seconds > kLongestExpiresIn) {
        return std::nullopt;
    }
    return seconds;
}

bool HLOInstallationsResponses::isSafeFID(std::string_view fid) {
    return !fid.empty() && std::all_of(fid.begin(), fid.end(), [](char character) {
        return isDigit(character) || (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
               character == '_' || character == '-';
    });
}

std::optional<std::string> HLOInstallationsResponses::validStringOrNilForKey(
    std::string_view key, const platform::Value::Dictionary& dictionary) {
    const auto found = dictionary.find(key);
    if (found == dictionary.end()) {
        return std::nullopt;
    }
    const std::string* text = found->second.asString();
    if (text == nullptr || text->empty() || detail::holdsControlCharacter(*text)) {
        return std::nullopt;
    }
    return *text;
}

platform::Expected<platform::Value::Dictionary> HLOInstallationsResponses::dictionaryFromJSONData(
    std::span<const std::uint8_t> data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    auto parsed = detail::isValidUTF8(data) ? platform::Value::fromJson(text) : std::nullopt;
    if (!parsed || !parsed->isDictionary()) {
        return platform::unexpected(HLOInstallationsErrorUtil::JSONSerializationError(
            platform::Error(std::string(kHLOInstallationsErrorDomain), 0, "not a JSON object")));
    }
    return std::move(*parsed->asDictionary());
}

platform::Expected<HLOInstallationsStoredAuthToken> HLOInstallationsResponses::authTokenWithJSONDict(
    const platform::Value::Dictionary& dictionary, platform::TimePoint date) {
    const auto token = validStringOrNilForKey(kResponseTokenKey, dictionary);
    if (!token) {
        return platform::unexpected(missingField(kMissingFieldAuthTokenToken));
    }
    const auto expiresIn = validStringOrNilForKey(kResponseExpiresInKey, dictionary);
    const auto seconds = expiresIn ? secondsOfExpiresIn(*expiresIn) : std::nullopt;
    if (!seconds) {
        return platform::unexpected(missingField(kMissingFieldAuthTokenExpiresIn));
    }
    HLOInstallationsStoredAuthToken result;
    result.status = HLOInstallationsAuthTokenStatus::tokenReceived;
    result.token = *token;
    result.expirationDate = std::chrono::time_point_cast<std::chrono::microseconds>(date) +
                            std::chrono::microseconds(std::llround(*seconds * 1e6));
    return result;
}

platform::Expected<HLOInstallationsStoredAuthToken> HLOInstallationsResponses::authTokenWithGenerateTokenAPIJSONData(
    std::span<const std::uint8_t> data, platform::TimePoint date) {
    auto dictionary = dictionaryFromJSONData(data);
    if (!dictionary) {
        return platform::unexpected(dictionary.error());
    }
    return authTokenWithJSONDict(dictionary.value(), date);
}

platform::Expected<HLOInstallationsItem> HLOInstallationsResponses::registeredInstallationWithJSONData(
    std::span<const std::uint8_t> data, platform::TimePoint date, const HLOInstallationsItem& sent) {
    auto dictionary = dictionaryFromJSONData(data);
    if (!dictionary) {
        return platform::unexpected(dictionary.error());
    }
    const auto refreshToken = validStringOrNilForKey(kResponseRefreshTokenKey, dictionary.value());
    if (!refreshToken) {
        return platform::unexpected(missingField(kMissingFieldRefreshToken));
    }
    const auto authToken = dictionary.value().find(kResponseAuthTokenKey);
    if (authToken == dictionary.value().end() || !authToken->second.isDictionary()) {
        return platform::unexpected(missingField(kMissingFieldAuthToken));
    }
    auto token = authTokenWithJSONDict(*authToken->second.asDictionary(), date);
    if (!token) {
        return platform::unexpected(token.error());
    }
    HLOInstallationsItem item(sent.appID(), sent.haloAppName());
    item.haloInstallationID = sent.haloInstallationID;
    if (const auto fid = validStringOrNilForKey(kResponseFIDKey, dictionary.value())) {
        if (!isSafeFID(*fid)) {
            return platform::unexpected(missingField(kMissingFieldFID));
        }
        item.haloInstallationID = *fid;
    } else if (const auto found = dictionary.value().find(kResponseFIDKey);
               found != dictionary.value().end() && found->second.isString() && !found->second.asString()->empty()) {
        // A text the checks refused (control characters): a broken answer,
        // not one without a "fid".
        return platform::unexpected(missingField(kMissingFieldFID));
    }
    item.refreshToken = *refreshToken;
    item.authToken = token.value();
    item.registrationStatus = HLOInstallationsRegistrationStatus::registered;
    return item;
}

}  // namespace kit::installations

#pragma once

#include "platform/Expected.h"
#include "platform/Random.h"
#include "platform/Value.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The installation record and the archived forms the store keeps of it.
namespace kit::installations {

enum class HLOInstallationsAuthTokenStatus : std::int64_t {
    unknown = 0,
    tokenReceived = 1,
};

enum class HLOInstallationsRegistrationStatus : std::int64_t {
    unknown = 0,
    unregistered = 1,
    registered = 2,
};

// An auth token as stored. Archived as a dictionary; a newer storage
// version is read with a warning, unknown keys are ignored, and a known key
// holding another type reads as absent.
struct HLOInstallationsStoredAuthToken {
    HLOInstallationsAuthTokenStatus status = HLOInstallationsAuthTokenStatus::unknown;
    std::string token;
    std::optional<platform::Value::Date> expirationDate;
    std::int64_t storageVersion = 1;

    platform::Value archivedValue() const;
    static HLOInstallationsStoredAuthToken fromArchivedValue(const platform::Value::Dictionary& archive);

    bool operator==(const HLOInstallationsStoredAuthToken&) const = default;
};

// An installation as the store archives it, with the same reading rules as
// the token. Only a value that is no dictionary at all fails to decode.
struct HLOInstallationsStoredItem {
    std::string haloInstallationID;
    std::string refreshToken;
    HLOInstallationsStoredAuthToken authToken;
    HLOInstallationsRegistrationStatus registrationStatus = HLOInstallationsRegistrationStatus::unknown;
    std::optional<std::string> IIDDefaultToken;
    std::int64_t storageVersion = 1;

    platform::Value archivedValue() const;
    // The decoding error (NSCocoaErrorDomain 4864) for a value that is not a
    // dictionary.
    static platform::Expected<HLOInstallationsStoredItem> fromArchivedValue(const platform::Value& archive);

    bool operator==(const HLOInstallationsStoredItem&) const = default;
};

// One installation of one app object.
class HLOInstallationsItem {
public:
    HLOInstallationsItem(std::string appID, std::string haloAppName);

    const std::string& appID() const noexcept { return appID_; }
    const std::string& haloAppName() const noexcept { return haloAppName_; }

    std::string haloInstallationID;  // the FID
    std::string refreshToken;
    HLOInstallationsStoredAuthToken authToken;
    HLOInstallationsRegistrationStatus registrationStatus = HLOInstallationsRegistrationStatus::unknown;
    std::optional<std::string> IIDDefaultToken;  // a migrated legacy token

    // The key of the keychain item and of the existence marker.
    std::string identifier() const { return identifierWithAppID(appID_, haloAppName_); }
    // The app ID immediately followed by the app name.
    static std::string identifierWithAppID(std::string_view appID, std::string_view appName);

    void updateWithStoredItem(const HLOInstallationsStoredItem& item);
    HLOInstallationsStoredItem storedItem() const;

    // Every finding at once, joined into one code-0 error.
    platform::Expected<void> isValid() const;

    // A new FID from a random version-4 UUID.
    static std::string generateFID(platform::RandomSource& random = platform::systemRandom());
    // The FID of those UUID bytes: 22 URL-safe base64 characters, the first
    // one of c, d, e or f.
    static std::string FIDWithUUIDBytes(std::span<const std::uint8_t, 16> uuid);
    // 16 random bytes with the version-4 and variant bits set.
    static std::array<std::uint8_t, 16> randomUUIDBytes(platform::RandomSource& random);

    bool operator==(const HLOInstallationsItem&) const = default;

private:
    std::string appID_;
    std::string haloAppName_;
};

}  // namespace kit::installations

#include "kit/installations/InstallationsItem.h"

#include "InstallationsPrivate.h"
#include "kit/core/KeychainStorage.h"
#include "kit/core/KitError.h"
#include "kit/core/Logger.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsResponses.h"
#include "kit/installations/InstallationsTexts.h"

#include "platform/MessageFormat.h"

#include <cstring>

namespace kit::installations {

namespace {

// A key of the archive, or nothing when it is absent or of another type.
const std::string* stringFor(const platform::Value::Dictionary& archive, std::string_view key) {
    const auto found = archive.find(key);
    return found == archive.end() ? nullptr : found->second.asString();
}

// Integers only: a stored text or date is not a number here.
std::optional<std::int64_t> integerFor(const platform::Value::Dictionary& archive, std::string_view key) {
    const auto found = archive.find(key);
    if (found == archive.end() || !found->second.isInteger()) {
        return std::nullopt;
    }
    return found->second.asInteger();
}

// The stored version, warning about one newer than ours.
std::int64_t readStorageVersion(const platform::Value::Dictionary& archive, long current, std::string_view code,
                                std::string_view format) {
    const std::int64_t version = integerFor(archive, kStorageVersionKey).value_or(0);
    if (version > current) {
        HLOLogWarningMessage(kHLOInstallationsLogService, code, format, static_cast<long>(version), current);
    }
    return version;
}

}  // namespace

// --- HLOInstallationsStoredAuthToken

platform::Value HLOInstallationsStoredAuthToken::archivedValue() const {
    platform::Value::Dictionary archive;
    archive.emplace(kAuthTokenStatusKey, static_cast<std::int64_t>(status));
    archive.emplace(kAuthTokenTokenKey, token);
    if (expirationDate) {
        archive.emplace(kAuthTokenExpirationDateKey, *expirationDate);
    }
    archive.emplace(kStorageVersionKey, static_cast<std::int64_t>(kStoredAuthTokenStorageVersion));
    return platform::Value(std::move(archive));
}

HLOInstallationsStoredAuthToken HLOInstallationsStoredAuthToken::fromArchivedValue(
    const platform::Value::Dictionary& archive) {
    readStorageVersion(archive, kStoredAuthTokenStorageVersion, kNewerAuthTokenCode, kNewerAuthTokenFormat);
    HLOInstallationsStoredAuthToken result;
    result.status = static_cast<HLOInstallationsAuthTokenStatus>(integerFor(archive, kAuthTokenStatusKey).value_or(0));
    if (const auto* token = stringFor(archive, kAuthTokenTokenKey)) {
        result.token = *token;
    }
    if (const auto found = archive.find(kAuthTokenExpirationDateKey); found != archive.end()) {
        if (const auto* date = found->second.asDate()) {
            result.expirationDate = *date;
        }
    }
    // What we hold now is of our own version, whatever it was read from.
    result.storageVersion = kStoredAuthTokenStorageVersion;
    return result;
}

// --- HLOInstallationsStoredItem

platform::Value HLOInstallationsStoredItem::archivedValue() const {
    platform::Value::Dictionary archive;
    archive.emplace(kStoredItemFIDKey, haloInstallationID);
    archive.emplace(kStoredItemRefreshTokenKey, refreshToken);
    archive.emplace(kStoredItemAuthTokenKey, authToken.archivedValue());
    archive.emplace(kStoredItemStatusKey, static_cast<std::int64_t>(registrationStatus));
    if (IIDDefaultToken) {
        archive.emplace(kStoredItemIIDDefaultTokenKey, *IIDDefaultToken);
    }
    archive.emplace(kStorageVersionKey, static_cast<std::int64_t>(kStoredItemStorageVersion));
    return platform::Value(std::move(archive));
}

platform::Expected<HLOInstallationsStoredItem> HLOInstallationsStoredItem::fromArchivedValue(
    const platform::Value& value) {
    const auto* archive = value.asDictionary();
    if (archive == nullptr) {
        return platform::unexpected(
            makeKitError(kCocoaErrorDomain, kCoderReadCorruptError,
                         {"The data couldn't be read because it isn't in the correct format.", {}, {}}));
    }
    readStorageVersion(*archive, kStoredItemStorageVersion, kNewerStoredItemCode, kNewerStoredItemFormat);
    HLOInstallationsStoredItem result;
    if (const auto* fid = stringFor(*archive, kStoredItemFIDKey)) {
        result.haloInstallationID = *fid;
    }
    if (const auto* refreshToken = stringFor(*archive, kStoredItemRefreshTokenKey)) {
        result.refreshToken = *refreshToken;
    }
    if (const auto found = archive->find(kStoredItemAuthTokenKey); found != archive->end()) {
        if (const auto* token = found->second.asDictionary()) {
            result.authToken = HLOInstallationsStoredAuthToken::fromArchivedValue(*token);
        }
    }
    result.registrationStatus =
        static_cast<HLOInstallationsRegistrationStatus>(integerFor(*archive, kStoredItemStatusKey).value_or(0));
    if (const auto* legacyToken = stringFor(*archive, kStoredItemIIDDefaultTokenKey)) {
        result.IIDDefaultToken = *legacyToken;
    }
    result.storageVersion = kStoredItemStorageVersion;
    return result;
}

// --- HLOInstallationsItem

HLOInstallationsItem::HLOInstallationsItem(std::string appID, std::string haloAppName)
    : appID_(std::move(appID)), haloAppName_(std::move(haloAppName)) {}

std::string HLOInstallationsItem::identifierWithAppID(std::string_view appID, std::string_view appName) {
    std::string identifier(appID);
    identifier += appName;
    return identifier;
}

void HLOInstallationsItem::updateWithStoredItem(const HLOInstallationsStoredItem& item) {
    haloInstallationID = item.haloInstallationID;
    refreshToken = item.refreshToken;
    authToken = item.authToken;
    registrationStatus = item.registrationStatus;
    IIDDefaultToken = item.IIDDefaultToken;
}

HLOInstallationsStoredItem HLOInstallationsItem::storedItem() const {
    HLOInstallationsStoredItem item;
    item.haloInstallationID = haloInstallationID;
    item.refreshToken = refreshToken;
    item.authToken = authToken;
    item.registrationStatus = registrationStatus;
    item.IIDDefaultToken = IIDDefaultToken;
    return item;
}

platform::Expected<void> HLOInstallationsItem::isValid() const {
    std::vector<std::string_view> findings;
    if (appID_.empty()) {
        findings.push_back(kValidationAppIDEmpty);
    }
    if (haloAppName_.empty()) {
        findings.push_back(kValidationAppNameEmpty);
    }
    if (haloInstallationID.empty()) {
        findings.push_back(kValidationFIDEmpty);
    } else if (!HLOInstallationsResponses::isSafeFID(haloInstallationID)) {
        // A stored ID goes into URL paths and headers as a fresh one does.
        findings.push_back(kValidationFIDUnsafe);
    }
    switch (registrationStatus) {
    case HLOInstallationsRegistrationStatus::unregistered:
        break;
    case HLOInstallationsRegistrationStatus::registered:
        if (refreshToken.empty()) {
            findings.push_back(kValidationRefreshTokenEmpty);
        }
        if (authToken.token.empty()) {
            findings.push_back(kValidationAuthTokenEmpty);
        }
        if (!authToken.expirationDate) {
            findings.push_back(kValidationExpirationDateEmpty);
        }
        if (detail::holdsControlCharacter(refreshToken) || detail::holdsControlCharacter(authToken.token)) {
            findings.push_back(kValidationTokenUnsafe);
        }
        break;
    default:
        // Unknown, or a value no version writes (a damaged or forged store).
        findings.push_back(kValidationStatusInvalid);
        break;
    }
    if (findings.empty()) {
        return {};
    }
    std::string joined;
    for (const auto finding : findings) {
        joined += joined.empty() ? "" : ", ";
        joined += finding;
    }
    return platform::unexpected(HLOInstallationsErrorUtil::installationsErrorWithCode(
        HLOInstallationsErrorCode::unknown, platform::formatMessage(kValidationErrorsFormat, {joined}), nullptr));
}

std::array<std::uint8_t, 16> HLOInstallationsItem::randomUUIDBytes(platform::RandomSource& random) {
    std::array<std::uint8_t, 16> bytes{};
    const std::uint64_t words[2] = {random.next(), random.next()};
    std::memcpy(bytes.data(), words, sizeof words);
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
    return bytes;
}

std::string HLOInstallationsItem::FIDWithUUIDBytes(std::span<const std::uint8_t, 16> uuid) {
    std::array<std::uint8_t, 17> bytes{};
    // 0111 in the high nibble makes the first character c, d, e or f.
    bytes[0] = static_cast<std::uint8_t>(0x70 | (uuid[15] & 0x0f));
    std::memcpy(bytes.data() + 1, uuid.data(), uuid.size());
    return detail::URLSafeBase64(bytes).substr(0, 22);
}

std::string HLOInstallationsItem::generateFID(platform::RandomSource& random) {
    const auto uuid = randomUUIDBytes(random);
    return FIDWithUUIDBytes(uuid);
}

}  // namespace kit::installations

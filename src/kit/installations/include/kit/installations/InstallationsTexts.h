#pragma once

#include <string_view>

// The installation client's own texts: error domain and reasons, archive
// keys, log codes, queue labels, keychain services and legacy names.
namespace kit::installations {

inline constexpr std::string_view kHLOInstallationsErrorDomain = "com.halo.installations";
inline constexpr std::string_view kHLOInstallationsLogService = "[HaloInstallations]";

// --- Error reasons
inline constexpr std::string_view kKeyedArchiverExceptionFormat =
    "NSKeyedArchiver exception with name: %@, reason: %@, userInfo: %@";
inline constexpr std::string_view kKeyedArchiverErrorReason = "NSKeyedArchiver error.";
inline constexpr std::string_view kKeychainErrorFormat = "%@ (%li)";
inline constexpr std::string_view kItemNotFoundFormat = "Installation for appID %@ appName %@ not found";
inline constexpr std::string_view kCorruptedIIDTokenDataReason =
    "IID token data stored in Keychain is corrupted or in an incompatible format.";
inline constexpr std::string_view kJSONSerializationReason = "Failed to serialize JSON data.";
inline constexpr std::string_view kMissingResponseFieldFormat = "A required response field with name %@ is missing";
inline constexpr std::string_view kNetworkErrorReason = "Network connection error.";
inline constexpr std::string_view kBackoffIntervalWaitReason = "Too many server requests.";
inline constexpr std::string_view kUnderlyingErrorFormat = "Underlying error: %@";
inline constexpr std::string_view kHTTPErrorFormat =
    "The server responded with an error: \n - URL: %@ \n - HTTP status code: %ld \n - Response body: %@";
inline constexpr std::string_view kMarkerWriteFailedFormat = "Could not write the installation marker to %@: %@";

// --- Validation of an installation record
inline constexpr std::string_view kValidationErrorsFormat = "HLOInstallationsItem validation errors: %@";
inline constexpr std::string_view kValidationAppIDEmpty = "`appID` must not be empty";
inline constexpr std::string_view kValidationAppNameEmpty = "`haloAppName` must not be empty";
inline constexpr std::string_view kValidationFIDEmpty = "`haloInstallationID` must not be empty";
inline constexpr std::string_view kValidationStatusInvalid = "invalid `registrationStatus`";
inline constexpr std::string_view kValidationRefreshTokenEmpty =
    "registered installation must have non-empty `refreshToken`";
inline constexpr std::string_view kValidationAuthTokenEmpty =
    "registered installation must have non-empty `authToken.token`";
inline constexpr std::string_view kValidationExpirationDateEmpty =
    "registered installation must have non-empty `authToken.expirationDate`";

// --- Archived forms
inline constexpr std::string_view kStoredItemClassName = "HLOInstallationsStoredItem";
inline constexpr std::string_view kStoredItemFIDKey = "haloInstallationID";
inline constexpr std::string_view kStoredItemRefreshTokenKey = "refreshToken";
inline constexpr std::string_view kStoredItemAuthTokenKey = "authToken";
inline constexpr std::string_view kStoredItemStatusKey = "registrationStatus";
inline constexpr std::string_view kStoredItemIIDDefaultTokenKey = "IIDDefaultToken";
inline constexpr std::string_view kStorageVersionKey = "storageVersion";
inline constexpr std::string_view kAuthTokenStatusKey = "status";
inline constexpr std::string_view kAuthTokenTokenKey = "token";
inline constexpr std::string_view kAuthTokenExpirationDateKey = "expirationDate";
inline constexpr long kStoredItemStorageVersion = 1;
inline constexpr long kStoredAuthTokenStorageVersion = 1;

// --- Log lines
inline constexpr std::string_view kNewerStoredItemCode = "I-INS003000";
inline constexpr std::string_view kNewerStoredItemFormat =
    "HLOInstallationsStoredItem was encoded by a newer coder version %ld. Current coder version is %ld. Some "
    "installation data may be lost.";
inline constexpr std::string_view kNewerAuthTokenCode = "I-INS004000";
inline constexpr std::string_view kNewerAuthTokenFormat =
    "HLOInstallationsStoredAuthToken was encoded by a newer coder version %ld. Current coder version is %ld. Some "
    "auth token data may be lost.";

// --- Store
inline constexpr std::string_view kStoreQueueLabel = "com.halo.HLOInstallationsStore";
inline constexpr std::string_view kKeychainServicePrefix = "com.halo.HLOInstallations.installations";
inline constexpr std::string_view kDefaultMarkerSuiteName = "com.halo.HLOInstallations";

// --- Legacy instance identifier
inline constexpr std::string_view kLegacyFolder = "Lumen/HaloInstanceID";
inline constexpr std::string_view kLegacyFlagFileName = "com.lumen.iid-keypair.plist";
inline constexpr std::string_view kLegacyFlagKey = "|S|cre";
inline constexpr std::string_view kLegacyPublicKeyTagPrefix = "com.lumen.iid.keypair.public-";
inline constexpr std::string_view kLegacyPrivateKeyTagPrefix = "com.lumen.iid.keypair.private-";
inline constexpr std::string_view kLegacyTokenGeneric = "com.lumen.iid-tokens";
inline constexpr std::string_view kLegacyTokenServiceFormat = "%@:%@";
inline constexpr std::string_view kLegacyTokenScope = "*";
inline constexpr std::string_view kLegacyTokenKey = "token";
inline constexpr std::string_view kSecItemDelete = "SecItemDelete";
inline constexpr std::string_view kSecItemCopyMatching = "SecItemCopyMatching";

}  // namespace kit::installations

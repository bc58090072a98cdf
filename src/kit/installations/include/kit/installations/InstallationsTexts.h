#pragma once

#include <cstddef>
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
inline constexpr std::string_view kValidationFIDUnsafe =
    "`haloInstallationID` must hold only letters, digits, '-' and '_'";
inline constexpr std::string_view kValidationStatusInvalid = "invalid `registrationStatus`";
inline constexpr std::string_view kValidationTokenUnsafe =
    "registered installation must have tokens without control characters";
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

// --- REST client
inline constexpr std::string_view kRegisterPathFormat = "%@/v1/projects/%@/installations/";
inline constexpr std::string_view kGenerateAuthTokenPathFormat =
    "%@/v1/projects/%@/installations/%@/authTokens:generate";
inline constexpr std::string_view kDeletePathFormat = "%@/v1/projects/%@/installations/%@/";
inline constexpr std::string_view kSDKVersionFormat = "i:%@";
inline constexpr std::string_view kAuthVersion = "INS_v2";
inline constexpr std::string_view kAuthorizationFormat = "INS_v2 %@";
inline constexpr std::string_view kMethodPost = "POST";
inline constexpr std::string_view kMethodDelete = "DELETE";
inline constexpr std::string_view kHeaderAPIKey = "X-Lumen-Api-Key";
inline constexpr std::string_view kHeaderBundleIdentifier = "X-Ios-Bundle-Identifier";
inline constexpr std::string_view kHeaderContentType = "Content-Type";
inline constexpr std::string_view kContentTypeJSON = "application/json";
inline constexpr std::string_view kHeaderAuthorization = "Authorization";
inline constexpr std::string_view kHeaderHeartbeat = "X-halo-client";
inline constexpr std::string_view kHeaderIIDMigrationAuth = "x-lumen-ins-ios-iid-migration-auth";
inline constexpr std::string_view kBodyFIDKey = "fid";
inline constexpr std::string_view kBodyAuthVersionKey = "authVersion";
inline constexpr std::string_view kBodyAppIDKey = "appId";
inline constexpr std::string_view kBodySDKVersionKey = "sdkVersion";
inline constexpr std::string_view kBodyInstallationKey = "installation";
inline constexpr std::string_view kResponseFIDKey = "fid";
inline constexpr std::string_view kResponseRefreshTokenKey = "refreshToken";
inline constexpr std::string_view kResponseAuthTokenKey = "authToken";
inline constexpr std::string_view kResponseTokenKey = "token";
inline constexpr std::string_view kResponseExpiresInKey = "expiresIn";
inline constexpr std::string_view kMissingFieldAuthToken = "authToken";
inline constexpr std::string_view kMissingFieldAuthTokenToken = "authToken.token";
inline constexpr std::string_view kMissingFieldAuthTokenExpiresIn = "authToken.expiresIn";
inline constexpr std::string_view kMissingFieldRefreshToken = "refreshToken";
inline constexpr std::string_view kMissingFieldFID = "fid";
inline constexpr std::string_view kUnsafeHeaderContext = "A header value holds a line break";

inline constexpr std::string_view kSendingRequestCode = "I-INS001001";
inline constexpr std::string_view kSendingRequestFormat = "Sending request: %@, body:%@, headers: %@.";
inline constexpr std::string_view kRequestFailedCode = "I-INS001002";
inline constexpr std::string_view kRequestFailedFormat = "Request failed: %@, error: %@.";
inline constexpr std::string_view kResponseReceivedCode = "I-INS001003";
inline constexpr std::string_view kResponseReceivedFormat = "Request response received: %@, error: %@, body: %@.";
inline constexpr std::string_view kUnexpectedResponseCode = "I-INS001004";
inline constexpr std::string_view kUnexpectedResponseFormat = "Unexpected API response: %@, body: %@.";
inline constexpr std::string_view kParsingResponseCode = "I-INS001005";
inline constexpr std::string_view kParsingResponseFormat = "Parsing server response for %@.";
inline constexpr std::string_view kItemParseFailedCode = "I-INS001006";
inline constexpr std::string_view kItemParseFailedFormat = "Failed to parse HLOInstallationsItem: %@.";
inline constexpr std::string_view kItemParsedCode = "I-INS001007";
inline constexpr std::string_view kItemParsed = "HLOInstallationsItem parsed successfully.";
inline constexpr std::string_view kTokenParseFailedCode = "I-INS001008";
inline constexpr std::string_view kTokenParseFailedFormat = "Failed to parse HLOInstallationsStoredAuthToken: %@.";
inline constexpr std::string_view kTokenParsedCode = "I-INS001009";
inline constexpr std::string_view kTokenParsed = "HLOInstallationsStoredAuthToken parsed successfully.";

// --- ID controller
inline constexpr std::string_view kHLOInstallationIDDidChangeNotification = "HLOInstallationIDDidChangeNotification";
inline constexpr std::string_view kDefaultAppName = "__HLOAPP_DEFAULT";
inline constexpr std::string_view kGetInstallationCode = "I-INS002000";
inline constexpr std::string_view kGetInstallationFormat = "%s, appName: %@";
inline constexpr std::string_view kGetInstallationFunction =
    "-[HLOInstallationsIDController createGetInstallationItemPromise]";
inline constexpr std::string_view kValidAuthTokenCode = "I-INS002001";
inline constexpr std::string_view kValidAuthTokenFormat =
    "-[HLOInstallationsIDController installationWithValidAuthTokenForcingRefresh:%@], appName: %@";
inline constexpr std::string_view kDeleteInstallationCode = "I-INS002002";
inline constexpr std::string_view kDeleteInstallationFormat = "%s, appName: %@";
inline constexpr std::string_view kDeleteInstallationFunction =
    "-[HLOInstallationsIDController createDeleteInstallationPromise]";
inline constexpr std::string_view kRegistrationFailedCode = "I-INS002003";
inline constexpr std::string_view kRegistrationFailedFormat =
    "Halo Installation registration failed for app with name: %@, error:\n%@\nPlease make sure you use valid "
    "LumenService-Info.plist";
inline constexpr std::string_view kStoredInstallationInvalidCode = "I-INS002004";
inline constexpr std::string_view kStoredInstallationInvalidFormat = "Stored installation validation error: %@";
inline constexpr std::string_view kControllerGoneReason = "The installations controller has been released.";
inline constexpr std::string_view kInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr std::string_view kNilOperationHandlerReason = "`newOperationHandler` must not be `nil`.";
inline constexpr std::string_view kNilControllerReason = "`installationsIDController` must not be `nil`.";

// --- Public interface
inline constexpr std::string_view kInstallationsClassName = "HLOInstallations";
inline constexpr std::string_view kInstallationsLibraryName = "fire-install";
inline constexpr std::string_view kInstallationsExceptionName = "com.halo.installations";
inline constexpr std::string_view kNoDefaultAppReason =
    "The default HaloApp instance must be configured before the defaultHaloApp instance can be initialized. One way "
    "to ensure this is to call `HaloApp.configure()` in the App  Delegate's "
    "`application(_:didFinishLaunchingWithOptions:)` "
    "(or the `@main` struct's initializer in SwiftUI).";
inline constexpr std::string_view kInvalidOptionsCode = "I-INS008000";
inline constexpr std::string_view kMissingOptionsFormat =
    "%@[%@] Could not configure Halo Installations due to invalid HaloApp options. The following parameters are nil "
    "or empty: %@. If you use LumenServices-Info.plist please download the most recent version from the Halo "
    "Console. If you configure Halo in code, please make sure you specify all required parameters.";
inline constexpr std::string_view kInvalidAPIKeyFormat =
    "%@[%@] Could not configure Halo Installations due to invalid HaloApp options. `HaloOptions.APIKey` doesn't match "
    "the expected format: %@. If you use LumenServices-Info.plist please download the most recent version from the "
    "Halo Console. If you configure Halo in code, please make sure you specify all required parameters.";
inline constexpr std::string_view kOptionAppName = "`HaloApp.name`";
inline constexpr std::string_view kOptionAPIKey = "`HaloOptions.APIKey`";
inline constexpr std::string_view kOptionAppID = "`HaloOptions.lumenAppID`";
inline constexpr std::string_view kOptionProjectID = "`HaloOptions.projectID`";
inline constexpr std::size_t kAPIKeyLength = 39;
inline constexpr std::string_view kAPIKeyLengthFormat = "API Key length must be %lu characters";
inline constexpr std::string_view kAPIKeyFirstCharacter = "API Key must start with `A`";
inline constexpr std::string_view kAPIKeyCharacters = "API Key must contain only base64 url-safe characters characters";
inline constexpr std::string_view kLegacyInstanceIDClassName = "HLOInstanceID";
inline constexpr std::string_view kIncompatibleInstanceIDReason =
    "Halo Instance ID is not compatible with Halo 8.x+. Please remove the dependency from the app. See the kit's "
    "setup guide (\"SetupGuideURL\" of the endpoints resource) for how to move to Halo Installations.";

}  // namespace kit::installations

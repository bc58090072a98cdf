#pragma once

#include <string_view>

// The configuration core's own texts: names, keys, log codes and messages.
namespace kit::core_texts {

inline constexpr std::string_view kExceptionName = "com.halo.core";
inline constexpr std::string_view kInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr std::string_view kAssertionException = "NSInternalInconsistencyException";
inline constexpr std::string_view kErrorDomain = "com.halo.core";

inline constexpr std::string_view kDefaultAppName = "__HLOAPP_DEFAULT";
inline constexpr std::string_view kOptionsFileName = "LumenService-Info";
inline constexpr std::string_view kOptionsFileType = "plist";

// Notifications and their user-info keys.
inline constexpr std::string_view kAppReadyToConfigureSDKNotification = "HLOAppReadyToConfigureSDKNotification";
inline constexpr std::string_view kAppDeleteNotification = "HLOAppDeleteNotification";
inline constexpr std::string_view kAnalyticsConfigurationSetEnabledNotification =
    "HLOAnalyticsConfigurationSetEnabledNotification";
inline constexpr std::string_view kAppNameKey = "HLOAppNameKey";
inline constexpr std::string_view kAppIsDefaultAppKey = "HLOAppIsDefaultAppKey";
inline constexpr std::string_view kLumenAppIDKey = "HLOLumenAppIDKey";

// Info.plist and options keys.
inline constexpr std::string_view kDataCollectionDefaultEnabledPlistKey = "HaloDataCollectionDefaultEnabled";
inline constexpr std::string_view kIsMeasurementEnabledKey = "IS_MEASUREMENT_ENABLED";
inline constexpr std::string_view kAnalyticsCollectionEnabledKey = "HALO_ANALYTICS_COLLECTION_ENABLED";
inline constexpr std::string_view kAnalyticsCollectionDeactivatedKey = "HALO_ANALYTICS_COLLECTION_DEACTIVATED";
inline constexpr std::string_view kURLTypesKey = "CFBundleURLTypes";
inline constexpr std::string_view kURLSchemesKey = "CFBundleURLSchemes";

// User-defaults keys.
inline constexpr std::string_view kDataCollectionDefaultsKeyFormat = "/lumen/halo/global_data_collection_enabled:%@";
inline constexpr std::string_view kMeasurementEnabledStateKey = "/lumen/measurement/measurement_enabled_state";

// Raises.
inline constexpr std::string_view kMissingOptionsFormat =
    "`HaloApp.configure()` could not find a valid LumenService-Info.plist in your project. Please download one "
    "from %@.";
inline constexpr std::string_view kNilOptions = "Options is nil. Please pass a valid options.";
inline constexpr std::string_view kNilNameOrOptions = "Neither name nor options can be nil.";
inline constexpr std::string_view kEmptyName = "Name cannot be empty.";
inline constexpr std::string_view kBadNameCharacters =
    "App name can only contain alphanumeric, hyphen (-), and underscore (_) characters";
inline constexpr std::string_view kDefaultConfiguredTwice = "Default app has already been configured.";
inline constexpr std::string_view kNamedConfiguredTwiceFormat = "App named %@ has already been configured.";
inline constexpr std::string_view kConfigurationFails =
    "Configuration fails. It may be caused by an invalid LUMEN_APP_ID in LumenService-Info.plist or set in the "
    "customized options.";
inline constexpr std::string_view kOptionsLocked =
    "Attempted to modify options after it's set on HLOApp. Please modify all properties before initializing "
    "HLOApp.";
inline constexpr std::string_view kBadLibraryFormat =
    "Class %@ attempted to register components, but it does not conform to `HLOLibrary or provide a "
    "`componentsToRegister:` method.";
inline constexpr std::string_view kInvalidLoggerLevelFormat = "Invalid logger level, %ld";

// Log lines: code, then message.
inline constexpr std::string_view kConfiguringDefaultCode = "I-COR000001";
inline constexpr std::string_view kConfiguringDefault = "Configuring the default app.";
inline constexpr std::string_view kConfiguringNamedCode = "I-COR000002";
inline constexpr std::string_view kConfiguringNamedFormat = "Configuring app named %@";
inline constexpr std::string_view kNoDefaultAppCode = "I-COR000003";
inline constexpr std::string_view kNoDefaultAppFormat =
    "The default Halo app has not yet been configured. Add `HaloApp.configure()` to your application "
    "initialization. This can be done in in the App Delegate's application(_:didFinishLaunchingWithOptions:)` (or "
    "the `@main` struct's initializer in SwiftUI). Read more: %@";
inline constexpr std::string_view kNoSuchAppCode = "I-COR000004";
inline constexpr std::string_view kNoSuchAppFormat = "App with name %@ does not exist.";
inline constexpr std::string_view kNoAppsCode = "I-COR000005";
inline constexpr std::string_view kNoApps = "No app has been configured yet.";
inline constexpr std::string_view kDeletingAppCode = "I-COR000006";
inline constexpr std::string_view kDeletingAppFormat = "Deleting app named %@";
inline constexpr std::string_view kDeleteMissingAppCode = "I-COR000007";
inline constexpr std::string_view kDeleteMissingApp = "App does not exist.";
inline constexpr std::string_view kBundleMismatchCode = "I-COR000008";
inline constexpr std::string_view kBundleMismatchFormat =
    "The project's Bundle ID is inconsistent with either the Bundle ID in '%@.%@', or the Bundle ID in the options "
    "if you are using a customized options. To ensure that everything can be configured correctly, you may need to "
    "make the Bundle IDs consistent. To continue with this plist file, you may change your app's bundle identifier "
    "to '%@'. Or you can download a new configuration file that matches your bundle identifier from %@ and replace "
    "the current one.";
inline constexpr std::string_view kInvalidAppIDCode = "I-COR000009";
inline constexpr std::string_view kInvalidAppIDFormat =
    "The LUMEN_APP_ID either in the plist file '%@.%@' or the one set in the customized options is invalid. If you "
    "are using the plist file, use the iOS version of bundle identifier to download the file, and do not manually "
    "edit the LUMEN_APP_ID. You may change your app's bundle identifier to '%@'. Or you can download a new "
    "configuration file that matches your bundle identifier from %@ and replace the current one.";
inline constexpr std::string_view kUnknownAppIDVersionCode = "I-COR000010";
inline constexpr std::string_view kUnknownAppIDVersionFormat = "Unknown LUMEN_APP_ID version: %@";
inline constexpr std::string_view kOptionsNotDictionaryCode = "I-COR000011";
inline constexpr std::string_view kOptionsNotDictionaryFormat = "The configuration file is not a dictionary: '%@.%@'.";
inline constexpr std::string_view kOptionsNotFoundCode = "I-COR000012";
inline constexpr std::string_view kOptionsNotFoundFormat = "Could not locate configuration file: '%@.%@'.";
inline constexpr std::string_view kNilPathCode = "I-COR000013";
inline constexpr std::string_view kNilPath = "The plist file path is nil.";
inline constexpr std::string_view kBadOptionsFileCode = "I-COR000014";
inline constexpr std::string_view kBadOptionsFileFormat =
    "The configuration file at %@ does not exist or is not a well-formed plist file.";
inline constexpr std::string_view kBadLibraryNameCode = "I-COR000027";
inline constexpr std::string_view kBadLibraryNameFormat =
    "The library name (%@) or version number (%@) contain invalid characters. Only alphanumeric, dash, underscore "
    "and period characters are allowed.";
inline constexpr std::string_view kDuplicateProtocolCode = "I-COR000029";
inline constexpr std::string_view kDuplicateProtocolFormat =
    "Attempted to register protocol %@, but it already has an implementation.";
inline constexpr std::string_view kNonConformingCode = "I-COR000030";
inline constexpr std::string_view kNonConformingFormat =
    "An instance conforming to %@ was requested, but the instance provided does not conform to the protocol";
inline constexpr std::string_view kIgnoringSecondConfigureCode = "I-COR000035";
inline constexpr std::string_view kIgnoringSecondConfigure = "Ignoring second `configure` call in an extension.";
inline constexpr std::string_view kSettingNotSavedCode = "I-COR000041";
inline constexpr std::string_view kSettingNotSavedFormat =
    "Could not save the setting %@; the change holds until the program ends. %@";

// Returned errors.
inline constexpr int kMissingOptionsErrorCode = -100;
inline constexpr std::string_view kMissingOptionsDescription =
    "Unable to parse LumenService-Info.plist in order to configure services.";
inline constexpr std::string_view kMissingOptionsRecovery = "Check formatting and location of LumenService-Info.plist.";
inline constexpr int kInvalidAppIDErrorCode = -101;
inline constexpr std::string_view kInvalidAppIDDescription = "Unable to validate Lumen App ID";
inline constexpr std::string_view kInvalidAppIDRecovery =
    "Check formatting and location of LumenService-Info.plist or LumenAppID set in the customized options.";
inline constexpr std::string_view kRecoverySuggestionKey = "NSLocalizedRecoverySuggestion";

// Lifecycle notifications the host posts on the default notification
// center, for every part of the kit.
inline constexpr std::string_view kApplicationDidFinishLaunchingNotification = "LumenApplicationDidFinishLaunching";
inline constexpr std::string_view kApplicationDidBecomeActiveNotification = "LumenApplicationDidBecomeActive";
inline constexpr std::string_view kApplicationWillResignActiveNotification = "LumenApplicationWillResignActive";
inline constexpr std::string_view kWindowDidResignKeyNotification = "LumenWindowDidResignKey";
inline constexpr std::string_view kApplicationWillTerminateNotification = "LumenApplicationWillTerminate";

}  // namespace kit::core_texts

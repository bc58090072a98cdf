#pragma once

#include "platform/Bundle.h"
#include "platform/Value.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

// Where the kit finds its files: the main bundle, which also holds the kit's
// own code since the kit is linked into the executable.
struct HLOBundleUtil {
    static std::vector<const platform::Bundle*> relevantBundles();
    static std::optional<std::filesystem::path> optionsDictionaryPathWithResourceName(
        std::string_view resourceName, std::string_view fileType, const std::vector<const platform::Bundle*>& bundles);
    static std::vector<std::string> relevantURLSchemes();
    static bool hasBundleIdentifierPrefix(std::string_view bundleIdentifier,
                                          const std::vector<const platform::Bundle*>& bundles);
    static std::string bundleIdentifierByRemovingLastPartFrom(std::string_view bundleIdentifier);
};

// The kit's options, from "LumenService-Info.plist" or made by the caller.
// Once handed to an app its copy is locked, and every setter raises.
class HLOOptions {
public:
    // The shared options of the options file, read once (until reset); null
    // when the file is missing or not a dictionary.
    static std::shared_ptr<const HLOOptions> defaultOptions();
    static std::optional<platform::Value::Dictionary> defaultOptionsDictionary();
    static std::optional<std::filesystem::path> plistFilePathWithName(std::string_view fileName);
    static void resetDefaultOptions();

    // Null (with an error line) for no path, or a file that is not a
    // readable dictionary.
    static std::shared_ptr<HLOOptions> initWithContentsOfFile(const std::optional<std::filesystem::path>& path);
    // "BUNDLE_ID" is the main bundle's identifier.
    HLOOptions(std::string_view lumenAppID, std::string_view LCMSenderID);
    // The internal initializer: options of a dictionary read from a file.
    explicit HLOOptions(platform::Value::Dictionary optionsDictionary);

    std::optional<std::string> APIKey() const { return stringFor("API_KEY"); }
    std::optional<std::string> clientID() const { return stringFor("CLIENT_ID"); }
    std::optional<std::string> trackingID() const { return stringFor("TRACKING_ID"); }
    std::optional<std::string> LCMSenderID() const { return stringFor("LCM_SENDER_ID"); }
    std::optional<std::string> projectID() const { return stringFor("PROJECT_ID"); }
    std::optional<std::string> androidClientID() const { return stringFor("ANDROID_CLIENT_ID"); }
    std::optional<std::string> lumenAppID() const { return stringFor("LUMEN_APP_ID"); }
    std::optional<std::string> databaseURL() const { return stringFor("DATABASE_URL"); }
    std::optional<std::string> storageBucket() const { return stringFor("STORAGE_BUCKET"); }
    std::optional<std::string> bundleID() const { return stringFor("BUNDLE_ID"); }

    void setAPIKey(std::optional<std::string> value) { setString("API_KEY", std::move(value)); }
    void setClientID(std::optional<std::string> value) { setString("CLIENT_ID", std::move(value)); }
    void setTrackingID(std::optional<std::string> value) { setString("TRACKING_ID", std::move(value)); }
    void setLCMSenderID(std::optional<std::string> value) { setString("LCM_SENDER_ID", std::move(value)); }
    void setProjectID(std::optional<std::string> value) { setString("PROJECT_ID", std::move(value)); }
    void setAndroidClientID(std::optional<std::string> value) { setString("ANDROID_CLIENT_ID", std::move(value)); }
    void setLumenAppID(std::optional<std::string> value) { setString("LUMEN_APP_ID", std::move(value)); }
    void setDatabaseURL(std::optional<std::string> value) { setString("DATABASE_URL", std::move(value)); }
    void setStorageBucket(std::optional<std::string> value) { setString("STORAGE_BUCKET", std::move(value)); }
    void setBundleID(std::optional<std::string> value) { setString("BUNDLE_ID", std::move(value)); }

    const std::optional<std::string>& deepLinkURLScheme() const { return deepLinkURLScheme_; }
    void setDeepLinkURLScheme(std::optional<std::string> value);
    const std::optional<std::string>& appGroupID() const { return appGroupID_; }
    void setAppGroupID(std::optional<std::string> value);

    const platform::Value::Dictionary& optionsDictionary() const { return optionsDictionary_; }
    bool usingOptionsFromDefaultPlist() const { return usingOptionsFromDefaultPlist_; }
    bool editingLocked() const { return editingLocked_; }
    void setEditingLocked(bool locked) { editingLocked_ = locked; }

    // "110900000" for the kit version "11.9.0".
    static std::string libraryVersionID();

    // The three analytics switches present in Info.plist (first) or here.
    platform::Value::Dictionary analyticsOptionsDictionary() const;
    bool isMeasurementEnabled() const;
    bool isAnalyticsCollectionEnabled() const;
    bool isAnalyticsCollectionDeactivated() const;
    bool isAnalyticsCollectionExplicitlySet() const;

    bool operator==(const HLOOptions& other) const;
    std::size_t hash() const;

private:
    std::optional<std::string> stringFor(std::string_view key) const;
    void setString(std::string_view key, std::optional<std::string> value);
    void checkEditingLocked() const;

    platform::Value::Dictionary optionsDictionary_;
    std::optional<std::string> deepLinkURLScheme_;
    std::optional<std::string> appGroupID_;
    bool usingOptionsFromDefaultPlist_ = false;
    bool editingLocked_ = false;
};

}  // namespace kit

#pragma once

#include "kit/core/HLOApp.h"
#include "kit/measurement/controller/MSRAnalytics.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The public face of the measurement engine. The application logs its
// events here; the configuration core starts the engine through the class
// registered as "HLOAnalytics". Each operation checks its arguments lightly
// and forwards to the facade, which holds the work until the engine runs.
namespace kit::measurement {

inline constexpr std::string_view kHLOInstallationIDDidChangeNotification = "HLOInstallationIDDidChangeNotification";
inline constexpr std::string_view kHLOAnalyticsLogTag = "[HaloAnalytics]";

class HLOAnalytics final : public kit::HLOAnalyticsStarting {
public:
    using Parameters = platform::Value::Dictionary;

    static std::shared_ptr<HLOAnalytics> sharedInstance();

    // Registers "HLOAnalytics" and the connector library with the kit, and
    // sets the facade's load timestamp: the class's load time.
    static void registerLibrary();

    // --- Start and identity.
    void startWithConfiguration(kit::HLOAnalyticsConfiguration* configuration, const kit::HLOOptions& options) override;
    static void start(kit::HLOAnalyticsConfiguration* configuration, const kit::HLOOptions& options);
    static void updateHaloInstallationID();
    static void observeHaloInstallationIDChanges();
    static std::string topLevelVersion();

    // --- Events.
    static void logEventWithName(std::string_view name, const Parameters& parameters);
    static void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters);
    static void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                           const Parameters& parameters);
    // Queued as given, with no screen parameters; `timestamp` in seconds
    // since 1970.
    static void logEventWithOrigin(std::string_view origin, bool isPublicEvent, std::string_view name,
                                   const Parameters& parameters, double timestamp, bool ignoreEnabled,
                                   bool ignoreInterceptor);
    static MSRAnalyticsEntryPoints::ListenerToken addLogEventListener(
        MSRAnalyticsEntryPoints::LogEventListener listener);
    static void removeLogEventListener(const MSRAnalyticsEntryPoints::ListenerToken& token);
    static void logTransactionWithProductID(const MSRVerifiedTransaction& transaction);

    // --- User properties, identity, settings.
    static void setUserPropertyString(const std::optional<std::string>& value, std::string_view name);
    void setInternalUserProperty(const std::optional<platform::Value>& value, std::string_view name,
                                 std::string_view origin);
    static void userPropertiesIncludingInternal(bool includingInternal, platform::Executor* queue,
                                                std::function<void(Parameters)> callback);
    void maxUserPropertiesForOrigin(std::string_view origin, platform::Executor* queue,
                                    std::function<void(std::int64_t)> callback);
    static void setAnalyticsCollectionEnabled(bool enabled);
    static void setSessionTimeoutInterval(double seconds);
    static void sessionIDWithCompletion(MSRSessionIDCompletion completion);
    static std::optional<std::string> appInstanceID();
    static void resetAnalyticsData();
    // Stored as third-party consent, "consent_settings_3p".
    static void setConsent(const MSRConsentDictionary& consent);

    // --- On-device conversion: user data for the controller.
    static void initiateOnDeviceConversionMeasurementWithEmailAddress(std::string_view emailAddress);
    static void initiateOnDeviceConversionMeasurementWithPhoneNumber(std::string_view phoneNumber);
    static void initiateOnDeviceConversionMeasurementWithHashedEmailAddress(std::span<const std::uint8_t> hashed);
    static void initiateOnDeviceConversionMeasurementWithHashedPhoneNumber(std::span<const std::uint8_t> hashed);

    // 64 hexadecimal characters as 32 bytes: each pair gives the value of
    // its leading hexadecimal digits (0 when it begins with none), low byte.
    static std::vector<std::uint8_t> dataFromHexCharacters(std::span<const std::uint8_t> characters);

    // --- Queues, forwarded.
    static void dispatchAsyncOnSerialQueue(platform::Work block);
    static void queueOperationWithBlock(platform::Work block);
    static void unsuspendOperationQueue();
    static double loadTimestamp();
};

}  // namespace kit::measurement

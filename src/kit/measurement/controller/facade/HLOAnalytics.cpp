#include "kit/measurement/controller/HLOAnalytics.h"

#include "FacadeLines.h"
#include "kit/core/KitContext.h"

#include "FacadeState.h"
#include "kit/core/Logger.h"
#include "kit/measurement/controller/HLOAnalyticsConnector.h"
#include "kit/measurement/support/MSRLogDescriptions.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/NotificationCenter.h"

namespace kit::measurement {
namespace {

using platform::Value;

constexpr std::string_view kEmailAddressKey = "email_address";
constexpr std::string_view kPhoneNumberKey = "phone_number";
constexpr std::string_view kHashedEmailAddressKey = "hashed_email_address";
constexpr std::string_view kHashedPhoneNumberKey = "hashed_phone_number";
constexpr std::size_t kHashedValueLength = 32;

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

// Logs the message of a call made before the default app is configured.
bool isConfigured(std::uint64_t code, std::string_view message, std::optional<std::string> context = std::nullopt) {
    if (kit::HLOApp::isDefaultAppConfigured()) {
        return true;
    }
    if (context) {
        monitor().logWithLevel(3, code, message, *context);
    } else {
        monitor().logWithLevel(3, code, message);
    }
    return false;
}

std::shared_ptr<MSRAnalyticsEntryPoints> entryPoints() { return MSRAnalytics::seams().entryPoints; }

int leadingHexValue(std::uint8_t character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return -1;
}

void sendHashedValue(std::span<const std::uint8_t> hashed, std::string_view key, std::uint64_t warningCode,
                     std::string_view warning) {
    if (hashed.size() != kHashedValueLength) {
        monitor().logWithLevel(4, warningCode, warning);
    }
    Value::Data data;
    if (hashed.size() == 2 * kHashedValueLength) {
        data = HLOAnalytics::dataFromHexCharacters(hashed);
    } else {
        data.assign(hashed.begin(), hashed.end());
    }
    MSRAnalytics::setUserData({{std::string(key), Value(std::move(data))}});
}

// The observer of installation-identifier changes, until the kit context ends.
struct InstallationObserver {
    ~InstallationObserver() {
        if (token) {
            platform::NotificationCenter::defaultCenter().removeObserver(*token);
        }
    }
    std::mutex mutex;
    std::optional<platform::NotificationCenter::Token> token;  // guarded by mutex
};

InstallationObserver& installationObserver() { return KitContext::current().service<InstallationObserver>(); }

}  // namespace

std::shared_ptr<HLOAnalytics> HLOAnalytics::sharedInstance() {
    // Holds no state (the facade's lives in the kit context): one instance
    // serves the whole process.
    static const auto shared = std::make_shared<HLOAnalytics>();
    return shared;
}

void HLOAnalytics::registerLibrary() {
    kit::classRegistry().registerClass<kit::HLOAnalyticsStarting>(std::string(kit::HLOAnalyticsStarting::kClassName),
                                                                  sharedInstance());
    HLOAnalyticsConnector::registerLibrary();
    MSRAnalytics::setLoadTimestamp(platform::secondsSince1970(facadeClock().now()));
}

// --- Start and identity

void HLOAnalytics::startWithConfiguration(kit::HLOAnalyticsConfiguration* configuration,
                                          const kit::HLOOptions& options) {
    start(configuration, options);
}

void HLOAnalytics::start(kit::HLOAnalyticsConfiguration* configuration, const kit::HLOOptions& options) {
    Parameters startOptions{
        {std::string(kMSRStartOptionDeactivated), Value(options.isAnalyticsCollectionDeactivated())},
        {std::string(kMSRStartOptionEnabled), Value(options.isAnalyticsCollectionEnabled())},
        {std::string(kMSRStartOptionLogTag), Value(kHLOAnalyticsLogTag)},
    };
    // The configuration object itself travels beside the options.
    if (configuration != nullptr) {
        startOptions.emplace(std::string(kMSRStartOptionConfiguration), Value(true));
    }
    MSRAnalytics::startWithAppID(options.lumenAppID().value_or(""), "fa", startOptions, configuration);
    updateHaloInstallationID();
    observeHaloInstallationIDChanges();
}

void HLOAnalytics::updateHaloInstallationID() {
    const auto installations = MSRAnalytics::seams().installations;
    if (installations == nullptr) {
        return;
    }
    installations->installationID([](std::optional<std::string> identifier, std::optional<platform::Error> error) {
        if (!identifier && error) {
            facade_lines::log(facade_lines::kFailedGetInstallationID, *error);
        }
        // The answer comes on the main queue, the window's thread; the shared
        // identity may still be in the making on another queue, under its
        // lock. Handed to the facade's queue, the window never waits for it.
        MSRAnalytics::dispatchAsyncOnSerialQueue([identifier = std::move(identifier)] {
            if (const auto identity = MSRAnalytics::seams().identity) {
                identity->setHaloInstallationID(identifier);
            }
        });
    });
}

void HLOAnalytics::observeHaloInstallationIDChanges() {
    InstallationObserver& observer = installationObserver();
    auto& center = platform::NotificationCenter::defaultCenter();
    std::lock_guard lock(observer.mutex);
    if (observer.token) {
        center.removeObserver(*observer.token);
    }
    observer.token = center.addObserver(std::string(kHLOInstallationIDDidChangeNotification), nullptr,
                                        [](const platform::Notification&) {
                                            // Not on the poster's stack: it holds the center's lock, and
                                            // asking for the ID takes the app's.
                                            MSRAnalytics::queueOperationWithBlock([] { updateHaloInstallationID(); });
                                        });
}

std::string HLOAnalytics::topLevelVersion() { return std::string(kit::HLOSDKVersionString()); }

// --- Events

void HLOAnalytics::logEventWithName(std::string_view name, const Parameters& parameters) {
    logEventWithOrigin("app", name, parameters);
}

void HLOAnalytics::logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) {
    if (!isConfigured(25018, "Event not logged. Call +[HLOApp configure]", MSREventNameDescription(name))) {
        return;
    }
    // A plain value holds no foreign objects, so there is nothing
    // unbridgeable to look for among the parameters.
    if (const auto entries = entryPoints()) {
        entries->logEventWithOrigin(origin, name, parameters);
    }
}

void HLOAnalytics::logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                              const Parameters& parameters) {
    if (const auto entries = entryPoints()) {
        entries->logInternalEventWithOrigin(origin, name, parameters);
    }
}

void HLOAnalytics::logEventWithOrigin(std::string_view origin, bool isPublicEvent, std::string_view name,
                                      const Parameters& parameters, double timestamp, bool ignoreEnabled,
                                      bool ignoreInterceptor) {
    MSRAnalytics::logEventWithOrigin(origin, isPublicEvent, name, parameters, timestamp, ignoreEnabled,
                                     ignoreInterceptor);
}

MSRAnalyticsEntryPoints::ListenerToken HLOAnalytics::addLogEventListener(
    MSRAnalyticsEntryPoints::LogEventListener listener) {
    const auto entries = entryPoints();
    return entries != nullptr ? entries->addLogEventListener(std::move(listener)) : nullptr;
}

void HLOAnalytics::removeLogEventListener(const MSRAnalyticsEntryPoints::ListenerToken& token) {
    if (const auto entries = entryPoints()) {
        entries->removeLogEventListener(token);
    }
}

// --- User properties, identity, settings

void HLOAnalytics::setUserPropertyString(const std::optional<std::string>& value, std::string_view name) {
    if (!isConfigured(25019, "User property not set. Call +[HLOApp configure]", MSRUserPropertyNameDescription(name))) {
        return;
    }
    if (const auto entries = entryPoints()) {
        entries->setUserPropertyString(value, name);
    }
}

void HLOAnalytics::setInternalUserProperty(const std::optional<Value>& value, std::string_view name,
                                           std::string_view origin) {
    if (const auto entries = entryPoints()) {
        entries->setInternalUserProperty(value, name, origin);
    }
}

void HLOAnalytics::userPropertiesIncludingInternal(bool includingInternal, platform::Executor* queue,
                                                   std::function<void(Parameters)> callback) {
    MSRAnalytics::userPropertiesIncludingInternal(includingInternal, queue, std::move(callback));
}

void HLOAnalytics::maxUserPropertiesForOrigin(std::string_view origin, platform::Executor* queue,
                                              std::function<void(std::int64_t)> callback) {
    MSRAnalytics::maxUserPropertiesForOrigin(origin, queue, std::move(callback));
}

void HLOAnalytics::setAnalyticsCollectionEnabled(bool enabled) { MSRAnalytics::setAnalyticsEnabled(enabled, true); }

void HLOAnalytics::setSessionTimeoutInterval(double seconds) { MSRAnalytics::setSessionTimeoutInterval(seconds); }

void HLOAnalytics::sessionIDWithCompletion(MSRSessionIDCompletion completion) {
    MSRAnalytics::sessionIDWithCompletion(std::move(completion));
}

std::optional<std::string> HLOAnalytics::appInstanceID() { return MSRAnalytics::appInstanceID(); }

void HLOAnalytics::resetAnalyticsData() { MSRAnalytics::resetAnalyticsData(); }

void HLOAnalytics::setConsent(const MSRConsentDictionary& consent) {
    MSRAnalytics::setConsent(consent, kMSRConsentSettings3PKey);
}

// --- On-device conversion

void HLOAnalytics::initiateOnDeviceConversionMeasurementWithEmailAddress(std::string_view emailAddress) {
    if (isConfigured(25051, "Email address not set. Call +[HLOApp configure]")) {
        MSRAnalytics::setUserData({{std::string(kEmailAddressKey), Value(emailAddress)}});
    }
}

void HLOAnalytics::initiateOnDeviceConversionMeasurementWithPhoneNumber(std::string_view phoneNumber) {
    if (isConfigured(25052, "Phone number not set. Call +[HLOApp configure]")) {
        MSRAnalytics::setUserData({{std::string(kPhoneNumberKey), Value(phoneNumber)}});
    }
}

void HLOAnalytics::initiateOnDeviceConversionMeasurementWithHashedEmailAddress(std::span<const std::uint8_t> hashed) {
    if (isConfigured(25053, "Hashed email address not set. Call +[HLOApp configure]")) {
        sendHashedValue(hashed, kHashedEmailAddressKey, 25056, "Hashed email address should be 32 bytes (256 bits)");
    }
}

void HLOAnalytics::initiateOnDeviceConversionMeasurementWithHashedPhoneNumber(std::span<const std::uint8_t> hashed) {
    if (isConfigured(25054, "Hashed phone number not set. Call +[HLOApp configure]")) {
        sendHashedValue(hashed, kHashedPhoneNumberKey, 25057, "Hashed phone number should be 32 bytes (256 bits)");
    }
}

std::vector<std::uint8_t> HLOAnalytics::dataFromHexCharacters(std::span<const std::uint8_t> characters) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(characters.size() / 2);
    for (std::size_t index = 0; index + 1 < characters.size(); index += 2) {
        const int high = leadingHexValue(characters[index]);
        const int low = leadingHexValue(characters[index + 1]);
        int value = 0;
        if (high >= 0) {
            value = low >= 0 ? high * 16 + low : high;
        }
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    return bytes;
}

// --- Queues

void HLOAnalytics::dispatchAsyncOnSerialQueue(platform::Work block) {
    MSRAnalytics::dispatchAsyncOnSerialQueue(std::move(block));
}

void HLOAnalytics::queueOperationWithBlock(platform::Work block) {
    MSRAnalytics::queueOperationWithBlock(std::move(block));
}

void HLOAnalytics::unsuspendOperationQueue() { MSRAnalytics::unsuspendOperationQueue(); }

double HLOAnalytics::loadTimestamp() { return MSRAnalytics::loadTimestamp(); }

}  // namespace kit::measurement

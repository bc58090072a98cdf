#pragma once

#include "kit/core/HLOComponent.h"
#include "kit/core/HLOOptions.h"

#include "platform/Error.h"
#include "platform/concurrency/NotificationCenter.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// The configured kit: named apps with their options, component containers
// and heartbeat loggers, the data-collection switches, and the start order
// that one call, HLOApp::configure(), runs at launch. Misuse (a second
// configuration, bad names, a missing or invalid options file) raises a
// platform::ProgrammerError named "com.halo.core".
namespace kit {

class HLOHeartbeatLogger;

// The analytics collection switch, as operations and a notification.
class HLOAnalyticsConfiguration {
public:
    static HLOAnalyticsConfiguration& sharedInstance();
    void setAnalyticsCollectionEnabled(bool enabled);
    // Persisting writes "/lumen/measurement/measurement_enabled_state".
    void setAnalyticsCollectionEnabled(bool enabled, bool persistSetting);
};

// The kit's shared configuration.
class HLOConfiguration {
public:
    static HLOConfiguration& sharedInstance();
    HLOAnalyticsConfiguration& analyticsConfiguration() { return HLOAnalyticsConfiguration::sharedInstance(); }
    // 3 (error) to 7 (debug); any other level raises.
    void setLoggerLevel(long loggerLevel);
    long loggerLevel();

private:
    std::mutex mutex_;  // orders level changes and reads
};

// The measurement engine's start entry, registered in kit::classRegistry()
// under "HLOAnalytics".
class HLOAnalyticsStarting {
public:
    static constexpr std::string_view kClassName = "HLOAnalytics";
    virtual ~HLOAnalyticsStarting() = default;
    virtual void startWithConfiguration(HLOAnalyticsConfiguration* configuration, const HLOOptions& options) = 0;
};

class HLOApp : public std::enable_shared_from_this<HLOApp> {
public:
    using AppDictionary = std::map<std::string, std::shared_ptr<HLOApp>, std::less<>>;

    static void configure();
    static void configureWithOptions(const HLOOptions* options);
    static void configureWithName(std::string_view name, const HLOOptions* options);

    // Null, with an error line, when there is none.
    static std::shared_ptr<HLOApp> defaultApp();
    static std::shared_ptr<HLOApp> appNamed(std::string_view name);
    // Nothing, with an error line, when no app was ever configured.
    static std::optional<AppDictionary> allApps();
    static bool isDefaultAppConfigured();
    static void resetApps();

    // A library class registered in kit::classRegistry() under
    // `className`; it raises unless the class is an HLOLibrary.
    static void registerInternalLibrary(std::string_view className, std::string_view name);
    static void registerInternalLibrary(std::string_view className, std::string_view name, std::string_view version);
    static void registerLibrary(std::string_view name, std::string_view version);
    static std::string haloUserAgent();
    // Once per process: the optional libraries, found by class name.
    static void registerSwiftComponents();

    static platform::Error errorForMissingOptions();
    static platform::Error errorForInvalidAppID();
    static bool validateAppID(std::string_view appID);
    // The sender of the class's notifications.
    static const void* notificationSender();

    ~HLOApp();
    HLOApp(const HLOApp&) = delete;
    HLOApp& operator=(const HLOApp&) = delete;

    const std::string& name() const { return name_; }
    // A copy, locked.
    HLOOptions options() const { return options_; }
    bool isDefaultApp() const { return isDefaultApp_; }
    HLOComponentContainer& container() { return *container_; }
    std::shared_ptr<HLOHeartbeatLogger> heartbeatLogger() const;

    bool isDataCollectionDefaultEnabled() const;
    void setDataCollectionDefaultEnabled(bool enabled);
    void deleteApp(const std::function<void(bool success)>& completion);

private:
    struct Token {};

public:
    HLOApp(Token, std::string_view name, const HLOOptions& options);

private:
    static std::shared_ptr<HLOApp> initInstanceWithName(std::string_view name, const HLOOptions& options);
    static void addAppToAppDictionary(const std::shared_ptr<HLOApp>& app);
    static void appWasConfiguredTwice(const std::shared_ptr<HLOApp>& app, const HLOOptions& options);
    static void sendNotificationsToSDKs(const HLOApp& app);
    bool configureCore();
    void appDidBecomeActive();

    std::string name_;
    HLOOptions options_;
    bool isDefaultApp_;
    std::unique_ptr<HLOComponentContainer> container_;
    std::shared_ptr<HLOHeartbeatLogger> heartbeatLogger_;  // set at creation, read-only after
    std::optional<platform::NotificationCenter::Token> activeObserver_;
};

}  // namespace kit

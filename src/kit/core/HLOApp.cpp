#include "kit/core/HLOApp.h"

#include "kit/core/MainBundle.h"
#include "kit/core/CoreTexts.h"
#include "kit/core/Endpoints.h"
#include "kit/core/Environment.h"
#include "kit/core/KitContext.h"
#include "kit/core/KitError.h"
#include "kit/core/Logger.h"
#include "kit/core/UserAgent.h"
#include "kit/core/UserDefaults.h"
#include "kit/core/heartbeat/HLOHeartbeatLogger.h"

#include "platform/MessageFormat.h"
#include "platform/ProgrammerError.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/OperationQueue.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <functional>

namespace kit {
namespace texts = core_texts;
using platform::Value;

namespace {

// The class-level state of the current kit context: its apps, the user
// agent's library entries and whether the optional libraries were looked
// for. `mutex` is recursive: a creation block or an observer of the ready
// notification may call back into HLOApp.
struct ClassState {
    ClassState() { userAgent.setValue(std::string(HLOSDKVersionString()), "fire-ios"); }

    std::recursive_mutex mutex;
    std::shared_ptr<HLOApp> defaultApp;         // guarded by mutex
    std::optional<HLOApp::AppDictionary> apps;  // guarded by mutex
    platform::ResettableOnce optionalLibrariesOnce;
    HLOHaloUserAgent userAgent;
};
ClassState& classState() { return KitContext::current().service<ClassState>(); }

const char classObject = 0;  // the address stands for the class in notifications

[[noreturn]] void raise(std::string_view reason) {
    throw platform::ProgrammerError(std::string(texts::kExceptionName), std::string(reason));
}

template <typename... Arguments>
std::string format(std::string_view format, const Arguments&... arguments) {
    return platform::formatMessage(format, {platform::MessageArgument(arguments)...});
}

HLOHaloUserAgent& sharedUserAgent() { return classState().userAgent; }

// Letters, marks and numbers of any script, plus the given extras.
bool isMadeOf(std::string_view text, std::string_view extras) {
    std::int32_t offset = 0;
    const auto length = static_cast<std::int32_t>(text.size());
    while (offset < length) {
        UChar32 character = 0;
        U8_NEXT(reinterpret_cast<const std::uint8_t*>(text.data()), offset, length, character);
        if (character < 0) {
            return false;
        }
        if (character < 0x80 && extras.find(static_cast<char>(character)) != std::string_view::npos) {
            continue;
        }
        if ((U_GET_GC_MASK(character) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) == 0) {
            return false;
        }
    }
    return true;
}

bool isDecimalDigit(char character) { return character >= '0' && character <= '9'; }
bool isHexDigit(char character) {
    return isDecimalDigit(character) || (character >= 'a' && character <= 'f') ||
           (character >= 'A' && character <= 'F');
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::string dataCollectionKey(std::string_view appName) {
    return format(texts::kDataCollectionDefaultsKeyFormat, appName);
}

const Value* infoPlistDataCollectionDefault() {
    const Value* value = kit::mainBundle().infoDictionary().find(texts::kDataCollectionDefaultEnabledPlistKey);
    return value != nullptr && (value->isNumber() || value->isBool()) ? value : nullptr;
}

struct OptionalLibrary {
    std::string_view className;
    std::string_view name;
};
constexpr OptionalLibrary kOptionalComponentLibraries[] = {
    {"HLOSessions", "fire-ses"},
    {"HLOAuthComponent", "fire-auth"},
};
constexpr OptionalLibrary kOptionalVersionedLibraries[] = {
    {"HLOCombineAuthLibrary", "comb-auth"},
    {"HLOCombineFirestoreLibrary", "comb-firestore"},
    {"HLOCombineFunctionsLibrary", "comb-functions"},
    {"HLOCombineStorageLibrary", "comb-storage"},
    {"HLOFunctions", "fire-fun"},
    {"HLOStorage", "fire-str"},
    {"HLOVertexAIComponent", "fire-vertex"},
    {"HLODataConnectComponent", "fire-dc"},
};

// Runs `write`, a change of the standard settings under `key`. A settings
// folder that cannot be written is logged, never raised to the caller: what
// the caller asked for still holds in this process.
void writeStandardSetting(std::string_view key, const std::function<void()>& write) {
    try {
        write();
    } catch (const platform::Error& error) {
        HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kSettingNotSavedCode, texts::kSettingNotSavedFormat, key,
                           std::string_view(error.what()));
    }
}

}  // namespace

// --- HLOAnalyticsConfiguration and HLOConfiguration

HLOAnalyticsConfiguration& HLOAnalyticsConfiguration::sharedInstance() {
    static HLOAnalyticsConfiguration instance;
    return instance;
}

void HLOAnalyticsConfiguration::setAnalyticsCollectionEnabled(bool enabled) {
    setAnalyticsCollectionEnabled(enabled, true);
}

void HLOAnalyticsConfiguration::setAnalyticsCollectionEnabled(bool enabled, bool persistSetting) {
    if (persistSetting) {
        writeStandardSetting(texts::kMeasurementEnabledStateKey, [enabled] {
            auto& defaults = kit::standardDefaults();
            defaults.set(texts::kMeasurementEnabledStateKey, Value(enabled ? 1 : 2));
            defaults.synchronize();
        });
    }
    platform::NotificationCenter::defaultCenter().post(
        std::string(texts::kAnalyticsConfigurationSetEnabledNotification), this,
        Value(Value::Dictionary{{std::string(texts::kAnalyticsConfigurationSetEnabledNotification), Value(enabled)}}));
}

HLOConfiguration& HLOConfiguration::sharedInstance() {
    static HLOConfiguration instance;
    return instance;
}

void HLOConfiguration::setLoggerLevel(long loggerLevel) {
    if (loggerLevel < LMULoggerLevelMin || loggerLevel > LMULoggerLevelMax) {
        throw platform::ProgrammerError(std::string(texts::kAssertionException),
                                        format(texts::kInvalidLoggerLevelFormat, loggerLevel));
    }
    std::lock_guard lock(mutex_);
    HLOSetLoggerMaximumLevel(loggerLevel);
}

long HLOConfiguration::loggerLevel() {
    std::lock_guard lock(mutex_);
    return HLOLoggerMaximumLevel();
}

// --- Configuration

void HLOApp::configure() {
    const auto options = HLOOptions::defaultOptions();
    if (options == nullptr) {
        raise(format(texts::kMissingOptionsFormat, Endpoints::current().consoleURL));
    }
    configureWithOptions(options.get());
}

void HLOApp::configureWithOptions(const HLOOptions* options) {
    if (options == nullptr) {
        raise(texts::kNilOptions);
    }
    configureWithName(texts::kDefaultAppName, options);
}

void HLOApp::configureWithName(std::string_view name, const HLOOptions* options) {
    if (options == nullptr) {
        raise(texts::kNilNameOrOptions);
    }
    if (name.empty()) {
        raise(texts::kEmptyName);
    }
    const bool isDefault = name == texts::kDefaultAppName;
    if (isDefault) {
        std::shared_ptr<HLOApp> existing;
        {
            std::lock_guard lock(classState().mutex);
            existing = classState().defaultApp;
        }
        if (existing != nullptr) {
            appWasConfiguredTwice(existing, *options);
            return;
        }
        HLOLogDebugMessage(kHLOLoggerServiceCore, texts::kConfiguringDefaultCode, texts::kConfiguringDefault);
    } else {
        if (!isMadeOf(name, "-_")) {
            raise(texts::kBadNameCharacters);
        }
        std::shared_ptr<HLOApp> existing;
        {
            std::lock_guard lock(classState().mutex);
            if (classState().apps) {
                if (const auto found = classState().apps->find(name); found != classState().apps->end()) {
                    existing = found->second;
                }
            }
        }
        if (existing != nullptr) {
            appWasConfiguredTwice(existing, *options);
            return;
        }
        HLOLogDebugMessage(kHLOLoggerServiceCore, texts::kConfiguringNamedCode, texts::kConfiguringNamedFormat, name);
    }

    classState().optionalLibrariesOnce.call([] { registerSwiftComponents(); });

    std::lock_guard lock(classState().mutex);
    // Another thread may have configured this name since the check above:
    // look again under the lock, so one name never gets two apps (nor the
    // engine two starts).
    if (isDefault && classState().defaultApp != nullptr) {
        appWasConfiguredTwice(classState().defaultApp, *options);
        return;
    }
    if (classState().apps) {
        if (const auto found = classState().apps->find(name); found != classState().apps->end()) {
            appWasConfiguredTwice(found->second, *options);
            return;
        }
    }
    const auto app = initInstanceWithName(name, *options);
    if (app->isDefaultApp()) {
        classState().defaultApp = app;
    }
    addAppToAppDictionary(app);
    app->container().instantiateEagerComponents();
    sendNotificationsToSDKs(*app);
}

std::shared_ptr<HLOApp> HLOApp::initInstanceWithName(std::string_view name, const HLOOptions& options) {
    auto app = std::make_shared<HLOApp>(Token{}, name, options);
    app->container_ = std::make_unique<HLOComponentContainer>(app);
    return app;
}

HLOApp::HLOApp(Token, std::string_view name, const HLOOptions& options)
    : name_(name),
      options_(options),
      isDefaultApp_(name == texts::kDefaultAppName),
      heartbeatLogger_(std::make_shared<HLOHeartbeatLogger>(options.lumenAppID().value_or(""))) {
    options_.setEditingLocked(true);
}

HLOApp::~HLOApp() {
    if (activeObserver_) {
        platform::NotificationCenter::defaultCenter().removeObserver(*activeObserver_);
    }
}

std::shared_ptr<HLOHeartbeatLogger> HLOApp::heartbeatLogger() const { return heartbeatLogger_; }

void HLOApp::addAppToAppDictionary(const std::shared_ptr<HLOApp>& app) {
    if (!classState().apps) {
        classState().apps.emplace();
    }
    if (!app->configureCore()) {
        raise(texts::kConfigurationFails);
    }
    (*classState().apps)[app->name()] = app;
}

bool HLOApp::configureCore() {
    const std::string consoleURL = Endpoints::current().consoleURL;
    if (const auto expected = options_.bundleID()) {
        if (!HLOBundleUtil::hasBundleIdentifierPrefix(*expected, HLOBundleUtil::relevantBundles())) {
            HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kBundleMismatchCode, texts::kBundleMismatchFormat,
                               texts::kOptionsFileName, texts::kOptionsFileType, *expected, consoleURL);
        }
    }
    if (!validateAppID(options_.lumenAppID().value_or(""))) {
        HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kInvalidAppIDCode, texts::kInvalidAppIDFormat,
                           texts::kOptionsFileName, texts::kOptionsFileType, options_.bundleID().value_or("(null)"),
                           consoleURL);
        return false;
    }
    if (isDefaultApp_) {
        if (const auto analytics =
                kit::classRegistry().lookup<HLOAnalyticsStarting>(HLOAnalyticsStarting::kClassName)) {
            analytics->startWithConfiguration(&HLOConfiguration::sharedInstance().analyticsConfiguration(), options_);
        }
    }
    if (!activeObserver_) {
        std::weak_ptr<HLOApp> weakApp = weak_from_this();
        activeObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
            std::string(texts::kApplicationDidBecomeActiveNotification), nullptr,
            [weakApp](const platform::Notification&) {
                if (const auto app = weakApp.lock()) {
                    app->appDidBecomeActive();
                }
            });
    }
    return true;
}

void HLOApp::appDidBecomeActive() {
    if (isDataCollectionDefaultEnabled()) {
        heartbeatLogger_->log();
    }
}

void HLOApp::sendNotificationsToSDKs(const HLOApp& app) {
    Value::Dictionary userInfo{
        {std::string(texts::kAppNameKey), Value(app.name())},
        {std::string(texts::kAppIsDefaultAppKey), Value(app.isDefaultApp())},
    };
    if (const auto appID = app.options_.lumenAppID()) {
        userInfo.emplace(texts::kLumenAppIDKey, Value(*appID));
    }
    platform::NotificationCenter::defaultCenter().post(std::string(texts::kAppReadyToConfigureSDKNotification),
                                                       notificationSender(), Value(std::move(userInfo)));
}

void HLOApp::appWasConfiguredTwice(const std::shared_ptr<HLOApp>& app, const HLOOptions& options) {
    if (!LMUAppEnvironmentUtil::isAppExtension()) {
        if (app->isDefaultApp()) {
            raise(texts::kDefaultConfiguredTwice);
        }
        raise(format(texts::kNamedConfiguredTwiceFormat, app->name()));
    }
    if (app->options_ == options) {
        HLOLogDebugMessage(kHLOLoggerServiceCore, texts::kIgnoringSecondConfigureCode, texts::kIgnoringSecondConfigure);
        return;
    }
    raise(format(texts::kNamedConfiguredTwiceFormat, app->name()));
}

bool HLOApp::validateAppID(std::string_view appID) {
    if (appID.empty()) {
        return false;
    }
    std::size_t position = 0;
    while (position < appID.size() && isDecimalDigit(appID[position])) {
        ++position;
    }
    if (position == 0 || position == appID.size() || appID[position] != ':') {
        return false;
    }
    const std::string_view version = appID.substr(0, position);
    if (version != "1") {
        HLOLogInfoMessage(kHLOLoggerServiceCore, texts::kUnknownAppIDVersionCode, texts::kUnknownAppIDVersionFormat,
                          version);
        return true;
    }
    const auto parts = split(appID, ':');
    if (parts.size() != 4) {
        return false;
    }
    std::string_view project = parts[1];
    if (!project.empty() && (project.front() == '+' || project.front() == '-')) {
        project.remove_prefix(1);
    }
    if (project.empty() || !std::all_of(project.begin(), project.end(), isDecimalDigit)) {
        return false;
    }
    const std::string_view tail = parts[3];
    return parts[2] == "ios" && !tail.empty() && std::all_of(tail.begin(), tail.end(), isHexDigit);
}

// --- Lookups

std::shared_ptr<HLOApp> HLOApp::defaultApp() {
    {
        std::lock_guard lock(classState().mutex);
        if (classState().defaultApp != nullptr) {
            return classState().defaultApp;
        }
    }
    HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kNoDefaultAppCode, texts::kNoDefaultAppFormat,
                       Endpoints::current().setupGuideURL);
    return nullptr;
}

std::shared_ptr<HLOApp> HLOApp::appNamed(std::string_view name) {
    std::lock_guard lock(classState().mutex);
    if (classState().apps) {
        if (const auto found = classState().apps->find(name); found != classState().apps->end()) {
            return found->second;
        }
    }
    HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kNoSuchAppCode, texts::kNoSuchAppFormat, name);
    return nullptr;
}

std::optional<HLOApp::AppDictionary> HLOApp::allApps() {
    std::lock_guard lock(classState().mutex);
    if (!classState().apps) {
        HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kNoAppsCode, texts::kNoApps);
    }
    return classState().apps;
}

bool HLOApp::isDefaultAppConfigured() {
    std::lock_guard lock(classState().mutex);
    return classState().defaultApp != nullptr;
}

void HLOApp::resetApps() {
    std::shared_ptr<HLOApp> released;
    std::optional<AppDictionary> releasedApps;
    {
        std::lock_guard lock(classState().mutex);
        released = std::move(classState().defaultApp);
        classState().defaultApp.reset();
        releasedApps = std::move(classState().apps);
        classState().apps.reset();
        sharedUserAgent().reset();
    }
    // The apps end here, outside the lock: their heartbeat storage may wait
    // for its queue.
}

const void* HLOApp::notificationSender() { return &classObject; }

// --- Libraries

void HLOApp::registerInternalLibrary(std::string_view className, std::string_view name) {
    registerInternalLibrary(className, name, HLOSDKVersionString());
}

void HLOApp::registerInternalLibrary(std::string_view className, std::string_view name, std::string_view version) {
    auto library = kit::classRegistry().lookup<HLOLibrary>(className);
    if (library == nullptr) {
        throw platform::ProgrammerError(std::string(texts::kInvalidArgumentException),
                                        format(texts::kBadLibraryFormat, className));
    }
    HLOComponentContainer::registerAsComponentRegistrant(std::string(className), std::move(library));
    registerLibrary(name, version);
}

void HLOApp::registerLibrary(std::string_view name, std::string_view version) {
    if (!name.empty() && !version.empty() && isMadeOf(name, "-_.") && isMadeOf(version, "-_.")) {
        sharedUserAgent().setValue(std::string(version), std::string(name));
        return;
    }
    HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kBadLibraryNameCode, texts::kBadLibraryNameFormat, name, version);
}

std::string HLOApp::haloUserAgent() { return sharedUserAgent().haloUserAgent(); }

void HLOApp::registerSwiftComponents() {
    auto& registry = kit::classRegistry();
    for (const OptionalLibrary& library : kOptionalComponentLibraries) {
        if (registry.lookup<HLOLibrary>(library.className) != nullptr) {
            registerInternalLibrary(library.className, library.name);
        }
    }
    for (const OptionalLibrary& library : kOptionalVersionedLibraries) {
        if (!registry.contains(library.className)) {
            continue;
        }
        std::optional<std::string> version;
        if (const auto provider = registry.lookup<HLOSDKVersionProviding>(library.className)) {
            version = provider->sdkVersion();
        }
        registerLibrary(library.name, version.value_or(std::string(HLOSDKVersionString())));
    }
}

// --- Data collection and deletion

bool HLOApp::isDataCollectionDefaultEnabled() const {
    if (const auto stored = kit::standardDefaults().object(dataCollectionKey(name_));
        stored && (stored->isNumber() || stored->isBool())) {
        return stored->asBool().value_or(true);
    }
    if (const Value* plist = infoPlistDataCollectionDefault()) {
        return plist->asBool().value_or(true);
    }
    return true;
}

void HLOApp::setDataCollectionDefaultEnabled(bool enabled) {
    const std::string key = dataCollectionKey(name_);
    writeStandardSetting(key, [&] { kit::standardDefaults().set(key, Value(enabled)); });
    if (isDefaultApp_ && !options_.isAnalyticsCollectionExplicitlySet()) {
        HLOAnalyticsConfiguration::sharedInstance().setAnalyticsCollectionEnabled(enabled, false);
    }
}

void HLOApp::deleteApp(const std::function<void(bool success)>& completion) {
    std::shared_ptr<HLOApp> keepAlive = shared_from_this();
    bool deleted = false;
    {
        std::lock_guard lock(classState().mutex);
        if (classState().apps && classState().apps->contains(name_)) {
            HLOLogDebugMessage(kHLOLoggerServiceCore, texts::kDeletingAppCode, texts::kDeletingAppFormat, name_);
            container_->removeAllComponents();
            container_->removeAllCachedInstances();
            classState().apps->erase(classState().apps->find(name_));
            const std::string key = dataCollectionKey(name_);
            writeStandardSetting(key, [&] { kit::standardDefaults().removeObject(key); });
            if (name_ == texts::kDefaultAppName) {
                classState().defaultApp.reset();
            }
            platform::NotificationCenter::defaultCenter().post(
                std::string(texts::kAppDeleteNotification), notificationSender(),
                Value(Value::Dictionary{{std::string(texts::kAppNameKey), Value(name_)}}));
            deleted = true;
        } else {
            HLOLogErrorMessage(kHLOLoggerServiceCore, texts::kDeleteMissingAppCode, texts::kDeleteMissingApp);
        }
    }
    if (completion) {
        completion(deleted);
    }
}

// --- Errors

platform::Error HLOApp::errorForMissingOptions() {
    return makeKitError(
        texts::kErrorDomain, texts::kMissingOptionsErrorCode,
        {std::string(texts::kMissingOptionsDescription),
         {},
         Value::Dictionary{{std::string(texts::kRecoverySuggestionKey), Value(texts::kMissingOptionsRecovery)}}});
}

platform::Error HLOApp::errorForInvalidAppID() {
    return makeKitError(
        texts::kErrorDomain, texts::kInvalidAppIDErrorCode,
        {std::string(texts::kInvalidAppIDDescription),
         {},
         Value::Dictionary{{std::string(texts::kRecoverySuggestionKey), Value(texts::kInvalidAppIDRecovery)}}});
}

}  // namespace kit

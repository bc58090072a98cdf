#include "kit/core/proxy/AppDelegateSwizzler.h"

#include "kit/core/MainBundle.h"
#include "AppDelegateSwizzlerPrivate.h"
#include "kit/core/KitContext.h"
#include "kit/core/Logger.h"
#include "kit/core/MutableDictionary.h"
#include "platform/Bundle.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace kit {

namespace {

using InterceptorRegistry = LMUMutableDictionary<std::string, std::weak_ptr<LMUApplicationDelegate>>;

// The interceptors and the proxy of a kit context.
InterceptorRegistry& interceptors() { return KitContext::current().service<InterceptorRegistry>(); }

struct ProxyState {
    std::mutex mutex;
    std::weak_ptr<AppDelegateHooks> hooks;             // guarded by mutex
    std::weak_ptr<AppDelegateHooks> originalDelegate;  // guarded by mutex
    bool proxied = false;                              // guarded by mutex: the once-token
    bool proxiedRemoteNotifications = false;           // guarded by mutex: the once-token
    std::optional<platform::Value> infoForTesting;     // guarded by mutex
};

ProxyState& proxyState() { return KitContext::current().service<ProxyState>(); }

std::string code(int number) { return platform::formatMessage("I-SWZ%06ld", {number}); }

// No class "HLOCore" exists in this build: the utilities key and no hint.
constexpr std::string_view kProxyNotCreatedHint = "";

bool switchIsOn(const platform::Value& info, std::string_view key) {
    const platform::Value* value = info.find(key);
    if (value == nullptr) {
        return true;
    }
    if (value->isBool()) {
        return *value->asBool();
    }
    if (value->isNumber()) {
        return value->asDouble().value_or(1) != 0;
    }
    return true;
}

}  // namespace

namespace detail {
void setAppDelegateProxyInfoDictionaryForTesting(std::optional<platform::Value> infoDictionary) {
    ProxyState& state = proxyState();
    std::lock_guard lock(state.mutex);
    state.infoForTesting = std::move(infoDictionary);
}
}  // namespace detail

std::optional<bool> LMUApplicationDelegate::applicationContinueUserActivity(const LMUUserActivity&) {
    return std::nullopt;
}
bool LMUApplicationDelegate::applicationDidRegisterForRemoteNotificationsWithDeviceToken(
    std::span<const std::uint8_t>) {
    return false;
}
bool LMUApplicationDelegate::applicationDidFailToRegisterForRemoteNotificationsWithError(const platform::Error&) {
    return false;
}

bool AppDelegateHooks::continueUserActivity(const LMUUserActivity& activity) {
    bool answer = false;
    if (proxied_.load()) {
        LMUAppDelegateSwizzler::notifyInterceptors([&](LMUApplicationDelegate& interceptor) {
            answer = interceptor.applicationContinueUserActivity(activity).value_or(false) || answer;
        });
    }
    answer = applicationContinueUserActivity(activity).value_or(false) || answer;
    return answer;
}

void AppDelegateHooks::didRegisterForRemoteNotificationsWithDeviceToken(std::span<const std::uint8_t> deviceToken) {
    if (proxiedRemoteNotifications_.load()) {
        LMUAppDelegateSwizzler::notifyInterceptors([&](LMUApplicationDelegate& interceptor) {
            interceptor.applicationDidRegisterForRemoteNotificationsWithDeviceToken(deviceToken);
        });
    }
    applicationDidRegisterForRemoteNotificationsWithDeviceToken(deviceToken);
}

void AppDelegateHooks::didFailToRegisterForRemoteNotificationsWithError(const platform::Error& error) {
    if (proxiedRemoteNotifications_.load()) {
        LMUAppDelegateSwizzler::notifyInterceptors([&](LMUApplicationDelegate& interceptor) {
            interceptor.applicationDidFailToRegisterForRemoteNotificationsWithError(error);
        });
    }
    applicationDidFailToRegisterForRemoteNotificationsWithError(error);
}

bool LMUAppDelegateSwizzler::isAppDelegateProxyEnabled() {
    platform::Value info;
    {
        ProxyState& state = proxyState();
        std::lock_guard lock(state.mutex);
        info = state.infoForTesting ? *state.infoForTesting : kit::mainBundle().infoDictionary();
    }
    return switchIsOn(info, kHaloAppDelegateProxyEnabledKey) &&
           switchIsOn(info, kLumenUtilitiesAppDelegateProxyEnabledKey);
}

std::string LMUAppDelegateSwizzler::correctAppDelegateProxyKey() {
    return std::string(kLumenUtilitiesAppDelegateProxyEnabledKey);
}

std::optional<std::string> LMUAppDelegateSwizzler::registerAppDelegateInterceptor(
    const std::shared_ptr<LMUApplicationDelegate>& interceptor) {
    if (!interceptor) {
        LMULogErrorMessage(kLMULoggerSubsystem, kLMUAppDelegateSwizzlerService, false,
                           code(kLMUSwizzlerMessageCodeAppDelegateSwizzling000),
                           "AppDelegateProxy cannot add nil interceptor.");
        return std::nullopt;
    }
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(interceptor.get()));
    std::string interceptorID = std::string(kLMUAppDelegateInterceptorIDPrefix) + address;
    interceptors().setObject(interceptor, interceptorID);
    return interceptorID;
}

void LMUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(std::string_view interceptorID) {
    if (interceptorID.empty()) {
        LMULogErrorMessage(kLMULoggerSubsystem, kLMUAppDelegateSwizzlerService, false,
                           code(kLMUSwizzlerMessageCodeAppDelegateSwizzling003),
                           "AppDelegateProxy cannot unregister empty interceptor ID.");
        return;
    }
    const auto container = interceptors().objectForKey(interceptorID);
    if (!container || container->expired()) {
        LMULogErrorMessage(kLMULoggerSubsystem, kLMUAppDelegateSwizzlerService, false,
                           code(kLMUSwizzlerMessageCodeAppDelegateSwizzling004),
                           "AppDelegateProxy cannot unregister interceptor that was not registered. Interceptor ID %@",
                           std::string(interceptorID));
        return;
    }
    interceptors().removeObjectForKey(interceptorID);
}

void LMUAppDelegateSwizzler::forEachInterceptor(const std::function<void(LMUApplicationDelegate&)>& callback) {
    for (const auto& [interceptorID, container] : interceptors().dictionary()) {
        const auto interceptor = container.lock();
        if (!interceptor) {
            LMULogWarningMessage(kLMULoggerSubsystem, kLMUAppDelegateSwizzlerService, false,
                                 code(kLMUSwizzlerMessageCodeAppDelegateSwizzling010),
                                 "AppDelegateProxy cannot find interceptor with ID %@. Removing the interceptor.",
                                 interceptorID);
            interceptors().removeObjectForKey(interceptorID);
            continue;
        }
        callback(*interceptor);
    }
}

void LMUAppDelegateSwizzler::setApplicationHooks(std::weak_ptr<AppDelegateHooks> hooks) {
    ProxyState& state = proxyState();
    std::lock_guard lock(state.mutex);
    state.hooks = std::move(hooks);
}

std::shared_ptr<AppDelegateHooks> LMUAppDelegateSwizzler::originalDelegate() {
    ProxyState& state = proxyState();
    std::lock_guard lock(state.mutex);
    return state.originalDelegate.lock();
}

void LMUAppDelegateSwizzler::proxyOriginalDelegate() {
    std::shared_ptr<AppDelegateHooks> hooks;
    {
        ProxyState& state = proxyState();
        std::lock_guard lock(state.mutex);
        if (state.proxied) {
            return;
        }
        state.proxied = true;
        hooks = state.hooks.lock();
    }
    proxyAppDelegate(hooks);
}

void LMUAppDelegateSwizzler::proxyAppDelegate(const std::shared_ptr<AppDelegateHooks>& hooks) {
    if (!isAppDelegateProxyEnabled()) {
        LMULogNoticeMessage(kLMULoggerSubsystem, kLMUAppDelegateSwizzlerService, false,
                            code(kLMUSwizzlerMessageCodeAppDelegateSwizzling011), "App Delegate Proxy is disabled. %@",
                            kProxyNotCreatedHint);
        return;
    }
    if (!hooks) {
        LMULogErrorMessage(kLMULoggerSubsystem, kLMUAppDelegateSwizzlerService, false,
                           code(kLMUSwizzlerMessageCodeAppDelegateSwizzling012),
                           "Cannot create App Delegate Proxy because App Delegate instance is nil. %@",
                           kProxyNotCreatedHint);
        return;
    }
    hooks->proxied_.store(true);
    {
        ProxyState& state = proxyState();
        std::lock_guard lock(state.mutex);
        state.originalDelegate = hooks;
    }
    LMULogDebugMessage(
        kLMULoggerSubsystem, kLMUAppDelegateSwizzlerService, false,
        code(kLMUSwizzlerMessageCodeAppDelegateSwizzling008),
        "Successfully created App Delegate Proxy automatically. To disable the proxy, set the flag %@ to "
        "NO (Boolean) in the Info.plist",
        correctAppDelegateProxyKey());
}

void LMUAppDelegateSwizzler::proxyOriginalDelegateIncludingAPNSMethods() {
    proxyOriginalDelegate();
    std::shared_ptr<AppDelegateHooks> hooks;
    {
        ProxyState& state = proxyState();
        std::lock_guard lock(state.mutex);
        if (state.proxiedRemoteNotifications) {
            return;
        }
        state.proxiedRemoteNotifications = true;
        hooks = state.originalDelegate.lock();
    }
    if (hooks && hooks->proxied_.load()) {
        hooks->proxiedRemoteNotifications_.store(true);
    }
}

void LMUAppDelegateSwizzler::clearInterceptors() { interceptors().removeAllObjects(); }

void LMUAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken() {
    ProxyState& state = proxyState();
    std::lock_guard lock(state.mutex);
    state.proxied = false;
    state.proxiedRemoteNotifications = false;
}

}  // namespace kit

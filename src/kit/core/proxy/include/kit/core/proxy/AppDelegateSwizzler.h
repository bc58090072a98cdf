#pragma once

#include "platform/Error.h"

#include <atomic>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Application-delegate interception. A shell cannot be given a new class at
// run time here, so the shell implements `AppDelegateHooks` and registers
// them; once the proxy is attached, each callback the shell receives runs
// the registered interceptors first, then the shell's own handler.
namespace kit {

inline constexpr std::string_view kLMUAppDelegateSwizzlerService = "[LumenUtilities/AppDelegateSwizzler]";
inline constexpr std::string_view kHaloAppDelegateProxyEnabledKey = "HaloAppDelegateProxyEnabled";
inline constexpr std::string_view kLumenUtilitiesAppDelegateProxyEnabledKey = "LumenUtilitiesAppDelegateProxyEnabled";
inline constexpr std::string_view kLMUAppDelegateInterceptorIDPrefix = "LMU_";

enum LMUSwizzlerMessageCode : int {
    kLMUSwizzlerMessageCodeAppDelegateSwizzling000 = 1000,  // nil interceptor
    kLMUSwizzlerMessageCodeAppDelegateSwizzling001 = 1001,  // not an application delegate
    kLMUSwizzlerMessageCodeAppDelegateSwizzling002 = 1002,  // no interceptor ID
    kLMUSwizzlerMessageCodeAppDelegateSwizzling003 = 1003,  // empty ID to unregister
    kLMUSwizzlerMessageCodeAppDelegateSwizzling004 = 1004,  // ID not registered
    kLMUSwizzlerMessageCodeAppDelegateSwizzling008 = 1008,  // proxy created
    kLMUSwizzlerMessageCodeAppDelegateSwizzling010 = 1010,  // interceptor released
    kLMUSwizzlerMessageCodeAppDelegateSwizzling011 = 1011,  // proxy disabled
    kLMUSwizzlerMessageCodeAppDelegateSwizzling012 = 1012,  // no delegate
    kLMUSwizzlerMessageCodeAppDelegateSwizzling013 = 1013,  // proxy failed
};

// An activity handed over to the application (a deep link).
struct LMUUserActivity {
    std::string activityType;
    std::string webpageURL;
};

// What an interceptor or the shell may answer. Each answer is "not
// answered" unless overridden: `nullopt` for the activity, false for the
// others.
class LMUApplicationDelegate {
public:
    virtual ~LMUApplicationDelegate() = default;
    virtual std::optional<bool> applicationContinueUserActivity(const LMUUserActivity& activity);
    virtual bool applicationDidRegisterForRemoteNotificationsWithDeviceToken(std::span<const std::uint8_t> deviceToken);
    virtual bool applicationDidFailToRegisterForRemoteNotificationsWithError(const platform::Error& error);
};

// The shell's side: its own handlers (the real delegate) and the entry
// points it calls when the desktop delivers a callback.
class AppDelegateHooks : public LMUApplicationDelegate {
public:
    // Interceptors first (once attached), then the shell's handler; true
    // when any of them answered true.
    bool continueUserActivity(const LMUUserActivity& activity);
    void didRegisterForRemoteNotificationsWithDeviceToken(std::span<const std::uint8_t> deviceToken);
    void didFailToRegisterForRemoteNotificationsWithError(const platform::Error& error);

    bool isProxied() const noexcept { return proxied_.load(); }
    bool isProxyingRemoteNotifications() const noexcept { return proxiedRemoteNotifications_.load(); }

private:
    friend class LMUAppDelegateSwizzler;
    std::atomic<bool> proxied_{false};
    std::atomic<bool> proxiedRemoteNotifications_{false};
};

class LMUAppDelegateSwizzler {
public:
    // Both Info.plist switches are true (absent or not a number counts as true).
    static bool isAppDelegateProxyEnabled();
    static std::string correctAppDelegateProxyKey();

    // The ID ("LMU_" and the address), or nothing (logged) for no interceptor.
    // Kept weakly; registering does not attach the proxy.
    static std::optional<std::string> registerAppDelegateInterceptor(
        const std::shared_ptr<LMUApplicationDelegate>& interceptor);
    static void unregisterAppDelegateInterceptorWithID(std::string_view interceptorID);

    // The shell registers its hooks before the kit starts; kept weakly.
    static void setApplicationHooks(std::weak_ptr<AppDelegateHooks> hooks);
    static std::shared_ptr<AppDelegateHooks> originalDelegate();

    // Attaches to the shell's hooks, once per process.
    static void proxyOriginalDelegate();
    static void proxyOriginalDelegateIncludingAPNSMethods();

    static void clearInterceptors();
    static void resetProxyOriginalDelegateOnceToken();

    // Runs `callback` with each live interceptor; released ones are dropped
    // with a warning.
    template <typename Callback>
    static void notifyInterceptors(Callback&& callback) {
        forEachInterceptor([&](LMUApplicationDelegate& interceptor) { callback(interceptor); });
    }

private:
    static void forEachInterceptor(const std::function<void(LMUApplicationDelegate&)>& callback);
    static void proxyAppDelegate(const std::shared_ptr<AppDelegateHooks>& hooks);
};

}  // namespace kit

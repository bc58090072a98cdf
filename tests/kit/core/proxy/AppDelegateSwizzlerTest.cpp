#include "AppDelegateSwizzlerPrivate.h"
#include "KitTestSupport.h"
#include "kit/core/proxy/AppDelegateSwizzler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kit {
namespace {

using ::testing::HasSubstr;
using testing::KitTest;
using ::testing::MatchesRegex;

class Interceptor final : public LMUApplicationDelegate {
public:
    explicit Interceptor(std::optional<bool> answer = std::nullopt) : answer_(answer) {}
    std::optional<bool> applicationContinueUserActivity(const LMUUserActivity& activity) override {
        seen.push_back(activity.webpageURL);
        return answer_;
    }
    bool applicationDidRegisterForRemoteNotificationsWithDeviceToken(std::span<const std::uint8_t> token) override {
        tokens += static_cast<int>(token.size());
        return true;
    }
    std::vector<std::string> seen;
    int tokens = 0;

private:
    std::optional<bool> answer_;
};

class ShellHooks final : public AppDelegateHooks {
public:
    explicit ShellHooks(std::optional<bool> answer = std::nullopt) : answer_(answer) {}
    std::optional<bool> applicationContinueUserActivity(const LMUUserActivity&) override {
        ++calls;
        return answer_;
    }
    int calls = 0;

private:
    std::optional<bool> answer_;
};

class AppDelegateSwizzlerTest : public KitTest {
protected:
    AppDelegateSwizzlerTest() { reset(); }
    ~AppDelegateSwizzlerTest() override { reset(); }

    static void reset() {
        LMUAppDelegateSwizzler::clearInterceptors();
        LMUAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken();
        LMUAppDelegateSwizzler::setApplicationHooks({});
        detail::setAppDelegateProxyInfoDictionaryForTesting(platform::Value(platform::Value::Dictionary{}));
    }

    static void setSwitch(std::string_view key, platform::Value value) {
        platform::Value::Dictionary info;
        info.emplace(std::string(key), std::move(value));
        detail::setAppDelegateProxyInfoDictionaryForTesting(platform::Value(std::move(info)));
    }
};

TEST_F(AppDelegateSwizzlerTest, SwitchesOfTheInfoPlist) {
    struct Row {
        std::string_view key;
        platform::Value value;
        bool enabled;
    };
    const Row rows[] = {
        {"LumenUtilitiesAppDelegateProxyEnabled", platform::Value(false), false},
        {"HaloAppDelegateProxyEnabled", platform::Value(false), false},
        {"HaloAppDelegateProxyEnabled", platform::Value(std::int64_t{0}), false},
        {"HaloAppDelegateProxyEnabled", platform::Value(true), true},
        {"HaloAppDelegateProxyEnabled", platform::Value(std::string("NO")), true},  // not a number
        {"SomethingElse", platform::Value(false), true},
    };
    for (const Row& row : rows) {
        setSwitch(row.key, row.value);
        EXPECT_EQ(LMUAppDelegateSwizzler::isAppDelegateProxyEnabled(), row.enabled) << row.key;
    }
}

TEST_F(AppDelegateSwizzlerTest, SwitchOffLogsAndLeavesTheHooksAlone) {
    setSwitch("LumenUtilitiesAppDelegateProxyEnabled", platform::Value(false));
    auto hooks = std::make_shared<ShellHooks>();
    LMUAppDelegateSwizzler::setApplicationHooks(hooks);
    LMUAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_FALSE(hooks->isProxied());
    EXPECT_FALSE(LMUAppDelegateSwizzler::originalDelegate());
    const auto lines = drainLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("I-SWZ001011"));
    EXPECT_THAT(lines[0], HasSubstr("App Delegate Proxy is disabled."));
}

TEST_F(AppDelegateSwizzlerTest, NoHooksLogsNilDelegate) {
    LMUAppDelegateSwizzler::proxyOriginalDelegate();
    const auto lines = drainLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("I-SWZ001012"));
}

TEST_F(AppDelegateSwizzlerTest, EmptyHooksLogOnlyTheDebugLineAndAttachOnce) {
    LMULoggerEnableDebugMode();
    auto hooks = std::make_shared<ShellHooks>();
    LMUAppDelegateSwizzler::setApplicationHooks(hooks);
    LMUAppDelegateSwizzler::proxyOriginalDelegate();
    LMUAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_TRUE(hooks->isProxied());
    EXPECT_EQ(LMUAppDelegateSwizzler::originalDelegate(), hooks);
    const auto entries = drainLog();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, platform::LogType::debug);
    EXPECT_THAT(entries[0].line, HasSubstr("I-SWZ001008"));
    EXPECT_THAT(entries[0].line, HasSubstr("set the flag LumenUtilitiesAppDelegateProxyEnabled to NO"));
}

TEST_F(AppDelegateSwizzlerTest, RegistrationFailuresAreLogged) {
    EXPECT_FALSE(LMUAppDelegateSwizzler::registerAppDelegateInterceptor(nullptr));
    LMUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID("");
    LMUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID("LMU_0x1234");
    const auto lines = drainLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[0], HasSubstr("I-SWZ001000"));
    EXPECT_THAT(lines[1], HasSubstr("I-SWZ001003"));
    EXPECT_THAT(lines[2], HasSubstr("I-SWZ001004"));
    EXPECT_THAT(lines[2], HasSubstr("Interceptor ID LMU_0x1234"));
}

TEST_F(AppDelegateSwizzlerTest, UnregisteredInterceptorsAreNotCalled) {
    auto hooks = std::make_shared<ShellHooks>();
    LMUAppDelegateSwizzler::setApplicationHooks(hooks);
    LMUAppDelegateSwizzler::proxyOriginalDelegate();
    auto interceptor = std::make_shared<Interceptor>(true);
    const auto interceptorID = LMUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
    ASSERT_TRUE(interceptorID);
    EXPECT_THAT(*interceptorID, MatchesRegex("LMU_0x[0-9a-f]+"));
    EXPECT_TRUE(hooks->continueUserActivity({"browsing", "https://example.test/a"}));
    LMUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(*interceptorID);
    EXPECT_FALSE(hooks->continueUserActivity({"browsing", "https://example.test/b"}));
    EXPECT_EQ(interceptor->seen, std::vector<std::string>{"https://example.test/a"});
    EXPECT_EQ(hooks->calls, 2);
}

TEST_F(AppDelegateSwizzlerTest, ReleasedInterceptorIsDroppedWithAWarning) {
    auto hooks = std::make_shared<ShellHooks>();
    LMUAppDelegateSwizzler::setApplicationHooks(hooks);
    LMUAppDelegateSwizzler::proxyOriginalDelegate();
    auto interceptor = std::make_shared<Interceptor>(true);
    const auto interceptorID = LMUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
    interceptor.reset();
    drainLines();
    EXPECT_FALSE(hooks->continueUserActivity({"browsing", "https://example.test/"}));
    auto lines = drainLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("I-SWZ001010"));
    EXPECT_THAT(lines[0], HasSubstr("cannot find interceptor with ID " + *interceptorID));
    hooks->continueUserActivity({"browsing", "https://example.test/"});
    EXPECT_TRUE(drainLines().empty());
}

TEST_F(AppDelegateSwizzlerTest, AnswersAreOred) {
    struct Row {
        std::optional<bool> interceptor;
        std::optional<bool> shell;
        bool proxied;
        bool answer;
    };
    const Row rows[] = {
        {true, false, true, true},        {false, true, true, true},
        {false, false, true, false},      {std::nullopt, false, true, false},
        {true, std::nullopt, true, true}, {true, false, false, false},  // not attached: the shell alone
    };
    for (const Row& row : rows) {
        reset();
        auto hooks = std::make_shared<ShellHooks>(row.shell);
        LMUAppDelegateSwizzler::setApplicationHooks(hooks);
        if (row.proxied) {
            LMUAppDelegateSwizzler::proxyOriginalDelegate();
        }
        auto interceptor = std::make_shared<Interceptor>(row.interceptor);
        LMUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
        EXPECT_EQ(hooks->continueUserActivity({"browsing", "https://example.test/"}), row.answer);
        EXPECT_EQ(hooks->calls, 1);
        EXPECT_EQ(interceptor->seen.size(), row.proxied ? 1u : 0u);
    }
}

TEST_F(AppDelegateSwizzlerTest, RemoteNotificationsReachInterceptorsOnlyOnceAsked) {
    auto hooks = std::make_shared<ShellHooks>();
    LMUAppDelegateSwizzler::setApplicationHooks(hooks);
    auto interceptor = std::make_shared<Interceptor>();
    LMUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
    const std::vector<std::uint8_t> token = {1, 2, 3};
    LMUAppDelegateSwizzler::proxyOriginalDelegate();
    hooks->didRegisterForRemoteNotificationsWithDeviceToken(token);
    EXPECT_EQ(interceptor->tokens, 0);
    LMUAppDelegateSwizzler::proxyOriginalDelegateIncludingAPNSMethods();
    EXPECT_TRUE(hooks->isProxyingRemoteNotifications());
    hooks->didRegisterForRemoteNotificationsWithDeviceToken(token);
    EXPECT_EQ(interceptor->tokens, 3);
}

}  // namespace
}  // namespace kit

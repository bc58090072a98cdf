#include "ConfigurationTestSupport.h"
#include "kit/core/MainBundle.h"
#include "kit/core/ClassRegistry.h"

#include "platform/UserDefaults.h"
#include "platform/concurrency/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>

namespace kit {
namespace {

namespace texts = core_texts;
using platform::Value;
using testing::ConfigurationTest;
using testing::raisedBy;

class Greeter : public virtual HLOObject {
public:
    static constexpr std::string_view kProtocolName = "TestGreeter";
    virtual std::string greeting() const = 0;
};

class Counter : public virtual HLOObject {
public:
    static constexpr std::string_view kProtocolName = "TestCounter";
};

class FixedGreeter final : public Greeter {
public:
    explicit FixedGreeter(std::string text) : text_(std::move(text)) {}
    std::string greeting() const override { return text_; }

private:
    std::string text_;
};

class Plain final : public HLOObject {};
class PlainCounter final : public Counter {};

class Maintained final : public Greeter, public HLOComponentLifecycleMaintainer {
public:
    explicit Maintained(std::atomic<int>& calls) : calls_(calls) {}
    std::string greeting() const override { return "maintained"; }
    void appWillBeDeleted(HLOApp&) override { ++calls_; }

private:
    std::atomic<int>& calls_;
};

// A library listing the components it is given.
class TestLibrary final : public HLOLibrary {
public:
    explicit TestLibrary(std::vector<HLOComponent> components) : components_(std::move(components)) {}
    std::vector<HLOComponent> componentsToRegister() const override { return components_; }

private:
    std::vector<HLOComponent> components_;
};

class ComponentTest : public ConfigurationTest {
protected:
    void registerLibrary(const std::string& className, std::vector<HLOComponent> components) {
        kit::classRegistry().registerClass<HLOLibrary>(className, std::make_shared<TestLibrary>(std::move(components)));
        HLOApp::registerInternalLibrary(className, "lib-" + className, "1.0");
    }
    static HLOComponent greeter(std::string text, bool cacheable,
                                HLOInstantiationTiming timing = HLOInstantiationTimingLazy,
                                std::atomic<int>* made = nullptr) {
        return HLOComponent::componentWithProtocol(HLOProtocol::of<Greeter>(), timing,
                                                   [text, cacheable, made](HLOComponentContainer&, bool& isCacheable) {
                                                       if (made != nullptr) {
                                                           ++*made;
                                                       }
                                                       isCacheable = cacheable;
                                                       return std::make_shared<FixedGreeter>(text);
                                                   });
    }
    std::shared_ptr<HLOApp> configureNamed(const std::string& name) {
        const auto options = optionsWithAppID(kValidAppID);
        HLOApp::configureWithName(name, &options);
        return HLOApp::appNamed(name);
    }
};

TEST_F(ComponentTest, ADuplicateProtocolKeepsTheFirstAndLogsOnce) {
    registerLibrary("First", {greeter("first", true)});
    registerLibrary("Second", {greeter("second", true)});
    const auto app = configureNamed("app");
    EXPECT_EQ(drainCodes(), (std::vector<std::string>{"I-COR000002", "I-COR000029"}));
    EXPECT_EQ(app->container().instanceFor<Greeter>()->greeting(), "first");
}

TEST_F(ComponentTest, EagerComponentsFollowTheirTiming) {
    std::atomic<int> always = 0;
    std::atomic<int> defaultOnly = 0;
    registerLibrary("Eager", {greeter("always", true, HLOInstantiationTimingAlwaysEager, &always),
                              HLOComponent::componentWithProtocol(HLOProtocol::of<Counter>(),
                                                                  HLOInstantiationTimingEagerInDefaultApp,
                                                                  [&](HLOComponentContainer&, bool& isCacheable) {
                                                                      ++defaultOnly;
                                                                      isCacheable = true;
                                                                      return std::make_shared<Plain>();
                                                                  })});
    configureNamed("named");
    EXPECT_EQ(always.load(), 1);
    EXPECT_EQ(defaultOnly.load(), 0);
    writeOptions(validOptions());
    HLOApp::configure();
    EXPECT_EQ(always.load(), 2);
    EXPECT_EQ(defaultOnly.load(), 1);
    // Made and cached once: later requests get the same object.
    auto& container = HLOApp::defaultApp()->container();
    EXPECT_EQ(container.instanceFor<Greeter>(), container.instanceFor<Greeter>());
    EXPECT_EQ(always.load(), 2);
}

TEST_F(ComponentTest, ANonCachingBlockMakesANewObjectPerRequest) {
    std::atomic<int> made = 0;
    registerLibrary("Fresh", {greeter("fresh", false, HLOInstantiationTimingLazy, &made)});
    const auto app = configureNamed("app");
    const auto first = app->container().instanceFor<Greeter>();
    const auto second = app->container().instanceFor<Greeter>();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(made.load(), 2);
    EXPECT_EQ(app->container().instanceFor<Counter>(), nullptr);  // nothing registered
}

TEST_F(ComponentTest, ABlockMayAskItsOwnContainer) {
    registerLibrary(
        "Nested", {greeter("inner", true), HLOComponent::componentWithProtocol(
                                               HLOProtocol::of<Counter>(), [](HLOComponentContainer& container, bool&) {
                                                   // Re-enters the container while its lock is held.
                                                   EXPECT_NE(container.instanceFor<Greeter>(), nullptr);
                                                   return std::make_shared<PlainCounter>();
                                               })});
    const auto app = configureNamed("app");
    EXPECT_NE(app->container().instanceFor<Counter>(), nullptr);
}

TEST_F(ComponentTest, ANonConformingObjectIsLoggedAndAnsweredNullWhenTyped) {
    registerLibrary("Wrong", {HLOComponent::componentWithProtocol(HLOProtocol::of<Greeter>(),
                                                                  [](HLOComponentContainer&, bool& isCacheable) {
                                                                      isCacheable = true;
                                                                      return std::make_shared<Plain>();
                                                                  })});
    const auto app = configureNamed("app");
    drainLines();
    EXPECT_EQ(app->container().instanceFor<Greeter>(), nullptr);
    EXPECT_EQ(drainLines(), (std::vector<std::string>{
                                "11.9.0 - [HaloCore][I-COR000030] An instance conforming to TestGreeter was requested, "
                                "but the instance provided does not conform to the protocol"}));
    EXPECT_NE(app->container().instanceForProtocol(HLOProtocol::of<Greeter>()), nullptr);
}

TEST_F(ComponentTest, LibraryNamesAndVersionsReachTheUserAgentOnlyWhenClean) {
    const struct {
        const char* name;
        const char* version;
        bool recorded;
    } rows[] = {
        {"good-lib_1.x", "1.0.2-beta_3", true},
        {"spaced", "1.0 beta", false},
        {"bad name", "1.0", false},
        {"slash", "1/0", false},
        {"empty-version", "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HLOApp::registerLibrary(row.name, row.version);
        const std::string agent = HLOApp::haloUserAgent();
        EXPECT_EQ(agent.find(std::string(row.name) + "/") != std::string::npos, row.recorded) << agent;
        EXPECT_EQ(drainCodes(), row.recorded ? std::vector<std::string>{} : std::vector<std::string>{"I-COR000027"});
    }
    EXPECT_NE(HLOApp::haloUserAgent().find("fire-ios/11.9.0"), std::string::npos);
}

TEST_F(ComponentTest, RegisteringAClassThatIsNoLibraryRaises) {
    kit::classRegistry().registerClass<Plain>("NotALibrary", std::make_shared<Plain>());
    const auto raised = raisedBy([] { HLOApp::registerInternalLibrary("NotALibrary", "x"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->name, "NSInvalidArgumentException");
    EXPECT_EQ(raised->reason,
              "Class NotALibrary attempted to register components, but it does not conform to "
              "`HLOLibrary or provide a `componentsToRegister:` method.");
    EXPECT_TRUE(HLOComponentContainer::registrants().empty());
}

TEST_F(ComponentTest, OptionalLibrariesAreFoundOnlyWhenRegistered) {
    HLOApp::registerSwiftComponents();
    EXPECT_EQ(HLOApp::haloUserAgent().find("fire-ses"), std::string::npos);
    kit::classRegistry().registerClass<HLOLibrary>("HLOSessions",
                                                   std::make_shared<TestLibrary>(std::vector<HLOComponent>{}));
    HLOApp::registerSwiftComponents();
    EXPECT_NE(HLOApp::haloUserAgent().find("fire-ses/11.9.0"), std::string::npos);
    ASSERT_EQ(HLOComponentContainer::registrants().size(), 1U);
    EXPECT_EQ(HLOComponentContainer::registrants()[0].className, "HLOSessions");
}

TEST_F(ComponentTest, DeletingAnAppClearsEverythingAndPosts) {
    std::atomic<int> told = 0;
    registerLibrary("Kept", {HLOComponent::componentWithProtocol(HLOProtocol::of<Greeter>(),
                                                                 [&](HLOComponentContainer&, bool& isCacheable) {
                                                                     isCacheable = true;
                                                                     return std::make_shared<Maintained>(told);
                                                                 })});
    writeOptions(validOptions());
    HLOApp::configure();
    const auto app = HLOApp::defaultApp();
    ASSERT_NE(app->container().instanceFor<Greeter>(), nullptr);
    app->setDataCollectionDefaultEnabled(false);
    std::vector<platform::Notification> posted;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        std::string(texts::kAppDeleteNotification), nullptr,
        [&](const platform::Notification& notification) { posted.push_back(notification); });
    std::optional<bool> result;
    app->deleteApp([&](bool success) { result = success; });
    platform::NotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(result, true);
    EXPECT_EQ(told.load(), 1);
    EXPECT_EQ(app->container().instanceFor<Greeter>(), nullptr);
    EXPECT_FALSE(HLOApp::isDefaultAppConfigured());
    EXPECT_TRUE(HLOApp::allApps()->empty());
    EXPECT_EQ(kit::standardDefaults().object("/lumen/halo/global_data_collection_enabled:__HLOAPP_DEFAULT"),
              std::nullopt);
    ASSERT_EQ(posted.size(), 1U);
    EXPECT_EQ(posted[0].sender, HLOApp::notificationSender());
    EXPECT_EQ(posted[0].userInfo, Value(Value::Dictionary{{"HLOAppNameKey", Value("__HLOAPP_DEFAULT")}}));
    drainLines();
    app->deleteApp([&](bool success) { result = success; });
    EXPECT_EQ(result, false);
    EXPECT_EQ(drainCodes(), (std::vector<std::string>{"I-COR000007"}));
    // The name is free again.
    HLOApp::configure();
    EXPECT_TRUE(HLOApp::isDefaultAppConfigured());
}

}  // namespace
}  // namespace kit

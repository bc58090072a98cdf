#include "ServiceTestSupport.h"
#include "kit.h"
#include "kit/core/network/CurlTransport.h"
#include "kit/installations/HLOInstallations.h"
#include "kit/measurement/controller/MSRAnalytics.h"

#include "kit/core/ClassRegistry.h"

#include <gtest/gtest.h>

#include <future>

namespace kit::installations::testing {
namespace {

using kit::testing::raisedBy;

HLOOptions optionsWith(const char* APIKey, const char* appID = kAppID, const char* projectID = kProject) {
    HLOOptions options(appID, "sender");
    options.setAPIKey(std::string(APIKey));
    options.setProjectID(std::string(projectID));
    return options;
}

class HLOInstallationsTest : public InstallationsServiceTest {
protected:
    // What a completion got, and whether it ran on the main queue's thread.
    template <typename Value>
    struct Delivery {
        std::optional<Value> value;
        promises::ErrorPointer error;
        bool onMainQueue = false;
    };

    Delivery<std::string> installationID(HLOInstallations& installations) {
        std::promise<Delivery<std::string>> delivered;
        installations.installationIDWithCompletion(
            [&](std::optional<std::string> identifier, promises::ErrorPointer error) {
                delivered.set_value({std::move(identifier), std::move(error), mainQueue->isCurrent()});
            });
        return delivered.get_future().get();
    }

    Delivery<HLOInstallationsAuthTokenResult> authToken(HLOInstallations& installations, bool forceRefresh = false) {
        std::promise<Delivery<HLOInstallationsAuthTokenResult>> delivered;
        installations.authTokenForcingRefresh(
            forceRefresh, [&](std::optional<HLOInstallationsAuthTokenResult> result, promises::ErrorPointer error) {
                delivered.set_value({std::move(result), std::move(error), mainQueue->isCurrent()});
            });
        return delivered.get_future().get();
    }

    std::shared_ptr<HLOInstallations> makeInstallations(std::shared_ptr<HLOInstallationsIDController> controller) {
        return std::make_shared<HLOInstallations>(optionsWith(kAPIKey), kAppName, std::move(controller), false);
    }
};

TEST_F(HLOInstallationsTest, InvalidOptionsRaiseWithTheirFindings) {
    const std::string opening =
        "[HaloInstallations][I-INS008000] Could not configure Halo Installations due to invalid HaloApp options. ";
    const std::string closing =
        ". If you use LumenServices-Info.plist please download the most recent version from the Halo Console. If you "
        "configure Halo in code, please make sure you specify all required parameters.";
    struct Case {
        const char* name;
        HLOOptions options;
        std::string appName;
        std::string findings;
    };
    const Case cases[] = {
        {"38 characters", optionsWith("A0123456789012345678901234567890123456"), kAppName,
         "`HaloOptions.APIKey` doesn't match the expected format: API Key length must be 39 characters"},
        {"B and a plus", optionsWith("B012345678901234567890123456789012345+7"), kAppName,
         "`HaloOptions.APIKey` doesn't match the expected format: API Key must start with `A`, API Key must contain "
         "only base64 url-safe characters characters"},
        {"all empty", optionsWith("", "", ""), "",
         "The following parameters are nil or empty: `HaloApp.name`, `HaloOptions.APIKey`, "
         "`HaloOptions.lumenAppID`, `HaloOptions.projectID`"},
        {"no project", optionsWith(kAPIKey, kAppID, ""), kAppName,
         "The following parameters are nil or empty: `HaloOptions.projectID`"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto raised = raisedBy([&] { HLOInstallations(row.options, row.appName, makeController(), false); });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->name, "com.halo.installations");
        EXPECT_EQ(raised->reason, opening + row.findings + closing);
    }
    EXPECT_FALSE(raisedBy([&] { HLOInstallations(optionsWith(kAPIKey), kAppName, makeController(), false); }));
}

TEST_F(HLOInstallationsTest, ALegacyInstanceIDWithoutUsesINSRaises) {
    class Compatible final : public HLOInstanceIDUsingINS {
    public:
        bool usesINS() const override { return true; }
    };
    auto& registry = kit::classRegistry();
    registry.registerClass<HLOInstanceIDUsingINS>("HLOInstanceID", std::make_shared<Compatible>());
    EXPECT_FALSE(raisedBy([&] { makeInstallations(makeController()); }));

    registry.registerClass<int>("HLOInstanceID", std::make_shared<int>(8));
    const auto raised = raisedBy([&] { makeInstallations(makeController()); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->name, "com.halo.installations");
    EXPECT_TRUE(raised->reason.starts_with(
        "Halo Instance ID is not compatible with Halo 8.x+. Please remove the dependency from the app."))
        << raised->reason;
}

TEST_F(HLOInstallationsTest, TheDefaultInstanceNeedsAConfiguredApp) {
    const auto raised = raisedBy([] { HLOInstallations::installations(); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->name, "com.halo.installations");
    EXPECT_EQ(raised->reason,
              "The default HaloApp instance must be configured before the defaultHaloApp instance can be initialized. "
              "One way to ensure this is to call `HaloApp.configure()` in the App  Delegate's "
              "`application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in SwiftUI).");
}

TEST_F(HLOInstallationsTest, CompletionsRunOnTheMainQueueWithPublicErrors) {
    // No address: the ID still comes, the token fails as a transport error.
    auto installations = makeInstallations(makeController(nullptr, makeService(HLOInstallationsAPIServiceSettings{})));
    const auto identifier = installationID(*installations);
    EXPECT_TRUE(identifier.onMainQueue);
    ASSERT_TRUE(identifier.value);
    EXPECT_EQ(identifier.value->size(), 22U);

    const auto token = authToken(*installations);
    EXPECT_TRUE(token.onMainQueue);
    EXPECT_FALSE(token.value);
    ASSERT_NE(token.error, nullptr);
    EXPECT_EQ(token.error->domain(), "com.halo.installations");
    EXPECT_EQ(token.error->code(), 0);
    ASSERT_NE(token.error->underlyingError(), nullptr);
    EXPECT_EQ(token.error->underlyingError()->domain(), "com.lmu.network.ErrorDomain");
    EXPECT_EQ(token.error->failureReason(), std::string("Underlying error: ") + token.error->underlyingError()->what());
}

TEST_F(HLOInstallationsTest, AnInstallationsErrorArrivesUnchanged) {
    auto refused = status(403);
    refused.delay = 200ms;  // both callers ask while it is pending
    server.script(kRegisterPath, {refused});
    const auto controller = makeController();
    const auto installations = makeInstallations(controller);
    const auto shared = controller->getAuthTokenForcingRefresh(false);
    const auto token = authToken(*installations);
    ASSERT_NE(token.error, nullptr);
    EXPECT_EQ(token.error, shared.error());  // the very object
    EXPECT_TRUE(HLOInstallationsErrorUtil::isAPIError(*token.error, 403));
    EXPECT_TRUE(promises::PromiseClass::waitForAllPromises(60));

    std::promise<promises::ErrorPointer> deleted;
    installations->deleteWithCompletion([&](promises::ErrorPointer error) { deleted.set_value(std::move(error)); });
    EXPECT_EQ(deleted.get_future().get(), nullptr);  // unregistered: nothing sent
    EXPECT_EQ(server.requests().size(), 1U);
}

TEST_F(HLOInstallationsTest, TheResultCarriesTheTokenAndItsExpiry) {
    server.script(kRegisterPath, {registerAnswer(std::nullopt, "7200s", "the-token")});
    const auto installations = makeInstallations(makeController());
    const auto token = authToken(*installations);
    ASSERT_EQ(token.error, nullptr) << token.error->what();
    EXPECT_EQ(token.value->authToken(), "the-token");
    EXPECT_EQ(token.value->expirationDate(),
              std::chrono::time_point_cast<std::chrono::microseconds>(clock->now()) + std::chrono::hours(2));
}

// The program's start: configure from the options file, then a restart over
// the same folders.
class InstallationsStartTest : public InstallationsServiceTest {
protected:
    // The start also starts the measurement engine on its own queues; they
    // finish before the test's folders go and before the process exits.
    ~InstallationsStartTest() override {
        settleEngine();
        run_.reset();
    }
    static void settleEngine() { kit::measurement::MSRAnalytics::drainForTermination(std::chrono::seconds(60)); }

    void writeServiceOptions() {
        auto options = validOptions();
        options.emplace("API_KEY", platform::Value(kAPIKey));
        options.emplace("PROJECT_ID", platform::Value(kProject));
        writeOptions(std::move(options));
    }

    // A run of the program: a kit context of its own, with the test's
    // endpoints and lines, ended (its work stopped) before the next run.
    std::string startAndAskForTheID() {
        settleEngine();
        run_.reset();
        const Endpoints endpoints = Endpoints::current();
        run_ = std::make_unique<kit::KitContext>();
        Endpoints::setCurrent(endpoints);
        kit::configure(*run_);
        std::promise<std::optional<std::string>> delivered;
        HLOInstallations::installations()->installationIDWithCompletion(
            [&](std::optional<std::string> identifier, promises::ErrorPointer) { delivered.set_value(identifier); });
        const auto identifier = delivered.get_future().get();
        EXPECT_TRUE(promises::PromiseClass::waitForAllPromises(60));
        return identifier.value_or("");
    }

private:
    std::unique_ptr<kit::KitContext> run_;
};

TEST_F(InstallationsStartTest, TheIdentityOutlivesARestart) {
    server.script(kRegisterPath, {registerAnswer()});
    writeServiceOptions();
    const std::string first = startAndAskForTheID();
    EXPECT_EQ(first.size(), 22U);
    EXPECT_NE(std::string("cdef").find(first.front()), std::string::npos);
    EXPECT_EQ(server.requests().size(), 1U);  // registered in the background

    // The restart: a new run over the same folders.
    EXPECT_EQ(startAndAskForTheID(), first);
    EXPECT_EQ(server.requests().size(), 1U);
}

}  // namespace
}  // namespace kit::installations::testing

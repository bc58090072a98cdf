#include "LoopbackRawServer.h"
#include "HeartbeatHeader.h"
#include "Process.h"
#include "ServiceTestSupport.h"
#include "kit/core/heartbeat/HLOHeartbeatLogger.h"
#include "kit/core/network/Network.h"
#include "kit/installations/InstallationsResponses.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace kit::installations::testing {
namespace {

using Json = nlohmann::json;
using platform::testing::decodeHeartbeatHeader;
using platform::testing::runCommand;
using platform::testing::shellQuote;

HLOInstallationsItem unregisteredItem(const std::string& fid = "dUnregisteredFID00000A") {
    HLOInstallationsItem item(kAppID, kAppName);
    item.haloInstallationID = fid;
    item.registrationStatus = HLOInstallationsRegistrationStatus::unregistered;
    return item;
}

HLOInstallationsItem registeredItem(const std::string& fid = "dRegisteredFID0000000A") {
    HLOInstallationsItem item = unregisteredItem(fid);
    item.refreshToken = "refresh-1";
    item.authToken.status = HLOInstallationsAuthTokenStatus::tokenReceived;
    item.authToken.token = "token-1";
    item.authToken.expirationDate = platform::Value::Date(std::chrono::seconds(1'800'000'000));
    item.registrationStatus = HLOInstallationsRegistrationStatus::registered;
    return item;
}

// The JSON behind a heartbeat header, read the way any server would.
using APIServiceTest = InstallationsServiceTest;

TEST_F(APIServiceTest, RegistrationSendsTheInstallationAndReadsTheAnswer) {
    server.script(kRegisterPath, {registerAnswer(std::nullopt, "3600s")});
    const auto result = settle(makeService()->registerInstallation(unregisteredItem()));
    ASSERT_EQ(result.error, nullptr) << result.error->what();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    const auto& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, kRegisterPath);
    EXPECT_EQ(request.header("x-lumen-api-key"), kAPIKey);
    EXPECT_EQ(request.header("x-ios-bundle-identifier"), "org.stubforge.KitTests");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.headers.count("authorization"), 0U);
    EXPECT_EQ(request.headers.count("x-lumen-ins-ios-iid-migration-auth"), 0U);
    EXPECT_EQ(request.headers.count("x-halo-client"), 0U);
    EXPECT_EQ(Json::parse(request.body), (Json{{"fid", "dUnregisteredFID00000A"},
                                               {"authVersion", "INS_v2"},
                                               {"appId", kAppID},
                                               {"sdkVersion", "i:11.9.0"}}));

    const auto& item = *result.value;
    EXPECT_EQ(item.haloInstallationID, "dUnregisteredFID00000A");  // no "fid" in the answer
    EXPECT_EQ(item.refreshToken, "rt-1");
    EXPECT_EQ(item.authToken.token, "at-1");
    EXPECT_EQ(item.authToken.status, HLOInstallationsAuthTokenStatus::tokenReceived);
    EXPECT_EQ(item.authToken.expirationDate,
              std::chrono::time_point_cast<std::chrono::microseconds>(clock->now()) + std::chrono::hours(1));
    EXPECT_EQ(item.registrationStatus, HLOInstallationsRegistrationStatus::registered);
}

TEST_F(APIServiceTest, AMigratedInstallationSendsItsLegacyToken) {
    server.script(kRegisterPath, {registerAnswer()});
    auto item = unregisteredItem();
    item.IIDDefaultToken = "legacy-token";
    ASSERT_EQ(settle(makeService()->registerInstallation(item)).error, nullptr);
    ASSERT_EQ(server.requests().size(), 1U);
    EXPECT_EQ(server.requests()[0].header("x-lumen-ins-ios-iid-migration-auth"), "legacy-token");
}

TEST_F(APIServiceTest, TheHeartbeatHeaderCarriesTodaysDateOnceLogged) {
    server.script(kRegisterPath, {registerAnswer()});
    auto heartbeat = std::make_shared<HLOHeartbeatLogger>(
        kAppID, [] { return std::string("agent/1"); }, clock);
    const auto service = makeService(std::nullopt, heartbeat);

    ASSERT_EQ(settle(service->registerInstallation(unregisteredItem())).error, nullptr);
    heartbeat->log();
    ASSERT_EQ(settle(service->registerInstallation(unregisteredItem())).error, nullptr);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0].headers.count("x-halo-client"), 0U);
    const Json decoded = decodeHeartbeatHeader(requests[1].header("x-halo-client"));
    ASSERT_EQ(decoded["heartbeats"].size(), 1U) << decoded.dump();
    EXPECT_EQ(decoded["heartbeats"][0]["dates"], Json::array({"2027-01-15"}));  // the clock's UTC day
}

TEST_F(APIServiceTest, ATokenRequestCarriesTheRefreshToken) {
    const auto item = registeredItem();
    server.script(tokenPath(item.haloInstallationID), {tokenAnswer("token-2", "3599s")});
    const auto result = settle(makeService()->refreshAuthTokenForInstallation(item));
    ASSERT_EQ(result.error, nullptr) << result.error->what();

    ASSERT_EQ(server.requests().size(), 1U);
    const auto request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.header("authorization"), "INS_v2 refresh-1");
    EXPECT_EQ(Json::parse(request.body), (Json{{"installation", {{"sdkVersion", "i:11.9.0"}}}}));
    EXPECT_EQ(result.value->authToken.token, "token-2");
    EXPECT_EQ(result.value->authToken.expirationDate,
              std::chrono::time_point_cast<std::chrono::microseconds>(clock->now()) + std::chrono::seconds(3599));
    EXPECT_EQ(result.value->refreshToken, "refresh-1");
}

TEST_F(APIServiceTest, DeletionSendsAnEmptyObjectWithTheRefreshToken) {
    const auto item = registeredItem();
    server.script(deletePath(item.haloInstallationID), {status(200)});
    ASSERT_EQ(settle(makeService()->deleteInstallation(item)).error, nullptr);
    ASSERT_EQ(server.requests().size(), 1U);
    const auto request = server.requests()[0];
    EXPECT_EQ(request.method, "DELETE");
    EXPECT_EQ(request.path, deletePath(item.haloInstallationID));
    EXPECT_EQ(request.body, "{}");
    EXPECT_EQ(request.header("authorization"), "INS_v2 refresh-1");
}

TEST_F(APIServiceTest, A500IsTriedOnceMoreASecondLater) {
    server.script(kRegisterPath, {status(500, R"({"first":1})"), registerAnswer()});
    const auto promise = makeService()->registerInstallation(unregisteredItem());
    ASSERT_TRUE(server.waitForRequests(1, 60s));
    advanceAfterTimer(999ms);
    EXPECT_EQ(clock->pendingTimerCount(), 1U);
    EXPECT_EQ(server.requests().size(), 1U);
    clock->advance(1ms);
    const auto result = settle(promise);
    ASSERT_EQ(result.error, nullptr) << result.error->what();
    EXPECT_EQ(server.requests().size(), 2U);
}

TEST_F(APIServiceTest, TwoAnswersOf500FailWithTheSecond) {
    server.script(kRegisterPath, {status(500, R"({"answer":"first"})"), status(500, R"({"answer":"second"})")});
    const auto promise = makeService()->registerInstallation(unregisteredItem());
    advanceAfterTimer(1s);
    const auto result = settle(promise);
    ASSERT_NE(result.error, nullptr);
    EXPECT_TRUE(HLOInstallationsErrorUtil::isAPIError(*result.error, 500));
    EXPECT_NE(result.error->failureReason().find(R"({"answer":"second"})"), std::string::npos)
        << result.error->failureReason();
    EXPECT_EQ(server.requests().size(), 2U);
}

TEST_F(APIServiceTest, OtherFailuresAreNotRetried) {
    server.script(kRegisterPath, {status(404, "gone")});
    const auto result = settle(makeService()->registerInstallation(unregisteredItem()));
    ASSERT_NE(result.error, nullptr);
    EXPECT_TRUE(HLOInstallationsErrorUtil::isAPIError(*result.error, 404));
    EXPECT_EQ(result.error->failureReason(), "The server responded with an error: \n - URL: " + server.baseUrl() +
                                                 kRegisterPath +
                                                 " \n - HTTP status code: 404 \n - Response body: gone");
    EXPECT_EQ(clock->pendingTimerCount(), 0U);
    EXPECT_EQ(server.requests().size(), 1U);
}

TEST_F(APIServiceTest, NoAddressSendsNothing) {
    auto noAddress = settings();
    noAddress.baseURL.clear();
    const auto service = makeService(noAddress);
    for (const auto& result : {settle(service->registerInstallation(unregisteredItem())),
                               settle(service->refreshAuthTokenForInstallation(registeredItem())),
                               settle(service->deleteInstallation(registeredItem()))}) {
        ASSERT_NE(result.error, nullptr);
        EXPECT_EQ(result.error->domain(), kLMUNetworkErrorDomain);
        EXPECT_EQ(result.error->code(), LMUErrorCodeNetworkInvalidURL);
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(APIServiceTest, AnAnswerOverOneMebibyteIsATransportError) {
    auto big = registerAnswer();
    big.body = R"({"refreshToken":"r","pad":")" + std::string((1 << 20), 'x') + R"("})";
    server.script(kRegisterPath, {big});
    const auto result = settle(makeService()->registerInstallation(unregisteredItem()));
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->domain(), kLMUNetworkTransportErrorDomain) << result.error->what();
}

TEST_F(APIServiceTest, PathSegmentsArePercentEncoded) {
    platform::testing::LoopbackRawServer relay(platform::testing::LoopbackRawServer::Mode::relay, server.port());
    auto viaRelay = settings();
    viaRelay.baseURL = relay.baseUrl() + "/";
    const auto service = std::make_shared<HLOInstallationsAPIService>(
        kAPIKey, "p/q r?", std::make_shared<FixedHeartbeatLogger>(std::nullopt), viaRelay);
    (void)settle(service->refreshAuthTokenForInstallation(registeredItem("../x%y~z.")));
    ASSERT_EQ(relay.connectionCount(), 1U);
    const std::string sent = relay.clientBytes()[0];
    EXPECT_TRUE(sent.starts_with("POST /v1/projects/p%2Fq%20r%3F/installations/..%2Fx%25y~z./authTokens:generate "))
        << sent;
}

TEST_F(APIServiceTest, NoHeaderWithALineBreakIsSent) {
    struct Case {
        const char* name;
        std::string APIKey;
        std::optional<std::string> heartbeat;
        std::string refreshToken;
    };
    const Case cases[] = {
        {"API key", std::string(kAPIKey) + "\r\nX-Injected: 1", std::nullopt, "refresh"},
        {"heartbeat", kAPIKey, "abc\nX-Injected: 1", "refresh"},
        {"refresh token", kAPIKey, std::nullopt, "refresh\rX-Injected: 1"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto service = std::make_shared<HLOInstallationsAPIService>(
            row.APIKey, kProject, std::make_shared<FixedHeartbeatLogger>(row.heartbeat), settings());
        auto item = registeredItem();
        item.refreshToken = row.refreshToken;
        const auto result = settle(service->refreshAuthTokenForInstallation(item));
        ASSERT_NE(result.error, nullptr);
        EXPECT_EQ(result.error->domain(), kLMUNetworkErrorDomain);
        EXPECT_EQ(result.error->code(), LMUErrorCodeNetworkRequestCreation);
    }
    EXPECT_TRUE(server.requests().empty());
}

// "expiresIn" of a token answer: one trailing "s" at most, then digits
// with an optional fraction, at most ten years.
TEST_F(APIServiceTest, ExpiresInIsSecondsWithAnOptionalUnit) {
    struct Case {
        const char* text;
        std::optional<std::chrono::microseconds> expected;
    };
    const Case cases[] = {
        {"3600s", std::chrono::seconds(3600)},
        {"10", std::chrono::seconds(10)},
        {"3.5s", std::chrono::milliseconds(3500)},
        {"", std::nullopt},
        {"s", std::nullopt},
        {"-5s", std::nullopt},
        {"abcs", std::nullopt},
        {"1e3s", std::nullopt},
        {"999999999999s", std::nullopt},
        {"10ss", std::nullopt},
        {"3.s", std::nullopt},
        {"0x10s", std::nullopt},
    };
    const auto item = registeredItem();
    const auto service = makeService();
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        server.script(tokenPath(item.haloInstallationID), {tokenAnswer("t", row.text)});
        const auto result = settle(service->refreshAuthTokenForInstallation(item));
        if (row.expected) {
            ASSERT_EQ(result.error, nullptr) << result.error->what();
            EXPECT_EQ(*result.value->authToken.expirationDate,
                      std::chrono::time_point_cast<std::chrono::microseconds>(clock->now()) + *row.expected);
        } else {
            ASSERT_NE(result.error, nullptr);
            EXPECT_EQ(result.error->failureReason(),
                      "A required response field with name authToken.expiresIn is missing");
        }
    }
}

// Each broken register answer fails with its own error, and nothing of it
// is taken.
TEST_F(APIServiceTest, BrokenAnswersFailWithTheirErrors) {
    const std::string json = "Failed to serialize JSON data.";
    const auto missing = [](const std::string& field) {
        return "A required response field with name " + field + " is missing";
    };
    const std::string goodToken = R"("authToken":{"token":"t","expiresIn":"60s"})";
    struct Case {
        const char* name;
        std::string body;
        std::string reason;
    };
    const Case cases[] = {
        {"not JSON", "not json", json},
        {"not an object", R"(["refreshToken"])", json},
        {"not UTF-8", "{\"refreshToken\":\"\xff\"}", json},
        {"authToken a string", R"({"refreshToken":"r","authToken":"t"})", missing("authToken")},
        {"no refresh token", "{" + goodToken + "}", missing("refreshToken")},
        {"empty refresh token", R"({"refreshToken":"",)" + goodToken + "}", missing("refreshToken")},
        {"refresh token with a line break", R"({"refreshToken":"r\nX: 1",)" + goodToken + "}", missing("refreshToken")},
        {"empty token", R"({"refreshToken":"r","authToken":{"token":"","expiresIn":"60s"}})",
         missing("authToken.token")},
        {"token with a control character", R"({"refreshToken":"r","authToken":{"token":"a\u0001","expiresIn":"60s"}})",
         missing("authToken.token")},
        {"token with a C1 control", R"({"refreshToken":"r","authToken":{"token":"a\u0085","expiresIn":"60s"}})",
         missing("authToken.token")},
        {"no expiry", R"({"refreshToken":"r","authToken":{"token":"t"}})", missing("authToken.expiresIn")},
        {"expiry a number", R"({"refreshToken":"r","authToken":{"token":"t","expiresIn":60}})",
         missing("authToken.expiresIn")},
        {"fid leaving the path", R"({"fid":"../x","refreshToken":"r",)" + goodToken + "}", missing("fid")},
        {"fid with a control character", R"({"fid":"ab\u0007","refreshToken":"r",)" + goodToken + "}", missing("fid")},
    };
    const auto service = makeService();
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        server.script(kRegisterPath, {ScriptedResponse{201, {{"Content-Type", "application/json"}}, row.body}});
        const auto result = settle(service->registerInstallation(unregisteredItem()));
        ASSERT_NE(result.error, nullptr);
        EXPECT_EQ(result.error->domain(), "com.halo.installations");
        EXPECT_EQ(result.error->code(), 0);
        EXPECT_EQ(result.error->failureReason(), row.reason);
    }
}

TEST_F(APIServiceTest, TheServersFIDReplacesTheOneSent) {
    const auto service = makeService();
    struct Case {
        std::optional<std::string> fid;
        std::string expected;
    };
    const Case cases[] = {
        {"cServerFID-_09", "cServerFID-_09"}, {std::nullopt, "dUnregisteredFID00000A"}, {"", "dUnregisteredFID00000A"}};
    for (const auto& row : cases) {
        server.script(kRegisterPath, {registerAnswer(row.fid)});
        const auto result = settle(service->registerInstallation(unregisteredItem()));
        ASSERT_EQ(result.error, nullptr) << result.error->what();
        EXPECT_EQ(result.value->haloInstallationID, row.expected);
    }
}

TEST_F(APIServiceTest, AnInvalidItemIsNotSent) {
    HLOInstallationsItem item(kAppID, kAppName);
    const auto result = settle(makeService()->registerInstallation(item));
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->failureReason(),
              "HLOInstallationsItem validation errors: `haloInstallationID` must not be empty, invalid "
              "`registrationStatus`");
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace kit::installations::testing

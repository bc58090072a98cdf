// On-device conversion measurement with a fake membership client whose
// URLs point at the loopback server: the checks before a start, the query
// additions, the retry ladder, a match and the expiry of a match.
#include "EngineTestSupport.h"
#include "LoopbackHttpServer.h"
#include "Process.h"
#include "QuietReachability.h"
#include "kit/measurement/controller/MSRPrivateSetMembershipClient.h"
#include "kit/measurement/messages/MSRQueryString.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/core/ClassRegistry.h"

#include <algorithm>
#include <thread>

namespace kit::measurement::testing {
namespace {

using platform::Value;
using namespace std::chrono_literals;

constexpr double kNow = 1'700'000'000;  // the fixture clock's start

platform::testing::ScriptedResponse answer(int status, std::string body = {}) {
    platform::testing::ScriptedResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

// A client of one kind: its URL names the kind and the attempt (but for
// phone numbers); a body "match:<value>" is a match.
class FakeClient final : public MSRPrivateSetMembershipClient {
public:
    FakeClient(std::string baseURL, MSRPSMInputType kind) : baseURL_(std::move(baseURL)), kind_(kind) {}
    std::optional<std::string> PSMRequestURLWithRetryCount(std::int32_t retryCount) override {
        // The phone client's URL has no query of its own.
        if (kind_ == MSRPSMInputType::phoneNumber) {
            return baseURL_ + "/psm";
        }
        return baseURL_ + "/psm?kind=" + std::to_string(static_cast<int>(kind_)) +
               "&retry=" + std::to_string(retryCount);
    }
    std::int64_t inputType() const override { return static_cast<std::int64_t>(kind_); }
    std::string parsedPSMValueFromResponse(std::span<const std::uint8_t> body) override {
        const std::string text(body.begin(), body.end());
        return text.starts_with("match:") ? text.substr(6) : std::string();
    }
    std::optional<std::string> debugKey() const override { return "debug key&1"; }

private:
    std::string baseURL_;
    MSRPSMInputType kind_;
};

struct ClientOffer {
    bool text = true;    // e-mail and phone initialisers
    bool hashed = true;  // hashed initialisers
};

std::shared_ptr<MSRPrivateSetMembershipClientClass> fakeClientClass(const std::string& baseURL, ClientOffer offer) {
    auto clientClass = std::make_shared<MSRPrivateSetMembershipClientClass>();
    const auto maker = [baseURL](MSRPSMInputType kind) {
        return [baseURL, kind](auto&&...) { return std::make_shared<FakeClient>(baseURL, kind); };
    };
    if (offer.text) {
        clientClass->initWithEmailAddressPrefixBitLength = maker(MSRPSMInputType::emailAddress);
        clientClass->initWithPhoneNumber = maker(MSRPSMInputType::phoneNumber);
    }
    if (offer.hashed) {
        clientClass->initWithHashedEmailAddress = maker(MSRPSMInputType::hashedEmailAddress);
        clientClass->initWithHashedPhoneNumber = maker(MSRPSMInputType::hashedPhoneNumber);
    }
    return clientClass;
}

// Made before the controller and so gone after it: a server stopped while
// the client still holds a kept-alive connection waits out its timeout.
struct LoopbackServerHolder {
    platform::testing::LoopbackHttpServer server_;
};

class OnDeviceConversionTest : protected LoopbackServerHolder, public EngineTest {
protected:
    OnDeviceConversionTest() {
        // The first open is now unless a test says otherwise.
        MSRPersistedConfig::sharedInstance()->setFirstOpenTimestampMilliseconds(static_cast<std::int64_t>(kNow) * 1000);
    }

    void registerClient(ClientOffer offer = {}) {
        kit::classRegistry().registerClass<MSRPrivateSetMembershipClientClass>(
            std::string(MSRPrivateSetMembershipClientClass::kClassName), fakeClientClass(server_.baseUrl(), offer));
    }

    // A controller whose network reaches the loopback server.
    MSRMeasurement& makeConnectedController() {
        LMUNetworkConfiguration configuration;
        configuration.reachabilityApi = quietReachability();
        environment().network = LMUNetwork::initWithReachabilityHost("127.0.0.1", configuration);
        return makeController();
    }

    // Requests go out only when the upload side says the network is free.
    bool networkReady() {
        bool ready = false;
        onWorkerQueue([&] { ready = controller().isNetworkReadyForRequest(); });
        return ready;
    }

    std::vector<std::int64_t> codes() {
        services().monitor().waitUntilIdle();
        auto fresh = services().drainCodes();
        codes_.insert(codes_.end(), fresh.begin(), fresh.end());
        return codes_;
    }
    bool logged(std::int64_t code) {
        const auto all = codes();
        return std::find(all.begin(), all.end(), code) != all.end();
    }
    std::size_t countOf(std::int64_t code) {
        const auto all = codes();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), code));
    }

    // Waits (bounded) until the worker queue has handled `count` answers.
    void waitForAnswers(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (countOf(23228) + countOf(23229) + countOf(23230) < count &&
               std::chrono::steady_clock::now() < deadline) {
            onWorkerQueue([] {});
            std::this_thread::yield();
        }
        ASSERT_EQ(countOf(23228) + countOf(23229) + countOf(23230), count);
    }

    void setUserData(Value::Dictionary userData) {
        controller().setUserData(userData);
        onWorkerQueue([] {});
    }

    void store(std::string_view name, MSRValue value, double timestamp = kNow) {
        onWorkerQueue([&] {
            ASSERT_TRUE(controller().storeUserPropertyOnWorkerQueue(
                *MSRUserAttribute::initWithOrigin("auto", name, std::move(value), timestamp)));
        });
    }

    std::string sqlite3(const std::string& sql) {
        return platform::testing::runCommand(
                   "sqlite3 -separator = " +
                   platform::testing::shellQuote(controller().database()->databasePath().string()) + " " +
                   platform::testing::shellQuote(sql))
            .output;
    }

    // Seconds until the retry timer fires; none when it is idle.
    std::optional<double> retryDelay() {
        std::optional<double> delay;
        onWorkerQueue([&] {
            const MSRAlarm* alarm = controller().PSMRetryAlarm();
            if (alarm != nullptr && alarm->scheduledTimestamp()) {
                delay = std::chrono::duration<double>(*alarm->scheduledTimestamp() - clock().now()).count();
            }
        });
        return delay;
    }

    void setting(std::string_view key, std::int64_t value) {
        controller().remoteConfigInstance()->cacheValue(Value(value), key);
    }

    std::vector<std::int64_t> codes_;
};

// --- Refusals: each logs its code and sends nothing

struct RefusalRow {
    std::string_view label;
    Value::Dictionary userData;
    bool registered = true;
    bool offersText = true;
    bool offersHashes = true;
    double firstOpenDaysAgo = 0;
    bool storedMatch = false;
    std::int64_t startLimit = 3;
    std::int64_t refusal;
};

void PrintTo(const RefusalRow& row, std::ostream* out) { *out << row.label; }

class OnDeviceConversionRefusalTest : public OnDeviceConversionTest,
                                      public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(OnDeviceConversionRefusalTest, RefusesAndSendsNothing) {
    const auto& row = GetParam();
    MSRPersistedConfig::sharedInstance()->setFirstOpenTimestampMilliseconds(
        static_cast<std::int64_t>((kNow - row.firstOpenDaysAgo * 86'400) * 1000));
    if (row.registered) {
        registerClient({.text = row.offersText, .hashed = row.offersHashes});
    }
    makeConnectedController();
    setting("measurement.psm_signin_delay", 30);
    setting("measurement.psm_start_count", row.startLimit);
    if (row.storedMatch) {
        store("_psmvalue", MSRValue::initWithString("earlier"));
    }
    setUserData(row.userData);
    EXPECT_TRUE(logged(row.refusal));
    EXPECT_FALSE(logged(23225));
    EXPECT_TRUE(server_.requests().empty());
}

const Value kHashed(Value::Data(32, 7));

INSTANTIATE_TEST_SUITE_P(
    Rows, OnDeviceConversionRefusalTest,
    ::testing::Values(RefusalRow{.label = "noClient",
                                 .userData = {{"email_address", Value("someone@example.com")}},
                                 .registered = false,
                                 .refusal = 23233},
                      RefusalRow{.label = "noClientPhone",
                                 .userData = {{"phone_number", Value("+15550100")}},
                                 .registered = false,
                                 .refusal = 23233},
                      RefusalRow{.label = "day31OfThirty",
                                 .userData = {{"email_address", Value("someone@example.com")}},
                                 .firstOpenDaysAgo = 31,
                                 .refusal = 23261},
                      RefusalRow{.label = "emptyEmail", .userData = {{"email_address", Value("")}}, .refusal = 23234},
                      RefusalRow{.label = "emptyPhone", .userData = {{"phone_number", Value("")}}, .refusal = 23239},
                      RefusalRow{.label = "phoneNotOffered",
                                 .userData = {{"phone_number", Value("+15550100")}},
                                 .offersText = false,
                                 .refusal = 23262},
                      RefusalRow{.label = "emptyHash",
                                 .userData = {{"hashed_email_address", Value(Value::Data{})}},
                                 .refusal = 23264},
                      RefusalRow{.label = "hashNotOffered",
                                 .userData = {{"hashed_phone_number", kHashed}},
                                 .offersHashes = false,
                                 .refusal = 23265},
                      RefusalRow{.label = "existingMatch",
                                 .userData = {{"email_address", Value("someone@example.com")}},
                                 .storedMatch = true,
                                 .refusal = 23237},
                      RefusalRow{.label = "startLimit",
                                 .userData = {{"email_address", Value("someone@example.com")}},
                                 .startLimit = 0,
                                 .refusal = 23236}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(OnDeviceConversionTest, InsideTheWindowAStartIsMade) {
    MSRPersistedConfig::sharedInstance()->setFirstOpenTimestampMilliseconds(
        static_cast<std::int64_t>((kNow - 29 * 86'400) * 1000));
    registerClient();
    makeController();
    setting("measurement.psm_signin_delay", 30);
    setUserData({{"email_address", Value("someone@example.com")}});
    EXPECT_FALSE(logged(23261));
    EXPECT_TRUE(logged(23225));
    // No network client here: the request waits.
    EXPECT_TRUE(logged(23232));
}

TEST_F(OnDeviceConversionTest, TheClientIsReportedAtStartAndMissingItIsWarnedWhenCountsExist) {
    makeController();
    store("_psmcount", MSRValue::initWithInt64(1));
    onWorkerQueue([&] { controller().checkPSMDependencyOnWorkerQueue(); });
    EXPECT_TRUE(logged(23254));
    registerClient();
    onWorkerQueue([&] { controller().checkPSMDependencyOnWorkerQueue(); });
    EXPECT_TRUE(logged(23253));
}

// --- Requests

TEST_F(OnDeviceConversionTest, TheQueryCarriesTheCounterAndTheFirstOpenMinute) {
    // 2023-11-14 12:34:56 UTC, a first open inside the default window.
    MSRPersistedConfig::sharedInstance()->setFirstOpenTimestampMilliseconds(1'699'965'296'789);
    registerClient();
    makeConnectedController();
    if (!networkReady()) {
        GTEST_SKIP() << "network readiness belongs to the upload, not built on this branch";
    }
    server_.script("/psm", {answer(200)});
    store("_psmcountph", MSRValue::initWithInt64(4));
    setUserData({{"phone_number", Value("+15550100")}});
    waitForAnswers(1);
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/psm");
    const auto query = msr_dictionaryWithHttpArgumentsString(requests[0].query);
    EXPECT_EQ(query.size(), 2u);
    EXPECT_EQ(query.at("psm_phone_count"), "4");
    EXPECT_EQ(query.at("timestamp_first_open"), "1699965300");  // 12:35:00
    EXPECT_EQ(query.count("debug_psm_key"), 0u);
    EXPECT_TRUE(logged(23230));
    EXPECT_EQ(sqlite3("SELECT value FROM user_attributes WHERE name = '_psmcountph'"), "5\n");
}

TEST_F(OnDeviceConversionTest, ADebugKeyIsSentOnlyWithTheArgumentInDebugMode) {
    kit::setContextLaunchArguments({"kit-test", "-HLOAnalyticsDebugEnabled", "-DebugOnDeviceConversionMeasurement"});
    services().monitor().setDebugModeEnabled(true);
    registerClient();
    makeConnectedController();
    if (!networkReady()) {
        GTEST_SKIP() << "network readiness belongs to the upload, not built on this branch";
    }
    server_.script("/psm", {answer(204)});
    setUserData({{"email_address", Value("someone@example.com")}});
    waitForAnswers(1);
    const auto query = msr_dictionaryWithHttpArgumentsString(server_.requests().at(0).query);
    EXPECT_EQ(query.at("debug_psm_key"), "debug key&1");
    EXPECT_EQ(query.at("psm_count"), "0");
}

TEST_F(OnDeviceConversionTest, FailuresRaiseTheCounterAndRetryAfterADoublingDelay) {
    registerClient();
    makeConnectedController();
    if (!networkReady()) {
        GTEST_SKIP() << "network readiness belongs to the upload, not built on this branch";
    }
    server_.script("/psm", {answer(500)});
    setUserData({{"hashed_email_address", kHashed}});
    waitForAnswers(1);

    const double interval = 300;  // the default retry interval
    for (const int attempt : {1, 2, 3, 4}) {
        ASSERT_EQ(retryDelay(), interval * (1 << (attempt - 1))) << attempt;
        EXPECT_EQ(sqlite3("SELECT value FROM user_attributes WHERE name = '_psmcounth'"),
                  std::to_string(attempt) + "\n");
        clock().advance(
            std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(*retryDelay() - 1)));
        onWorkerQueue([] {});
        ASSERT_EQ(server_.requests().size(), static_cast<std::size_t>(attempt));
        clock().advance(1s);
        waitForAnswers(static_cast<std::size_t>(attempt) + 1);
        const auto query = msr_dictionaryWithHttpArgumentsString(server_.requests().back().query);
        EXPECT_EQ(query.at("retry"), std::to_string(attempt));
        EXPECT_EQ(query.at("psm_count"), std::to_string(attempt));
    }
    // The fifth failure reaches the default limit of five.
    EXPECT_TRUE(logged(23231));
    EXPECT_EQ(retryDelay(), std::nullopt);
    EXPECT_EQ(countOf(23228), 5u);
}

TEST_F(OnDeviceConversionTest, AMatchIsStoredAndReportedInRealTime) {
    registerClient();
    makeConnectedController();
    if (!networkReady()) {
        GTEST_SKIP() << "network readiness belongs to the upload, not built on this branch";
    }
    server_.script("/psm", {answer(200, "match:abc123")});
    setUserData({{"email_address", Value("someone@example.com")}});
    waitForAnswers(1);
    EXPECT_TRUE(logged(23229));
    EXPECT_EQ(sqlite3("SELECT name, value FROM user_attributes WHERE name LIKE '!_psm%' ESCAPE '!' ORDER BY name"),
              "_psmcount=1\n_psmvalue=abc123\n");

    // A match ends every later start.
    setUserData({{"email_address", Value("someone@example.com")}});
    EXPECT_TRUE(logged(23237));
    EXPECT_EQ(server_.requests().size(), 1u);

    if (sqlite3("SELECT count(*) FROM raw_events") == "0\n") {
        GTEST_SKIP() << "events are written by the write pipeline, not built on this branch";
    }
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events WHERE name = '_fx' AND is_realtime = 1"), "1\n");
}

// --- Expiry

TEST_F(OnDeviceConversionTest, AMatchExpiresAfterNinetyDaysWithItsCounters) {
    makeController();
    for (const double age : {89.0, 90.0}) {
        store("_psmvalue", MSRValue::initWithString("abc"), kNow - age * 86'400);
        store("_psmcount", MSRValue::initWithInt64(2));
        store("_psmcountph", MSRValue::initWithInt64(1));
        store("_other", MSRValue::initWithInt64(1));
        onWorkerQueue([&] { controller().maybeDeleteExpiredPSMValueOnWorkerQueue(); });
        EXPECT_EQ(sqlite3("SELECT name FROM user_attributes ORDER BY name"),
                  age < 90 ? "_other\n_psmcount\n_psmcountph\n_psmvalue\n" : "_other\n")
            << age;
    }
}

}  // namespace
}  // namespace kit::measurement::testing

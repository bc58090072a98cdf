#include "ControllerTestSupport.h"
#include "FakeIdentitySupport.h"
#include "kit/measurement/controller/MSRIdentifiers.h"
#include "kit/measurement/controller/MSRIdentity.h"

#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/Timers.h"

#include <algorithm>
#include <set>
#include <thread>

namespace kit::measurement {
namespace {

using namespace std::chrono_literals;
using platform::Value;
using testing::FakeIdentitySupport;

constexpr const char* kFirstDeviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
constexpr const char* kFirstDeviceHash = "f2d1311ca5c1ecb214c19a26e9ddbad0";
constexpr const char* kSecondDeviceID = "1E2DFA89-496A-47FD-9941-DF1FC4E6484A";
constexpr const char* kSecondDeviceHash = "40c7084b4845eebce9d07b8a18a055fc";

class IdentityTest : public testing::ControllerTest {
protected:
    IdentityTest() {
        // A fetch answers at once here; only a held one runs out the wait.
        MSRDefaultIdentitySupport::setFetchWait(std::chrono::seconds(30));
    }
    ~IdentityTest() override { identity_.reset(); }

    // Registers the fake, unless the test wants no platform library.
    void registerFake() {
        kit::classRegistry().registerClass<MSRIdentitySupport>(std::string(kMSRPlatformIdentitySupportClassName),
                                                               fake_);
    }

    MSRIdentity& makeIdentity(bool withLibrary = true) {
        if (withLibrary) {
            registerFake();
        }
        config_ = MSRPersistedConfig::create("identity-test", clock_);
        MSRIdentityEnvironment environment;
        environment.clock = &clock_;
        environment.identitySupport = std::make_shared<MSRDefaultIdentitySupport>();
        environment.infoDictionary = Value(Value::Dictionary{{"CFBundleIdentifier", "org.example.identity"},
                                                             {"CFBundleShortVersionString", "2.0"},
                                                             {"CFBundleVersion", "2.0.1"}});
        environment.serviceFileDictionary = Value::Dictionary{};
        identity_ = MSRIdentity::create(config_, std::move(environment));
        return *identity_;
    }

    platform::TestClock clock_{platform::TimePoint{std::chrono::hours(24 * 365 * 50)}};
    std::shared_ptr<FakeIdentitySupport> fake_ = std::make_shared<FakeIdentitySupport>();
    std::shared_ptr<MSRPersistedConfig> config_;
    std::shared_ptr<MSRIdentity> identity_;
};

TEST_F(IdentityTest, ANewDeviceIDReplacesTheAppInstanceIDOnlyAfterTheFirst) {
    fake_->setDeviceID(kFirstDeviceID);
    MSRIdentity& identity = makeIdentity();
    const auto first = config_->appInstanceID();
    ASSERT_TRUE(first.has_value());

    EXPECT_EQ(identity.hashedResettableDeviceID(), kFirstDeviceHash);
    EXPECT_EQ(identity.resettableDeviceID(), kFirstDeviceID);
    EXPECT_EQ(identity.appInstanceID(), first);
    EXPECT_FALSE(identity.shouldSetLastAdvertisingIDResetUserProperty());
    EXPECT_FALSE(identity.limitedAdTracking());

    fake_->setDeviceID(kSecondDeviceID);
    clock_.advance(2s);
    const auto second = identity.appInstanceID();
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(second, first);
    EXPECT_EQ(identity.hashedResettableDeviceID(), kSecondDeviceHash);
    EXPECT_TRUE(identity.shouldSetLastAdvertisingIDResetUserProperty());
}

TEST_F(IdentityTest, TheAllZeroDeviceIDCountsAsNone) {
    fake_->setDeviceID("00000000-0000-0000-0000-000000000000");
    MSRIdentity& identity = makeIdentity();
    EXPECT_EQ(identity.resettableDeviceID(), std::nullopt);
    EXPECT_TRUE(identity.limitedAdTracking());
    EXPECT_EQ(identity.hashedResettableDeviceID(), std::nullopt);
}

TEST_F(IdentityTest, DeniedStorageHidesIdentifiersButKeepsTheStoredOnes) {
    fake_->setDeviceID(kFirstDeviceID);
    MSRIdentity& identity = makeIdentity();
    ASSERT_EQ(identity.resettableDeviceID(), kFirstDeviceID);
    const auto appInstanceID = config_->appInstanceID();

    MSRConsentSettingsUtil::updateSettings(MSRConsentDictionary{{"ad_storage", "denied"}}, kMSRConsentSourceAPI);
    clock_.advance(2s);
    EXPECT_EQ(identity.resettableDeviceID(), std::nullopt);
    EXPECT_EQ(identity.hashedResettableDeviceID(), std::nullopt);
    EXPECT_EQ(config_->hashedResettableDeviceID(), kFirstDeviceHash);

    MSRConsentSettingsUtil::updateSettings(MSRConsentDictionary{{"analytics_storage", "denied"}}, kMSRConsentSourceAPI);
    EXPECT_EQ(identity.appInstanceID(), std::nullopt);
    EXPECT_EQ(identity.sessionStitchingTokenWithSessionNumber(1, false, false), std::nullopt);
    EXPECT_EQ(config_->appInstanceID(), appInstanceID);
}

TEST_F(IdentityTest, RefreshesWithinTheCacheTimeAskTheLibraryOnce) {
    fake_->setDeviceID(kFirstDeviceID);
    MSRIdentity& identity = makeIdentity();
    identity.updateIdentifiersAndWait();
    identity.updateIdentifiersAndWait();
    clock_.advance(999ms);
    identity.updateIdentifiersAndWait();
    clock_.advance(1ms);
    identity.updateIdentifiersAndWait();
    // A refresh waits for its fetch only briefly; letting the identity go
    // lets every fetch it asked for finish.
    identity_.reset();
    EXPECT_EQ(fake_->fetchesStarted(), 2);
    EXPECT_EQ(fake_->fetchesFinished(), 2);
}

TEST_F(IdentityTest, TrackingStatusFromThePlatform) {
    struct Case {
        bool library;
        bool hasLimitedAdTracking;
        std::optional<std::int64_t> platformStatus;
        std::int64_t expected;
    };
    const Case cases[] = {
        {true, true, 0, 4},  {true, true, 1, 1},  {true, true, 2, 2},
        {true, true, 3, 3},  {true, true, 7, 5},  {true, true, std::nullopt, 5},
        {true, false, 3, 6}, {false, true, 3, 6},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "library " << item.library << ", status " << item.platformStatus.value_or(-1));
        kit::classRegistry().unregisterClass(kMSRPlatformIdentitySupportClassName);
        fake_->setStatus(item.platformStatus);
        fake_->setHasLimitedAdTracking(item.hasLimitedAdTracking);
        MSRIdentity& identity = makeIdentity(item.library);
        EXPECT_EQ(identity.appleConsentStatus(), item.expected);
    }
}

TEST_F(IdentityTest, WithoutTheLibraryThereIsNoDeviceID) {
    MSRIdentity& identity = makeIdentity(false);
    EXPECT_EQ(identity.appleConsentStatus(), 6);
    EXPECT_TRUE(identity.limitedAdTracking());
    EXPECT_FALSE(identity.hasLimitedAdTracking());
    EXPECT_EQ(identity.resettableDeviceID(), std::nullopt);
    EXPECT_EQ(identity.hashedResettableDeviceID(), std::nullopt);
    const auto codes = services().drainCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 44003), codes.end());
    EXPECT_EQ(MSRDefaultIdentitySupport().appDataConsentStatus(), -1);
}

TEST_F(IdentityTest, ABlockedFetchAnswersThePreviousValue) {
    registerFake();
    MSRDefaultIdentitySupport support;
    fake_->setDeviceID(kFirstDeviceID);
    ASSERT_EQ(support.resettableDeviceID(), kFirstDeviceID);

    fake_->setDeviceID(kSecondDeviceID);
    fake_->hold();
    MSRDefaultIdentitySupport::setFetchWait(std::chrono::milliseconds(10));
    EXPECT_EQ(support.resettableDeviceID(), kFirstDeviceID);
    fake_->release();
    fake_->waitForFetchesFinished(2);
    EXPECT_EQ(support.resettableDeviceID(), kSecondDeviceID);
}

TEST_F(IdentityTest, SessionStitchingTokenFollowsTheSession) {
    MSRIdentity& identity = makeIdentity(false);
    struct Step {
        std::int64_t number;
        bool expired;
    };
    struct Case {
        const char* name;
        Step first;
        Step second;
        bool kept;
    };
    const Case cases[] = {
        {"same session", {4, false}, {4, false}, true},
        {"expired, then the next one", {4, true}, {5, false}, true},
        {"a session skipped", {4, false}, {6, false}, false},
        {"expired flag changed", {4, false}, {4, true}, false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        identity.resetSessionStitchingToken();
        const auto before =
            identity.sessionStitchingTokenWithSessionNumber(item.first.number, item.first.expired, true);
        const auto after =
            identity.sessionStitchingTokenWithSessionNumber(item.second.number, item.second.expired, true);
        ASSERT_TRUE(before && after);
        EXPECT_EQ(*before == *after, item.kept);
    }

    // Without a user ID a token lasts a day; with one it does not expire.
    identity.resetSessionStitchingToken();
    const auto anonymous = identity.sessionStitchingTokenWithSessionNumber(9, false, false);
    clock_.advance(86399s);
    EXPECT_EQ(identity.sessionStitchingTokenWithSessionNumber(9, false, false), anonymous);
    clock_.advance(1s);
    const auto renewed = identity.sessionStitchingTokenWithSessionNumber(9, false, false);
    EXPECT_NE(renewed, anonymous);

    identity.resetSessionStitchingToken();
    const auto signedIn = identity.sessionStitchingTokenWithSessionNumber(9, false, true);
    clock_.advance(std::chrono::hours(24 * 30));
    EXPECT_EQ(identity.sessionStitchingTokenWithSessionNumber(9, false, true), signedIn);
}

TEST_F(IdentityTest, TheFirstAppIDIsKept) {
    MSRIdentity& identity = makeIdentity(false);
    services().drainCodes();
    identity.setAppIDFromLMP("");
    identity.setAppIDFromLMP("1:1234:ios:first");
    identity.setAppIDFromLMP("1:1234:ios:second");
    EXPECT_EQ(identity.appIDFromLMP(), "1:1234:ios:first");
    EXPECT_EQ(services().drainCodes(), std::vector<std::int64_t>{20005});
}

TEST_F(IdentityTest, BundleFactsAndDiversionKey) {
    MSRIdentity& identity = makeIdentity(false);
    EXPECT_EQ(identity.appID(), "org.example.identity");
    EXPECT_EQ(identity.appVersion(), "2.0");
    EXPECT_EQ(identity.appVersionMajor(), 2);
    EXPECT_EQ(identity.appVersionMinor(), 0);
    EXPECT_EQ(identity.appVersionRelease(), 1);

    const std::string key = identity.diversionKey();
    EXPECT_EQ(key.size(), 5u);
    EXPECT_EQ(identity.diversionKey(), key);
    EXPECT_EQ(config_->diversionKey(), key);

    const std::string ephemeral = identity.ephemeralAppInstanceID();
    EXPECT_EQ(identity.ephemeralAppInstanceID(), ephemeral);
    identity.resetEphemeralAppInstanceID();
    EXPECT_NE(identity.ephemeralAppInstanceID(), ephemeral);
}

// Logs 20002 for the letters: through the test's services, not the default monitor.
class IdentityFormatTest : public testing::ControllerTest {};

TEST_F(IdentityFormatTest, VersionFields) {
    struct Case {
        const char* version;
        std::vector<std::int64_t> fields;
    };
    const Case cases[] = {
        {"2.0.1", {2, 0, 1}}, {"7", {7}}, {"1.2b3", {1, 23}},
        {"1..2", {1, 2}},     {"", {}},   {"99999999999999999999", {std::numeric_limits<std::int64_t>::max()}},
        {"v.1", {0, 1}},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(MSRIdentity::numericFieldsFromAppVersionNumeric(item.version), item.fields) << item.version;
    }
    const auto codes = services().drainCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 20002), 2);
}

TEST_F(IdentityTest, RandomIDsAreVersionFourUpperCaseHex) {
    MSRIdentity& identity = makeIdentity(false);
    std::set<std::string> seen;
    for (int count = 0; count < 10000; ++count) {
        const std::string id = identity.randomAppInstanceID();
        ASSERT_EQ(id.size(), 32u) << id;
        ASSERT_TRUE(std::all_of(id.begin(), id.end(), [](char c) { return std::isdigit(c) || (c >= 'A' && c <= 'F'); }))
            << id;
        ASSERT_EQ(id[12], '4') << id;
        ASSERT_NE(std::string("89AB").find(id[16]), std::string::npos) << id;
        ASSERT_TRUE(seen.insert(id).second) << id;
    }
}

TEST_F(IdentityTest, AdEventIDsAreDistinctAndConsecutiveAcrossThreads) {
    MSRIdentifiers& identifiers = MSRIdentifiers::sharedInstance();
    const auto start = static_cast<std::uint64_t>(std::stoll(identifiers.adEventID()));
    constexpr int kThreads = 8;
    constexpr int kPerThread = 1000;
    std::vector<std::vector<std::string>> answers(kThreads);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            for (int call = 0; call < kPerThread; ++call) {
                answers[thread].push_back(identifiers.adEventID());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<std::uint64_t> offsets;
    for (const auto& list : answers) {
        for (const auto& answer : list) {
            offsets.insert(static_cast<std::uint64_t>(std::stoll(answer)) - start);
        }
    }
    ASSERT_EQ(offsets.size(), static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_EQ(*offsets.begin(), 1u);
    EXPECT_EQ(*offsets.rbegin(), static_cast<std::uint64_t>(kThreads * kPerThread));
}

TEST_F(IdentityTest, IdentifiersReadTheControllersIdentity) {
    MSRIdentity& identity = makeIdentity(false);
    identity.setAppIDFromLMP("1:1234:ios:abc");
    MSRIdentifiers::setControllerIdentityProvider([this] { return identity_; });
    MSRIdentifiers& identifiers = MSRIdentifiers::sharedInstance();
    EXPECT_EQ(identifiers.lumenAppID(), "1:1234:ios:abc");
    EXPECT_EQ(identifiers.analyticsAppID(), "1:1234:ios:abc");
    EXPECT_EQ(identifiers.appInstanceID(), config_->appInstanceID());
    EXPECT_EQ(identifiers.libraryVersion(), "110900");
    services().drainCodes();
    identifiers.setOrigin("app");
    identifiers.setOrigin("");
    EXPECT_EQ(identifiers.origin(), "app");
    EXPECT_EQ(services().drainCodes(), std::vector<std::int64_t>{37004});
}

}  // namespace
}  // namespace kit::measurement

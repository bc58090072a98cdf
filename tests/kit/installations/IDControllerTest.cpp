#include "ServiceTestSupport.h"
#include "kit/core/SecureItemStore.h"
#include "kit/core/network/CurlTransport.h"
#include "platform/concurrency/WorkStop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <future>
#include <set>
#include <thread>

namespace kit::installations::testing {
namespace {

using promises::PRMPromise;

// Secure items in memory whose reads can be made to fail with EIO, or to
// wait until the test lets them go.
class FaultySecureItemStore final : public SecureItemStore {
public:
    std::atomic<bool> failReads{false};
    std::atomic<bool> holdReads{false};
    std::atomic<int> writes{0};

    bool reading() const { return reading_; }
    void release() { released_.set_value(); }

    int copyMatching(const SecureItemQuery& query, std::vector<std::uint8_t>& data) override {
        if (holdReads) {
            reading_ = true;
            (void)gate_.wait_for(std::chrono::seconds(60));
        }
        return failReads ? EIO : items_.copyMatching(query, data);
    }
    int add(const SecureItemQuery& query, std::span<const std::uint8_t> data) override {
        ++writes;
        return items_.add(query, data);
    }
    int update(const SecureItemQuery& query, std::span<const std::uint8_t> data) override {
        ++writes;
        return items_.update(query, data);
    }
    int remove(const SecureItemQuery& query) override {
        ++writes;
        return items_.remove(query);
    }

private:
    std::atomic<bool> reading_{false};
    std::promise<void> released_;
    std::shared_future<void> gate_ = released_.get_future().share();
    InMemorySecureItemStore items_;
};

class IDControllerTest : public InstallationsServiceTest {
protected:
    // Every promise settled: nothing more can be sent.
    static void waitUntilQuiet() { ASSERT_TRUE(promises::PromiseClass::waitForAllPromises(60)); }

    std::size_t requestsTo(const std::string& path) const {
        std::size_t count = 0;
        for (const auto& request : server.requests()) {
            count += request.path == path ? 1 : 0;
        }
        return count;
    }
};

TEST_F(IDControllerTest, ANewInstallationTakesTheServersFID) {
    server.script(kRegisterPath, {registerAnswer("cServerFID")});
    NotificationRecorder notifications;
    const auto controller = makeController();

    const auto result = settle(controller->getAuthTokenForcingRefresh(false));
    ASSERT_EQ(result.error, nullptr) << result.error->what();
    waitUntilQuiet();

    EXPECT_EQ(result.value->haloInstallationID, "cServerFID");
    EXPECT_EQ(result.value->authToken.token, "at-1");
    ASSERT_TRUE(stored());
    EXPECT_EQ(stored()->haloInstallationID, "cServerFID");
    EXPECT_EQ(stored()->registrationStatus, HLOInstallationsRegistrationStatus::registered);
    EXPECT_EQ(notifications.appNames(), (std::vector<std::string>{kAppName, kAppName}));  // creation, change
    ASSERT_EQ(server.requests().size(), 1U);
    EXPECT_EQ(server.requests()[0].path, kRegisterPath);
}

TEST_F(IDControllerTest, ATokenIsRefreshedWithLessThanAnHourLeft) {
    struct Case {
        std::chrono::seconds left;
        std::size_t requests;
        const char* token;
    };
    const Case cases[] = {{std::chrono::seconds(3599), 1, "fresh"}, {std::chrono::seconds(3600), 0, "stored-token"}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.left.count());
        const auto item = storeRegistered(row.left);
        server.script(tokenPath(item.haloInstallationID), {tokenAnswer("fresh")});
        const auto before = server.requests().size();
        const auto result = settle(makeController()->getAuthTokenForcingRefresh(false));
        ASSERT_EQ(result.error, nullptr) << result.error->what();
        waitUntilQuiet();
        EXPECT_EQ(result.value->authToken.token, row.token);
        EXPECT_EQ(stored()->authToken.token, row.token);
        EXPECT_EQ(server.requests().size() - before, row.requests);
    }
}

TEST_F(IDControllerTest, ConcurrentCallersShareOneRegistration) {
    server.script(kRegisterPath, {registerAnswer()});
    const auto controller = makeController();
    std::vector<std::optional<PRMPromise<HLOInstallationsItem>>> promises(50);
    std::vector<std::thread> callers;
    for (auto& slot : promises) {
        callers.emplace_back([&slot, &controller] { slot = controller->getAuthTokenForcingRefresh(false); });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    std::set<std::string> tokens;
    for (const auto& promise : promises) {
        const auto result = settle(*promise);
        ASSERT_EQ(result.error, nullptr) << result.error->what();
        tokens.insert(result.value->authToken.token);
    }
    waitUntilQuiet();
    EXPECT_EQ(tokens, std::set<std::string>{"at-1"});
    EXPECT_EQ(server.requests().size(), 1U);
}

TEST_F(IDControllerTest, ConcurrentCallersShareOneTokenRequest) {
    const auto item = storeRegistered(std::chrono::minutes(30));
    server.script(tokenPath(item.haloInstallationID), {tokenAnswer("shared")});
    const auto controller = makeController();
    std::vector<std::optional<PRMPromise<HLOInstallationsItem>>> promises(50);
    std::vector<std::thread> callers;
    for (auto& slot : promises) {
        callers.emplace_back([&slot, &controller] { slot = controller->getAuthTokenForcingRefresh(false); });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    for (const auto& promise : promises) {
        const auto result = settle(*promise);
        ASSERT_EQ(result.error, nullptr) << result.error->what();
        EXPECT_EQ(result.value->authToken.token, "shared");
    }
    waitUntilQuiet();
    EXPECT_EQ(server.requests().size(), 1U);
}

TEST_F(IDControllerTest, APlainCallJoinsAForcedRefresh) {
    const auto item = storeRegistered(std::chrono::hours(10));
    server.script(tokenPath(item.haloInstallationID), {tokenAnswer("forced")});
    const auto controller = makeController();
    const auto forced = controller->getAuthTokenForcingRefresh(true);
    const auto plain = controller->getAuthTokenForcingRefresh(false);
    EXPECT_TRUE(forced == plain);
    EXPECT_EQ(settle(plain).value->authToken.token, "forced");
    waitUntilQuiet();
    EXPECT_EQ(server.requests().size(), 1U);
}

TEST_F(IDControllerTest, TwoGetCallsShareOnePromise) {
    const auto controller = makeController(nullptr, makeService([] {
                                               auto none = HLOInstallationsAPIServiceSettings{};
                                               return none;
                                           }()));
    const auto first = controller->getInstallationItem();
    const auto second = controller->getInstallationItem();
    EXPECT_TRUE(first == second);
    EXPECT_EQ(settle(first).value->haloInstallationID, settle(second).value->haloInstallationID);
}

TEST_F(IDControllerTest, RecoverableFailuresBackOffExponentially) {
    server.script(kRegisterPath, {status(503)});
    auto backoff = std::make_shared<HLOInstallationsBackoffController>(defaultDateProvider(), random);
    const auto controller = makeController(nullptr, nullptr, backoff);

    const std::chrono::seconds waits[] = {std::chrono::seconds(3), std::chrono::seconds(5)};
    EXPECT_NE(settle(controller->getAuthTokenForcingRefresh(false)).error, nullptr);
    for (const auto wait : waits) {
        waitUntilQuiet();
        const auto blocked = settle(controller->getAuthTokenForcingRefresh(false));
        ASSERT_NE(blocked.error, nullptr);
        EXPECT_EQ(blocked.error->code(), 2);
        EXPECT_EQ(blocked.error->failureReason(), "Too many server requests.");
        clock->advance(wait);
        EXPECT_NE(settle(controller->getAuthTokenForcingRefresh(false)).error, nullptr);
    }
    waitUntilQuiet();
    EXPECT_EQ(requestsTo(kRegisterPath), 3U);
    const auto last = backoff->lastEventData();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->eventCount, 3);
    EXPECT_GE(last->backoffTimeInterval, 8.0);
    EXPECT_LT(last->backoffTimeInterval, 9.0);
}

TEST_F(IDControllerTest, ABadRequestAtRegistrationBlocksForADay) {
    server.script(kRegisterPath, {status(400), registerAnswer()});
    const auto controller = makeController();
    EXPECT_NE(settle(controller->getAuthTokenForcingRefresh(false)).error, nullptr);
    waitUntilQuiet();
    clock->advance(std::chrono::hours(24) - std::chrono::seconds(1));
    EXPECT_EQ(settle(controller->getAuthTokenForcingRefresh(false)).error->code(), 2);
    clock->advance(std::chrono::seconds(1));
    const auto result = settle(controller->getAuthTokenForcingRefresh(false));
    ASSERT_EQ(result.error, nullptr) << result.error->what() << " " << result.error->failureReason();
    waitUntilQuiet();
    EXPECT_EQ(requestsTo(kRegisterPath), 2U);
}

TEST_F(IDControllerTest, ARegistrationRefusedAsUnknownKeepsTheFIDAndTheBackoff) {
    for (const int code : {401, 404}) {
        SCOPED_TRACE(code);
        server.script(kRegisterPath, {status(code)});
        auto backoff = std::make_shared<HLOInstallationsBackoffController>(defaultDateProvider(), random);
        store = makeStore(std::make_shared<InMemorySecureItemStore>());
        NotificationRecorder notifications;
        const auto controller = makeController(store, nullptr, backoff);
        const auto result = settle(controller->getAuthTokenForcingRefresh(false));
        ASSERT_NE(result.error, nullptr);
        EXPECT_TRUE(HLOInstallationsErrorUtil::isAPIError(*result.error, code));
        waitUntilQuiet();
        EXPECT_FALSE(backoff->lastEventData());
        ASSERT_TRUE(stored());
        EXPECT_EQ(stored()->registrationStatus, HLOInstallationsRegistrationStatus::unregistered);
        EXPECT_EQ(notifications.appNames().size(), 1U);  // the creation only
        const auto lines = drainLines();
        EXPECT_EQ(containsLine(lines, "[I-INS002003] Halo Installation registration failed for app with name: app"),
                  code == 404);
    }
}

TEST_F(IDControllerTest, AnUnknownInstallationAtATokenRequestStartsOverOnce) {
    const auto item = storeRegistered(std::chrono::minutes(10));
    server.script(tokenPath(item.haloInstallationID), {status(401)});
    server.script(kRegisterPath, {registerAnswer()});
    NotificationRecorder notifications;
    const auto result = settle(makeController()->getAuthTokenForcingRefresh(false));
    ASSERT_EQ(result.error, nullptr) << result.error->what();
    waitUntilQuiet();

    EXPECT_NE(result.value->haloInstallationID, item.haloInstallationID);
    EXPECT_EQ(result.value->registrationStatus, HLOInstallationsRegistrationStatus::registered);
    EXPECT_EQ(stored()->haloInstallationID, result.value->haloInstallationID);
    EXPECT_EQ(notifications.appNames(), (std::vector<std::string>{kAppName, kAppName}));  // deletion, creation
    EXPECT_EQ(server.requests().size(), 2U);
}

// An observer that asks again on every change, as the analytics facade
// does, against a server that knows nothing.
TEST_F(IDControllerTest, AServerRefusingEverythingEndsTheExchange) {
    struct Case {
        const char* name;
        bool registered;
        std::size_t maximumRequests;
    };
    for (const auto& row : {Case{"fresh", false, 2}, Case{"registered", true, 3}}) {
        SCOPED_TRACE(row.name);
        store = makeStore(std::make_shared<InMemorySecureItemStore>());
        if (row.registered) {
            storeRegistered(std::chrono::minutes(10));
        }
        const auto before = server.requests().size();
        std::shared_ptr<HLOInstallationsIDController> controller = makeController(store);
        std::weak_ptr<HLOInstallationsIDController> weak = controller;
        NotificationRecorder observer([weak] {
            if (const auto strong = weak.lock()) {
                (void)strong->getInstallationItem();
            }
        });
        (void)settle(controller->getAuthTokenForcingRefresh(false));
        waitUntilQuiet();
        EXPECT_LE(server.requests().size() - before, row.maximumRequests);
    }
}

TEST_F(IDControllerTest, DeletingARegisteredInstallation) {
    struct Case {
        int answer;
        bool succeeds;
    };
    for (const auto& row : {Case{200, true}, Case{404, true}, Case{500, false}}) {
        SCOPED_TRACE(row.answer);
        const auto item = storeRegistered(std::chrono::hours(10));
        server.script(deletePath(item.haloInstallationID), {status(row.answer)});
        const auto before = server.requests().size();
        NotificationRecorder notifications;
        const auto controller = makeController();
        const auto promise = controller->deleteInstallation();
        if (row.answer == 500) {
            advanceAfterTimer(std::chrono::seconds(1));  // its one retry
        }
        const auto result = settle(promise);
        waitUntilQuiet();
        EXPECT_EQ(result.error == nullptr, row.succeeds);
        EXPECT_EQ(stored().has_value(), !row.succeeds);
        EXPECT_EQ(notifications.appNames().size(), row.succeeds ? 1U : 0U);
        const auto requests = server.requests();
        ASSERT_GT(requests.size(), before);
        EXPECT_EQ(requests[before].method, "DELETE");
        EXPECT_EQ(requests[before].body, "{}");
        EXPECT_EQ(requests[before].header("authorization"), "INS_v2 stored-refresh");
    }
}

TEST_F(IDControllerTest, DeletingAnUnregisteredInstallationSendsNothing) {
    server.script(kRegisterPath, {status(503)});
    const auto controller = makeController();
    ASSERT_EQ(settle(controller->getInstallationItem()).error, nullptr);
    waitUntilQuiet();  // its background registration failed
    const auto before = server.requests().size();
    ASSERT_EQ(settle(controller->deleteInstallation()).error, nullptr);
    EXPECT_FALSE(stored());
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(IDControllerTest, ADeletionWaitsForAPendingRefresh) {
    const auto item = storeRegistered(std::chrono::hours(10));
    auto slow = tokenAnswer("refreshed");
    slow.delay = 300ms;
    server.script(tokenPath(item.haloInstallationID), {slow});
    server.script(deletePath(item.haloInstallationID), {status(200)});
    const auto controller = makeController();
    const auto refresh = controller->getAuthTokenForcingRefresh(true);
    ASSERT_TRUE(server.waitForRequests(1, 60s));
    const auto deletion = settle(controller->deleteInstallation());
    ASSERT_EQ(deletion.error, nullptr) << deletion.error->what();
    EXPECT_TRUE(refresh.isFulfilled());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0].path, tokenPath(item.haloInstallationID));
    EXPECT_EQ(requests[1].method, "DELETE");
    EXPECT_FALSE(stored());
}

TEST_F(IDControllerTest, AStorageFailureLeavesTheStoredInstallationAlone) {
    auto items = std::make_shared<FaultySecureItemStore>();
    store = makeStore(items);
    const auto item = storeRegistered(std::chrono::hours(10));
    const int writesBefore = items->writes;
    items->failReads = true;
    store = makeStore(items);  // no cached copy to read
    NotificationRecorder notifications;
    const auto result = settle(makeController(store)->getInstallationItem());
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->domain(), kLMUKeychainErrorDomain);
    waitUntilQuiet();
    EXPECT_EQ(items->writes, writesBefore);
    EXPECT_TRUE(notifications.appNames().empty());
    items->failReads = false;
    EXPECT_EQ(stored()->haloInstallationID, item.haloInstallationID);
}

// Operations wait on the installation item's promise, which the controller
// keeps while it is pending. Were they to hold the controller, a quit while
// the item is made (work stopped, the promise never settled) would leave
// both for good.
TEST_F(IDControllerTest, AQuitWhileTheItemIsMadeLeavesNoControllerBehind) {
    auto items = std::make_shared<FaultySecureItemStore>();
    items->holdReads = true;
    auto controller = makeController(makeStore(items));
    const std::weak_ptr<HLOInstallationsIDController> weak = controller;
    (void)controller->getAuthTokenForcingRefresh(false);
    (void)controller->deleteInstallation();
    ASSERT_TRUE(eventually([&] { return items->reading(); }));
    controller.reset();  // what is under way still holds it
    std::thread quit([] { platform::stopAllWork(); });
    ASSERT_TRUE(eventually([] { return platform::workStopped(); }));
    items->release();  // the store's work ends; nothing after it runs
    quit.join();
    platform::resumeAllWork();
    EXPECT_TRUE(weak.expired());
}

TEST_F(IDControllerTest, AnInvalidStoredInstallationIsReplaced) {
    auto invalid = storeRegistered(std::chrono::hours(10));
    invalid.refreshToken.clear();
    ASSERT_EQ(settle(store->saveInstallation(invalid)).error, nullptr);
    server.script(kRegisterPath, {status(503)});
    NotificationRecorder notifications;
    const auto result = settle(makeController()->getInstallationItem());
    ASSERT_EQ(result.error, nullptr);
    waitUntilQuiet();
    EXPECT_NE(result.value->haloInstallationID, invalid.haloInstallationID);
    EXPECT_EQ(notifications.appNames().size(), 1U);
    EXPECT_TRUE(containsLine(drainLines(), "[I-INS002004] Stored installation validation error:"));
}

TEST_F(IDControllerTest, ASilentServerTimesOutEveryWaitingCaller) {
    auto silent = status(503);
    silent.delay = 2s;
    server.script(kRegisterPath, {silent});
    const auto controller = makeController(nullptr, makeService(settings(0.3)));
    std::vector<PRMPromise<HLOInstallationsItem>> callers;
    for (int index = 0; index < 3; ++index) {
        callers.push_back(controller->getAuthTokenForcingRefresh(false));
    }
    for (const auto& caller : callers) {
        const auto result = settle(caller);
        ASSERT_NE(result.error, nullptr);
        EXPECT_EQ(result.error->domain(), kLMUNetworkTransportErrorDomain);
    }
    waitUntilQuiet();
    EXPECT_EQ(requestsTo(kRegisterPath), 1U);
    (void)settle(controller->getAuthTokenForcingRefresh(false));
    EXPECT_EQ(requestsTo(kRegisterPath), 2U);
}

TEST_F(IDControllerTest, WithoutAnAddressTheFIDIsStillMade) {
    const auto controller = makeController(nullptr, makeService(HLOInstallationsAPIServiceSettings{}));
    const auto result = settle(controller->getInstallationItem());
    ASSERT_EQ(result.error, nullptr);
    waitUntilQuiet();
    EXPECT_EQ(result.value->haloInstallationID.size(), 22U);
    EXPECT_EQ(stored()->haloInstallationID, result.value->haloInstallationID);
    EXPECT_EQ(settle(controller->getAuthTokenForcingRefresh(false)).error->domain(), "com.lmu.network.ErrorDomain");
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace kit::installations::testing

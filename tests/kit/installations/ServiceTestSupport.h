#pragma once

#include "ConfigurationTestSupport.h"
#include "InstallationsTestSupport.h"
#include "LoopbackHttpServer.h"
#include "kit/core/Endpoints.h"
#include "kit/core/KeychainStorage.h"
#include "kit/installations/InstallationsAPIService.h"
#include "kit/installations/InstallationsIDController.h"
#include "kit/installations/InstallationsStore.h"
#include "kit/installations/InstallationsTexts.h"

#include "platform/Random.h"
#include "platform/Value.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kit::installations::testing {

using namespace std::chrono_literals;
using platform::testing::LoopbackHttpServer;
using platform::testing::RecordedRequest;
using platform::testing::ScriptedResponse;

inline constexpr const char* kAPIKey = "AAAAbbbbCCCCdddd-___0000111122223333444";  // 39 characters
inline constexpr const char* kProject = "P";
inline constexpr const char* kAppID = "1:123:ios:ab";
inline constexpr const char* kAppName = "app";
inline constexpr const char* kRegisterPath = "/v1/projects/P/installations/";

inline std::string tokenPath(const std::string& fid) {
    return "/v1/projects/P/installations/" + fid + "/authTokens:generate";
}
inline std::string deletePath(const std::string& fid) { return "/v1/projects/P/installations/" + fid + "/"; }

inline ScriptedResponse answer(int status, platform::Value::Dictionary body) {
    return ScriptedResponse{status, {{"Content-Type", "application/json"}}, platform::Value(std::move(body)).toJson()};
}
inline ScriptedResponse registerAnswer(std::optional<std::string> fid = std::nullopt, std::string expiresIn = "604800s",
                                       std::string token = "at-1") {
    platform::Value::Dictionary body{
        {"refreshToken", platform::Value("rt-1")},
        {"authToken", platform::Value(platform::Value::Dictionary{{"token", platform::Value(token)},
                                                                  {"expiresIn", platform::Value(expiresIn)}})},
    };
    if (fid) {
        body.emplace("fid", platform::Value(*fid));
    }
    return answer(201, std::move(body));
}
inline ScriptedResponse tokenAnswer(std::string token, std::string expiresIn = "3600s") {
    return answer(200, {{"token", platform::Value(token)}, {"expiresIn", platform::Value(expiresIn)}});
}
inline ScriptedResponse status(int code, std::string body = "{}") {
    return ScriptedResponse{code, {{"Content-Type", "application/json"}}, std::move(body)};
}

// Waits, without moving any clock, until `condition` holds.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A heartbeat logger answering a fixed header value.
class FixedHeartbeatLogger final : public HLOHeartbeatLoggerProtocol {
public:
    explicit FixedHeartbeatLogger(std::optional<std::string> value) : value_(std::move(value)) {}
    void log() override {}
    long heartbeatCodeForToday() override { return 0; }
    void asyncHeaderValueWithCompletionHandler(std::function<void(std::optional<std::string>)> completion) override {
        completion(value_);
    }
    std::optional<std::string> headerValue() override { return value_; }

private:
    std::optional<std::string> value_;
};

// The change notifications posted, with the app name they carry.
class NotificationRecorder {
public:
    explicit NotificationRecorder(std::function<void()> onEach = {})
        : token_(platform::NotificationCenter::defaultCenter().addObserver(
              std::string(kHLOInstallationIDDidChangeNotification), nullptr,
              [this, onEach = std::move(onEach)](const platform::Notification& notification) {
                  {
                      std::lock_guard lock(mutex_);
                      const auto* name = notification.userInfo.find(kHLOInstallationIDDidChangeNotification);
                      appNames_.push_back(name != nullptr && name->isString() ? *name->asString() : "?");
                  }
                  if (onEach) {
                      onEach();
                  }
              })) {}
    ~NotificationRecorder() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
    std::vector<std::string> appNames() const {
        std::lock_guard lock(mutex_);
        return appNames_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> appNames_;  // guarded by mutex_
    platform::NotificationCenter::Token token_;
};

// A loopback installations service, fresh XDG folders and bundle, a main
// queue thread of the test's own and a TestClock behind every delay,
// expiry and backoff.
class InstallationsServiceTest : public kit::testing::ConfigurationTest {
protected:
    InstallationsServiceTest() {
        platform::MainQueue::install(mainQueue);
        promises::PromiseClass::setSchedulingClock(clock);
        Endpoints endpoints = Endpoints::current();
        endpoints.installationsBaseURL = server.baseUrl();
        Endpoints::setCurrent(endpoints);
        server.setDefaultResponse(status(404));
    }
    ~InstallationsServiceTest() override {
        EXPECT_TRUE(promises::PromiseClass::waitForAllPromises(60));
        promises::PromiseClass::resetSchedulingClock();
        promises::PromiseClass::resetDefaultDispatchQueue();
        platform::MainQueue::reset();
    }

    HLOInstallationsAPIServiceSettings settings(double timeoutSeconds = 10) const {
        auto result = HLOInstallationsAPIServiceSettings::fromEndpoints(Endpoints::current());
        result.timeoutSeconds = timeoutSeconds;
        return result;
    }

    std::shared_ptr<HLOInstallationsAPIService> makeService(
        std::optional<HLOInstallationsAPIServiceSettings> serviceSettings = std::nullopt,
        std::shared_ptr<HLOHeartbeatLoggerProtocol> heartbeat = nullptr) {
        return std::make_shared<HLOInstallationsAPIService>(
            kAPIKey, kProject, heartbeat ? heartbeat : std::make_shared<FixedHeartbeatLogger>(std::nullopt),
            serviceSettings.value_or(settings()));
    }

    std::shared_ptr<HLOInstallationsStore> makeStore(std::shared_ptr<SecureItemStore> items = nullptr) {
        const std::string service = HLOInstallationsStore::keychainServiceWithAppID(kAppID);
        auto keychain = items ? std::make_shared<LMUKeychainStorage>(service, std::move(items))
                              : std::make_shared<LMUKeychainStorage>(service);
        return std::make_shared<HLOInstallationsStore>(std::move(keychain), std::nullopt);
    }

    std::shared_ptr<HLOInstallationsIDController> makeController(
        std::shared_ptr<HLOInstallationsStore> installationsStore = nullptr,
        std::shared_ptr<HLOInstallationsAPIService> service = nullptr,
        std::shared_ptr<HLOInstallationsBackoffControllerProtocol> backoff = nullptr, std::string appName = kAppName) {
        HLOInstallationsIDController::Parts parts;
        parts.installationsStore = installationsStore ? installationsStore : (store ? store : store = makeStore());
        parts.APIService = service ? service : makeService();
        parts.IIDStore = std::make_shared<HLOInstallationsIIDStore>();
        parts.IIDTokenStore = std::make_shared<HLOInstallationsIIDTokenStore>("sender");
        parts.backoffController =
            backoff ? backoff : std::make_shared<HLOInstallationsBackoffController>(defaultDateProvider(), random);
        parts.random = &random;
        return HLOInstallationsIDController::controllerWithParts(kAppID, std::move(appName), std::move(parts));
    }

    // A registered installation in the store, its token expiring `expiresIn` from now.
    HLOInstallationsItem storeRegistered(std::chrono::seconds expiresIn,
                                         const std::string& fid = "dRegisteredFID0000000A") {
        HLOInstallationsItem item(kAppID, kAppName);
        item.haloInstallationID = fid;
        item.refreshToken = "stored-refresh";
        item.authToken.status = HLOInstallationsAuthTokenStatus::tokenReceived;
        item.authToken.token = "stored-token";
        item.authToken.expirationDate = std::chrono::time_point_cast<std::chrono::microseconds>(clock->now()) +
                                        std::chrono::microseconds(expiresIn);
        item.registrationStatus = HLOInstallationsRegistrationStatus::registered;
        if (!store) {
            store = makeStore();
        }
        const auto saved = settle(store->saveInstallation(item));
        EXPECT_EQ(saved.error, nullptr);
        return item;
    }

    std::optional<HLOInstallationsItem> stored() {
        const auto read = settle(store->installationForAppID(kAppID, kAppName));
        return read.value;
    }

    // Advances the clock once the promises have set the timer it should fire.
    void advanceAfterTimer(std::chrono::nanoseconds by) {
        ASSERT_TRUE(eventually([&] { return clock->pendingTimerCount() > 0; }));
        clock->advance(by);
    }

    // Declared first: it outlives every client below.
    LoopbackHttpServer server;
    std::shared_ptr<platform::SerialQueue> mainQueue = std::make_shared<platform::SerialQueue>("test.main");
    std::shared_ptr<platform::TestClock> clock =
        std::make_shared<platform::TestClock>(platform::TimePoint(std::chrono::seconds(1'800'000'000)));
    platform::SeededRandom random{21};
    std::shared_ptr<HLOInstallationsStore> store;
};

}  // namespace kit::installations::testing

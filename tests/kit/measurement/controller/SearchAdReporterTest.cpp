#include "ControllerTestSupport.h"
#include "LoopbackHttpServer.h"

#include "kit/core/Endpoints.h"
#include "kit/measurement/controller/MSRSearchAdReporter.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <condition_variable>

namespace kit::measurement::testing {
namespace {

using namespace std::chrono_literals;
using platform::testing::ScriptedResponse;

constexpr std::string_view kToken = "tok3n+/=\nraw";
constexpr std::int64_t kFirstOpenMillis = 1767614400123;
const std::string kAttributionPath(kMSRSearchAdAttributionPath);

class FakeTokenSource final : public MSRAttributionTokenSource {
public:
    platform::Expected<std::string> attributionTokenWithError() override {
        std::lock_guard lock(mutex_);
        ++calls_;
        if (error_) {
            return platform::unexpected(*error_);
        }
        return token_;
    }
    void failWith(platform::Error error) {
        std::lock_guard lock(mutex_);
        error_ = std::move(error);
    }
    int calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    std::mutex mutex_;
    std::string token_{kToken};             // guarded by mutex_
    std::optional<platform::Error> error_;  // guarded by mutex_
    int calls_ = 0;                         // guarded by mutex_
};

ScriptedResponse reply(int status, std::string body) {
    ScriptedResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "application/json"}};
    response.body = std::move(body);
    return response;
}

class SearchAdReporterTest : public ControllerTest {
protected:
    SearchAdReporterTest() {
        kit::classRegistry().registerClass<MSRAttributionTokenSource>(std::string(kMSRAttributionTokenSourceClassName),
                                                                      tokens_);
        endpoints_.adAttributionHost = server_.baseUrl();
    }
    ~SearchAdReporterTest() override {
        onWorkerQueue([this] { reporter_.reset(); });
        scheduler_->workerQueue().sync([] {});
    }

    std::shared_ptr<MSRSearchAdReporter> make(std::function<std::int64_t()> firstOpen = [] {
        return kFirstOpenMillis;
    }) {
        MSRSearchAdEnvironment environment;
        environment.clock = &clock_;
        environment.endpoints = endpoints_;
        environment.firstOpenTimestampMilliseconds = std::move(firstOpen);
        environment.replyHandled = [this] {
            std::lock_guard lock(mutex_);
            repliesOffQueue_ += scheduler_->workerQueue().isCurrent() ? 0 : 1;
            ++replies_;
            replyHandled_.notify_all();
        };
        std::shared_ptr<MSRSearchAdReporter> reporter;
        onWorkerQueue(
            [&] { reporter = MSRSearchAdReporter::initWithWorkerQueue(scheduler_.get(), config_, environment); });
        return reporter;
    }
    // Makes, enables and starts the reporter as the controller does.
    void start(std::function<std::int64_t()> firstOpen = [] { return kFirstOpenMillis; }) {
        reporter_ = make(std::move(firstOpen));
        ASSERT_NE(reporter_, nullptr);
        onWorkerQueue([this] {
            reporter_->setSearchAdReporterEnabled(true);
            reporter_->start();
        });
    }
    void onWorkerQueue(const std::function<void()>& block) {
        scheduler_->dispatchSyncOnWorkerQueueBlockID("test", block);
    }
    // Waits until `count` replies in all have been handled.
    void waitForReplies(int count) {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(replyHandled_.wait_for(lock, 60s, [&] { return replies_ >= count; }));
        EXPECT_EQ(repliesOffQueue_, 0);
    }
    std::vector<std::int64_t> codes() {
        services().monitor().waitUntilIdle();
        return services().drainCodes();
    }
    static bool has(const std::vector<std::int64_t>& codes, std::int64_t code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
    // When the next attempt is due, if one is armed.
    std::optional<platform::TimePoint> nextAttempt() {
        std::optional<platform::TimePoint> due;
        onWorkerQueue([&] {
            if (reporter_ && reporter_->searchAdReporterAlarm()) {
                due = reporter_->searchAdReporterAlarm()->scheduledTimestamp();
            }
        });
        return due;
    }
    // A later start of the app: the settings read back from disk.
    std::shared_ptr<MSRPersistedConfig> reopenedConfig() {
        config_->flush();
        return MSRPersistedConfig::create(kSuiteName, clock_);
    }

    static constexpr std::string_view kSuiteName = "com.lumen.lmp.measurement";
    platform::testing::LoopbackHttpServer server_;
    kit::Endpoints endpoints_;
    platform::TestClock clock_{platform::TimePoint{std::chrono::seconds{1767614400}}, 1000s};
    std::shared_ptr<FakeTokenSource> tokens_ = std::make_shared<FakeTokenSource>();
    std::shared_ptr<MSRPersistedConfig> config_ = MSRPersistedConfig::create(kSuiteName, clock_);
    std::shared_ptr<MSRScheduler> scheduler_ = std::make_shared<MSRScheduler>(kMSRWorkerQueueLabel);
    std::shared_ptr<MSRSearchAdReporter> reporter_;

    std::mutex mutex_;
    std::condition_variable replyHandled_;
    int replies_ = 0;          // guarded by mutex_
    int repliesOffQueue_ = 0;  // guarded by mutex_
};

TEST_F(SearchAdReporterTest, TheFirstAttemptComesAtOnceAndTestDataRetriesADayLater) {
    server_.script(kAttributionPath,
                   {reply(200, R"({"attribution":true,"adId":1234567890,"campaignId":"1234567890","keywordId":3})")});
    start();
    const platform::TimePoint started = clock_.now();
    EXPECT_EQ(nextAttempt(), started);
    clock_.advance(0s);
    waitForReplies(1);

    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, kAttributionPath);
    EXPECT_EQ(requests[0].header("cache-control"), "no-cache");
    EXPECT_EQ(requests[0].header("content-type"), "text/plain");
    EXPECT_EQ(requests[0].body, kToken);

    EXPECT_TRUE(has(codes(), 32016));
    EXPECT_TRUE(services().drainEvents().empty());
    EXPECT_FALSE(config_->searchAdCampaignValue());
    EXPECT_EQ(config_->searchAdRetryCount(), 1);
    EXPECT_EQ(config_->lastSearchAdLookUpTimestamp(), 1767614400.0);
    EXPECT_EQ(nextAttempt(), started + 24h);

    clock_.advance(24h - 1s);
    EXPECT_EQ(tokens_->calls(), 1);
    clock_.advance(1s);
    waitForReplies(2);
    EXPECT_EQ(server_.requests().size(), 2u);
    EXPECT_EQ(config_->searchAdRetryCount(), 2);
    EXPECT_EQ(nextAttempt(), started + 48h);
}

TEST_F(SearchAdReporterTest, AnUnattributedInstallEndsTheSearchForGood) {
    server_.script(kAttributionPath, {reply(200, R"({"attribution":false,"campaignId":42})")});
    start();
    clock_.advance(0s);
    waitForReplies(1);
    EXPECT_EQ(config_->searchAdCampaignValue(), platform::Value(false));
    EXPECT_TRUE(services().drainEvents().empty());
    EXPECT_EQ(nextAttempt(), std::nullopt);
    clock_.advance(72h);
    EXPECT_EQ(tokens_->calls(), 1);

    codes();
    std::shared_ptr<MSRSearchAdReporter> later;
    onWorkerQueue([&] {
        later = MSRSearchAdReporter::initWithWorkerQueue(scheduler_.get(), reopenedConfig(), MSRSearchAdEnvironment{});
    });
    EXPECT_EQ(later, nullptr);
    EXPECT_EQ(codes(), std::vector<std::int64_t>{32002});
}

TEST_F(SearchAdReporterTest, AnAttributedInstallLogsOneCampaignEvent) {
    struct Case {
        const char* name;
        std::function<std::int64_t()> firstOpen;  // empty: the persisted first-open time
        std::int64_t persistedFirstOpen;
        std::optional<std::int64_t> clickTimestamp;
    };
    const std::vector<Case> cases = {
        {"injected first open", [] { return kFirstOpenMillis; }, 0, kFirstOpenMillis - 1},
        {"persisted first open", nullptr, 5000, 4999},
        {"no first open", nullptr, 0, std::nullopt},
        {"first open of 1", [] { return std::int64_t{1}; }, 0, std::nullopt},
    };
    server_.script(kAttributionPath, {reply(200, R"({"attribution":true,"orgId":1,"campaignId":1234,)"
                                                 R"("adGroupId":5,"adId":77,"keywordId":"5678"})")});
    int replies = 0;
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        config_->clearValues();
        config_->setFirstOpenTimestampMilliseconds(testCase.persistedFirstOpen);
        onWorkerQueue([this] { reporter_.reset(); });
        start(testCase.firstOpen);
        clock_.advance(0s);
        waitForReplies(++replies);

        const auto events = services().drainEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].origin, "auto");
        EXPECT_EQ(events[0].name, "_cmp");
        MSRParameters expected{
            {"source", MSRValue::initWithString("Apple")},
            {"medium", MSRValue::initWithString("search")},
            {"campaign", MSRValue::initWithString("1234")},
            {"term", MSRValue::initWithString("5678")},
        };
        if (testCase.clickTimestamp) {
            expected.emplace("click_timestamp", MSRValue::initWithInt64(*testCase.clickTimestamp));
        }
        EXPECT_EQ(events[0].parameters, expected);
        EXPECT_EQ(has(codes(), 32009), !testCase.clickTimestamp);
        EXPECT_EQ(config_->searchAdCampaignValue(), platform::Value(true));
        EXPECT_EQ(nextAttempt(), std::nullopt);
    }
}

TEST_F(SearchAdReporterTest, ASecondAttributedReplyIsOnlyLogged) {
    server_.script(kAttributionPath, {reply(200, R"({"attribution":true,"campaignId":9})")});
    reporter_ = make();
    ASSERT_NE(reporter_, nullptr);
    onWorkerQueue([this] {
        reporter_->requestAttributionPayloadWithToken("first");
        reporter_->requestAttributionPayloadWithToken("second");
    });
    waitForReplies(2);
    const auto events = services().drainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].parameters.at("campaign"), MSRValue::initWithString("9"));
    const auto logged = codes();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), 32008), 1);
}

TEST_F(SearchAdReporterTest, AnyOtherAnswerIsAFailedAttempt) {
    struct Case {
        const char* name;
        ScriptedResponse response;
        std::int64_t code;
    };
    ScriptedResponse dropped = reply(200, R"({"attribution":true,"campaignId":9})");
    dropped.dropConnection = true;
    const std::vector<Case> cases = {
        {"500 with a JSON body", reply(500, R"({"attribution":false})"), 32015},
        {"404 with an attributed body", reply(404, R"({"attribution":true,"campaignId":9})"), 32015},
        {"204", reply(204, ""), 32015},
        {"connection dropped", dropped, 32015},
        {"200 with an array", reply(200, "[true]"), 32017},
        {"200 with text", reply(200, "attribution: true"), 32017},
        {"200 with an empty body", reply(200, ""), 32017},
    };
    int replies = 0;
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        server_.script(kAttributionPath, {testCase.response});
        config_->clearValues();
        onWorkerQueue([this] { reporter_.reset(); });
        codes();
        start();
        clock_.advance(0s);
        waitForReplies(++replies);
        EXPECT_TRUE(has(codes(), testCase.code));
        EXPECT_TRUE(services().drainEvents().empty());
        EXPECT_FALSE(config_->searchAdCampaignValue());
        EXPECT_EQ(config_->searchAdRetryCount(), 1);
        EXPECT_EQ(nextAttempt(), clock_.now() + 24h);
    }
}

TEST_F(SearchAdReporterTest, TenFailedAttemptsEndTheReporter) {
    server_.script(kAttributionPath, {reply(500, R"({"attribution":true,"campaignId":9})")});
    start();
    clock_.advance(0s);
    for (int attempt = 1; attempt < 10; ++attempt) {
        waitForReplies(attempt);
        clock_.advance(24h);
    }
    waitForReplies(10);
    EXPECT_EQ(server_.requests().size(), 10u);
    EXPECT_EQ(config_->searchAdRetryCount(), 10);
    EXPECT_TRUE(has(codes(), 32007));
    EXPECT_EQ(nextAttempt(), std::nullopt);
    clock_.advance(72h);
    EXPECT_EQ(tokens_->calls(), 10);
    EXPECT_TRUE(services().drainEvents().empty());

    std::shared_ptr<MSRSearchAdReporter> later;
    onWorkerQueue([&] {
        later = MSRSearchAdReporter::initWithWorkerQueue(scheduler_.get(), reopenedConfig(), MSRSearchAdEnvironment{});
    });
    EXPECT_EQ(later, nullptr);
    EXPECT_TRUE(codes().empty());
}

TEST_F(SearchAdReporterTest, WithoutATokenSourceNothingIsAttempted) {
    kit::classRegistry().unregisterClass(kMSRAttributionTokenSourceClassName);
    start();
    EXPECT_EQ(codes(), std::vector<std::int64_t>{32014});
    EXPECT_EQ(nextAttempt(), std::nullopt);
    clock_.advance(72h);
    EXPECT_EQ(tokens_->calls(), 0);
    EXPECT_EQ(config_->searchAdRetryCount(), 0);
}

TEST_F(SearchAdReporterTest, ATokenErrorCountsAsAnAttemptWithoutARequest) {
    tokens_->failWith(platform::Error("AAAttributionErrorDomain", 1, "no token"));
    start();
    clock_.advance(0s);
    EXPECT_TRUE(has(codes(), 32018));
    EXPECT_EQ(config_->searchAdRetryCount(), 1);
    EXPECT_EQ(nextAttempt(), clock_.now() + 24h);
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(SearchAdReporterTest, WithoutAnAttributionHostNothingIsSentAndNothingFails) {
    endpoints_.adAttributionHost.clear();
    start();
    clock_.advance(0s);
    EXPECT_EQ(tokens_->calls(), 1);
    const auto logged = codes();
    EXPECT_FALSE(std::any_of(logged.begin(), logged.end(), [](std::int64_t code) { return code == 32015; }));
    EXPECT_EQ(nextAttempt(), clock_.now() + 24h);
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(SearchAdReporterTest, ADisabledReporterArmsNothingUntilEnabled) {
    reporter_ = make();
    ASSERT_NE(reporter_, nullptr);
    onWorkerQueue([this] { reporter_->start(); });
    EXPECT_EQ(nextAttempt(), std::nullopt);
    onWorkerQueue([this] {
        reporter_->setSearchAdReporterEnabled(true);
        reporter_->scheduleSearchAdReport();
    });
    EXPECT_EQ(nextAttempt(), clock_.now());
    // Turned off again: the armed attempt is dropped, the alarm kept.
    onWorkerQueue([this] {
        reporter_->setSearchAdReporterEnabled(false);
        reporter_->scheduleSearchAdReport();
    });
    EXPECT_EQ(nextAttempt(), std::nullopt);
    onWorkerQueue([this] { EXPECT_NE(reporter_->searchAdReporterAlarm(), nullptr); });
    clock_.advance(0s);
    EXPECT_EQ(tokens_->calls(), 0);
}

TEST_F(SearchAdReporterTest, CreationNeedsAQueueAndAConfiguration) {
    EXPECT_EQ(MSRSearchAdReporter::initWithWorkerQueue(nullptr, config_), nullptr);
    EXPECT_EQ(codes(), std::vector<std::int64_t>{32000});
    EXPECT_EQ(MSRSearchAdReporter::initWithWorkerQueue(scheduler_.get(), nullptr), nullptr);
    EXPECT_EQ(codes(), std::vector<std::int64_t>{32001});
}

}  // namespace
}  // namespace kit::measurement::testing

// The upload schedule, the upload and the configuration fetch of the
// controller, against a loopback service, a test clock and a fake
// reachability; stores are read with the sqlite3 shell, batches with protoc.

#include "../../core/network/NetworkTestSupport.h"
#include "EngineTestSupport.h"
#include "LoopbackEndpoints.h"
#include "LoopbackHttpServer.h"
#include "Process.h"
#include "StoreReaders.h"
#include "kit/core/Endpoints.h"
#include "kit/core/Gzip.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MSRPersistedConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <future>
#include <thread>

namespace kit::measurement::testing {
namespace {

using platform::testing::LoopbackHttpServer;
using platform::testing::RecordedRequest;
using platform::testing::ScriptedResponse;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kAppIDSlot = 14;
constexpr int kEndTimestampSlot = 5;
constexpr int kResettableDeviceIDSlot = 19;
constexpr int kEventsSlot = 1;
constexpr int kEventNameSlot = 1;

class UploadTest : public EngineTest {
protected:
    UploadTest() {
        kit::testing::useLoopbackMeasurementService(server_.baseUrl());
        LMUNetworkConfiguration configuration;
        configuration.reachabilityApi = kit::testing::fakeReachabilityApi(reachability_);
        network_ = LMUNetwork::initWithReachabilityHost("127.0.0.1", configuration);
        reachability_->report(kLMUReachabilityFlagsReachable);
        environment().network = network_;
        server_.setDefaultResponse({404, {{"Connection", "close"}}, ""});
        script("/a", {{200, {}, ""}});
    }
    MSRMeasurement& start() {
        MSRMeasurement& made = makeController();
        // A fresh configuration: uploads go on without a fetch first.
        onWorkerQueue([&] {
            persisted().setAppIDFromLMP(std::string(kAppID));
            ASSERT_TRUE(database().updateRemoteConfigSuccessfulTimestamp(now()));
        });
        return made;
    }

    // Every answer closes its connection, so the server never waits for an
    // idle client when it stops.
    void script(const std::string& path, std::vector<ScriptedResponse> responses) {
        for (ScriptedResponse& response : responses) {
            response.headers.emplace_back("Connection", "close");
        }
        server_.script(path, std::move(responses));
    }

    // Applies a configuration of this app with `settings` (text format).
    void setConfiguration(const std::string& settings) {
        const Bytes config =
            protocEncode("MeasurementConfig", "app_id: \"" + std::string(kAppID) + "\" " + settings, tempFolder());
        onWorkerQueue([&] {
            ASSERT_TRUE(controller().remoteConfigInstance()->updateMeasurementConfig(
                MSRPBMeasurementConfig::initWithBuffer(config)));
            ASSERT_TRUE(database().updateRemoteConfigSuccessfulTimestamp(now()));
        });
    }

    double now() { return std::chrono::duration<double>(clock().now().time_since_epoch()).count(); }
    MSRDatabase& database() { return *controller().database(); }
    MSRPersistedConfig& persisted() { return *controller().persistedConfig(); }

    static MSRPBMeasurementBundle bundle(std::string_view eventName, double endSeconds,
                                         std::string_view resettableID = "", std::string_view padding = "") {
        MSRPBMeasurementBundle made;
        NanoMessageSetString(made, kAppIDSlot, kAppID);
        NanoMessageSetInt64(made, kEndTimestampSlot, static_cast<std::int64_t>(endSeconds * 1000));
        if (!resettableID.empty()) {
            NanoMessageSetString(made, kResettableDeviceIDSlot, resettableID);
        }
        MSRPBEvent event;
        NanoMessageSetString(event, kEventNameSlot, std::string(eventName) + std::string(padding));
        NanoMessageSetArray(made, kEventsSlot, std::vector<MSRPBEvent>{event});
        return made;
    }

    void queueBundles(int count, std::string_view prefix = "e", std::string_view padding = "") {
        onWorkerQueue([&] {
            for (int index = 0; index < count; ++index) {
                ASSERT_TRUE(database().insertBundle(
                    bundle(std::string(prefix) + std::to_string(index), now(), "", padding), false));
            }
        });
    }

    // Starts an upload on the worker queue and waits for its answer (and
    // whatever it leads to) to be handled.
    void upload() {
        onWorkerQueue([&] { controller().uploadData(); });
        waitUntilIdle();
    }

    void waitUntilIdle(std::chrono::seconds timeout = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        bool idle = false;
        while (!idle && std::chrono::steady_clock::now() < deadline) {
            onWorkerQueue([&] { idle = !controller().isNetworkRequestPending() && !network_->hasUploadInProgress(); });
            if (!idle) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        ASSERT_TRUE(idle) << "the request never finished";
        onWorkerQueue([] {});
    }

    std::vector<RecordedRequest> posts() const {
        auto all = server_.requests();
        std::erase_if(all, [](const RecordedRequest& request) { return request.path != "/a"; });
        return all;
    }

    // The shell's output for `statement`, one line per row.
    std::string sql(const std::string& statement) {
        std::string output;
        for (const std::string& row : sqliteRows(database().databasePath(), statement)) {
            output += row + "\n";
        }
        return output;
    }
    std::string queueCount() { return sql("SELECT COUNT(*) FROM queue;"); }

    // The batch as protoc reads it with our schema.
    std::string decodedBatch(const RecordedRequest& request) {
        return protocDecode("MeasurementBatch", Bytes(request.body.begin(), request.body.end()), tempFolder());
    }
    std::filesystem::path tempFolder() {
        const auto folder = std::filesystem::path(::testing::TempDir()) / ("upload-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        return folder;
    }

    // Whether `code` was logged since the last look.
    bool logged(std::int64_t code) {
        services().monitor().waitUntilIdle();
        const auto codes = services().drainCodes();
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
    void forgetLog() {
        services().monitor().waitUntilIdle();
        services().drainCodes();
    }

    // Waits (bounded) for the worker queue to see `condition` hold.
    bool eventually(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool holds = false;
        while (std::chrono::steady_clock::now() < deadline) {
            onWorkerQueue([&] { holds = condition(); });
            if (holds) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    LoopbackHttpServer server_;
    std::shared_ptr<kit::testing::FakeReachability> reachability_ = std::make_shared<kit::testing::FakeReachability>();
    std::shared_ptr<LMUNetwork> network_;
};

// ---- Schedule

struct NextTimeCase {
    const char* name;
    double lastSuccessAgo;      // seconds before now; < 0: none
    double lastFailureFromNow;  // seconds from now; NaN: none
    double expectedFromNow;     // NaN: no next time
};

TEST_F(UploadTest, NextUploadTimeFollowsSuccessInitialDelayAndTheRetryLadder) {
    const double none = std::nan("");
    // Ladder: data now, initial delay 15 s, then 1800·2^i cumulative; six
    // steps reach now + 15 + 1800·63.
    const NextTimeCase cases[] = {
        {"a success 10 s ago with an hourly interval", 10, none, 3590},
        {"no success: the newest data plus the initial delay", -1, none, 15},
        {"a failure now: the first retry", -1, 0, 15 + 1800},
        {"a failure past the first step: the second", -1, 2000, 15 + 1800 + 3600},
        {"a failure just before the last step", -1, 15 + 1800 * 63 - 1, 15 + 1800 * 63},
        {"a failure at the last step: none", -1, 15 + 1800 * 63, none},
    };
    start();
    queueBundles(1);
    for (const NextTimeCase& entry : cases) {
        SCOPED_TRACE(entry.name);
        double next = 0;
        onWorkerQueue([&] {
            persisted().setLastSuccessfulUploadTimestamp(entry.lastSuccessAgo < 0 ? 0 : now() - entry.lastSuccessAgo);
            persisted().setLastFailedUploadTimestamp(
                std::isnan(entry.lastFailureFromNow) ? 0 : now() + entry.lastFailureFromNow);
            next = controller().nextUploadingTime();
        });
        if (std::isnan(entry.expectedFromNow)) {
            EXPECT_EQ(next, 0);
        } else {
            EXPECT_NEAR(next - now(), entry.expectedFromNow, 0.01);
        }
    }
}

TEST_F(UploadTest, ScheduleBacksOffCancelsWithoutDataAndWaitsForTheNetwork) {
    start();
    std::optional<platform::TimePoint> scheduled;
    // No data: no timer.
    onWorkerQueue([&] {
        controller().alarm().runAfterDelay(100, [] {});
        controller().updateSchedule();
        scheduled = controller().alarm().scheduledTimestamp();
    });
    EXPECT_FALSE(scheduled);

    // A 429 just now: nothing before the failure plus the backoff period.
    queueBundles(1);
    onWorkerQueue([&] {
        persisted().setLastFailedUploadTimestamp(now());
        persisted().setLastBackoffTimestamp(now());
        controller().updateSchedule();
        scheduled = controller().alarm().scheduledTimestamp();
    });
    ASSERT_TRUE(scheduled);
    EXPECT_GE(std::chrono::duration<double>(*scheduled - clock().now()).count(), 43200 - 0.01);

    // No network: no timer until reachability comes back.
    onWorkerQueue([&] {
        persisted().setLastFailedUploadTimestamp(0);
        persisted().setLastBackoffTimestamp(0);
    });
    reachability_->report(0);
    onWorkerQueue([&] {
        controller().updateSchedule();
        scheduled = controller().alarm().scheduledTimestamp();
    });
    EXPECT_FALSE(scheduled);
    EXPECT_TRUE(logged(23026));
    reachability_->report(kLMUReachabilityFlagsReachable);
    ASSERT_TRUE(eventually([&] {
        scheduled = controller().alarm().scheduledTimestamp();
        return scheduled.has_value();
    }));
    EXPECT_NEAR(std::chrono::duration<double>(*scheduled - clock().now()).count(), 15, 0.01);
}

TEST_F(UploadTest, TheTimerUploadsWhenItFires) {
    start();
    queueBundles(1);
    onWorkerQueue([&] { controller().updateSchedule(); });
    clock().advance(std::chrono::seconds(16));
    waitUntilIdle();
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(queueCount(), "0\n");
}

TEST_F(UploadTest, EveryTriggerKeepsTheQuietTheServiceAskedFor) {
    start();
    queueBundles(1);
    onWorkerQueue([&] { persisted().setLastBackoffTimestamp(now()); });
    // Focus loss, and a direct call as a finished upload makes, post nothing.
    controller().handleAppWillResignActiveEvent();
    waitUntilIdle();
    onWorkerQueue([&] { controller().uploadData(); });
    waitUntilIdle();
    EXPECT_TRUE(posts().empty());
    EXPECT_TRUE(logged(23242));
    std::optional<platform::TimePoint> scheduled;
    onWorkerQueue([&] { scheduled = controller().alarm().scheduledTimestamp(); });
    ASSERT_TRUE(scheduled);
    EXPECT_GE(std::chrono::duration<double>(*scheduled - clock().now()).count(), 43200 - 0.01);
    // Once the quiet is over the timer sends.
    clock().advance(std::chrono::seconds(43201));
    waitUntilIdle();
    EXPECT_EQ(posts().size(), 1u);
}

// ---- Upload statuses

class AcceptedUploadTest : public UploadTest, public ::testing::WithParamInterface<int> {};

TEST_P(AcceptedUploadTest, AcceptedBatchesAreDeletedAndTheNextOneFollows) {
    script("/a", {{GetParam(), {}, ""}});
    start();
    queueBundles(101);
    upload();
    const auto sent = posts();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].header("content-encoding"), "gzip");
    const std::string first = decodedBatch(sent[0]);
    EXPECT_THAT(first, HasSubstr("\"e99\""));
    EXPECT_THAT(first, Not(HasSubstr("\"e100\"")));
    EXPECT_THAT(decodedBatch(sent[1]), HasSubstr("\"e100\""));
    EXPECT_EQ(queueCount(), "0\n");
    EXPECT_EQ(persisted().lastFailedUploadTimestamp(), 0);
    EXPECT_EQ(persisted().lastSuccessfulUploadTimestamp(), now());
}

INSTANTIATE_TEST_SUITE_P(Statuses, AcceptedUploadTest, ::testing::Values(200, 204));

struct FailureCase {
    const char* name;
    ScriptedResponse response;
    bool backsOff;
};

class FailedUploadTest : public UploadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedUploadTest, FailedUploadsKeepTheBundlesAndCountRetries) {
    script("/a", {GetParam().response});
    start();
    queueBundles(2);
    upload();
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(queueCount(), "2\n");
    EXPECT_EQ(sql("SELECT retry_count FROM queue ORDER BY rowid;"), "1\n1\n");
    EXPECT_EQ(persisted().lastFailedUploadTimestamp(), now());
    EXPECT_EQ(persisted().lastBackoffTimestamp(), GetParam().backsOff ? now() : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FailedUploadTest,
    ::testing::Values(FailureCase{"Status500", {500, {}, "no"}, false},
                      FailureCase{"Redirect302", {302, {{"Location", "/elsewhere"}}, ""}, false},
                      FailureCase{"Dropped", {200, {}, "", std::chrono::milliseconds(0), true}, false},
                      FailureCase{"Status429", {429, {}, ""}, true}, FailureCase{"Status503", {503, {}, ""}, true}),
    [](const ::testing::TestParamInfo<FailureCase>& test) { return std::string(test.param.name); });

TEST_F(UploadTest, UploadsNeverOverlap) {
    script("/a", {{200, {}, "", std::chrono::milliseconds(300)}});
    start();
    queueBundles(1);
    onWorkerQueue([&] { controller().uploadData(); });
    ASSERT_TRUE(server_.waitForRequests(1, std::chrono::seconds(60)));
    onWorkerQueue([&] { controller().uploadData(); });
    EXPECT_TRUE(logged(23034));
    waitUntilIdle();
    EXPECT_EQ(posts().size(), 1u);
}

TEST_F(UploadTest, BatchesStopAtTheByteBudgetPastTheFirstBundle) {
    start();
    // Each bundle is about 25,000 bytes: two fit 65,536, three do not.
    queueBundles(3, "big", std::string(25000, 'x'));
    upload();
    const auto sent = posts();
    ASSERT_EQ(sent.size(), 2u);
    const auto bundleCount = [&](const RecordedRequest& request) {
        const std::string decoded = decodedBatch(request);
        std::size_t count = 0;
        for (auto at = decoded.find("bundles {"); at != std::string::npos; at = decoded.find("bundles {", at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(bundleCount(sent[0]), 2u);
    EXPECT_EQ(bundleCount(sent[1]), 1u);
}

struct FilterCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> bundles;  // app ID, resettable device ID
    std::string resettableKey;
    std::string vendorKey;
    std::size_t expected;
};

// Which bundles may share a batch: one app ID and no other device ID.
TEST_F(UploadTest, OnlyBundlesOfOneAppAndDeviceShareABatch) {
    const std::string app(kAppID);
    const FilterCase cases[] = {
        {"one app, one device", {{app, "A"}, {app, "A"}, {app, ""}}, "A", "", 3},
        {"another resettable ID ends the batch", {{app, "A"}, {app, "B"}, {app, "A"}}, "A", "", 1},
        {"another app ends the batch", {{app, ""}, {"1:2:ios:other", ""}, {app, ""}}, "", "", 1},
        {"a bundle without app ID matches none", {{"", ""}, {"", ""}}, "", "", 0},
        {"both keys are refused", {{app, "A"}}, "A", "V", 0},
    };
    start();
    for (const FilterCase& entry : cases) {
        SCOPED_TRACE(entry.name);
        std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> pairs;
        std::int64_t rowID = 0;
        for (const auto& [appID, resettableID] : entry.bundles) {
            MSRPBMeasurementBundle made = bundle("e", now(), resettableID);
            if (appID.empty()) {
                NanoMessageSetString(made, kAppIDSlot, std::nullopt);
            } else {
                NanoMessageSetString(made, kAppIDSlot, appID);
            }
            pairs.emplace_back(made, ++rowID);
        }
        const auto filtered = controller().filteredBundlesWithCompatibleAppID(
            entry.bundles.front().first, entry.resettableKey, entry.vendorKey, pairs);
        ASSERT_EQ(filtered.size(), entry.expected);
        for (std::size_t index = 0; index < filtered.size(); ++index) {
            EXPECT_EQ(filtered[index].second, static_cast<std::int64_t>(index + 1));
        }
    }
}

TEST_F(UploadTest, BundlesCarryTheLibraryVersionUploadTimeAndChecksum) {
    start();
    setConfiguration("settings { name: \"measurement.quality.checksum\" value: \"1\" }");
    queueBundles(1);
    upload();
    const auto sent = posts();
    ASSERT_EQ(sent.size(), 1u);
    auto batch = MSRPBMeasurementBatch::initWithBuffer(Bytes(sent[0].body.begin(), sent[0].body.end()));
    ASSERT_TRUE(batch);
    const auto bundles = NanoMessageGetArray<MSRPBMeasurementBundle>(*batch, 0);
    ASSERT_TRUE(bundles && bundles->size() == 1);
    MSRPBMeasurementBundle sentBundle = bundles->front();
    EXPECT_EQ(NanoMessageGetInt64(sentBundle, 18), 110900);
    EXPECT_EQ(NanoMessageGetInt64(sentBundle, 3), static_cast<std::int64_t>(now() * 1000));
    const std::int64_t checksum = NanoMessageGetInt64(sentBundle, 38);
    NanoMessageClearField(sentBundle, 38);
    EXPECT_EQ(checksum, msr_64LSBMD5(*sentBundle.protoBuffer()));
    const std::string decoded = decodedBatch(sent[0]);
    EXPECT_THAT(decoded, HasSubstr("110900"));
}

// The one slow test: the client gives up on a silent service after the
// configured timeout, served at its 30 s minimum, and the batch counts as
// failed.
TEST_F(UploadTest, AnUploadPastTheNetworkTimeoutFails) {
    script("/a", {{200, {}, "", std::chrono::seconds(33)}});
    start();
    setConfiguration("settings { name: \"measurement.network.network_timeout\" value: \"30000\" }");
    queueBundles(1);
    const auto before = std::chrono::steady_clock::now();
    onWorkerQueue([&] { controller().uploadData(); });
    waitUntilIdle(std::chrono::seconds(60));
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, std::chrono::seconds(29));
    EXPECT_LT(waited, std::chrono::seconds(33));
    EXPECT_EQ(sql("SELECT retry_count FROM queue;"), "1\n");
    EXPECT_EQ(persisted().lastFailedUploadTimestamp(), now());
    EXPECT_EQ(persisted().lastBackoffTimestamp(), 0);
}

// ---- Batches too large for the service

class OversizedBatchTest : public UploadTest {
protected:
    static constexpr std::chrono::seconds kCeiling{60};

    // The service answers each batch with `status(body)`.
    void serve(std::function<int(const std::string&)> status) {
        server_.respond("/a", [status = std::move(status)](const RecordedRequest& request) {
            return ScriptedResponse{status(request.body), {{"Connection", "close"}}, ""};
        });
    }
    void uploadAndWait() {
        onWorkerQueue([&] { controller().uploadData(); });
        waitUntilIdle(kCeiling);
    }

    // The event names of each posted batch, in order (padding cut off).
    std::vector<std::vector<std::string>> postedNames() const {
        std::vector<std::vector<std::string>> batches;
        for (const RecordedRequest& request : posts()) {
            auto batch = MSRPBMeasurementBatch::initWithBuffer(Bytes(request.body.begin(), request.body.end()));
            EXPECT_TRUE(batch);
            std::vector<std::string> names;
            if (batch) {
                for (const auto& sent : NanoMessageGetArray<MSRPBMeasurementBundle>(*batch, 0).value_or(
                         std::vector<MSRPBMeasurementBundle>{})) {
                    for (const auto& event :
                         NanoMessageGetArray<MSRPBEvent>(sent, kEventsSlot).value_or(std::vector<MSRPBEvent>{})) {
                        std::string name = NanoMessageGetString(event, kEventNameSlot).value_or("");
                        name.erase(name.find_last_not_of('x') + 1);
                        names.push_back(std::move(name));
                    }
                }
            }
            batches.push_back(std::move(names));
        }
        return batches;
    }
};

TEST_F(OversizedBatchTest, ABatchTooLargeGoesInHalvesUntilTheServiceTakesIt) {
    // The service takes at most 12,000 bytes: two of these bundles, not three.
    constexpr std::size_t kLargest = 12000;
    serve([](const std::string& body) { return body.size() > kLargest ? 413 : 200; });
    start();
    queueBundles(8, "e", std::string(5000, 'x'));
    uploadAndWait();

    const auto batches = postedNames();
    std::vector<std::size_t> sizes;
    std::vector<std::string> accepted;
    const auto sent = posts();
    ASSERT_EQ(sent.size(), batches.size());
    for (std::size_t index = 0; index < batches.size(); ++index) {
        sizes.push_back(batches[index].size());
        if (sent[index].body.size() <= kLargest) {
            accepted.insert(accepted.end(), batches[index].begin(), batches[index].end());
        }
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{8, 4, 2, 2, 2, 2}));
    std::sort(accepted.begin(), accepted.end());
    EXPECT_EQ(accepted, (std::vector<std::string>{"e0", "e1", "e2", "e3", "e4", "e5", "e6", "e7"}));
    EXPECT_EQ(queueCount(), "0\n");
    EXPECT_EQ(persisted().lastFailedUploadTimestamp(), 0);
    EXPECT_EQ(persisted().lastBackoffTimestamp(), 0);
}

TEST_F(OversizedBatchTest, ABundleRefusedOnItsOwnIsDeletedAndTheOnesBehindItGo) {
    serve([](const std::string& body) { return body.find("huge") != std::string::npos ? 413 : 200; });
    start();
    queueBundles(1, "a");
    queueBundles(1, "huge");
    queueBundles(2, "b");
    forgetLog();
    uploadAndWait();

    using Names = std::vector<std::string>;
    EXPECT_EQ(postedNames(),
              (std::vector<Names>{{"a0", "huge0", "b0", "b1"}, {"a0", "huge0"}, {"a0"}, {"huge0"}, {"b0", "b1"}}));
    services().monitor().waitUntilIdle();
    auto lines = services().drainLines();
    std::erase_if(lines, [](const RecordingServices::Line& line) { return line.code != 23243; });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 2);
    EXPECT_EQ(lines[0].contextCount, 1u);
    EXPECT_EQ(queueCount(), "0\n");
    EXPECT_EQ(persisted().lastFailedUploadTimestamp(), 0);
}

// ---- Configuration

TEST_F(UploadTest, ConditionalHeadersAreSentOnlyWhenStored) {
    start();
    onWorkerQueue([&] {
        persisted().setConfigServerETag("\"v1\"");
        persisted().setConfigServerLastModifiedString("");
        controller().fetchRemoteConfig();
    });
    waitUntilIdle();
    auto requests = server_.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/config/app/" + std::string(kAppID));
    EXPECT_EQ(requests[0].header("if-none-match"), "\"v1\"");
    EXPECT_EQ(requests[0].headers.count("if-modified-since"), 0u);
}

class ConfigurationAnswerTest : public UploadTest, public ::testing::WithParamInterface<int> {};

TEST_P(ConfigurationAnswerTest, NotModifiedAndNotFoundClearTheFailureTimesThenUpload) {
    script("/config/app/" + std::string(kAppID), {{GetParam(), {}, ""}});
    start();
    queueBundles(1);
    onWorkerQueue([&] {
        persisted().setLastFailedUploadTimestamp(now() - 5);
        persisted().setLastBackoffTimestamp(now() - 5);
        controller().fetchRemoteConfig();
    });
    waitUntilIdle();
    EXPECT_EQ(persisted().lastBackoffTimestamp(), 0);
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(queueCount(), "0\n");
}

INSTANTIATE_TEST_SUITE_P(Statuses, ConfigurationAnswerTest, ::testing::Values(304, 404));

TEST_F(UploadTest, RejectedConfigurationsKeepWhatWasStored) {
    const std::string path = "/config/app/" + std::string(kAppID);
    start();
    onWorkerQueue([&] { persisted().setConfigServerETag("\"old\""); });
    const Bytes otherApp = protocEncode(
        "MeasurementConfig",
        "app_id: \"1:999:ios:other\" version: 7 settings { name: \"measurement.upload.interval\" value: \"120000\" }",
        tempFolder());
    struct Case {
        const char* name;
        std::string body;
        std::int64_t code;
    };
    const Case cases[] = {
        {"another app ID", std::string(otherApp.begin(), otherApp.end()), 23136},
        {"junk", std::string("\xff\xff\xff\xff junk", 9), 23135},
    };
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.name);
        script(path, {{200, {{"ETag", "\"new\""}}, entry.body}});
        onWorkerQueue([&] { controller().fetchRemoteConfig(); });
        waitUntilIdle();
        EXPECT_TRUE(logged(entry.code));
        EXPECT_EQ(persisted().configServerETag(), "\"old\"");
        double interval = 0;
        std::int64_t version = 0;
        onWorkerQueue([&] {
            interval = controller().remoteConfigInstance()->uploadingInterval();
            version = controller().remoteConfigInstance()->version();
        });
        EXPECT_EQ(interval, 3600);
        EXPECT_EQ(version, -1);
    }

    // 503 backs off.
    script(path, {{503, {}, ""}});
    onWorkerQueue([&] { controller().fetchRemoteConfig(); });
    waitUntilIdle();
    EXPECT_EQ(persisted().lastBackoffTimestamp(), now());
}

TEST_F(UploadTest, AnAppliedConfigurationStoresItsETag) {
    const std::string path = "/config/app/" + std::string(kAppID);
    const Bytes body = protocEncode("MeasurementConfig",
                                    "app_id: \"" + std::string(kAppID) +
                                        "\" version: 9 settings { name: \"measurement.upload.interval\" value: "
                                        "\"120000\" }",
                                    tempFolder());
    script(path, {{200,
                   {{"ETag", "\"v9\""}, {"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"}},
                   std::string(body.begin(), body.end())}});
    start();
    onWorkerQueue([&] { controller().fetchRemoteConfig(); });
    waitUntilIdle();
    EXPECT_EQ(persisted().configServerETag(), "\"v9\"");
    double interval = 0;
    onWorkerQueue([&] { interval = controller().remoteConfigInstance()->uploadingInterval(); });
    EXPECT_EQ(interval, 120);
}

// ---- Reset

TEST_F(UploadTest, AnEmptyResetIDIsRefusedUnlessAnalyticsStorageIsDenied) {
    start();
    EXPECT_FALSE(controller().resetAnalyticsDataWithAppInstanceID(std::string()));
    EXPECT_TRUE(logged(23167));
    MSRConsentSettingsUtil::updateSettings({{"analytics_storage", "denied"}});
    EXPECT_TRUE(controller().resetAnalyticsDataWithAppInstanceID(std::string()));
    EXPECT_TRUE(logged(23218));
    queueBundles(1);
    EXPECT_TRUE(controller().resetAnalyticsDataWithAppInstanceID(std::string("NEWID")));
    EXPECT_EQ(queueCount(), "0\n");
    EXPECT_EQ(persisted().appInstanceID(), "NEWID");
}

TEST_F(UploadTest, AResetWipesTheStoreAndReportsANewFirstOpen) {
    start();
    queueBundles(1);
    // The reset's first open is dated at the facade's load time.
    clock().advance(std::chrono::hours(2));
    MSRAnalytics::setLoadTimestamp(now());
    EXPECT_TRUE(controller().resetAnalyticsDataWithAppInstanceID(std::string("NEWID")));
    EXPECT_TRUE(logged(23168));
    EXPECT_EQ(queueCount(), "0\n");
    EXPECT_EQ(sql("SELECT CAST(timestamp AS INTEGER) FROM raw_events WHERE name = '_f';"),
              std::to_string(static_cast<std::int64_t>(now())) + "\n");
}

TEST_F(UploadTest, ThePurchaseFilterPassesEachNewPurchaseOnce) {
    start();
    const auto purchase = [](platform::PaymentTransactionState state, std::string identifier) {
        platform::PaymentTransaction transaction;
        transaction.state = state;
        transaction.productIdentifier = "gold";
        transaction.transactionIdentifier = std::move(identifier);
        return transaction;
    };
    using State = platform::PaymentTransactionState;
    const std::vector<platform::PaymentTransaction> transactions{
        purchase(State::purchased, "1000000001"), purchase(State::restored, "1000000002"),
        purchase(State::failed, "1000000003"), purchase(State::purchased, "1000000001"),
        purchase(State::purchased, "1000000004")};
    std::promise<std::vector<platform::PaymentTransaction>> filtered;
    controller().filterPurchaseTransactions(
        transactions, [&](std::vector<platform::PaymentTransaction> result) { filtered.set_value(std::move(result)); });
    auto future = filtered.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    const auto result = future.get();
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].transactionIdentifier, "1000000001");
    EXPECT_EQ(result[1].transactionIdentifier, "1000000004");
    EXPECT_TRUE(logged(23141));
}

// ---- Faults

TEST_F(UploadTest, UndecodableQueueRowsAreDeletedBeforeTheBatch) {
    start();
    queueBundles(1);
    sql("INSERT INTO queue (rowid, bundle_end_timestamp, data, is_realtime, retry_count) "
        "VALUES (0, 1, X'00010203', 0, 0);");
    upload();
    EXPECT_TRUE(logged(23240));
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(queueCount(), "0\n");
}

TEST_F(UploadTest, UndecodableQueueRowsThatStayAreLoggedWithTheirOwnCode) {
    start();
    sql("INSERT INTO queue (rowid, bundle_end_timestamp, data, is_realtime, retry_count) "
        "VALUES (0, 1, X'00010203', 0, 0);");
    sql("CREATE TRIGGER keep BEFORE DELETE ON queue BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    forgetLog();
    upload();
    services().monitor().waitUntilIdle();
    const auto codes = services().drainCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 23245), codes.end());
    EXPECT_EQ(std::find(codes.begin(), codes.end(), 23240), codes.end());
    EXPECT_EQ(queueCount(), "1\n");
}

TEST_F(UploadTest, AFirstBundleWithoutAppIDIsDeletedAndNothingIsPosted) {
    start();
    queueBundles(1);
    MSRPBMeasurementBundle noAppID = bundle("orphan", now());
    NanoMessageSetString(noAppID, kAppIDSlot, std::nullopt);
    const auto gzipped = kit::lmu_dataByGzippingData(*noAppID.protoBuffer());
    ASSERT_TRUE(gzipped && *gzipped);
    std::string hex;
    for (const std::uint8_t byte : **gzipped) {
        static constexpr char digits[] = "0123456789ABCDEF";
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    sql("INSERT INTO queue (rowid, bundle_end_timestamp, data, is_realtime, retry_count) VALUES (0, 1, X'" + hex +
        "', 0, 0);");
    onWorkerQueue([&] { controller().uploadData(); });
    waitUntilIdle();
    EXPECT_TRUE(logged(23046));
    EXPECT_EQ(posts().size(), 0u);
    EXPECT_EQ(queueCount(), "1\n");
    upload();
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(queueCount(), "0\n");
}

TEST_F(UploadTest, AcceptedBundlesAreNeverPostedAgainAfterAFailedDelete) {
    start();
    queueBundles(2);
    sql("CREATE TRIGGER keep BEFORE DELETE ON queue BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    upload();
    EXPECT_TRUE(logged(23045));
    ASSERT_EQ(posts().size(), 1u);

    // A wall-clock change neither ends nor stretches the suspension.
    clock().setNow(clock().now() + std::chrono::hours(24 * 30));
    onWorkerQueue([&] { controller().updateSchedule(); });
    EXPECT_TRUE(logged(23023));
    upload();
    EXPECT_EQ(posts().size(), 1u);

    // Past the suspension (on uptime), the deletion still failing: nothing
    // is posted, and uploads are suspended again.
    clock().advance(std::chrono::seconds(3601));
    onWorkerQueue([&] { controller().updateSchedule(); });
    forgetLog();
    upload();
    EXPECT_TRUE(logged(23241));
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(queueCount(), "2\n");

    // Once the deletion works, the accepted bundles go without a second post.
    sql("DROP TRIGGER keep;");
    clock().advance(std::chrono::seconds(3601));
    onWorkerQueue([&] { controller().updateSchedule(); });
    upload();
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(queueCount(), "0\n");
}

// ---- Uploaded bytes

// A fixed store turned into bundles and posted: the batch the service gets
// and the rows left behind are held byte for byte against the fixtures in
// golden/. STUBFORGE_WRITE_GOLDEN=1 writes the fixtures instead.
TEST_F(UploadTest, AFixedStoreUploadsTheGoldenBatchAndLeavesTheGoldenRows) {
    start();
    MSRPBMeasurementBundle metadata;
    NanoMessageSetInt32(metadata, 0, 1);
    NanoMessageSetString(metadata, 8, "linux");
    NanoMessageSetString(metadata, kAppIDSlot, kAppID);
    NanoMessageSetString(metadata, 40, "G111");
    const auto encoded = metadata.protoBuffer();
    ASSERT_TRUE(encoded);
    const std::int64_t fingerprint = msr_64LSBMD5(std::span<const std::uint8_t>(*encoded));
    struct Row {
        const char* name;
        double secondsAgo;
        MSRObjectDictionary parameters;
        bool realtime;
    };
    using platform::Value;
    const std::vector<Row> rows{
        {"_s", 5000, {{"_sid", Value(std::int64_t{1699995000})}, {"_sno", Value(std::int64_t{1})}}, false},
        {"_e", 4990, {{"_et", Value(std::int64_t{1500})}}, false},
        {"generate_click", 4980, {{"file_type", Value("pdf")}, {"count", Value(std::int64_t{3})}}, true},
        {"generate_click", 4970, {{"file_type", Value("csv")}, {"price", Value(1.25)}}, false},
        {"_e", 1000, {{"_et", Value(std::int64_t{800})}, {"_fr", Value(std::int64_t{1})}}, false},
        {"generate_click", 990, {{"file_type", Value("txt")}}, false},
    };
    onWorkerQueue([&] {
        // The one field a fresh store makes at random.
        persisted().setAppInstanceID(std::string("0123456789ABCDEF0123456789ABCDEF"));
        ASSERT_TRUE(database().insertIfNotExistsRawEventMetadata(metadata));
        for (const Row& row : rows) {
            const auto event = MSREvent::initWithOrigin("app", row.name[0] != '_', row.name, now() - row.secondsAgo, 0,
                                                        row.parameters);
            ASSERT_TRUE(event);
            ASSERT_TRUE(database().insertRawEvent(*event, fingerprint, row.realtime));
        }
    });
    upload();
    const auto sent = posts();
    ASSERT_EQ(sent.size(), 1u);
    const std::string store = sql(".dump");

    const std::filesystem::path folder = UPLOAD_GOLDEN_DIR;
    const auto read = [](const std::filesystem::path& path) {
        std::ifstream input(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(input), {});
    };
    if (const char* write = std::getenv("STUBFORGE_WRITE_GOLDEN"); write != nullptr && std::string_view(write) == "1") {
        std::ofstream(folder / "upload-batch.bin", std::ios::binary) << sent[0].body;
        std::ofstream(folder / "upload-store.sql", std::ios::binary) << store;
        GTEST_SKIP() << "fixtures written to " << folder;
    }
    EXPECT_TRUE(sent[0].body == read(folder / "upload-batch.bin")) << decodedBatch(sent[0]);
    EXPECT_EQ(store, read(folder / "upload-store.sql"));
}

// ---- Logger delegate

TEST_F(UploadTest, NetworkLogLevelsMapToMonitorLevels) {
    start();
    const std::pair<int, int> cases[] = {{3, 1}, {4, 4}, {5, 3}, {6, 6}, {7, 7}, {1, 3}, {9, 3}};
    forgetLog();
    for (const auto& [networkLevel, monitorLevel] : cases) {
        SCOPED_TRACE(networkLevel);
        controller().LMUNetwork_logWithLevel(networkLevel, 900123, "line", std::optional<std::string>("context"));
        services().monitor().waitUntilIdle();
        auto lines = services().drainLines();
        std::erase_if(lines, [](const RecordingServices::Line& line) { return line.code != 900123; });
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].code, 900123);
        EXPECT_EQ(lines[0].level, monitorLevel);
        EXPECT_EQ(lines[0].contextCount, 1u);
    }
    controller().LMUNetwork_logWithLevel(7, 900124, "line", std::optional<std::string>());
    services().monitor().waitUntilIdle();
    auto lines = services().drainLines();
    std::erase_if(lines, [](const RecordingServices::Line& line) { return line.code != 900124; });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].contextCount, 0u);
}

}  // namespace
}  // namespace kit::measurement::testing

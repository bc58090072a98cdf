#pragma once

// The experiment component under test: a TestClock, a manual main queue,
// a loopback experiment service, fake observers and readers of the store
// (the sqlite3 shell) and of messages (protoc).

#include "../support/RulesTestSupport.h"
#include "LoopbackHttpServer.h"
#include "QuietReachability.h"
#include "ManualExecutor.h"
#include "Process.h"
#include "StoreReaders.h"
#include "kit/core/Gzip.h"
#include "kit/measurement/controller/MSRExperimentManager.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace kit::measurement::testing {

using namespace std::chrono_literals;

// 2027-01-15T08:00:00Z.
inline const platform::TimePoint kStart{std::chrono::seconds(1800000000)};

// The stored snapshot of `sdkName` in `table`, decoded by protoc.
inline std::string storedSnapshotText(const std::filesystem::path& database, std::string_view table,
                                      std::string_view sdkName, const std::filesystem::path& folder) {
    const auto rows = sqliteRows(database, "SELECT hex(snapshotProto) FROM " + std::string(table) +
                                               " WHERE sdk_name = '" + std::string(sdkName) + "'");
    if (rows.size() != 1) {
        return {};
    }
    return protocDecode("Snapshot", bytesFromHex(rows[0]), folder);
}

// The experiment IDs a decoded snapshot holds, in order.
inline std::vector<int> experimentIDsIn(const std::string& snapshotText) {
    std::vector<int> identifiers;
    std::size_t position = 0;
    while ((position = snapshotText.find("field_1: ", position)) != std::string::npos) {
        // Experiment IDs are the indented field_1 lines; the SDK name is a string.
        const std::size_t lineStart = snapshotText.rfind('\n', position);
        const bool indented = lineStart != std::string::npos && snapshotText[lineStart + 1] == ' ';
        position += 9;
        if (indented && snapshotText[position] != '"') {
            identifiers.push_back(std::stoi(snapshotText.substr(position)));
        }
    }
    return identifiers;
}

// Counts the fetches the task manager has finished handling.
class FetchLatch {
public:
    void handled() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool waitFor(int count, std::chrono::seconds timeout = 60s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return count_ >= count; });
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;  // guarded by mutex_
};

// An SDK that wants experiments and records what it is told.
class RecordingObserver final : public MSREExperimentObserverDelegate {
public:
    void clientDidReceiveNewSnapshot(MSREClient&) override {
        std::lock_guard lock(mutex_);
        ++newSnapshots;
    }
    void clientDidReceiveFetchError(MSREClient&, const std::optional<platform::Error>& error) override {
        std::lock_guard lock(mutex_);
        errorCodes.push_back(error ? error->code() : 0);
    }
    bool shouldFetchExperimentsForClient(MSREClient&) override { return wantsExperiments; }

    std::mutex mutex_;
    int newSnapshots = 0;          // guarded by mutex_
    std::vector<int> errorCodes;   // guarded by mutex_
    bool wantsExperiments = true;  // set before use
};

class ExperimentTest : public RulesTest {
protected:
    ExperimentTest() { platform::MainQueue::install(mainQueue_); }
    ~ExperimentTest() override {
        if (manager_ != nullptr) {
            settle();
        }
        manager_.reset();
        platform::MainQueue::reset();
    }

    // The manager over the test clock and the loopback service (or none).
    MSRExperimentManager& startManager(bool withService = true) {
        MSRExperimentManager::Environment environment;
        environment.clock = &clock_;
        environment.endpoints = kit::Endpoints{};
        if (withService) {
            environment.endpoints->experimentHost = server_.baseUrl();
        }
        environment.reachabilityApi = quietReachability();
        environment.request.diversionKey = diversionKey_;
        environment.request.bundleIdentifier = [] { return std::string("com.stubforge.tests"); };
        environment.request.preferredLanguage = [] { return std::optional<std::string>("en-GB"); };
        environment.fetchHandled = [this] { fetches_.handled(); };
        environment.persistedStorage = suite_;
        manager_ = MSRExperimentManager::create(std::move(environment));
        settle();
        return *manager_;
    }

    // Lets the worker and the manager finish what is queued, twice over for
    // what each hands the other, then runs the main queue.
    void settle() {
        for (int round = 0; round < 3; ++round) {
            manager_->taskManager().dispatchSyncOnWorkerQueue([] {});
            manager_->dispatchSyncOnSerialQueue([] {});
        }
        mainQueue_->drain();
    }

    std::shared_ptr<MSREClient> registerMeasurement(const platform::Value::Dictionary& defaultFlags = {}) {
        MSRESDKProperty property;
        property.name = "app_measurement";
        property.version = 110900;
        auto client = manager_->registerSDKProperty(property, defaultFlags);
        client->setDelegate(observer_);
        settle();
        return client;
    }

    // The reply body of the experiment service: `text` encoded, then gzipped.
    std::string gzippedResponse(const std::string& text) {
        const Bytes encoded = protocEncode("ExperimentResponse", text, root());
        const auto zipped = kit::lmu_dataByGzippingData(encoded);
        return std::string((*zipped)->begin(), (*zipped)->end());
    }

    // Moves the clock to the pending fetch and waits for its answer.
    void runScheduledFetch() {
        const auto due = manager_->taskManager().scheduledFetchTime();
        ASSERT_TRUE(due);
        const int before = fetches_.count();
        clock_.advance(*due - clock_.now());
        ASSERT_TRUE(fetches_.waitFor(before + 1));
        settle();
    }

    double suiteDouble(std::string_view key) { return suite_->doubleForKey(key); }
    bool suiteHas(std::string_view key) { return suite_->objectForKey(key).has_value(); }

    std::filesystem::path databasePath() { return MSRMeasurementFilePath(kMSREDatabaseFileName); }

    // Null: the identity's own.
    std::function<std::string()> diversionKey_ = [] { return std::string("ab3Xz"); };
    platform::TestClock clock_{kStart};
    std::shared_ptr<platform::testing::ManualExecutor> mainQueue_ =
        std::make_shared<platform::testing::ManualExecutor>();
    platform::testing::LoopbackHttpServer server_;
    FetchLatch fetches_;
    std::shared_ptr<RecordingObserver> observer_ = std::make_shared<RecordingObserver>();
    std::shared_ptr<MSRUserDefaults> suite_ = std::make_shared<MSRUserDefaults>(std::string(kMSRExperimentSuiteName));
    std::shared_ptr<MSRExperimentManager> manager_;
};

// The response text of one snapshot for "app_measurement" with experiments
// 0 (launched), 7 and 9.
inline const std::string kThreeExperiments = R"(
snapshots {
  field_1: "app_measurement"
  experiments { field_1: 0 flags { name: "color" string_value: "red" } flags { name: "size" int_value: 3 } }
  experiments { field_1: 7 flags { name: "color" string_value: "blue" } }
  experiments { field_1: 9 flags { name: "speed" double_value: 1.5 } }
})";

}  // namespace kit::measurement::testing

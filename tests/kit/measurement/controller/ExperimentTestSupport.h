#pragma once

// The experiment component under test: a TestClock, a manual main queue,
// a loopback experiment service, fake observers and readers of the store
// (the sqlite3 shell) and of messages (protoc).

#include "../support/RulesTestSupport.h"
#include "LoopbackHttpServer.h"
#include "ManualExecutor.h"
#include "Process.h"
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

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// 2027-01-15T08:00:00Z.
inline const platform::TimePoint kStart{std::chrono::seconds(1800000000)};

inline double seconds(platform::TimePoint time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

inline std::string schemaPath() { return MEASUREMENT_SCHEMA_DIR; }

// `text` (protobuf text format) encoded by protoc.
inline Bytes protocEncode(std::string_view message, const std::string& text, const std::filesystem::path& folder) {
    const auto input = folder / "protoc-input.txt";
    const auto output = folder / "protoc-output.bin";
    std::ofstream(input, std::ios::binary) << text;
    using platform::testing::shellQuote;
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) + " --encode=stubforge.measurement." + std::string(message) +
        " --proto_path=" + shellQuote(schemaPath()) + " measurement.proto < " + shellQuote(input.string()) + " > " +
        shellQuote(output.string()));
    if (result.exitCode != 0) {
        throw std::runtime_error("protoc --encode failed: " + result.output);
    }
    const std::string bytes = platform::testing::readFile(output);
    return Bytes(bytes.begin(), bytes.end());
}

// `bytes` as protoc prints them in text format.
inline std::string protocDecode(std::string_view message, const Bytes& bytes, const std::filesystem::path& folder) {
    const auto input = folder / "protoc-decode.bin";
    platform::testing::writeFile(input, std::string(bytes.begin(), bytes.end()));
    using platform::testing::shellQuote;
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) + " --decode=stubforge.measurement." + std::string(message) +
            " --proto_path=" + shellQuote(schemaPath()) + " measurement.proto < " + shellQuote(input.string()),
        false);
    if (result.exitCode != 0) {
        throw std::runtime_error("protoc --decode failed");
    }
    return result.output;
}

inline Bytes bytesFromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(index, 2)), nullptr, 16)));
    }
    return bytes;
}

// The rows of `query` as the sqlite3 shell prints them, "|" between columns.
inline std::vector<std::string> sqliteRows(const std::filesystem::path& database, const std::string& query) {
    using platform::testing::shellQuote;
    const auto result =
        platform::testing::runCommand("sqlite3 " + shellQuote(database.string()) + " " + shellQuote(query), false);
    if (result.exitCode != 0) {
        throw std::runtime_error("sqlite3 failed on " + query);
    }
    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start < result.output.size()) {
        const std::size_t end = result.output.find('\n', start);
        rows.push_back(result.output.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return rows;
}

inline void sqliteExecute(const std::filesystem::path& database, const std::string& statement) {
    using platform::testing::shellQuote;
    const auto result =
        platform::testing::runCommand("sqlite3 " + shellQuote(database.string()) + " " + shellQuote(statement));
    if (result.exitCode != 0) {
        throw std::runtime_error("sqlite3 failed: " + result.output);
    }
}

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

// A reachability table that reports nothing and needs no socket.
inline kit::LMUReachabilityApi quietReachability() {
    kit::LMUReachabilityApi api;
    api.createWithNameFn = [](const std::string&) { return std::make_shared<int>(0); };
    api.setCallbackFn = [](const kit::LMUReachabilityRef&, kit::LMUReachabilityCallback) { return true; };
    api.scheduleWithRunLoopFn = [](const kit::LMUReachabilityRef&) { return true; };
    api.unscheduleFromRunLoopFn = [](const kit::LMUReachabilityRef&) { return true; };
    api.releaseFn = [](const kit::LMUReachabilityRef&) {};
    return api;
}

// Counts the fetches the task manager has finished handling.
class FetchLatch {
public:
    void handled() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool waitFor(int count, std::chrono::seconds timeout = 30s) {
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
        MSRIdentity::resetSharedInstanceForTesting();
        platform::MainQueue::reset();
        installExperimentMonitor(nullptr);
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

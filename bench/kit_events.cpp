// The road of the application's usage event: 40,000 "generate_click" events
// (under the public daily limit) through HLOAnalytics into a measurement
// store on tmpfs. Prints the caller's cost per call (p99), the time from the
// call to the committed row (p99, as a listener hears it once the worker
// queue has written it), events per second beside a bare one-insert-per-
// transaction SQLite loop on the same tmpfs, the time per event of the last
// 1,000 over the first 1,000, and the peak resident memory.

#include "BareRawEvents.h"
#include "BenchTiming.h"

#include "kit.h"
#include "kit/core/CoreTexts.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRControllerServices.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "platform/Log.h"
#include "platform/Value.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using platform::Value;

constexpr long kWindow = 1000;

// 40,000 unless BENCH_EVENTS asks for another count (at least 2,000), for profiling.
long eventCount() {
    const char* text = std::getenv("BENCH_EVENTS");
    const long asked = text != nullptr ? std::atol(text) : 0;
    return asked >= 2 * kWindow ? asked : 40000;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

class DiscardSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

// The controller's services as the started engine answers them: its store,
// worker queue and write entries, so conditional properties run for real.
class EngineServices final : public kit::measurement::MSRControllerServices {
public:
    bool isEnabled() override { return controller() != nullptr && controller()->isEnabled(); }
    kit::measurement::MSRDatabase* database() override {
        return controller() != nullptr ? controller()->database() : nullptr;
    }
    kit::measurement::MSRScheduler* scheduler() override {
        return controller() != nullptr ? &controller()->scheduler() : nullptr;
    }
    void writeEventOnWorkerQueue(const kit::measurement::MSREvent& event) override {
        if (const auto engine = controller()) {
            engine->writeEventOnWorkerQueue(event);
        }
    }
    void writeFilteredEventOnWorkerQueue(const kit::measurement::MSREvent& event) override {
        if (const auto engine = controller()) {
            engine->writeFilteredEventOnWorkerQueue(event);
        }
    }

private:
    static std::shared_ptr<kit::measurement::MSRMeasurement> controller() {
        return kit::measurement::MSRMeasurement::sharedInstance();
    }
};

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A home, XDG folders and an application bundle on tmpfs.
std::filesystem::path prepareWorld() {
    const std::filesystem::path root =
        std::filesystem::path("/dev/shm") / ("stubforge-bench-events-" + std::to_string(getpid()));
    std::filesystem::remove_all(root);
    const auto bundle = root / "bundle";
    std::filesystem::create_directories(bundle);
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("STUBFORGE_RESOURCES", bundle.c_str(), 1);
    setenv("LANG", "en_US.UTF-8", 1);
    writeText(bundle / "Info.plist", Value(Value::Dictionary{{"CFBundleIdentifier", Value("org.stubforge.bench")},
                                                             {"CFBundleShortVersionString", Value("1.0")}})
                                         .toXmlPlist());
    writeText(bundle / "LumenService-Info.plist",
              Value(Value::Dictionary{{"LUMEN_APP_ID", Value("1:1234567890:ios:abcdef0123456789")},
                                      {"BUNDLE_ID", Value("org.stubforge.bench")},
                                      {"API_KEY", Value("A" + std::string(38, 'b'))},
                                      {"GCM_SENDER_ID", Value("1234567890")},
                                      {"PROJECT_ID", Value("bench")}})
                  .toXmlPlist());
    return root;
}

// One INSERT per transaction through one prepared statement, rows shaped
// like the engine's.
double bareRate(const std::filesystem::path& path, long events) {
    std::filesystem::remove(path);
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        fail("bare open");
    }
    sqlite3_stmt* insert = bench::prepareBareRawEventsInsert(database);
    const std::vector<std::uint8_t> blob(96, 0x5a);
    const double seconds = bench::secondsFor([&] {
        for (long index = 0; index < events; ++index) {
            sqlite3_exec(database, "BEGIN EXCLUSIVE TRANSACTION", nullptr, nullptr, nullptr);
            bench::insertBareRawEvent(insert, blob, 4242, "generate_click",
                                      1'700'000'000.0 + static_cast<double>(index));
            sqlite3_exec(database, "END TRANSACTION", nullptr, nullptr, nullptr);
        }
    });
    sqlite3_finalize(insert);
    sqlite3_close(database);
    std::filesystem::remove(path);
    return static_cast<double>(events) / seconds;
}

double percentile99(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * 99 / 100)];
}

double microseconds(Clock::duration duration) { return std::chrono::duration<double, std::micro>(duration).count(); }

}  // namespace

int main() {
    const long kEvents = eventCount();
    const std::filesystem::path root = prepareWorld();
    const double bare = bareRate(root / "bare.sql", kEvents);

    kit::setLaunchArguments({"bench-kit-events"});
    kit::LMULoggerInstallSink(std::make_shared<DiscardSink>());
    auto mainQueue = std::make_shared<platform::SerialQueue>("BenchMainQueue");
    platform::MainQueue::install(mainQueue);
    kit::measurement::MeasurementServices::install(std::make_shared<EngineServices>());
    kit::measurement::MSRAnalytics::installSeams(
        {kit::measurement::MSRMeasurement::makeFactory(), nullptr, nullptr, nullptr, nullptr});
    const auto context = kit::configure();
    // As the window does: launched, then active, so the clicks fall in a
    // session of the foreground application.
    mainQueue->sync([] {
        auto& center = platform::NotificationCenter::defaultCenter();
        center.post(std::string(kit::core_texts::kApplicationDidFinishLaunchingNotification));
        center.post(std::string(kit::core_texts::kApplicationDidBecomeActiveNotification));
    });

    // The engine has started once its store is open.
    for (int attempt = 0; attempt < 5000; ++attempt) {
        const auto controller = kit::measurement::MSRMeasurement::sharedInstance();
        if (controller != nullptr && controller->didInitializeComponents()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto controller = kit::measurement::MSRMeasurement::sharedInstance();
    if (controller == nullptr || !controller->didInitializeComponents()) {
        fail("engine start");
    }

    std::vector<Clock::time_point> called(kEvents);
    std::vector<Clock::time_point> heard(kEvents);
    std::atomic<long> heardCount{0};
    const auto token = kit::measurement::MSRAnalytics::addLogEventListener(
        [&](std::string_view, std::string_view name, const Value::Dictionary& parameters) {
            if (name != "generate_click") {
                return;
            }
            const auto found = parameters.find("sequence");
            if (found == parameters.end()) {
                return;
            }
            const long index = static_cast<long>(found->second.integerValue().value_or(-1));
            if (index >= 0 && index < kEvents) {
                heard[static_cast<std::size_t>(index)] = Clock::now();
                heardCount.fetch_add(1);
            }
        });
    kit::measurement::MSRAnalytics::waitUntilIdleForTesting();

    std::vector<double> callerMicroseconds;
    callerMicroseconds.reserve(kEvents);
    const auto start = Clock::now();
    for (long index = 0; index < kEvents; ++index) {
        const Value::Dictionary parameters{{"file_type", Value("pdf")},
                                           {"app_version", Value("1.0")},
                                           {"sequence", Value(static_cast<std::int64_t>(index))}};
        const auto before = Clock::now();
        called[static_cast<std::size_t>(index)] = before;
        kit::measurement::HLOAnalytics::logEventWithName("generate_click", parameters);
        callerMicroseconds.push_back(microseconds(Clock::now() - before));
    }
    while (heardCount.load() < kEvents) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (Clock::now() - start > std::chrono::minutes(10)) {
            fail("waiting for the events");
        }
    }
    const auto end = *std::max_element(heard.begin(), heard.end());
    kit::measurement::MSRAnalytics::removeLogEventListener(token);

    std::vector<double> roadMicroseconds;
    roadMicroseconds.reserve(kEvents);
    for (long index = 0; index < kEvents; ++index) {
        roadMicroseconds.push_back(
            microseconds(heard[static_cast<std::size_t>(index)] - called[static_cast<std::size_t>(index)]));
    }
    // Counted by a connection of our own, on the worker queue so the engine
    // writes nothing meanwhile; reading the rows back would set the peak.
    long stored = 0;
    controller->scheduler().dispatchSyncOnWorkerQueueBlockID("bench", [&] {
        sqlite3* reader = nullptr;
        if (sqlite3_open_v2(controller->database()->databasePath().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK) {
            sqlite3_stmt* count = nullptr;
            if (sqlite3_prepare_v2(reader, "SELECT count(*) FROM raw_events WHERE name = 'generate_click'", -1, &count,
                                   nullptr) == SQLITE_OK &&
                sqlite3_step(count) == SQLITE_ROW) {
                stored = static_cast<long>(sqlite3_column_int64(count, 0));
            }
            sqlite3_finalize(count);
        }
        sqlite3_close(reader);
    });
    const double seconds = std::chrono::duration<double>(end - start).count();
    const double rate = static_cast<double>(kEvents) / seconds;
    const auto windowSeconds = [&](long first) {
        const auto last = static_cast<std::size_t>(first + kWindow - 1);
        return std::chrono::duration<double>(heard[last] - heard[static_cast<std::size_t>(first)]).count();
    };
    const double growth = windowSeconds(kEvents - kWindow) / windowSeconds(0);

    std::printf("kit events: %ld \"generate_click\" through HLOAnalytics, %ld of them stored (tmpfs)\n", kEvents,
                stored);
    std::printf("  caller p99:            %8.1f us   (target <= 1000)\n", percentile99(callerMicroseconds));
    std::printf("  log to committed p99:  %8.1f ms\n", percentile99(roadMicroseconds) / 1000.0);
    std::printf(
        "  events/s:              %8.0f    bare SQLite one insert per transaction: %.0f/s, ratio %.3f "
        "(target >= 0.1)\n",
        rate, bare, rate / bare);
    std::printf("  last 1000 / first 1000: %7.2f    (target <= 2)\n", growth);
    std::printf("  peak RSS:              %8.1f MB   (target <= 64)\n", bench::peakResidentMegabytes());

    kit::measurement::MSRAnalytics::waitUntilIdleForTesting();
    mainQueue->sync([] {});
    std::filesystem::remove_all(root);
    // Queues of the kit outlive main on purpose; leave without running
    // static destructors under their feet.
    std::fflush(stdout);
    std::_Exit(stored == kEvents ? 0 : 1);
}

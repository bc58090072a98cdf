// The controller's bundling of stored raw events: 90,000 "generate_click"
// events of one metadata record, written straight into the store, turned
// into queued bundles by the upload's bundling loop. Prints events per
// second, the time of the last bundles over the first (the store must not
// slow down as it empties) and the peak memory.
//
// The upload of the queued bundles to a loopback server is timed once the
// controller's upload is built; until then these figures are bundling's.

#include "BenchTiming.h"
#include "QuietMeasurement.h"

#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MSRScheduler.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

using bench::peakResidentMegabytes;
using bench::secondsFor;
using kit::measurement::MSRMeasurement;

constexpr long kEvents = 90'000;
constexpr long kEventsPerTransaction = 1'000;
// Bundle calls averaged at each end of the run.
constexpr std::size_t kEndCalls = 10;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

kit::measurement::MSRPBMeasurementBundle metadata() {
    kit::measurement::MSRPBMeasurementBundle message;
    kit::measurement::NanoMessageSetInt32(message, 0, 1);
    kit::measurement::NanoMessageSetString(message, 8, "macos");
    kit::measurement::NanoMessageSetString(message, 14, "com.example.stubforge");
    kit::measurement::NanoMessageSetString(message, 40, "G111");
    return message;
}

// The window's event, dated within the last hour so no stale sweep takes it.
kit::measurement::MSREvent clickEvent(double timestamp) {
    using platform::Value;
    const kit::measurement::MSRObjectDictionary parameters{{"file_type", Value("txt")},
                                                           {"app_version", Value("Stubforge v1.2.3 (45)")}};
    auto event = kit::measurement::MSREvent::initWithOrigin("app", false, "generate_click", timestamp, 0, parameters);
    if (!event) {
        fail("event");
    }
    return std::move(*event);
}

void onWorkerQueue(MSRMeasurement& controller, const std::function<void()>& block) {
    controller.scheduler().dispatchSyncOnWorkerQueueBlockID("bench", block);
}

}  // namespace

int main() {
    const auto home = std::filesystem::current_path() / ".bench-kit-upload";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    kit::setLaunchArguments({"bench-kit-upload"});
    kit::LMULoggerInstallSink(std::make_shared<bench::DiscardSink>());
    kit::measurement::MeasurementServices::install(std::make_shared<bench::QuietServices>());

    kit::measurement::MSRMeasurementEnvironment environment;
    environment.network = std::shared_ptr<kit::LMUNetwork>();
    kit::measurement::MSRMeasurementStartOptions options;
    options.appID = "1:1234567890:linux:bench";
    auto controller = MSRMeasurement::initWithAppID(options, environment);
    if (controller == nullptr) {
        fail("controller");
    }
    onWorkerQueue(*controller, [] {});
    if (controller->database() == nullptr) {
        fail("start");
    }

    const auto message = metadata();
    const auto bytes = message.protoBuffer();
    const std::int64_t fingerprint = kit::measurement::msr_64LSBMD5(std::span<const std::uint8_t>(*bytes));
    const double first = now() - 3000;
    onWorkerQueue(*controller, [&] {
        auto& database = *controller->database();
        if (!database.insertIfNotExistsRawEventMetadata(message)) {
            fail("metadata");
        }
        for (long start = 0; start < kEvents; start += kEventsPerTransaction) {
            const bool stored = static_cast<bool>(database.performTransaction([&] {
                for (long index = start; index < start + kEventsPerTransaction; ++index) {
                    if (!database.insertRawEvent(clickEvent(first + static_cast<double>(index) * 0.025), fingerprint,
                                                 false)) {
                        return false;
                    }
                }
                return true;
            }));
            if (!stored) {
                fail("raw events");
            }
        }
    });

    const double storedRSS = peakResidentMegabytes();
    std::vector<double> callSeconds;
    const double seconds = secondsFor([&] {
        onWorkerQueue(*controller, [&] {
            while (true) {
                bool consumed = false;
                callSeconds.push_back(secondsFor([&] { consumed = controller->bundleRawEvents(); }));
                if (!consumed) {
                    callSeconds.pop_back();
                    break;
                }
            }
        });
    });
    long long bundles = 0;
    long long remaining = 0;
    onWorkerQueue(*controller, [&] {
        auto& store = controller->database()->sqliteStore();
        auto queued = store.numberForQuery("SELECT count(*) FROM queue", {});
        auto raw = store.numberForQuery("SELECT count(*) FROM raw_events", {});
        if (!queued || !raw || !*queued || !*raw) {
            fail("read back");
        }
        bundles = (*queued)->asInteger().value_or(0);
        remaining = (*raw)->asInteger().value_or(0);
    });
    if (callSeconds.size() < 2 * kEndCalls) {
        fail("too few bundles");
    }
    const double firstCalls = std::accumulate(callSeconds.begin(), callSeconds.begin() + kEndCalls, 0.0);
    const double lastCalls = std::accumulate(callSeconds.end() - kEndCalls, callSeconds.end(), 0.0);

    std::printf("bundled %ld raw events into %lld bundles (%lld left) in %.2f s\n", kEvents, bundles, remaining,
                seconds);
    std::printf("events/s: %.0f (target at least 2,000)\n", static_cast<double>(kEvents) / seconds);
    std::printf("last %zu bundles' time over the first %zu: %.2f (target at most 1.5)\n", kEndCalls, kEndCalls,
                lastCalls / firstCalls);
    std::printf("peak RSS: %.1f MB after storing, %.1f MB after bundling (target at most 64)\n", storedRSS,
                peakResidentMegabytes());
    std::printf("upload to the loopback server: not measured here yet (bundling only)\n");

    onWorkerQueue(*controller, [] {});
    controller.reset();
    std::filesystem::remove_all(home);
    return 0;
}

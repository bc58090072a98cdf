// The controller's upload of stored raw events: 90,000 "generate_click"
// events of one metadata record, written straight into the store, then
// bundled and posted by the upload to a loopback server until nothing is
// left. Prints events per second, the time of the last batches over the
// first (the store must not slow down as it empties) and the peak memory.

#include "BenchTiming.h"
#include "LoopbackHttpServer.h"
#include "QuietMeasurement.h"

#include "kit/core/Endpoints.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "kit/core/network/Network.h"
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
#include <thread>
#include <vector>

namespace {

using bench::peakResidentMegabytes;
using bench::secondsFor;
using kit::measurement::MSRMeasurement;

constexpr long kEvents = 90'000;
constexpr long kEventsPerTransaction = 1'000;
// Batches averaged at each end of the run.
constexpr std::size_t kEndBatches = 10;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

double now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

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

long long rowCount(MSRMeasurement& controller, const char* table) {
    long long count = -1;
    onWorkerQueue(controller, [&] {
        auto number =
            controller.database()->sqliteStore().numberForQuery(std::string("SELECT count(*) FROM ") + table, {});
        if (number && *number) {
            count = (*number)->asInteger().value_or(-1);
        }
    });
    return count;
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

    platform::testing::LoopbackHttpServer server;
    server.script("/a", {{204, {}, ""}});
    kit::Endpoints endpoints;
    endpoints.measurementHost = "127.0.0.1";
    endpoints.measurementUploadHost = server.baseUrl();
    endpoints.measurementUploadConsentHost = server.baseUrl();
    endpoints.configurationHost = server.baseUrl();
    kit::Endpoints::setCurrent(endpoints);
    auto network = kit::LMUNetwork::initWithReachabilityHost("127.0.0.1");
    if (network == nullptr) {
        fail("network");
    }
    for (int wait = 0; wait < 500 && !network->isNetworkConnected(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!network->isNetworkConnected()) {
        fail("reachability");
    }

    kit::measurement::MSRMeasurementEnvironment environment;
    environment.network = network;
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
        // A fresh configuration: the upload bundles instead of fetching one.
        if (!database.updateRemoteConfigSuccessfulTimestamp(now())) {
            fail("configuration time");
        }
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
    // Each answered batch starts the next one at once: the times between
    // arrivals at the server are the batches' times.
    std::vector<double> batchSeconds;
    const double seconds = secondsFor([&] {
        auto last = std::chrono::steady_clock::now();
        onWorkerQueue(*controller, [&] { controller->uploadData(); });
        std::size_t seen = 0;
        while (true) {
            if (!server.waitForRequests(seen + 1, std::chrono::seconds(5))) {
                break;
            }
            const auto arrived = std::chrono::steady_clock::now();
            batchSeconds.push_back(std::chrono::duration<double>(arrived - last).count());
            last = arrived;
            ++seen;
        }
    });
    const long long remaining = rowCount(*controller, "raw_events");
    const long long queued = rowCount(*controller, "queue");
    if (remaining != 0 || queued != 0) {
        std::fprintf(stderr, "left behind: %lld raw events, %lld bundles\n", remaining, queued);
        fail("upload");
    }
    if (batchSeconds.size() < 2 * kEndBatches + 1) {
        fail("too few batches");
    }
    // The last wait ran into the timeout that ends the run: not a batch.
    const double uploadSeconds = seconds - 5;
    // The first batch also waits for the first round of bundling (a hundred
    // bundles at once): the batches after it are compared.
    const double firstBatches = std::accumulate(batchSeconds.begin() + 1, batchSeconds.begin() + 1 + kEndBatches, 0.0);
    const double lastBatches = std::accumulate(batchSeconds.end() - kEndBatches, batchSeconds.end(), 0.0);

    std::printf("uploaded %ld raw events in %zu batches in %.2f s\n", kEvents, batchSeconds.size(), uploadSeconds);
    std::printf("events/s: %.0f (target at least 2,000)\n", static_cast<double>(kEvents) / uploadSeconds);
    std::printf("last %zu batches' time over the %zu after the first: %.2f (target at most 1.5)\n", kEndBatches,
                kEndBatches, lastBatches / firstBatches);
    std::printf("peak RSS: %.1f MB after storing, %.1f MB after uploading (target at most 64)\n", storedRSS,
                peakResidentMegabytes());

    onWorkerQueue(*controller, [] {});
    controller.reset();
    std::filesystem::remove_all(home);
    return 0;
}

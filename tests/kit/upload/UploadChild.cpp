// One kit process of the upload tests: the controller over the caller's
// folders, a test clock it moves itself, and the loopback service given.
//
//   kit-upload-child SERVICE-URL FIRST-SEQ COUNT
//
// Logs COUNT events "seq_event" whose "seq" runs from FIRST-SEQ, then moves
// its clock an hour at a time (so every retry and backoff wait passes at
// once) until nothing is left to upload; exits 0 then, 1 when that takes
// more than a minute.

#include "LoopbackEndpoints.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/network/Network.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "platform/concurrency/Timers.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using kit::measurement::MSRMeasurement;

void onWorkerQueue(MSRMeasurement& controller, const std::function<void()>& block) {
    controller.scheduler().dispatchSyncOnWorkerQueueBlockID("child", block);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kit-upload-child SERVICE-URL FIRST-SEQ COUNT\n");
        return 2;
    }
    const std::string service = argv[1];
    const long first = std::stol(argv[2]);
    const long count = std::stol(argv[3]);
    kit::setLaunchArguments({"kit-upload-child"});

    kit::testing::useLoopbackMeasurementService(service);
    auto network = kit::LMUNetwork::initWithReachabilityHost("127.0.0.1");
    for (int wait = 0; network != nullptr && wait < 6000 && !network->isNetworkConnected(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (network == nullptr || !network->isNetworkConnected()) {
        std::fprintf(stderr, "no network\n");
        return 1;
    }

    static platform::TestClock clock(std::chrono::system_clock::now(), std::chrono::hours(1));
    kit::measurement::MSRMeasurementEnvironment environment;
    environment.clock = &clock;
    environment.network = network;
    kit::measurement::MSRMeasurementStartOptions options;
    options.appID = "1:1234567890:linux:child";
    auto controller = MSRMeasurement::initializeSharedInstance(options, environment);
    if (controller == nullptr) {
        std::fprintf(stderr, "no controller\n");
        return 1;
    }
    onWorkerQueue(*controller, [] {});

    for (long seq = first; seq < first + count; ++seq) {
        const double now = std::chrono::duration<double>(clock.now().time_since_epoch()).count();
        controller->logEvent(kit::measurement::MSREvent::initWithOrigin("app", true, "seq_event", now, 0,
                                                                        {{"seq", platform::Value(std::int64_t{seq})}}));
    }
    onWorkerQueue(*controller, [] {});

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
        bool done = false;
        onWorkerQueue(*controller, [&] {
            auto& database = *controller->database();
            const auto rawEmpty = database.isRawEventsTableEmpty();
            const auto queueEmpty = database.isQueuedBundleTableEmpty();
            done = rawEmpty && *rawEmpty && queueEmpty && *queueEmpty && !controller->isNetworkRequestPending();
        });
        if (done) {
            // The shared controller and its queues live to the end: leave
            // without running static destructors under them.
            std::fflush(nullptr);
            std::_Exit(0);
        }
        // Real time for the service to answer, test time for the waits.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        bool pending = false;
        onWorkerQueue(*controller, [&] { pending = controller->isNetworkRequestPending(); });
        if (!pending) {
            clock.advance(std::chrono::hours(1));
        }
    }
    std::fprintf(stderr, "still uploading after a minute\n");
    std::fflush(nullptr);
    std::_Exit(1);
}

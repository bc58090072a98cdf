// The quit drain: what is queued before it passes the operation queue, the
// serial queue and one worker-queue turn, within a bound.
#include "FacadeTestSupport.h"

#include "kit/core/Logger.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

namespace kit::measurement {
namespace {

using namespace std::chrono_literals;
using testing::FacadeTest;

// The test's services with a worker queue, as the controller's have.
class WorkerServices final : public MeasurementServices {
public:
    explicit WorkerServices(MeasurementServices& inner) : inner_(inner) {}
    MSRMonitor& monitor() override { return inner_.monitor(); }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return inner_.appMeasurementLibraryVersion(); }
    MSRScheduler* scheduler() override { return &scheduler_; }

private:
    MeasurementServices& inner_;
    MSRScheduler scheduler_{"test.worker"};
};

enum class Held { nothing, serialQueue, workerQueue, serialQueueThroughStart };

struct DrainRow {
    std::string_view label;
    bool started;
    Held held;
    bool drained;
};

void PrintTo(const DrainRow& row, std::ostream* out) { *out << row.label; }

class DrainTest : public FacadeTest, public ::testing::WithParamInterface<DrainRow> {
protected:
    DrainTest() { MeasurementServices::install(services_); }

    std::shared_ptr<WorkerServices> services_ = std::make_shared<WorkerServices>(services());
};

TEST_P(DrainTest, WaitsForEveryQueueWithinTheBound) {
    const auto& row = GetParam();
    std::promise<void> release;
    const auto hold = [opened = release.get_future().share()] { opened.wait(); };
    if (row.held == Held::serialQueueThroughStart) {
        // The controller is still being made when the quit comes.
        MSRAnalytics::queue().async(hold);
        MSRAnalytics::startWithAppID("1:123:ios:ab", "fa", startOptions());
    } else if (row.started) {
        start();
    }
    if (row.held == Held::serialQueue) {
        MSRAnalytics::queue().async(hold);
    } else if (row.held == Held::workerQueue) {
        services_->scheduler()->scheduleOnWorkerQueueBlockID("hold", hold);
    }
    // Shared: an operation held until a start may run at the facade's reset,
    // after this body.
    auto operationRan = std::make_shared<std::atomic<bool>>(false);
    auto workerRan = std::make_shared<std::atomic<bool>>(false);
    MSRAnalytics::queueOperationWithBlock([operationRan, workerRan, services = services_] {
        *operationRan = true;
        services->scheduler()->scheduleOnWorkerQueueBlockID("queued", [workerRan] { *workerRan = true; });
    });

    const auto timeout = row.held == Held::nothing ? 10'000ms : 100ms;
    EXPECT_EQ(MSRAnalytics::drainForTermination(timeout), row.drained);
    if (row.started && row.held == Held::nothing) {
        EXPECT_TRUE(*operationRan);
        EXPECT_TRUE(*workerRan);
    }
    if (!row.drained) {
        EXPECT_TRUE(contains(codes(), 25061));
    }
    release.set_value();
    settle();
    services_->scheduler()->dispatchSyncOnWorkerQueueBlockID("settle", [] {});
    EXPECT_EQ(*operationRan, row.started);
}

INSTANTIATE_TEST_SUITE_P(Rows, DrainTest,
                         ::testing::Values(DrainRow{"started", true, Held::nothing, true},
                                           DrainRow{"serialQueueHeld", true, Held::serialQueue, false},
                                           DrainRow{"workerQueueHeld", true, Held::workerQueue, false},
                                           // Started, no controller yet: what is queued still counts.
                                           DrainRow{"controllerStillStarting", true, Held::serialQueueThroughStart,
                                                    false},
                                           // Held until a start that never comes: nothing to wait for.
                                           DrainRow{"notStarted", false, Held::serialQueue, true}),
                         [](const auto& test) { return std::string(test.param.label); });

class IdleDrainTest : public FacadeTest {
protected:
    IdleDrainTest() { MeasurementServices::install(services_); }

    std::shared_ptr<WorkerServices> services_ = std::make_shared<WorkerServices>(services());
};

// Nothing handed over since the queues went idle: the quit does not wait,
// not even behind the worker's own turns (a timer's), which carry no event.
TEST_F(IdleDrainTest, WithNothingHandedOverTheQuitDoesNotWait) {
    start();
    settle();
    services_->scheduler()->dispatchSyncOnWorkerQueueBlockID("settle", [] {});
    std::promise<void> release;
    services_->scheduler()->workerQueue().async([opened = release.get_future().share()] { opened.wait(); });

    // A drain that waited would time out behind the held turn.
    EXPECT_TRUE(MSRAnalytics::drainForTermination(60s));
    EXPECT_FALSE(contains(codes(), 25061));
    release.set_value();
    services_->scheduler()->dispatchSyncOnWorkerQueueBlockID("settle", [] {});
}

}  // namespace
}  // namespace kit::measurement

namespace kit::measurement {
namespace {

// Holds every line at the door until opened, as a slow terminal would.
class GatedSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry& entry) override {
        opened_.wait();
        std::lock_guard lock(mutex_);
        lines_.push_back(entry.line);
    }
    void open() { gate_.set_value(); }
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    std::promise<void> gate_;
    std::shared_future<void> opened_ = gate_.get_future().share();
    std::mutex mutex_;
    std::vector<std::string> lines_;  // guarded by mutex_
};

class DrainLogTest : public testing::FacadeTest {};

TEST_F(DrainLogTest, TheQuitDrainReturnsOnlyOnceTheKitsLinesAreWritten) {
    const auto sink = std::make_shared<GatedSink>();
    LMULoggerInstallSink(sink);
    LMULogMessageWithLevel(LMULoggerLevelError, "MSRTest", "[HaloAnalytics]", false, "I-ACS099999",
                           "The last line before quitting");
    // The sink takes the line a moment later, long after a drain that does
    // not wait for the log would have returned.
    std::thread opener([&] {
        std::this_thread::sleep_for(200ms);
        sink->open();
    });
    start();
    MSRAnalytics::drainForTermination(std::chrono::seconds(60));
    const auto written = sink->lines();
    opener.join();
    EXPECT_TRUE(std::any_of(
        written.begin(), written.end(),
        [](const std::string& line) { return line.find("The last line before quitting") != std::string::npos; }))
        << written.size() << " lines written";
}

}  // namespace
}  // namespace kit::measurement

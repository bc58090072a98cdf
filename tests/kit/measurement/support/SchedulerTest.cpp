#include "MeasurementTestSupport.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "platform/ProgrammerError.h"
#include "platform/concurrency/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace kit::measurement {
namespace {

using testing::MeasurementTest;

TEST_F(MeasurementTest, AsynchronousBlocksRunOneAtATimeInOrder) {
    MSRScheduler scheduler(kMSRWorkerQueueLabel);
    EXPECT_EQ(scheduler.workerQueue().label(), kMSRWorkerQueueLabel);
    std::vector<int> order;
    std::atomic<int> running{0};
    bool overlapped = false;
    for (int index = 0; index < 1000; ++index) {
        scheduler.scheduleOnWorkerQueueBlockID("append", [&, index] {
            overlapped = overlapped || running.fetch_add(1) != 0;
            order.push_back(index);
            running.fetch_sub(1);
        });
    }
    scheduler.dispatchSyncOnWorkerQueueBlockID("wait", [] {});
    ASSERT_EQ(order.size(), 1000u);
    for (int index = 0; index < 1000; ++index) {
        ASSERT_EQ(order[static_cast<std::size_t>(index)], index);
    }
    EXPECT_FALSE(overlapped);
}

TEST_F(MeasurementTest, AThrowingBlockIsLoggedAndTheQueueGoesOn) {
    MSRScheduler scheduler(kMSRWorkerQueueLabel);
    scheduler.dispatchSyncOnWorkerQueueBlockID(
        "sync-block", [] { throw platform::ProgrammerError("NSInternalInconsistencyException", "broken"); });
    auto lines = services().drainConsole();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].code, 30003);
    EXPECT_EQ(lines[0].message,
              "Exception on worker queue when processing sync block. Block ID=sync-block. Exception: "
              "NSInternalInconsistencyException: broken");
    EXPECT_EQ(lines[1].code, 30004);
    EXPECT_EQ(lines[1].message, "Synchronous task failed. Block ID=sync-block");

    scheduler.scheduleOnWorkerQueueBlockID("async-block", [] { throw std::runtime_error("lost"); });
    bool ran = false;
    scheduler.dispatchSyncOnWorkerQueueBlockID("after", [&] { ran = true; });
    EXPECT_TRUE(ran);
    lines = services().drainConsole();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].code, 30000);
    EXPECT_EQ(lines[0].message.rfind("Exception on worker queue. Block ID=async-block. Exception", 0), 0u);

    // Health data keeps the exception's name only.
    const auto entry = services().monitor().sampledEntry();
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->population, 3);
}

TEST_F(MeasurementTest, EmptyBlocksAreLogged) {
    MSRScheduler scheduler(kMSRWorkerQueueLabel);
    scheduler.scheduleOnWorkerQueueBlockID("a", nullptr);
    scheduler.dispatchSyncOnWorkerQueueBlockID("s", nullptr);
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{30005, 30002}));
}

TEST_F(MeasurementTest, ASynchronousCallFromTheWorkerQueueRunsInline) {
    MSRScheduler scheduler(kMSRWorkerQueueLabel);
    bool inner = false;
    scheduler.dispatchSyncOnWorkerQueueBlockID("outer", [&] {
        scheduler.dispatchSyncOnWorkerQueueBlockID("inner", [&] { inner = scheduler.workerQueue().isCurrent(); });
    });
    EXPECT_TRUE(inner);
    EXPECT_TRUE(services().drainCodes().empty());
}

TEST_F(MeasurementTest, TheBackgroundCheckRefusesTheMainThread) {
    auto main = std::make_shared<platform::SerialQueue>("main");
    platform::MainQueue::install(main);
    EXPECT_TRUE(MSRScheduler::checkOnBackgroundThreadWithMethodName("off the main thread"));
    bool onMain = true;
    bool named = true;
    main->sync([&] {
        onMain = MSRScheduler::checkOnBackgroundThreadWithMethodName("");
        named = MSRScheduler::checkOnBackgroundThreadWithMethodName("-[MSRDatabase open]");
    });
    platform::MainQueue::reset();
    EXPECT_FALSE(onMain);
    EXPECT_FALSE(named);
    const auto lines = services().drainConsole();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].code, 30001);
    EXPECT_EQ(lines[0].message, "Method <empty method name> should execute on background thread");
    EXPECT_EQ(lines[1].message, "Method -[MSRDatabase open] should execute on background thread");
}

}  // namespace
}  // namespace kit::measurement

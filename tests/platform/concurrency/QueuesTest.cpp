#include "platform/concurrency/OperationQueue.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/WorkStop.h"

#include "platform/ProgrammerError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;

TEST(SerialQueueTest, RunsEveryBlockOnceInOrderPerThread) {
    constexpr int kThreads = 8;
    constexpr int kBlocks = 10'000;
    std::vector<std::vector<int>> seen(kThreads);  // written only on the queue
    std::atomic<int> concurrent{0};
    std::atomic<bool> overlapped{false};
    {
        SerialQueue queue("test.order");
        std::vector<std::thread> threads;
        for (int thread = 0; thread < kThreads; ++thread) {
            threads.emplace_back([&, thread] {
                for (int block = 0; block < kBlocks; ++block) {
                    queue.async([&, thread, block] {
                        overlapped = overlapped || concurrent.fetch_add(1) != 0;
                        seen[thread].push_back(block);
                        concurrent.fetch_sub(1);
                    });
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        queue.sync([] {});
    }
    EXPECT_FALSE(overlapped);
    for (int thread = 0; thread < kThreads; ++thread) {
        ASSERT_EQ(seen[thread].size(), static_cast<std::size_t>(kBlocks));
        for (int block = 0; block < kBlocks; ++block) {
            ASSERT_EQ(seen[thread][block], block) << "thread " << thread;
        }
    }
}

TEST(SerialQueueTest, SyncFromTheQueueItselfRunsInline) {
    SerialQueue queue("test.inline");
    std::vector<int> order;
    queue.sync([&] {
        EXPECT_TRUE(queue.isCurrent());
        EXPECT_EQ(SerialQueue::current(), &queue);
        queue.sync([&] { order.push_back(1); });
        order.push_back(2);
    });
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_FALSE(queue.isCurrent());
    EXPECT_EQ(queue.syncResult([] { return 42; }), 42);
}

// sync on an idle queue runs on the caller's thread, as the queue: its own
// thread holds back what is queued meanwhile until the block is done.
TEST(SerialQueueTest, SyncOnAnIdleQueueRunsOnTheCallersThreadAndKeepsTheOrder) {
    SerialQueue queue("test.lent");
    queue.async([] {});
    queue.sync([] {});  // the thread is up and idle
    std::atomic<bool> inSync{false};
    std::atomic<bool> overlapped{false};
    std::vector<int> order;  // written only as the queue
    queue.sync([&] {
        EXPECT_EQ(SerialQueue::current(), &queue);
        inSync = true;
        std::thread poster([&] {
            queue.async([&] {
                overlapped = overlapped || inSync;
                order.push_back(2);
            });
        });
        poster.join();
        std::this_thread::sleep_for(20ms);  // room for the queue's thread to run it too early
        order.push_back(1);
        inSync = false;
    });
    EXPECT_FALSE(queue.isCurrent());
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    // A busy queue makes sync wait its turn.
    std::promise<void> release;
    queue.async([go = release.get_future().share(), &order] {
        go.wait();
        order.push_back(3);
    });
    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        release.set_value();
    });
    queue.sync([&] { order.push_back(4); });
    releaser.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

// The last owner may end the queue from a block that sync runs on its own thread.
TEST(SerialQueueTest, AQueueEndedFromALentSyncEndsItsThreadAfterwards) {
    auto queue = std::make_shared<SerialQueue>("test.lent-end");
    std::atomic<int> ran{0};
    queue->async([&] { ++ran; });
    queue->sync([] {});
    SerialQueue* raw = queue.get();
    raw->sync([&] {
        raw->async([&] { ++ran; });  // still runs, after this block
        queue.reset();
    });
    for (int wait = 0; wait < 6000 && ran != 2; ++wait) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(ran, 2);
}

TEST(SerialQueueTest, AThrowingBlockIsLoggedAndTheNextOneRuns) {
    CaptureLogSink log;
    SerialQueue queue("test.throwing", log);
    std::atomic<bool> ran{false};
    queue.async([] { throw std::runtime_error("boom"); });
    queue.async([] { throw 7; });
    queue.async([&] { ran = true; });
    queue.sync([] {});
    EXPECT_TRUE(ran);
    const auto lines = log.drainLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Uncaught exception on queue test.throwing: boom");
    EXPECT_EQ(lines[1], "Uncaught exception on queue test.throwing");
    // sync passes its block's exception to the caller, and the queue goes on.
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("to caller"); }), std::runtime_error);
    EXPECT_EQ(queue.syncResult([] { return 1; }), 1);
}

TEST(SerialQueueTest, DestructionRunsWhatIsQueued) {
    std::atomic<int> count{0};
    {
        SerialQueue queue("test.drain");
        for (int i = 0; i < 100; ++i) {
            queue.async([&] {
                std::this_thread::sleep_for(10us);
                ++count;
            });
        }
    }
    EXPECT_EQ(count, 100);
}

// A block that holds the last reference to its own queue ends it from the
// queue's thread; what was queued behind it still runs, off the queue.
TEST(SerialQueueTest, AQueueEndedByItsOwnBlockFinishesItsWork) {
    std::atomic<int> later{0};
    std::atomic<bool> sawQueueAfterEnd{true};
    std::promise<void> finished;
    std::promise<void> released;
    auto queue = std::make_shared<SerialQueue>("test.self-ending");
    const SerialQueue* address = queue.get();
    queue->async([keep = queue, go = released.get_future().share()] { go.wait(); });
    for (int i = 0; i < 10; ++i) {
        queue->async([&] { ++later; });
    }
    queue->async([&, address] {
        sawQueueAfterEnd = SerialQueue::current() == address;
        finished.set_value();
    });
    queue.reset();  // the first block now holds the only reference
    released.set_value();
    ASSERT_EQ(finished.get_future().wait_for(60s), std::future_status::ready);
    EXPECT_EQ(later, 10);
    EXPECT_FALSE(sawQueueAfterEnd);
}

// A block may let go of the last reference to its queue while a stop (a kit
// context ending) is joining the queue's thread: the queue ends on that
// thread and the stop still finishes.
TEST(SerialQueueTest, AQueueEndedByItsOwnBlockDuringAStopLetsTheStopFinish) {
    struct LetGoDuringTheStop {
        std::shared_ptr<SerialQueue> queue;
        ~LetGoDuringTheStop() {
            for (int wait = 0; wait < 6000 && !workStopped(); ++wait) {
                std::this_thread::sleep_for(10ms);
            }
            std::this_thread::sleep_for(50ms);  // time for the stop to reach the join
            queue.reset();
        }
    };
    auto queue = std::make_shared<SerialQueue>("test.ended-during-stop");
    auto holder = std::make_shared<LetGoDuringTheStop>();
    holder->queue = queue;
    std::promise<void> ran;
    queue->async([holder = std::move(holder), &ran] { ran.set_value(); });  // released after it ran
    queue.reset();
    ASSERT_EQ(ran.get_future().wait_for(60s), std::future_status::ready);
    stopAllWork();  // hung here when the ending queue waited for the stop's join lock
    resumeAllWork();
}

TEST(GlobalQueueTest, RunsBlocksConcurrently) {
    // Two blocks that each wait for the other finish only when they overlap.
    std::atomic<int> arrived{0};
    Group group;
    for (int i = 0; i < 2; ++i) {
        group.enter();
        globalQueue().async([&] {
            ++arrived;
            const auto deadline = std::chrono::steady_clock::now() + 60s;
            while (arrived < 2 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            group.leave();
        });
    }
    EXPECT_TRUE(group.wait(120s));
    EXPECT_EQ(arrived, 2);
}

TEST(OperationQueueTest, RunsNothingUntilResumedThenOneAtATime) {
    OperationQueue queue("test.operations");
    EXPECT_TRUE(queue.isSuspended());
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::vector<int> order;  // written by one operation at a time
    for (int i = 0; i < 20; ++i) {
        queue.addOperation([&, i] {
            overlapped = overlapped || running.fetch_add(1) != 0;
            std::this_thread::sleep_for(100us);
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(queue.operationCount(), 20u);
    queue.resume();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(order[i], i);
    }
    queue.suspend();
    std::atomic<bool> ranWhileSuspended{false};
    queue.addOperation([&] { ranWhileSuspended = true; });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ranWhileSuspended);
    queue.resume();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(ranWhileSuspended);
}

TEST(GroupTest, WaitsNotifiesAndRefusesAnUnmatchedLeave) {
    Group group;
    EXPECT_TRUE(group.wait(0ms));
    group.enter();
    group.enter();
    EXPECT_FALSE(group.wait(10ms));
    SerialQueue queue("test.group");
    std::atomic<bool> notified{false};
    group.notify(queue, [&] { notified = true; });
    group.leave();
    queue.sync([] {});
    EXPECT_FALSE(notified);
    group.leave();
    EXPECT_TRUE(group.wait(1s));
    queue.sync([] {});
    EXPECT_TRUE(notified);
    EXPECT_THROW(group.leave(), ProgrammerError);
}

TEST(ResettableOnceTest, RunsOnceUntilReset) {
    ResettableOnce once;
    int calls = 0;
    once.call([&] { ++calls; });
    once.call([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    once.reset();
    once.call([&] { ++calls; });
    EXPECT_EQ(calls, 2);
}

TEST(MainQueueTest, UsesTheInstalledExecutor) {
    struct Recording final : Executor {
        void async(Work work) override {
            ++count;
            work();
        }
        int count = 0;
    };
    auto recording = std::make_shared<Recording>();
    MainQueue::install(recording);
    bool ran = false;
    MainQueue::get()->async([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(recording->count, 1);
    MainQueue::reset();
    EXPECT_NE(MainQueue::get(), recording);
}

}  // namespace
}  // namespace platform

#include "PromiseFixture.h"

#include <array>
#include <atomic>
#include <latch>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace kit::promises::testing {
namespace {

using platform::Error;

// Eight threads race to fulfil, reject and observe the same promises, each
// observing on a queue of its own thread.
TEST(PromiseRaceTest, EveryObserverRunsOnceAndTheOutcomeNeverChanges) {
    constexpr int threadCount = 8;
    constexpr int promiseCount = 10000;

    struct Slot {
        std::optional<PRMPromise<int>> promise;
        std::array<std::atomic<int>, threadCount> calls{};
        std::array<std::atomic<int>, threadCount> seen{};  // the outcome each observer saw: value, or -code
        std::array<int, threadCount> settledTo{};          // what each settling thread read back at once
    };
    std::vector<Slot> slots(promiseCount);
    for (auto& slot : slots) {
        slot.promise.emplace(PRMPromise<int>::pendingPromise());
    }
    std::vector<std::shared_ptr<platform::Executor>> queues;
    for (int thread = 0; thread < threadCount; ++thread) {
        queues.push_back(std::make_shared<platform::SerialQueue>("test.race." + std::to_string(thread)));
    }

    std::latch start(threadCount);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < threadCount; ++thread) {
        threads.emplace_back([&, thread] {
            start.arrive_and_wait();
            for (int index = 0; index < promiseCount; ++index) {
                Slot& slot = slots[static_cast<std::size_t>(index)];
                const PRMPromise<int>& promise = *slot.promise;
                promise.observeOnQueue(
                    queues[static_cast<std::size_t>(thread)],
                    [&slot, thread](const int& value) {
                        slot.seen[static_cast<std::size_t>(thread)] = value;
                        ++slot.calls[static_cast<std::size_t>(thread)];
                    },
                    [&slot, thread](const Error& error) {
                        slot.seen[static_cast<std::size_t>(thread)] = -error.code();
                        ++slot.calls[static_cast<std::size_t>(thread)];
                    });
                // Half the threads fulfil, half reject, in shifting order.
                if ((index + thread) % 2 == 0) {
                    promise.fulfill(thread + 1);
                } else {
                    promise.reject(Error("race", thread + 1, "lost"));
                }
                const auto value = promise.value();
                const auto error = promise.error();
                slot.settledTo[static_cast<std::size_t>(thread)] = value ? *value : -error->code();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(PromiseClass::waitForAllPromises(120));

    for (const auto& slot : slots) {
        const PRMPromise<int>& promise = *slot.promise;
        ASSERT_FALSE(promise.isPending());
        EXPECT_NE(promise.isFulfilled(), promise.isRejected());
        const int outcome = promise.isFulfilled() ? *promise.value() : -promise.error()->code();
        for (std::size_t thread = 0; thread < threadCount; ++thread) {
            ASSERT_EQ(slot.calls[thread].load(), 1);
            ASSERT_EQ(slot.seen[thread].load(), outcome);
            ASSERT_EQ(slot.settledTo[thread], outcome);
        }
    }
}

class AwaitTest : public PromiseFixture {};

TEST_F(AwaitTest, AWorkerGetsTheValueOrErrorSettledFromTheMainQueue) {
    auto value = PRMPromise<std::string>::pendingPromise();
    auto error = PRMPromise<std::string>::pendingPromise();
    std::optional<platform::Expected<std::string>> awaitedValue;
    std::optional<platform::Expected<std::string>> awaitedError;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        awaitedValue.emplace(PRMPromiseAwait(value));
        awaitedError.emplace(PRMPromiseAwait(error));
        done = true;
    });
    main->async([value] { value.fulfill("answer"); });
    main->async([error] { error.reject(Error("await", 5, "refused")); });
    while (!done) {
        main->runFor(10ms);
    }
    worker.join();
    ASSERT_TRUE(awaitedValue && awaitedValue->hasValue());
    EXPECT_EQ(awaitedValue->value(), "answer");
    ASSERT_TRUE(awaitedError && !awaitedError->hasValue());
    EXPECT_EQ(awaitedError->error().code(), 5);
    EXPECT_STREQ(awaitedError->error().what(), "refused");
}

TEST_F(AwaitTest, ASettledPromiseAnswersAtOnce) {
    EXPECT_EQ(PRMPromiseAwait(PRMPromise<int>::resolvedWith(3)).value(), 3);
}

TEST(SystemClockTest, DelayAndTimeoutRunOnTheRealClock) {
    auto queue = std::make_shared<platform::SerialQueue>("test.system-clock");
    auto delayed = PRMPromise<int>::resolvedWith(1).delay(queue, 0.01);
    auto timed = PRMPromise<int>::pendingPromise().timeout(queue, 0.01);
    EXPECT_EQ(PRMPromiseAwait(delayed).value(), 1);
    EXPECT_EQ(PRMPromiseAwait(timed).error().code(), static_cast<int>(PromiseErrorCode::timedOut));
}

}  // namespace
}  // namespace kit::promises::testing

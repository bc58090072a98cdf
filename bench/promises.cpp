// Promise throughput and memory: rounds of create, fulfil, then and observe
// on one serial queue, and a long chain settled and dropped. Targets: at
// least 100,000 rounds a second, and heap in use back within 1 MB of the
// start once everything has settled.
#include "BenchTiming.h"

#include "kit/promises/PRMPromise.h"

#include "platform/concurrency/SerialQueue.h"

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using bench::peakResidentMegabytes;
using bench::secondsFor;

using kit::promises::PRMPromise;
using kit::promises::PromiseClass;

double heapInUseMegabytes() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

// Counts observed rounds; the issuing thread waits for each batch so the
// queue's backlog stays small.
class Countdown {
public:
    void add(long count) {
        std::lock_guard lock(mutex_);
        remaining_ += count;
    }
    void done() {
        std::lock_guard lock(mutex_);
        if (--remaining_ == 0) {
            zero_.notify_all();
        }
    }
    void wait() {
        std::unique_lock lock(mutex_);
        zero_.wait(lock, [this] { return remaining_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable zero_;
    long remaining_ = 0;  // guarded by mutex_
};

}  // namespace

int main() {
    constexpr long rounds = 1000000;
    constexpr long batch = 10000;
    constexpr int chainLinks = 100000;

    auto queue = std::make_shared<platform::SerialQueue>("bench.promises");
    // Warm the queue's thread and the allocator's arenas before the baseline.
    (void)PRMPromiseAwait(PRMPromise<int>::resolvedWith(0).then(queue, [](const int& value) { return value; }));
    malloc_trim(0);
    const double heapAtStart = heapInUseMegabytes();

    Countdown countdown;
    const auto start = std::chrono::steady_clock::now();
    for (long issued = 0; issued < rounds; issued += batch) {
        countdown.add(batch);
        for (long round = 0; round < batch; ++round) {
            auto promise = PRMPromise<long>::pendingPromise();
            promise.fulfill(round);
            promise.then(queue, [](const long& value) { return value + 1; })
                .observeOnQueue(
                    queue, [&countdown](const long&) { countdown.done(); },
                    [&countdown](const platform::Error&) { countdown.done(); });
        }
        countdown.wait();
    }
    const double roundSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const auto chainStart = std::chrono::steady_clock::now();
    {
        std::optional<PRMPromise<int>> head = PRMPromise<int>::pendingPromise();
        std::optional<PRMPromise<int>> tail = head;
        for (int link = 0; link < chainLinks; ++link) {
            tail = tail->then(queue, [](const int& value) { return value + 1; });
        }
        head->fulfill(0);
        const auto last = PRMPromiseAwait(*tail);
        if (!last || *last != chainLinks) {
            std::fprintf(stderr, "chain ended wrong\n");
            return 1;
        }
    }
    const double chainSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - chainStart).count();

    const bool settled = PromiseClass::waitForAllPromises(10);
    malloc_trim(0);
    const double heapAtEnd = heapInUseMegabytes();

    std::printf("rounds (create, fulfil, then, observe): %ld in %.3f s = %.0f rounds/s (target >= 100000)\n", rounds,
                roundSeconds, static_cast<double>(rounds) / roundSeconds);
    std::printf("chain of %d links settled and dropped: %.3f s\n", chainLinks, chainSeconds);
    std::printf("all settled: %s\n", settled ? "yes" : "no");
    std::printf("heap in use: %.3f MB at start, %.3f MB at end, difference %.3f MB (target <= 1)\n", heapAtStart,
                heapAtEnd, heapAtEnd - heapAtStart);
    std::printf("peak RSS: %.1f MB\n", peakResidentMegabytes());
    return settled ? 0 : 1;
}

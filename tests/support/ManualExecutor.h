#pragma once

#include "platform/concurrency/Executor.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace platform::testing {

// A main queue turned by hand: blocks wait until the test drains them on its
// own thread, so every interleaving a test looks at is one it chose. Blocks
// may be added from any thread. Blocks left at destruction are dropped.
class ManualExecutor final : public RunLoopExecutor {
public:
    ManualExecutor() : loopThread_(std::this_thread::get_id()) {}

    void async(Work work) override {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(work));
        added_.notify_all();
    }

    // Runs queued blocks, and the blocks they queue, until none is left.
    // Returns how many ran.
    std::size_t drain() {
        std::size_t count = 0;
        while (runOne()) {
            ++count;
        }
        return count;
    }

    // Runs at most one block; false when none was queued.
    bool runOne() {
        Work work;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                return false;
            }
            work = std::move(pending_.front());
            pending_.pop_front();
        }
        runGuarded(work, "manual", standardLogSink());
        return true;
    }

    std::size_t pendingCount() const {
        std::lock_guard lock(mutex_);
        return pending_.size();
    }

    bool isLoopThread() const override { return std::this_thread::get_id() == loopThread_; }

    void runFor(std::chrono::nanoseconds timeout) override {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            drain();
            std::unique_lock lock(mutex_);
            if (!added_.wait_until(lock, deadline, [this] { return !pending_.empty(); })) {
                return;
            }
        }
    }

private:
    const std::thread::id loopThread_;
    mutable std::mutex mutex_;
    std::condition_variable added_;
    std::deque<Work> pending_;  // guarded by mutex_
};

}  // namespace platform::testing

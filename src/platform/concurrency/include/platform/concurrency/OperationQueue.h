#pragma once

#include "platform/concurrency/SerialQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Operations run one at a time, in order, on a serial queue of their own.
// A new queue is suspended: nothing runs until resume(). Suspending stops
// the next operation from starting; the one running finishes.
class OperationQueue {
public:
    explicit OperationQueue(std::string label, LogSink& log = standardLogSink());
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void addOperation(Work work);
    void suspend();
    void resume();
    bool isSuspended() const;
    // Operations added and not yet finished.
    std::size_t operationCount() const;
    // Blocks until every operation added so far has run; while suspended,
    // that is until someone resumes the queue.
    void waitUntilAllOperationsAreFinished();

private:
    void startNextLocked();

    LogSink& log_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<Work> pending_;  // guarded by mutex_
    bool suspended_ = true;     // guarded by mutex_
    bool running_ = false;      // guarded by mutex_: one operation is on queue_
    SerialQueue queue_;         // last: destroyed first, finishing its block while the rest still stands
};

// Tracks work in flight: enter() before, leave() after; wait() and notify()
// see the count reach zero.
class Group {
public:
    void enter();
    // Leaving more often than entering is a programming mistake (ProgrammerError).
    void leave();
    // True when the count reached zero within `timeout`.
    bool wait(std::chrono::nanoseconds timeout);
    void wait();
    // Runs `work` on `executor` once the count is zero (at once when it is).
    void notify(Executor& executor, Work work);

private:
    std::mutex mutex_;
    std::condition_variable zero_;
    long count_ = 0;                                     // guarded by mutex_
    std::vector<std::pair<Executor*, Work>> notifiers_;  // guarded by mutex_
};

// Runs a block once per process, or once again after reset() (tests only).
class ResettableOnce {
public:
    template <typename Function>
    void call(Function&& function) {
        std::lock_guard lock(mutex_);
        if (!done_) {
            function();
            done_ = true;
        }
    }
    void reset() {
        std::lock_guard lock(mutex_);
        done_ = false;
    }

private:
    std::recursive_mutex mutex_;
    bool done_ = false;  // guarded by mutex_
};

}  // namespace platform

#pragma once

#include "platform/concurrency/Executor.h"
#include "platform/concurrency/WorkStop.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

namespace platform {

// A named queue that runs its blocks one at a time, in the order they were
// added, on a thread of its own (started with the first block).
// Destroying the queue runs what is still queued, then ends the thread;
// a queue may be destroyed by one of its own blocks (the thread then runs
// what is left and ends by itself). Once platform::stopAllWork() has run,
// what was queued is dropped, the thread is joined, and new blocks are
// dropped uncalled until platform::resumeAllWork().
class SerialQueue final : public Executor {
public:
    explicit SerialQueue(std::string label, LogSink& log = standardLogSink());
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const noexcept { return state_->label; }

    // Queues `work` and returns at once. What it throws is logged.
    void async(Work work) override;

    // Runs `work` on the queue and waits for it. Called from the queue
    // itself, or while the queue is idle, it runs on the calling thread (as
    // the queue: isCurrent() holds inside), never beside another block.
    // What `work` throws reaches the caller.
    void sync(const Work& work);

    // sync for a result.
    template <typename Function>
    auto syncResult(Function&& function) -> decltype(function()) {
        using Result = decltype(function());
        if constexpr (std::is_void_v<Result>) {
            sync(std::forward<Function>(function));
        } else {
            std::optional<Result> result;
            sync([&] { result.emplace(function()); });
            return std::move(*result);
        }
    }

    // True on the queue's own thread, while it runs one of its blocks.
    bool isCurrent() const noexcept;

    // The queue whose block the calling thread is running, if any.
    static const SerialQueue* current() noexcept;

private:
    // Shared with the thread, which may outlive the queue object.
    struct State final : Stoppable {
        State(std::string queueLabel, LogSink& sink) : label(std::move(queueLabel)), log(sink) {}
        void stopAndJoin() override;
        void join();
        const std::string label;
        LogSink& log;
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Work> pending;            // guarded by mutex
        bool stopping = false;               // guarded by mutex
        bool busy = false;                   // guarded by mutex; a block runs, on the queue's thread or a sync caller's
        bool halted = false;                 // guarded by mutex; stopped by stopAllWork until the next block
        const SerialQueue* owner = nullptr;  // guarded by mutex; null once the queue is gone
        std::mutex joinMutex;                // taken around joining or detaching `thread`
        std::thread thread;                  // started under mutex by the first async after a stop
    };

    static void run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};

// A small shared pool standing for the system's global concurrent queues;
// priorities are not kept apart. Blocks may run at the same time.
Executor& globalQueue();

// The host's main queue. The window installs a queued call on its event
// loop; tests and hosts without one install their own, and until then a
// serial queue of its own stands in.
class MainQueue {
public:
    static void install(std::shared_ptr<Executor> executor);
    static std::shared_ptr<Executor> get();
    // Back to the stand-in (tests).
    static void reset();
};

}  // namespace platform

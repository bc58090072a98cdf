#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <exception>
#include <future>
#include <vector>

namespace platform {

namespace {

thread_local const SerialQueue* currentQueue = nullptr;

// Marks the calling thread as running `queue`'s block for a scope.
class CurrentQueueScope {
public:
    explicit CurrentQueueScope(const SerialQueue* queue) : previous_(currentQueue) { currentQueue = queue; }
    ~CurrentQueueScope() { currentQueue = previous_; }
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

private:
    const SerialQueue* previous_;
};

}  // namespace

void runGuarded(const Work& work, std::string_view queueLabel, LogSink& log) noexcept {
    try {
        work();
    } catch (const std::exception& error) {
        try {
            log.log("org.stubforge.platform", "Queue", LogType::error,
                    "Uncaught exception on queue " + std::string(queueLabel) + ": " + error.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            log.log("org.stubforge.platform", "Queue", LogType::error,
                    "Uncaught exception on queue " + std::string(queueLabel));
        } catch (...) {
        }
    }
}

SerialQueue::SerialQueue(std::string label, LogSink& log) : state_(std::make_shared<State>(std::move(label), log)) {
    state_->owner = this;
    registerStoppable(state_);
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->owner = nullptr;
    }
    state_->wake.notify_all();
    if (isCurrent()) {
        // Destroyed by its own block, on its thread or a sync caller's: the
        // thread holds the state and ends by itself once that block is done.
        // A stop that holds the join lock now is joining that very thread,
        // which cannot end while this waits for the lock: the stop joins it.
        std::unique_lock joining(state_->joinMutex, std::try_to_lock);
        if (joining.owns_lock() && state_->thread.joinable()) {
            state_->thread.detach();
        }
        return;
    }
    std::lock_guard joining(state_->joinMutex);
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
}

void SerialQueue::State::stopAndJoin() {
    std::deque<Work> dropped;
    {
        std::lock_guard lock(mutex);
        dropped.swap(pending);
        halted = true;
    }
    wake.notify_all();
    {
        std::lock_guard joining(joinMutex);
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) {
            thread.join();
        }
    }
    // What the dropped blocks captured goes outside the queue's locks.
}

void SerialQueue::async(Work work) {
    std::lock_guard lock(state_->mutex);
    // Checked under the lock that stopAndJoin takes: a block is either
    // dropped there or here, never left for a thread about to be joined.
    if (workStopped()) {
        return;  // `work` goes with the call, outside the lock
    }
    state_->halted = false;
    state_->pending.push_back(std::move(work));
    if (!state_->thread.joinable()) {
        state_->thread = std::thread([state = state_] { run(state); });
    }
    // Under the lock: once a block has run, its queue may be destroyed at any time.
    state_->wake.notify_one();
}

void SerialQueue::sync(const Work& work) {
    if (isCurrent()) {
        work();
        return;
    }
    {
        // An idle queue lends itself to the caller: the block runs on the
        // calling thread while the queue's own thread holds back, which
        // keeps the order and spares two thread switches.
        // Held here: the block may destroy the queue.
        const std::shared_ptr<State> state = state_;
        std::unique_lock lock(state->mutex);
        const bool stopped = workStopped();
        if (stopped) {
            // Nothing is taken any more, so the block runs here once the
            // one running (if any) is done.
            state->wake.wait(lock, [&] { return !state->busy; });
        }
        if (!state->busy && (state->pending.empty() || stopped)) {
            state->busy = true;
            const SerialQueue* owner = state->owner;
            lock.unlock();
            struct Release {
                State& state;
                ~Release() {
                    std::lock_guard relock(state.mutex);
                    state.busy = false;
                    if (!state.pending.empty() || state.stopping || state.halted || workStopped()) {
                        state.wake.notify_all();
                    }
                }
            } release{*state};
            const CurrentQueueScope scope(owner);
            work();
            return;
        }
    }
    // The promise goes with the block: a block dropped by a stop breaks it.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    async([&work, done = std::move(done)] {
        try {
            work();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    try {
        finished.get();
    } catch (const std::future_error& error) {
        if (error.code() != std::future_errc::broken_promise || !workStopped()) {
            throw;
        }
        sync(work);  // stopped: runs on this thread
    }
}

bool SerialQueue::isCurrent() const noexcept { return currentQueue == this; }

const SerialQueue* SerialQueue::current() noexcept { return currentQueue; }

void SerialQueue::run(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock,
                         [&] { return !state->busy && (state->stopping || state->halted || !state->pending.empty()); });
        if (state->halted || state->pending.empty()) {
            return;  // stopped, or stopping and everything queued has run
        }
        Work work = std::move(state->pending.front());
        state->pending.pop_front();
        state->busy = true;
        const SerialQueue* owner = state->owner;
        lock.unlock();
        {
            const CurrentQueueScope scope(owner);
            runGuarded(work, state->label, state->log);
            work = nullptr;  // release what the block captured outside the lock; it may end the queue
        }
        lock.lock();
        state->busy = false;
        if (workStopped()) {
            state->wake.notify_all();  // a sync caller waits to run its block itself
        }
    }
}

namespace {

class GlobalPool final : public Executor, public Stoppable {
public:
    GlobalPool() = default;
    ~GlobalPool() override {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        stopAndJoin();
    }

    void async(Work work) override {
        std::lock_guard lock(mutex_);
        if (workStopped() || ended_) {
            return;  // dropped, outside the lock
        }
        if (threads_.empty()) {
            const unsigned count = std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
            stopping_ = false;
            for (unsigned i = 0; i < count; ++i) {
                threads_.emplace_back([this] { run(); });
            }
        }
        pending_.push_back(std::move(work));
        wake_.notify_one();
    }

    void stopAndJoin() override {
        std::deque<Work> dropped;
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            dropped.swap(pending_);
            threads.swap(threads_);
        }
        wake_.notify_all();
        for (auto& thread : threads) {
            if (thread.get_id() == std::this_thread::get_id()) {
                thread.detach();  // stopped from one of its own blocks: ends by itself
            } else {
                thread.join();
            }
        }
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (stopping_) {
                return;
            }
            Work work = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            runGuarded(work, "global", standardLogSink());
            work = nullptr;
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Work> pending_;          // guarded by mutex_
    bool stopping_ = false;             // guarded by mutex_
    bool ended_ = false;                // guarded by mutex_; the pool is being destroyed
    std::vector<std::thread> threads_;  // guarded by mutex_; started by the first block after a stop
};

// Stands for the main queue once work has stopped.
class DroppingExecutor final : public Executor {
public:
    void async(Work) override {}
};

std::mutex mainQueueMutex;
// Guarded by mainQueueMutex. Never destroyed: queue blocks still running
// while the process exits ask for the main queue.
std::shared_ptr<Executor>& installedMainQueue = *new std::shared_ptr<Executor>();

}  // namespace

Executor& globalQueue() {
    static const std::shared_ptr<GlobalPool> pool = [] {
        auto made = std::make_shared<GlobalPool>();
        registerStoppable(made);
        return made;
    }();
    return *pool;
}

void MainQueue::install(std::shared_ptr<Executor> executor) {
    std::lock_guard lock(mainQueueMutex);
    installedMainQueue = std::move(executor);
}

std::shared_ptr<Executor> MainQueue::get() {
    if (workStopped()) {
        // The host's event loop may be gone already.
        static const std::shared_ptr<Executor>& dropping =
            *new std::shared_ptr<Executor>(std::make_shared<DroppingExecutor>());
        return dropping;
    }
    std::lock_guard lock(mainQueueMutex);
    if (!installedMainQueue) {
        installedMainQueue = std::make_shared<SerialQueue>("main");
    }
    return installedMainQueue;
}

void MainQueue::reset() {
    std::shared_ptr<Executor> previous;
    {
        std::lock_guard lock(mainQueueMutex);
        previous = std::move(installedMainQueue);
    }
}

}  // namespace platform

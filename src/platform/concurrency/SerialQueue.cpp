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
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->owner = nullptr;
    }
    state_->wake.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id() || isCurrent()) {
            // Destroyed by its own block, on its thread or a sync caller's:
            // the thread holds the state and ends by itself once that block is done.
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void SerialQueue::async(Work work) {
    std::lock_guard lock(state_->mutex);
    state_->pending.push_back(std::move(work));
    if (!thread_.joinable()) {
        thread_ = std::thread([state = state_] { run(state); });
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
        if (!state->busy && state->pending.empty()) {
            state->busy = true;
            const SerialQueue* owner = state->owner;
            lock.unlock();
            struct Release {
                State& state;
                ~Release() {
                    std::lock_guard relock(state.mutex);
                    state.busy = false;
                    if (!state.pending.empty() || state.stopping) {
                        state.wake.notify_one();
                    }
                }
            } release{*state};
            const CurrentQueueScope scope(owner);
            work();
            return;
        }
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    async([&] {
        try {
            work();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

bool SerialQueue::isCurrent() const noexcept { return currentQueue == this; }

const SerialQueue* SerialQueue::current() noexcept { return currentQueue; }

void SerialQueue::run(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] {
            return !state->busy && (state->stopping || !state->pending.empty());
        });
        if (state->pending.empty()) {
            return;  // stopping, and everything queued has run
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
    }
}

namespace {

class GlobalPool final : public Executor {
public:
    GlobalPool() {
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
        for (unsigned i = 0; i < count; ++i) {
            threads_.emplace_back([this] { run(); });
        }
    }
    ~GlobalPool() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& thread : threads_) {
            thread.join();
        }
    }

    void async(Work work) override {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(work));
        wake_.notify_one();
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (pending_.empty()) {
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
    std::deque<Work> pending_;  // guarded by mutex_
    bool stopping_ = false;     // guarded by mutex_
    std::vector<std::thread> threads_;
};

std::mutex mainQueueMutex;
// Guarded by mainQueueMutex. Never destroyed: queue blocks still running
// while the process exits ask for the main queue.
std::shared_ptr<Executor>& installedMainQueue = *new std::shared_ptr<Executor>();

}  // namespace

Executor& globalQueue() {
    static GlobalPool pool;
    return pool;
}

void MainQueue::install(std::shared_ptr<Executor> executor) {
    std::lock_guard lock(mainQueueMutex);
    installedMainQueue = std::move(executor);
}

std::shared_ptr<Executor> MainQueue::get() {
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

#include "platform/concurrency/OperationQueue.h"

#include "platform/ProgrammerError.h"

namespace platform {

OperationQueue::OperationQueue(std::string label, LogSink& log) : log_(log), queue_(std::move(label), log) {}

OperationQueue::~OperationQueue() {
    std::lock_guard lock(mutex_);
    pending_.clear();  // what has not started never runs; queue_ finishes the running one
}

void OperationQueue::addOperation(Work work) {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(work));
    startNextLocked();
}

void OperationQueue::suspend() {
    std::lock_guard lock(mutex_);
    suspended_ = true;
}

void OperationQueue::resume() {
    std::lock_guard lock(mutex_);
    suspended_ = false;
    startNextLocked();
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size() + (running_ ? 1 : 0);
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_.empty() && !running_; });
}

void OperationQueue::startNextLocked() {
    if (suspended_ || running_ || pending_.empty()) {
        return;
    }
    running_ = true;
    Work work = std::move(pending_.front());
    pending_.pop_front();
    queue_.async([this, work = std::move(work)] {
        runGuarded(work, queue_.label(), log_);
        std::lock_guard lock(mutex_);
        running_ = false;
        startNextLocked();
        if (pending_.empty() && !running_) {
            idle_.notify_all();
        }
    });
}

void Group::enter() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void Group::leave() {
    std::vector<std::pair<Executor*, Work>> due;
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) {
            throw ProgrammerError("Group", "leave() without a matching enter()");
        }
        if (--count_ > 0) {
            return;
        }
        due.swap(notifiers_);
        // Under the lock: a waiter may destroy the group as soon as it sees zero.
        zero_.notify_all();
    }
    for (auto& [executor, work] : due) {
        executor->async(std::move(work));
    }
}

bool Group::wait(std::chrono::nanoseconds timeout) {
    std::unique_lock lock(mutex_);
    return zero_.wait_for(lock, timeout, [this] { return count_ == 0; });
}

void Group::wait() {
    std::unique_lock lock(mutex_);
    zero_.wait(lock, [this] { return count_ == 0; });
}

void Group::notify(Executor& executor, Work work) {
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) {
            notifiers_.emplace_back(&executor, std::move(work));
            return;
        }
    }
    executor.async(std::move(work));
}

}  // namespace platform

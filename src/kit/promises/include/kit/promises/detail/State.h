#pragma once

// Private to the promises: the state one promise's handles share.

#include "kit/promises/detail/Support.h"

#include <mutex>

namespace kit::promises::detail {

enum class Phase : int { pending = 0, fulfilled = 1, rejected = 2 };

// Queues `callback(argument)` on `queue` as a member of the promise group.
template <typename Callback, typename Argument>
void dispatch(const Queue& queue, Callback callback, const Argument& argument) {
    queue->async([membership = GroupMembership(), callback = std::move(callback), argument] { callback(argument); });
}

template <typename T>
class State {
public:
    using OnValue = std::function<void(const T&)>;
    using OnError = std::function<void(const ErrorPointer&)>;

    // Pending, counted in the promise group until it settles or dies.
    State() { promiseGroup().enter(); }
    explicit State(T value) : phase_(Phase::fulfilled), value_(std::move(value)) {}
    explicit State(ErrorPointer error) : phase_(Phase::rejected), error_(std::move(error)) {}

    State(const State&) = delete;
    State& operator=(const State&) = delete;

    ~State() {
        if (phase_ == Phase::pending) {
            promiseGroup().leave();
        }
        if (!observers_.empty()) {
            releaseIteratively(std::make_shared<std::vector<Observer>>(std::move(observers_)));
        }
        if (!pendingObjects_.empty()) {
            releaseIteratively(std::make_shared<std::vector<std::shared_ptr<void>>>(std::move(pendingObjects_)));
        }
    }

    void fulfill(T value) {
        std::vector<Observer> observers;
        std::vector<std::shared_ptr<void>> pendingObjects;
        {
            std::lock_guard lock(mutex_);
            if (phase_ != Phase::pending) {
                return;
            }
            phase_ = Phase::fulfilled;
            value_.emplace(std::move(value));
            // Observers only queue their callbacks, so no user code runs
            // under the lock, and the order of registration holds.
            for (auto& observer : observers_) {
                dispatch(observer.queue, std::move(observer.onValue), *value_);
            }
            observers.swap(observers_);
            pendingObjects.swap(pendingObjects_);
            promiseGroup().leave();
        }
    }

    void reject(ErrorPointer error) {
        std::vector<Observer> observers;
        std::vector<std::shared_ptr<void>> pendingObjects;
        {
            std::lock_guard lock(mutex_);
            if (phase_ != Phase::pending) {
                return;
            }
            phase_ = Phase::rejected;
            error_ = std::move(error);
            for (auto& observer : observers_) {
                dispatch(observer.queue, std::move(observer.onError), error_);
            }
            observers.swap(observers_);
            pendingObjects.swap(pendingObjects_);
            promiseGroup().leave();
        }
    }

    // Registration and settlement share the lock, so an observer racing the
    // settlement is called exactly once: from the list or queued at once.
    void observe(const Queue& queue, OnValue onValue, OnError onError) {
        std::lock_guard lock(mutex_);
        switch (phase_) {
        case Phase::pending:
            observers_.push_back(Observer{queue, std::move(onValue), std::move(onError)});
            break;
        case Phase::fulfilled:
            dispatch(queue, std::move(onValue), *value_);
            break;
        case Phase::rejected:
            dispatch(queue, std::move(onError), error_);
            break;
        }
    }

    void addPendingObject(std::shared_ptr<void> object) {
        std::lock_guard lock(mutex_);
        if (phase_ != Phase::pending) {
            return;
        }
        for (const auto& kept : pendingObjects_) {
            if (kept == object) {
                return;
            }
        }
        pendingObjects_.push_back(std::move(object));
    }

    Phase phase() const {
        std::lock_guard lock(mutex_);
        return phase_;
    }
    std::optional<T> value() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    ErrorPointer error() const {
        std::lock_guard lock(mutex_);
        return error_;
    }
    std::vector<std::shared_ptr<void>> pendingObjects() const {
        std::lock_guard lock(mutex_);
        return pendingObjects_;
    }

private:
    struct Observer {
        Queue queue;
        OnValue onValue;
        OnError onError;
    };

    mutable std::mutex mutex_;
    Phase phase_ = Phase::pending;                       // guarded by mutex_; leaves pending once
    std::optional<T> value_;                             // guarded by mutex_; set with fulfilled only
    ErrorPointer error_;                                 // guarded by mutex_; set with rejected only
    std::vector<Observer> observers_;                    // guarded by mutex_; emptied at settlement
    std::vector<std::shared_ptr<void>> pendingObjects_;  // guarded by mutex_; kept while pending
};

}  // namespace kit::promises::detail

#include "platform/store/PaymentQueue.h"

#include <algorithm>

namespace platform {

PaymentQueue& PaymentQueue::defaultQueue() {
    static PaymentQueue* const queue = new PaymentQueue();  // outlives static destruction
    return *queue;
}

void PaymentQueue::addTransactionObserver(const std::shared_ptr<PaymentTransactionObserver>& observer) {
    if (observer == nullptr) {
        return;
    }
    std::lock_guard lock(mutex_);
    const bool present =
        std::any_of(observers_.begin(), observers_.end(), [&](const auto& known) { return known.lock() == observer; });
    if (!present) {
        observers_.push_back(observer);
    }
}

void PaymentQueue::removeTransactionObserver(const PaymentTransactionObserver* observer) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [&](const auto& known) {
        const auto alive = known.lock();
        return alive == nullptr || alive.get() == observer;
    });
}

std::size_t PaymentQueue::observerCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(observers_.begin(), observers_.end(), [](const auto& known) { return !known.expired(); }));
}

void PaymentQueue::reportUpdatedTransactions(const std::vector<PaymentTransaction>& transactions) {
    std::vector<std::shared_ptr<PaymentTransactionObserver>> alive;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(observers_, [](const auto& known) { return known.expired(); });
        for (const auto& known : observers_) {
            if (auto observer = known.lock()) {
                alive.push_back(std::move(observer));
            }
        }
    }
    for (const auto& observer : alive) {
        observer->paymentQueueUpdatedTransactions(*this, transactions);
    }
}

}  // namespace platform

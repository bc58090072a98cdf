#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class PaymentTransactionState { purchasing, purchased, failed, restored, deferred };

// One store transaction as observers see it.
struct PaymentTransaction {
    PaymentTransactionState state = PaymentTransactionState::purchasing;
    std::string productIdentifier;
    std::int64_t quantity = 1;
    std::optional<std::string> transactionIdentifier;
    std::optional<std::string> originalTransactionIdentifier;
    std::optional<TimePoint> transactionDate;
    // Set for a failed transaction.
    std::optional<std::int64_t> errorCode;

    bool operator==(const PaymentTransaction&) const = default;
};

class PaymentQueue;

class PaymentTransactionObserver {
public:
    virtual ~PaymentTransactionObserver() = default;
    virtual void paymentQueueUpdatedTransactions(PaymentQueue& queue,
                                                 const std::vector<PaymentTransaction>& transactions) = 0;
};

// Observers are held weakly: one that is gone is skipped and forgotten.
// Observers are called on the thread that reports, outside the lock.
class PaymentQueue {
public:
    // The process's queue; nothing ever reports through it here.
    static PaymentQueue& defaultQueue();

    void addTransactionObserver(const std::shared_ptr<PaymentTransactionObserver>& observer);
    void removeTransactionObserver(const PaymentTransactionObserver* observer);
    std::size_t observerCount() const;

    // Hands `transactions` to every observer (a store, or a test).
    void reportUpdatedTransactions(const std::vector<PaymentTransaction>& transactions);

private:
    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<PaymentTransactionObserver>> observers_;  // guarded by mutex_
};

}  // namespace platform

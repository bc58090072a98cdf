#include "platform/store/PaymentQueue.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

class RecordingObserver final : public PaymentTransactionObserver {
public:
    void paymentQueueUpdatedTransactions(PaymentQueue& queue,
                                         const std::vector<PaymentTransaction>& transactions) override {
        queues.push_back(&queue);
        batches.push_back(transactions);
    }
    std::vector<PaymentQueue*> queues;
    std::vector<std::vector<PaymentTransaction>> batches;
};

TEST(PaymentQueueTest, ObserversSeeReportsUntilRemovedOrGone) {
    PaymentQueue queue;
    auto first = std::make_shared<RecordingObserver>();
    auto second = std::make_shared<RecordingObserver>();
    queue.addTransactionObserver(first);
    queue.addTransactionObserver(first);  // once only
    queue.addTransactionObserver(second);
    EXPECT_EQ(queue.observerCount(), 2u);

    PaymentTransaction purchase;
    purchase.state = PaymentTransactionState::purchased;
    purchase.productIdentifier = "pro_upgrade";
    purchase.quantity = 2;
    purchase.transactionIdentifier = "1000";
    purchase.transactionDate = TimePoint{} + std::chrono::seconds(1700000000);
    PaymentTransaction failure;
    failure.state = PaymentTransactionState::failed;
    failure.productIdentifier = "pro_upgrade";
    failure.errorCode = 2;
    queue.reportUpdatedTransactions({purchase, failure});
    ASSERT_EQ(first->batches.size(), 1u);
    EXPECT_EQ(first->batches[0], (std::vector<PaymentTransaction>{purchase, failure}));
    EXPECT_EQ(first->queues[0], &queue);

    queue.removeTransactionObserver(first.get());
    second.reset();
    EXPECT_EQ(queue.observerCount(), 0u);
    queue.reportUpdatedTransactions({purchase});
    EXPECT_EQ(first->batches.size(), 1u);
}

TEST(PaymentQueueTest, TheDefaultQueueIsOneObjectThatReportsNothingByItself) {
    auto observer = std::make_shared<RecordingObserver>();
    PaymentQueue::defaultQueue().addTransactionObserver(observer);
    EXPECT_EQ(&PaymentQueue::defaultQueue(), &PaymentQueue::defaultQueue());
    EXPECT_TRUE(observer->batches.empty());
    PaymentQueue::defaultQueue().removeTransactionObserver(observer.get());
    EXPECT_EQ(PaymentQueue::defaultQueue().observerCount(), 0u);
}

}  // namespace
}  // namespace platform

#pragma once

#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/OperationQueue.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/store/PaymentQueue.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

// The facade's process-wide state, in one holder that tests replace.
namespace kit::measurement {

// Watches the default payment queue for the facade: reported transactions
// are queued for the controller while analytics is on.
class MSRAnalyticsPaymentObserver final : public platform::PaymentTransactionObserver {
public:
    void paymentQueueUpdatedTransactions(platform::PaymentQueue& queue,
                                         const std::vector<platform::PaymentTransaction>& transactions) override;
};

struct FacadeState {
    FacadeState();
    ~FacadeState();

    // Guards the fields marked so.
    std::mutex mutex;
    double loadTimestamp = 0;                                             // guarded by mutex
    platform::SchedulingClock* clock = &platform::systemSchedulingClock();  // guarded by mutex
    MSRAnalyticsSeams seams;                                              // guarded by mutex
    std::shared_ptr<MSRMeasurementController> controller;                // guarded by mutex
    std::optional<platform::NotificationCenter::Token> configurationObserver;  // guarded by mutex
    std::shared_ptr<platform::Timer> unsuspendTimer;                       // guarded by mutex

    // Written on the serial queue (and by the start, before the queue runs
    // anything of it); read anywhere.
    std::atomic<bool> collectionDeactivated{false};
    std::atomic<bool> analyticsEnabled{false};

    platform::ResettableOnce startOnce;
    platform::ResettableOnce delegateProxyOnce;
    MSRUserDefaults suite{std::string(kMSRAnalyticsSuiteName)};
    std::shared_ptr<MSRAnalyticsPaymentObserver> paymentObserver = std::make_shared<MSRAnalyticsPaymentObserver>();
    platform::SerialQueue serialQueue{std::string(kMSRAnalyticsQueueLabel)};
    platform::OperationQueue operationQueue{std::string(kMSRAnalyticsOperationQueueName)};
};

FacadeState& facadeState();
platform::SchedulingClock& facadeClock();

}  // namespace kit::measurement

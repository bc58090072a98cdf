#pragma once

#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/OperationQueue.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/store/PaymentQueue.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

// The facade's state, a service of the kit context.
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
    double loadTimestamp = 0;                                               // guarded by mutex
    platform::SchedulingClock* clock = &platform::systemSchedulingClock();  // guarded by mutex
    // What a fresh facade answers with until an owner installs its part:
    // no controller factory, identity or installation source; the facade's
    // own entry points and the shared screen-view reporter. Never replaced.
    const MSRAnalyticsSeams defaults;
    MSRAnalyticsSeams seams = defaults;                                        // guarded by mutex
    std::shared_ptr<MSRMeasurementController> controller;                      // guarded by mutex
    std::optional<platform::NotificationCenter::Token> configurationObserver;  // guarded by mutex
    // The pauses of queueOperationWithBlockThenWait: the number of the last
    // one, whether it ended, and its ceiling.
    std::uint64_t pauses = 0;                         // guarded by mutex
    bool pauseEnded = true;                           // guarded by mutex
    std::shared_ptr<platform::Timer> unsuspendTimer;  // guarded by mutex

    // Written on the serial queue (and by the start, before the queue runs
    // anything of it); read anywhere.
    std::atomic<bool> collectionDeactivated{false};
    std::atomic<bool> analyticsEnabled{false};
    // Set by the start once its blocks are queued: from then on, what is
    // queued runs, controller or not yet.
    std::atomic<bool> started{false};
    // Blocks handed to the operation or serial queue and not yet freed (run
    // or dropped): the quit's drain has nothing to wait for at zero. Shared
    // with the blocks, which may be freed after this state.
    const std::shared_ptr<std::atomic<std::int64_t>> queuedBlocks = std::make_shared<std::atomic<std::int64_t>>(0);

    // The entry points' state, touched only on the serial queue.
    MSRLogEventInterceptor logEventInterceptor;
    MSRAnalytics::OpenURLListener openURLListener;
    std::optional<std::map<MSRAnalytics::ListenerToken, MSRAnalytics::LogEventListener>> listeners;

    platform::ResettableOnce startOnce;
    platform::ResettableOnce delegateProxyOnce;
    MSRUserDefaults suite{std::string(kMSRAnalyticsSuiteName)};
    std::shared_ptr<MSRAnalyticsPaymentObserver> paymentObserver = std::make_shared<MSRAnalyticsPaymentObserver>();
    platform::SerialQueue serialQueue{std::string(kMSRAnalyticsQueueLabel)};
    platform::OperationQueue operationQueue{std::string(kMSRAnalyticsOperationQueueName)};
    // Taking an event's time and queueing it are one step on this queue.
    platform::SerialQueue timestampQueue{"MSRAnalyticsTimestampQueue"};
};

FacadeState& facadeState();
// The seams a fresh facade starts with.
MSRAnalyticsSeams makeDefaultSeams();
// The facade's own event and user-property entry points, the default seam.
std::shared_ptr<MSRAnalyticsEntryPoints> makeFacadeEntryPoints();
// The shared screen-view reporter, the default road of "screen_view".
std::shared_ptr<MSRScreenViewTracking> makeSharedScreenViews();
platform::SchedulingClock& facadeClock();

}  // namespace kit::measurement

#include "FacadeState.h"

#include "kit/core/KitContext.h"

namespace kit::measurement {

MSRAnalyticsSeams makeDefaultSeams() {
    MSRAnalyticsSeams seams;
    seams.entryPoints = makeFacadeEntryPoints();
    seams.screenViews = makeSharedScreenViews();
    return seams;
}

FacadeState::FacadeState() : defaults(makeDefaultSeams()) {}

FacadeState::~FacadeState() {
    platform::PaymentQueue::defaultQueue().removeTransactionObserver(paymentObserver.get());
    if (configurationObserver) {
        platform::NotificationCenter::defaultCenter().removeObserver(*configurationObserver);
    }
    if (unsuspendTimer) {
        unsuspendTimer->cancel();
    }
}

FacadeState& facadeState() { return KitContext::current().service<FacadeState>(); }

platform::SchedulingClock& facadeClock() {
    FacadeState& state = facadeState();
    std::lock_guard lock(state.mutex);
    return *state.clock;
}

void MSRAnalyticsPaymentObserver::paymentQueueUpdatedTransactions(
    platform::PaymentQueue&, const std::vector<platform::PaymentTransaction>& transactions) {
    MSRAnalytics::queueOperationWithBlock([transactions] {
        if (!MSRAnalytics::isAnalyticsEnabled()) {
            return;
        }
        if (const auto controller = MSRAnalytics::controller()) {
            controller->paymentQueueUpdatedTransactions(transactions);
        }
    });
}

}  // namespace kit::measurement

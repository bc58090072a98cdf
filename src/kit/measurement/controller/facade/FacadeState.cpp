#include "FacadeState.h"


namespace kit::measurement {
namespace {

struct StateHolder {
    std::mutex mutex;
    std::unique_ptr<FacadeState> state;  // guarded by mutex; replaced only by tests
};

StateHolder& holder() {
    static StateHolder* const shared = new StateHolder();  // outlives static destruction
    return *shared;
}

}  // namespace

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

FacadeState& facadeState() {
    StateHolder& shared = holder();
    std::lock_guard lock(shared.mutex);
    if (!shared.state) {
        shared.state = std::make_unique<FacadeState>();
    }
    return *shared.state;
}

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

void MSRAnalytics::resetForTesting() {
    // Drained first: queued blocks still reach the state they were queued for.
    FacadeState& current = facadeState();
    current.operationQueue.resume();
    current.operationQueue.waitUntilAllOperationsAreFinished();
    current.serialQueue.sync([] {});
    StateHolder& shared = holder();
    std::unique_ptr<FacadeState> old;
    {
        std::lock_guard lock(shared.mutex);
        old = std::move(shared.state);
    }
    old.reset();
}

}  // namespace kit::measurement

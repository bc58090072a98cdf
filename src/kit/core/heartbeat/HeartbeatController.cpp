#include "kit/core/heartbeat/HeartbeatController.h"

namespace kit::heartbeat {
namespace {

std::optional<HeartbeatsBundle> emptiedKeepingDates(std::optional<HeartbeatsBundle> bundle) {
    if (!bundle) {
        return std::nullopt;
    }
    return HeartbeatsBundle(HeartbeatController::kHeartbeatsBundleCapacity, bundle->lastAddedHeartbeatDates);
}

}  // namespace

HeartbeatController::HeartbeatController(std::string_view id, std::shared_ptr<const platform::Clock> clock)
    : clock_(clock != nullptr ? std::move(clock) : std::make_shared<platform::SystemClock>()) {
    std::lock_guard guard(HeartbeatStorage::lock());
    storage_ = HeartbeatStorage::getInstance(id);
}

Date HeartbeatController::today() const { return startOfUTCDay(clock_->now()); }

void HeartbeatController::log(std::string_view agent) {
    const Date date = today();
    storage_->updateBundleAsync([agent = std::string(agent), date](std::optional<HeartbeatsBundle> stored) {
        HeartbeatsBundle bundle = stored ? std::move(*stored) : HeartbeatsBundle(kHeartbeatsBundleCapacity);
        std::vector<TimePeriod> periods;
        for (const TimePeriod period : kAllTimePeriods) {
            const auto found = bundle.lastAddedHeartbeatDates.find(period);
            const Date lastAdded = found != bundle.lastAddedHeartbeatDates.end() ? found->second : kDistantPast;
            if (date - lastAdded >= timePeriodLength(period)) {
                periods.push_back(period);
            }
        }
        if (!periods.empty()) {
            bundle.append(Heartbeat{agent, date, 0, std::move(periods)});
        }
        return std::optional<HeartbeatsBundle>(std::move(bundle));
    });
}

HeartbeatsPayload HeartbeatController::flush() {
    auto old = storage_->swapBundleSync(emptiedKeepingDates);
    if (!old || !old.value()) {
        return HeartbeatsPayload::emptyPayload();
    }
    return old.value()->makePayload();
}

void HeartbeatController::flushAsync(std::function<void(HeartbeatsPayload)> completion) {
    storage_->swapBundleAsync(emptiedKeepingDates, [completion = std::move(completion)](
                                                       platform::Expected<std::optional<HeartbeatsBundle>> old) {
        if (!old || !old.value()) {
            completion(HeartbeatsPayload::emptyPayload());
        } else {
            completion(old.value()->makePayload());
        }
    });
}

HeartbeatsPayload HeartbeatController::flushHeartbeatFromToday() {
    const Date date = today();
    std::optional<Heartbeat> removed;
    storage_->updateBundleSync([&](std::optional<HeartbeatsBundle> bundle) {
        if (bundle) {
            removed = bundle->removeHeartbeat(date);
        }
        return bundle;
    });
    return removed ? removed->makePayload() : HeartbeatsPayload::emptyPayload();
}

}  // namespace kit::heartbeat

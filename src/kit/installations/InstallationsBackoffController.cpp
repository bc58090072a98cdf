#include "kit/installations/InstallationsBackoffController.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace kit::installations {

HLOInstallationsBackoffController::HLOInstallationsBackoffController(HLOInstallationsDateProvider currentDateProvider,
                                                                     platform::RandomSource& random)
    : currentDateProvider_(currentDateProvider ? std::move(currentDateProvider) : defaultDateProvider()),
      random_(random) {}

double HLOInstallationsBackoffController::backoffTimeInterval(HLOInstallationsBackoffEvent event, std::int64_t count,
                                                              std::uint32_t randomWord) {
    switch (event) {
    case HLOInstallationsBackoffEvent::success:
        return 0;
    case HLOInstallationsBackoffEvent::recoverableError: {
        // 2^11 already passes the cap: never shift further.
        if (count >= 11) {
            return kMaximumRecoverableInterval;
        }
        const double exponential = static_cast<double>(std::int64_t{1} << std::max<std::int64_t>(count, 0));
        const double jitter = static_cast<double>(randomWord % 1000) / 1000.0;
        return std::min(exponential + jitter, kMaximumRecoverableInterval);
    }
    case HLOInstallationsBackoffEvent::unrecoverableError:
        return kUnrecoverableInterval;
    }
    return 0;
}

void HLOInstallationsBackoffController::registerEvent(HLOInstallationsBackoffEvent event) {
    const platform::TimePoint now = currentDateProvider_();
    std::lock_guard lock(mutex_);
    const std::int64_t count = lastEventData_ && lastEventData_->eventType == event
                                   ? lastEventData_->eventCount + (lastEventData_->eventCount < INT64_MAX ? 1 : 0)
                                   : 1;
    HLOInstallationsBackoffEventData data;
    data.eventType = event;
    data.lastEventDate = now;
    data.eventCount = count;
    data.backoffTimeInterval = backoffTimeInterval(event, count, static_cast<std::uint32_t>(random_.next()));
    lastEventData_ = data;
}

bool HLOInstallationsBackoffController::isNextRequestAllowed() {
    const platform::TimePoint now = currentDateProvider_();
    std::lock_guard lock(mutex_);
    if (!lastEventData_) {
        return true;
    }
    const double elapsed = std::chrono::duration<double>(now - lastEventData_->lastEventDate).count();
    return elapsed >= lastEventData_->backoffTimeInterval;
}

std::optional<HLOInstallationsBackoffEventData> HLOInstallationsBackoffController::lastEventData() const {
    std::lock_guard lock(mutex_);
    return lastEventData_;
}

}  // namespace kit::installations

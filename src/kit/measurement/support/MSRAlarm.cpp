#include "kit/measurement/support/MSRAlarm.h"

#include "SchedulingLines.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <cmath>

namespace kit::measurement {

MSRAlarm::MSRAlarm(platform::Executor& executor, std::string_view name, platform::SchedulingClock& clock)
    : executor_(executor), clock_(clock), name_(name.empty() ? std::string("Timer") : std::string(name)) {}

MSRAlarm::~MSRAlarm() {
    cancel();
    *self_ = nullptr;
}

platform::Duration MSRAlarm::delayFromSeconds(double seconds) {
    // Seconds times 1e9 is no integer for NaN or a huge delay: those are
    // settled before converting.
    if (std::isnan(seconds) || seconds <= 0) {
        return platform::Duration::zero();
    }
    const auto maximum = std::chrono::duration_cast<platform::Duration>(kMaximumDelay);
    if (seconds >= std::chrono::duration<double>(maximum).count()) {
        return maximum;
    }
    return platform::Duration(static_cast<platform::Duration::rep>(seconds * 1e9));
}

void MSRAlarm::runAfterDelay(double delaySeconds, std::function<void()> block) {
    if (!block) {
        MSRMeasurementMonitor().logWithLevel(scheduling_lines::kTriedScheduleEmptyBlock.level,
                                             scheduling_lines::kTriedScheduleEmptyBlock.code,
                                             name_ + std::string(scheduling_lines::kTriedScheduleEmptyBlock.text));
        return;
    }
    cancel();
    const platform::Duration delay = delayFromSeconds(delaySeconds);
    scheduledTimestamp_ = clock_.now() + std::chrono::duration_cast<platform::TimePoint::duration>(delay);
    block_ = std::move(block);
    auto timer = std::make_shared<std::shared_ptr<platform::Timer>>();
    *timer = clock_.after(delay, executor_, [self = std::weak_ptr<MSRAlarm*>(self_), timer] {
        const auto alarm = self.lock();
        if (alarm && *alarm != nullptr) {
            (*alarm)->fire(*timer);
        }
        timer->reset();
    });
    timer_ = *timer;
    MSRMeasurementMonitor().logWithLevel(scheduling_lines::kScheduledFireApprox.level,
                                         scheduling_lines::kScheduledFireApprox.code,
                                         name_ + std::string(scheduling_lines::kScheduledFireApprox.text),
                                         std::isnan(delaySeconds) ? 0.0 : delaySeconds);
}

void MSRAlarm::fire(const std::shared_ptr<platform::Timer>& timer) {
    if (timer == nullptr || timer != timer_ || timer->isCancelled()) {
        return;  // replaced or cancelled meanwhile
    }
    MSRMeasurementMonitor().logWithLevel(scheduling_lines::kFired.level, scheduling_lines::kFired.code,
                                         name_ + std::string(scheduling_lines::kFired.text));
    timer_.reset();
    scheduledTimestamp_.reset();
    const std::function<void()> block = std::move(block_);
    block_ = nullptr;
    block();
}

void MSRAlarm::cancel() {
    if (!scheduledTimestamp_) {
        return;
    }
    MSRMeasurementMonitor().logWithLevel(scheduling_lines::kCanceled.level, scheduling_lines::kCanceled.code,
                                         name_ + std::string(scheduling_lines::kCanceled.text));
    if (hasActiveTimer()) {
        timer_->cancel();
    } else {
        MSRMeasurementMonitor().logWithLevel(scheduling_lines::kNotActive.level, scheduling_lines::kNotActive.code,
                                             name_ + std::string(scheduling_lines::kNotActive.text));
    }
    timer_.reset();
    block_ = nullptr;
    scheduledTimestamp_.reset();
}

bool MSRAlarm::hasActiveTimer() const { return timer_ != nullptr && !timer_->isCancelled(); }

}  // namespace kit::measurement

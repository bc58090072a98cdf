#include "kit/measurement/support/MSRAlarm.h"

#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <cmath>

namespace kit::measurement {
namespace {

constexpr std::uint64_t kEmptyBlockCode = 2000;
constexpr std::uint64_t kFiredCode = 2001;
constexpr std::uint64_t kScheduledCode = 2002;
constexpr std::uint64_t kCanceledCode = 2003;
constexpr std::uint64_t kNotActiveCode = 2004;

}  // namespace

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
        MSRMeasurementMonitor().logWithLevel(1, kEmptyBlockCode, name_ + " tried to schedule an empty block");
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
    MSRMeasurementMonitor().logWithLevel(7, kScheduledCode, name_ + " scheduled to fire in approx. (s)",
                                         std::isnan(delaySeconds) ? 0.0 : delaySeconds);
}

void MSRAlarm::fire(const std::shared_ptr<platform::Timer>& timer) {
    if (timer == nullptr || timer != timer_ || timer->isCancelled()) {
        return;  // replaced or cancelled meanwhile
    }
    MSRMeasurementMonitor().logWithLevel(7, kFiredCode, name_ + " fired");
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
    MSRMeasurementMonitor().logWithLevel(7, kCanceledCode, name_ + " canceled");
    if (hasActiveTimer()) {
        timer_->cancel();
    } else {
        MSRMeasurementMonitor().logWithLevel(4, kNotActiveCode, name_ + " is not active");
    }
    timer_.reset();
    block_ = nullptr;
    scheduledTimestamp_.reset();
}

bool MSRAlarm::hasActiveTimer() const {
    return timer_ != nullptr && !timer_->isCancelled();
}

}  // namespace kit::measurement

#include "kit/measurement/controller/MSRSessionReporter.h"

namespace kit::measurement {

struct MSRSessionReporter::Private {};

MSRSessionReporter::MSRSessionReporter(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig,
                                       platform::SchedulingClock& clock, std::shared_ptr<platform::Executor> mainQueue)
    : persistedConfig_(std::move(persistedConfig)), clock_(clock), mainQueue_(std::move(mainQueue)) {}

MSRSessionReporter::~MSRSessionReporter() = default;

std::shared_ptr<MSRSessionReporter> MSRSessionReporter::initWithPersistedConfig(
    std::shared_ptr<MSRPersistedConfig> persistedConfig, platform::SchedulingClock& clock,
    std::shared_ptr<platform::Executor> mainQueue) {
    return std::make_shared<MSRSessionReporter>(Private{}, std::move(persistedConfig), clock, std::move(mainQueue));
}

bool MSRSessionReporter::isReportingEnabled() const { return false; }
void MSRSessionReporter::setReportingEnabled(bool) {}
double MSRSessionReporter::timeoutSessionInterval() const { return 0; }
void MSRSessionReporter::setTimeoutSessionInterval(double) {}
bool MSRSessionReporter::isSessionExpired() const { return false; }
bool MSRSessionReporter::shouldStartNewSession() const { return false; }
bool MSRSessionReporter::extendSession() { return false; }
void MSRSessionReporter::updatePropertiesForNewSessionStart() {}
std::optional<MSRSessionStart> MSRSessionReporter::startNewSessionIfExpired() { return std::nullopt; }
std::optional<MSRUserAttribute> MSRSessionReporter::sessionIDPropertyWithTimestamp(double) const { return std::nullopt; }
std::optional<MSRUserAttribute> MSRSessionReporter::sessionNumberProperty() const { return std::nullopt; }
void MSRSessionReporter::logSessionStartEvent() {}
void MSRSessionReporter::logUserEngagementEvent() {}
std::int64_t MSRSessionReporter::logEngagementEventAndReturnTimeWithScreen(const std::optional<MSRScreen>&, bool) {
    return 0;
}
void MSRSessionReporter::setSessionID(std::optional<std::int64_t>, std::optional<std::int64_t>) {}
void MSRSessionReporter::handleAppDidBecomeActive() {}
void MSRSessionReporter::handleAppWillResignActiveWithScreen(const std::optional<MSRScreen>&) {}
void MSRSessionReporter::handleScreenDidChangeFromScreen(const std::optional<MSRScreen>&,
                                                         const std::optional<MSRScreen>&) {}
void MSRSessionReporter::rescheduleUserEngagementTimer() {}
double MSRSessionReporter::incurredEngagementTime() const { return 0; }
std::int64_t MSRSessionReporter::cutFreerideEngagementTimeMillis() { return 0; }
double MSRSessionReporter::currentUptime() const { return 0; }
double MSRSessionReporter::currentClockTime() const { return 0; }
bool MSRSessionReporter::hasScheduledEngagementTimer() const { return false; }

}  // namespace kit::measurement

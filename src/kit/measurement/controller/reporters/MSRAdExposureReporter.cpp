#include "kit/measurement/controller/MSRAdExposureReporter.h"

namespace kit::measurement {

struct MSRAdExposureReporter::Private {};

MSRAdExposureReporter::MSRAdExposureReporter(Private, platform::SchedulingClock& clock) : clock_(clock) {}
MSRAdExposureReporter::~MSRAdExposureReporter() = default;

std::shared_ptr<MSRAdExposureReporter> MSRAdExposureReporter::sharedInstance() {
    static const auto instance = std::make_shared<MSRAdExposureReporter>(Private{}, platform::systemSchedulingClock());
    return instance;
}

void MSRAdExposureReporter::resetSharedInstanceForTesting(platform::SchedulingClock&) {}
void MSRAdExposureReporter::beginAdUnitExposure(std::string_view) {}
void MSRAdExposureReporter::endAdUnitExposure(std::string_view) {}
void MSRAdExposureReporter::logExposureEventsWithScreenParameters(const MSRParameters&) {}
void MSRAdExposureReporter::handleScreenDidChangeFromScreen(const std::optional<MSRScreen>&,
                                                            const std::optional<MSRScreen>&) {}
void MSRAdExposureReporter::handleEngagementTimer() {}
void MSRAdExposureReporter::handleAppDidBecomeActive() {}
void MSRAdExposureReporter::handleAppWillResignActiveWithScreen(const std::optional<MSRScreen>&) {}
double MSRAdExposureReporter::currentTime() const { return 0; }
void MSRAdExposureReporter::waitUntilIdleForTesting() {}
void MSRAdExposureReporter::logExposureEventsOnSerialQueue(double, const MSRParameters&) {}
void MSRAdExposureReporter::updateStartTimesOnSerialQueue(double) {}
void MSRAdExposureReporter::logAdUnitExposureEventOnSerialQueue(const std::string&, double, const MSRParameters&) {}
void MSRAdExposureReporter::logAdExposureEventOnSerialQueue(double, const MSRParameters&) {}

}  // namespace kit::measurement

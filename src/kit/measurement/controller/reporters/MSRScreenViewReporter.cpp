#include "kit/measurement/controller/MSRScreenViewReporter.h"

namespace kit::measurement {

struct MSRScreenViewReporter::Private {};

MSRScreenViewReporter::MSRScreenViewReporter(Private, platform::SchedulingClock& clock, platform::RandomSource&)
    : clock_(clock) {}

MSRScreenViewReporter::~MSRScreenViewReporter() = default;

std::shared_ptr<MSRScreenViewReporter> MSRScreenViewReporter::sharedInstance() {
    static const auto instance = std::make_shared<MSRScreenViewReporter>(Private{}, platform::systemSchedulingClock(),
                                                                         platform::systemRandom());
    return instance;
}

void MSRScreenViewReporter::resetSharedInstanceForTesting(platform::SchedulingClock&, platform::RandomSource&) {}
void MSRScreenViewReporter::trackScreenWithParameters(const platform::Value::Dictionary&, double) {}
MSRParameters MSRScreenViewReporter::screenParameters() { return {}; }
void MSRScreenViewReporter::getScreenName(std::optional<std::string>*, std::optional<std::string>*) {}
void MSRScreenViewReporter::setScreenName(const std::optional<std::string>&, const std::optional<std::string>&) {}
void MSRScreenViewReporter::postScreenDidChangeNotificationWithPreviousScreen(const std::optional<MSRScreen>&,
                                                                              const std::optional<MSRScreen>&) {}
void MSRScreenViewReporter::logViewScreenEventWithPreviousScreen(const std::optional<MSRScreen>&,
                                                                 const std::optional<MSRScreen>&,
                                                                 const std::optional<MSRParameters>&) {}
void MSRScreenViewReporter::handleApplicationDidBecomeActive() {}
void MSRScreenViewReporter::handleApplicationWillResignActive() {}
void MSRScreenViewReporter::handleApplicationDidEnterBackground() {}
std::int64_t MSRScreenViewReporter::incrementScreenInstanceID() { return ++currentScreenInstanceID_; }
void MSRScreenViewReporter::waitUntilIdleForTesting() {}
void MSRScreenViewReporter::observeNotifications() {}

}  // namespace kit::measurement

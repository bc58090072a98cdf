#include "kit/measurement/support/MSRDatabase.h"

#include "kit/measurement/support/MeasurementErrors.h"

namespace kit::measurement {

namespace {
platform::Unexpected notBuilt() { return platform::unexpected(msr_errorWithCode(3, "Not built yet")); }
}  // namespace

platform::Expected<void> MSRDatabase::insertBundle(const MSRPBMeasurementBundle&, bool) { return notBuilt(); }
platform::Expected<MSRQueuedBundlesRead> MSRDatabase::queryBundlesWithCountLimit(std::int64_t, std::int64_t) {
    return notBuilt();
}
platform::Expected<std::vector<MSRQueuedBundle>> MSRDatabase::queryBundlesWithRowIDs(const std::vector<std::int64_t>&) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::deleteBundlesWithRowIDs(const std::vector<std::int64_t>&) { return notBuilt(); }
platform::Expected<void> MSRDatabase::incrementRetryCounterForBundlesWithIDs(const std::vector<std::int64_t>&) {
    return notBuilt();
}
platform::Expected<bool> MSRDatabase::isQueuedBundleTableEmpty() { return notBuilt(); }
platform::Expected<std::optional<double>> MSRDatabase::queryLatestBundleTime() { return notBuilt(); }
platform::Expected<bool> MSRDatabase::containsRealtimeBundlesWithError() { return notBuilt(); }
platform::Expected<bool> MSRDatabase::maybeDeleteStaleData() { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteStaleBundlesOlderThanMaxAge(double) { return notBuilt(); }

}  // namespace kit::measurement

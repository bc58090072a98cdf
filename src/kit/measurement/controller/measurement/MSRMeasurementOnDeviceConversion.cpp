#include "kit/measurement/controller/MSRMeasurement.h"

// On-device conversion measurement through the optional membership client.
namespace kit::measurement {

void MSRMeasurement::checkPSMDependencyOnWorkerQueue() {}
bool MSRMeasurement::shouldRetrievePSMResponse() { return false; }
bool MSRMeasurement::shouldRetrievePSMResponseWithEmailAddress(std::string_view) { return false; }
bool MSRMeasurement::shouldRetrievePSMResponseWithPhoneNumber(std::string_view) { return false; }
bool MSRMeasurement::shouldRetrievePSMResponseWithHashedIdentifier(std::string_view) { return false; }
void MSRMeasurement::retrievePSMResponse() {}
void MSRMeasurement::maybeSchedulePSMRetry() {}
void MSRMeasurement::handlePSMValueOnWorkerQueue(const std::string&) {}
void MSRMeasurement::incrementPSMCountOnWorkerQueueWithName(std::string_view) {}
void MSRMeasurement::maybeDeleteExpiredPSMValueOnWorkerQueue() {}
void MSRMeasurement::resetPSMCounts() {}

}  // namespace kit::measurement

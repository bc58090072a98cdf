#include "kit/measurement/controller/MSRMeasurement.h"

// User properties, the personalised-ads decision, the session ID and user
// data.
namespace kit::measurement {

void MSRMeasurement::setUserAttribute(const MSRUserAttribute&) {}
void MSRMeasurement::setUserAttributeOnWorkerQueue(const MSRUserAttribute&) {}
void MSRMeasurement::setUserPropertyInDatabaseOnWorkerQueue(const MSRUserAttribute& attribute) {
    storeUserPropertyOnWorkerQueue(attribute);
}
bool MSRMeasurement::storeUserPropertyOnWorkerQueue(const MSRUserAttribute&) { return false; }
void MSRMeasurement::removeUserAttribute(const MSRUserAttribute&) {}
void MSRMeasurement::removeUserAttributeOnWorkerQueue(const MSRUserAttribute&) {}
void MSRMeasurement::userAttributeWithName(std::string_view, std::function<void(std::optional<MSRUserAttribute>)>) {}
void MSRMeasurement::userPropertiesIncludingInternal(bool, std::function<void(platform::Value::Dictionary)>) {}
void MSRMeasurement::maxUserPropertiesForOrigin(std::string_view, std::function<void(std::int64_t)>) {}
std::optional<bool> MSRMeasurement::shouldDisableAdPersonalization() { return std::nullopt; }
bool MSRMeasurement::shouldAllowAdNetworkRegistration() const { return true; }
void MSRMeasurement::setLastAdvertisingIDResetUserPropertyOnWorkerQueue() {}
bool MSRMeasurement::hasUserPropertyUserIDOnWorkerQueue() { return false; }
void MSRMeasurement::sessionIDWithCompletion(MSRSessionIDCompletion) {}
void MSRMeasurement::setUserData(const platform::Value::Dictionary&) {}
void MSRMeasurement::setUserDataOnWorkerQueue(const platform::Value::Dictionary&) {}

}  // namespace kit::measurement

#include "kit/measurement/controller/MSRMeasurement.h"

// The remote configuration fetch, reset and wipe, the application's
// lifecycle notifications, the purchase filter and the network log lines.
namespace kit::measurement {

void MSRMeasurement::fetchRemoteConfig() {}
void MSRMeasurement::networkRemoteConfigFetchCompletionHandler(const std::optional<HTTPURLResponse>&,
                                                               const std::optional<std::vector<std::uint8_t>>&,
                                                               const std::optional<platform::Error>&) {}
bool MSRMeasurement::resetAnalyticsDataWithAppInstanceID(const std::optional<std::string>&) { return false; }
bool MSRMeasurement::wipeoutAnalyticsDataAndResetComponents() { return false; }
double MSRMeasurement::firstOpenTimestamp() { return 0; }
void MSRMeasurement::paymentQueueUpdatedTransactions(const std::vector<platform::PaymentTransaction>&) {}
void MSRMeasurement::filterPurchaseTransactions(const std::vector<platform::PaymentTransaction>& transactions,
                                                std::function<void(std::vector<platform::PaymentTransaction>)> callback) {
    callback(transactions);
}
void MSRMeasurement::subscribeForAppDidFinishLaunchingNotifications() {}
void MSRMeasurement::handleAppDidFinishLaunching() {}
void MSRMeasurement::subscribeForAppForegroundBackgroundNotifications() {}
void MSRMeasurement::handleAppDidBecomeActiveEvent() {}
void MSRMeasurement::handleAppWillResignActiveEvent() {}
bool MSRMeasurement::isHaloRemoteConfigSDKPresent() { return false; }
void MSRMeasurement::handleNonFirstOpenEventURL(const std::string&, double) {}
void MSRMeasurement::LMUNetwork_logWithLevel(int, int, std::string_view, const LMUNetworkLogContexts&) {}
void MSRMeasurement::LMUNetwork_logWithLevel(int, int, std::string_view, const std::optional<std::string>&) {}
void MSRMeasurement::LMUNetwork_logWithLevel(int, int, std::string_view) {}

}  // namespace kit::measurement

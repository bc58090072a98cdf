// The public road of verified store transactions.

#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRInAppPurchaseTransactionReporter.h"

namespace kit::measurement {

void MSRAnalytics::logTransactionWithProductID(const MSRVerifiedTransaction& transaction) {
    MSRInAppPurchaseTransactionReporter::sharedInstance().reportTransactionWithProductID(transaction);
}

void HLOAnalytics::logTransactionWithProductID(const MSRVerifiedTransaction& transaction) {
    MSRAnalytics::logTransactionWithProductID(transaction);
}

}  // namespace kit::measurement

#pragma once

#include "kit/measurement/controller/MSRInAppPurchaseItem.h"
#include "kit/measurement/controller/MSRInAppPurchaseProductCache.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/Clock.h"
#include "platform/concurrency/Executor.h"
#include "platform/store/PaymentQueue.h"
#include "platform/store/Products.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Store purchases become internal events ("_iap", "_iapx", "_assr",
// "_assc", origin "auto") without any call from the application: from the
// payment queue (after the controller's duplicate filter) and from verified
// transactions the application hands over. Each purchase is classified by
// the purchase records of the store receipt; every report reads the receipt
// into a list of its own, so reports running side by side share nothing.
namespace kit::measurement {

// The fields of a verified store transaction.
struct MSRVerifiedTransaction {
    std::string productID;
    std::string transactionID;
    std::string originalTransactionID;
    // Decimal digits; anything else counts as none.
    std::optional<std::string> webOrderLineItemID;
    // 0 non-consumable, 1 consumable, 2 non-renewing, 3 auto-renewable.
    std::optional<std::int64_t> productType;
    bool isFreeTrial = false;
    bool isIntroductoryOffer = false;
    std::int64_t paymentQuantity = 1;
    std::optional<platform::TimePoint> purchaseDate;
    std::optional<platform::TimePoint> originalPurchaseDate;
    std::optional<platform::TimePoint> subscriptionExpirationDate;
    std::optional<platform::TimePoint> cancellationDate;
    // "Production", "Sandbox", "Xcode".
    std::optional<std::string> environment;
    bool isVerified = false;
};

// One purchase to report.
struct MSRPurchaseReport {
    std::optional<platform::Product> product;
    std::int64_t paymentQuantity = 0;
    std::optional<std::string> transactionIdentifier;
    std::optional<std::string> originalTransactionIdentifier;
    std::optional<platform::TimePoint> transactionDate;
    // On for the payment queue, whose purchases the receipt must confirm.
    bool verifyReceipt = true;
    std::optional<std::string> environment;
    std::string storeKitVersion;
};

// The event a report logs.
struct MSRPurchaseEvent {
    std::string name;
    MSRParameters parameters;

    bool operator==(const MSRPurchaseEvent&) const = default;
};

class MSRInAppPurchaseTransactionReporter {
public:
    // Products come from `cache`; reports run on `reportQueue`. The
    // reporter and the queue must outlive the work queued on it (the shared
    // reporter lives for the process).
    MSRInAppPurchaseTransactionReporter(std::shared_ptr<MSRInAppPurchaseProductCache> cache,
                                        std::shared_ptr<platform::Executor> reportQueue);
    // The process's reporter: the shared cache, the global queue.
    static MSRInAppPurchaseTransactionReporter& sharedInstance();

    // The payment queue's purchases that passed the controller's duplicate
    // filter: products the cache lacks are asked for first, then the batch
    // is reported on the report queue.
    void paymentQueueUpdatedFilteredTransactions(const std::vector<platform::PaymentTransaction>& transactions);
    // Reports each purchase of a batch, on the calling thread.
    void reportTransactionsFromArray(const std::vector<platform::PaymentTransaction>& transactions);
    // A verified transaction the application hands over.
    void reportTransactionWithProductID(const MSRVerifiedTransaction& transaction);

    // Logs the report's event through the measurement services; answers it,
    // or nothing when the purchase cannot be reported.
    static std::optional<MSRPurchaseEvent> reportTransactionWithProduct(
        const MSRPurchaseReport& report, const std::vector<MSRInAppPurchaseItem>& purchaseItems);
    // The event of a report, without logging it. `isSandboxReceipt`: the
    // receipt on disk is a sandbox one.
    static std::optional<MSRPurchaseEvent> purchaseEventForReport(
        const MSRPurchaseReport& report, const std::vector<MSRInAppPurchaseItem>& purchaseItems, bool isSandboxReceipt);

    // The purchase records of the store receipt; empty without one.
    static std::vector<MSRInAppPurchaseItem> parsePurchasedItemsFromReceipt();
    // The MD5 text of a purchased transaction's identifier; nothing for
    // another state, or (logged) for a missing, empty or all-zero identifier.
    static std::optional<std::string> transactionFingerprint(const platform::PaymentTransaction* transaction);
    // A date in the receipt's form; nothing for nothing.
    static std::optional<std::string> ia5StringFromDate(std::optional<platform::TimePoint> date);

private:
    void reportVerifiedTransaction(const platform::Product& product, const MSRVerifiedTransaction& transaction,
                                   std::optional<platform::TimePoint> purchaseDate,
                                   std::vector<MSRInAppPurchaseItem> purchaseItems);

    const std::shared_ptr<MSRInAppPurchaseProductCache> cache_;
    const std::shared_ptr<platform::Executor> reportQueue_;
};

}  // namespace kit::measurement

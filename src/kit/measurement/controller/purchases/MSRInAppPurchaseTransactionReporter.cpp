#include "kit/measurement/controller/MSRInAppPurchaseTransactionReporter.h"

#include "kit/core/KitContext.h"

#include "PurchaseTexts.h"
#include "kit/measurement/controller/MSRAEU.h"
#include "kit/measurement/controller/MSRReceiptScan.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/InputFile.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <span>
#include <utility>

namespace kit::measurement {

namespace texts = purchase_texts;

namespace {

// A receipt is a few kilobytes; anything past this is not one.
constexpr std::uint64_t kMaxReceiptBytes = 16 * 1024 * 1024;

std::optional<std::int64_t> integerFromDigits(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto read = std::from_chars(text->data(), text->data() + text->size(), value);
    if (read.ec != std::errc() || read.ptr != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

std::shared_ptr<platform::Executor> globalReportQueue() {
    // Not owned: the global queue lives for the process.
    return std::shared_ptr<platform::Executor>(std::shared_ptr<platform::Executor>(), &platform::globalQueue());
}

}  // namespace

MSRInAppPurchaseTransactionReporter::MSRInAppPurchaseTransactionReporter(
    std::shared_ptr<MSRInAppPurchaseProductCache> cache, std::shared_ptr<platform::Executor> reportQueue)
    : cache_(std::move(cache)), reportQueue_(std::move(reportQueue)) {}

namespace {

// The kit context's reporter; it goes with its context, before the product
// cache it reads (made first, so released after it).
struct SharedTransactionReporter {
    MSRInAppPurchaseProductCache& cache = MSRInAppPurchaseProductCache::sharedInstance();
    std::once_flag made;
    std::unique_ptr<MSRInAppPurchaseTransactionReporter> instance;  // set once under made
};

}  // namespace

MSRInAppPurchaseTransactionReporter& MSRInAppPurchaseTransactionReporter::sharedInstance() {
    auto& shared = KitContext::current().service<SharedTransactionReporter>();
    std::call_once(shared.made, [&shared] {
        shared.instance.reset(
            new MSRInAppPurchaseTransactionReporter(std::shared_ptr<MSRInAppPurchaseProductCache>(
                                                        std::shared_ptr<MSRInAppPurchaseProductCache>(), &shared.cache),
                                                    globalReportQueue()));
    });
    return *shared.instance;
}

std::optional<std::string> MSRInAppPurchaseTransactionReporter::transactionFingerprint(
    const platform::PaymentTransaction* transaction) {
    if (transaction == nullptr) {
        texts::log(texts::kTransactionNil);
        return std::nullopt;
    }
    if (transaction->state != platform::PaymentTransactionState::purchased) {
        return std::nullopt;
    }
    const MSRLogContext errorCode =
        transaction->errorCode ? MSRLogContext(static_cast<long long>(*transaction->errorCode)) : MSRLogContext();
    if (!transaction->transactionIdentifier) {
        texts::log(texts::kTransactionIdentifierNil, errorCode);
        return std::nullopt;
    }
    const std::string& identifier = *transaction->transactionIdentifier;
    if (identifier.empty()) {
        texts::log(texts::kTransactionIdentifierEmpty, errorCode);
        return std::nullopt;
    }
    if (identifier.find_first_not_of("0-") == std::string::npos) {
        texts::log(texts::kTransactionIdentifierZeroes, errorCode);
        return std::nullopt;
    }
    return msr_MD5String(identifier);
}

std::optional<std::string> MSRInAppPurchaseTransactionReporter::ia5StringFromDate(
    std::optional<platform::TimePoint> date) {
    if (!date) {
        return std::nullopt;
    }
    return MSRFormatReceiptDate(*date);
}

std::vector<MSRInAppPurchaseItem> MSRInAppPurchaseTransactionReporter::parsePurchasedItemsFromReceipt() {
    const auto location = MSRAEU::appStoreRURL();
    if (!location) {
        return {};
    }
    std::string bytes;
    try {
        platform::InputFile receipt(*location, "receipt");
        bytes = receipt.readAll(kMaxReceiptBytes);
    } catch (const platform::Error&) {
        // No receipt (or none that fits) confirms nothing; the purchases are
        // then reported as unconfirmed.
        return {};
    }
    if (bytes.empty()) {
        return {};
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    auto items = MSRParseInAppPurchaseItems(std::span<const std::uint8_t>(data, bytes.size()));
    texts::log(texts::kParsedReceipt);
    return items.value_or(std::vector<MSRInAppPurchaseItem>{});
}

std::optional<MSRPurchaseEvent> MSRInAppPurchaseTransactionReporter::reportTransactionWithProduct(
    const MSRPurchaseReport& report, const std::vector<MSRInAppPurchaseItem>& purchaseItems) {
    auto event = purchaseEventForReport(report, purchaseItems, MSRAEU::isASRS());
    if (event) {
        MeasurementServices::current().logInternalEventWithOrigin(texts::kOriginAuto, event->name, event->parameters);
    }
    return event;
}

void MSRInAppPurchaseTransactionReporter::paymentQueueUpdatedFilteredTransactions(
    const std::vector<platform::PaymentTransaction>& transactions) {
    std::vector<platform::PaymentTransaction> purchased;
    std::set<std::string> missing;
    for (const platform::PaymentTransaction& transaction : transactions) {
        if (transaction.state != platform::PaymentTransactionState::purchased ||
            transaction.productIdentifier.empty()) {
            continue;
        }
        if (!cache_->cachedProductForProductIdentifier(transaction.productIdentifier)) {
            missing.insert(transaction.productIdentifier);
        }
        purchased.push_back(transaction);
    }
    if (missing.empty()) {
        reportQueue_->async([this, purchased = std::move(purchased)] { reportTransactionsFromArray(purchased); });
        return;
    }
    cache_->requestProductsWithProductIdentifiers(
        missing, reportQueue_,
        [this, purchased = std::move(purchased)](const MSRProductsByIdentifier& products, const std::set<std::string>&,
                                                 const std::optional<platform::Error>& error) {
            if (error && products.empty()) {
                texts::log(texts::kCannotRequestProducts, *error);
                return;
            }
            reportTransactionsFromArray(purchased);
        });
}

void MSRInAppPurchaseTransactionReporter::reportTransactionsFromArray(
    const std::vector<platform::PaymentTransaction>& transactions) {
    // The batch's own list: reports running side by side share nothing.
    const std::vector<MSRInAppPurchaseItem> purchaseItems = parsePurchasedItemsFromReceipt();
    for (const platform::PaymentTransaction& transaction : transactions) {
        MSRPurchaseReport report;
        report.product = cache_->cachedProductForProductIdentifier(transaction.productIdentifier);
        report.paymentQuantity = transaction.quantity;
        report.transactionIdentifier = transaction.transactionIdentifier;
        report.originalTransactionIdentifier = transaction.originalTransactionIdentifier;
        report.transactionDate = transaction.transactionDate;
        report.verifyReceipt = true;
        report.storeKitVersion = texts::kPaymentQueueVersion;
        reportTransactionWithProduct(report, purchaseItems);
    }
}

void MSRInAppPurchaseTransactionReporter::reportTransactionWithProductID(const MSRVerifiedTransaction& transaction) {
    std::vector<MSRInAppPurchaseItem> purchaseItems = parsePurchasedItemsFromReceipt();
    const bool known = std::any_of(purchaseItems.begin(), purchaseItems.end(), [&](const MSRInAppPurchaseItem& item) {
        return item.transactionID == transaction.transactionID;
    });
    if (transaction.isVerified && !known) {
        MSRInAppPurchaseItem item;
        item.freeTrial = transaction.isFreeTrial;
        item.introductoryOffer = transaction.isIntroductoryOffer;
        item.subscriptionExpirationDateIA5String = ia5StringFromDate(transaction.subscriptionExpirationDate);
        item.originalPurchaseDateIA5String = ia5StringFromDate(transaction.originalPurchaseDate);
        item.purchaseDateIA5String = ia5StringFromDate(transaction.purchaseDate);
        item.cancellationDateIA5String = ia5StringFromDate(transaction.cancellationDate);
        item.productID = transaction.productID;
        item.originalTransactionID = transaction.originalTransactionID;
        item.transactionID = transaction.transactionID;
        item.webOrderLineItemID = integerFromDigits(transaction.webOrderLineItemID);
        item.purchaseType = transaction.productType;
        purchaseItems.insert(purchaseItems.begin(), std::move(item));
    }
    // Whole seconds, as the receipt's dates are.
    std::optional<platform::TimePoint> purchaseDate;
    if (const auto text = ia5StringFromDate(transaction.purchaseDate)) {
        purchaseDate = MSRParseReceiptDate(*text);
    }

    if (auto product = cache_->cachedProductForProductIdentifier(transaction.productID)) {
        reportQueue_->async([this, product = std::move(*product), transaction, purchaseDate,
                             purchaseItems = std::move(purchaseItems)]() mutable {
            reportVerifiedTransaction(product, transaction, purchaseDate, std::move(purchaseItems));
        });
        return;
    }
    cache_->requestProductsWithProductIdentifiers(
        {transaction.productID}, reportQueue_,
        [this, transaction, purchaseDate, purchaseItems = std::move(purchaseItems)](
            const MSRProductsByIdentifier& products, const std::set<std::string>&,
            const std::optional<platform::Error>& error) mutable {
            const auto found = products.find(transaction.productID);
            if (found == products.end()) {
                texts::log(texts::kCannotRequestProducts, error ? MSRLogContext(*error) : MSRLogContext());
                return;
            }
            reportVerifiedTransaction(found->second, transaction, purchaseDate, std::move(purchaseItems));
        });
}

void MSRInAppPurchaseTransactionReporter::reportVerifiedTransaction(const platform::Product& product,
                                                                    const MSRVerifiedTransaction& transaction,
                                                                    std::optional<platform::TimePoint> purchaseDate,
                                                                    std::vector<MSRInAppPurchaseItem> purchaseItems) {
    MSRPurchaseReport report;
    report.product = product;
    report.paymentQuantity = transaction.paymentQuantity;
    report.transactionIdentifier = transaction.transactionID;
    report.originalTransactionIdentifier = transaction.originalTransactionID;
    report.transactionDate = purchaseDate;
    report.verifyReceipt = !transaction.isVerified;
    report.environment = transaction.environment;
    report.storeKitVersion = texts::kVerifiedTransactionVersion;
    reportTransactionWithProduct(report, purchaseItems);
}

}  // namespace kit::measurement

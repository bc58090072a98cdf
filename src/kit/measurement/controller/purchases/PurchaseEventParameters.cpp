// Classifying one purchase by the receipt's records, and the event it makes.

#include "kit/measurement/controller/MSRInAppPurchaseTransactionReporter.h"

#include "PurchaseTexts.h"
#include "kit/measurement/controller/MSRReceiptScan.h"
#include "kit/measurement/support/MSRDigests.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kit::measurement {

namespace texts = purchase_texts;

namespace {

enum class PurchaseType : std::int64_t { nonConsumable = 0, consumable = 1, nonRenewing = 2, autoRenewable = 3 };

bool hasType(const MSRInAppPurchaseItem& item, PurchaseType type) {
    return item.purchaseType == static_cast<std::int64_t>(type);
}

void setInteger(MSRParameters& parameters, std::string_view name, std::int64_t value) {
    parameters.insert_or_assign(std::string(name), MSRValue::initWithInt64(value));
}

bool isOne(const MSRParameters& parameters, std::string_view name) {
    const auto found = parameters.find(name);
    return found != parameters.end() && found->second.isInt64() && found->second.int64Value() == 1;
}

std::optional<std::int64_t> integerParameter(const MSRParameters& parameters, std::string_view name) {
    const auto found = parameters.find(name);
    if (found == parameters.end() || !found->second.isInt64()) {
        return std::nullopt;
    }
    return found->second.int64Value();
}

// A price in micros, truncated; nothing when it does not fit 64 bits.
std::optional<std::int64_t> micros(const platform::Decimal& price) {
    const auto scaled = price.scaledByPowerOfTen(6);
    return scaled ? scaled->toInt64(platform::Decimal::Rounding::towardZero) : std::nullopt;
}

std::optional<std::int64_t> timesQuantity(std::int64_t quantity, std::int64_t unitMicros) {
    std::int64_t product = 0;
    if (__builtin_mul_overflow(quantity, unitMicros, &product)) {
        return std::nullopt;
    }
    return product;
}

bool nonEmptyAndDiffer(const std::optional<std::string>& first, const std::optional<std::string>& second) {
    return first && second && !first->empty() && !second->empty() && *first != *second;
}

std::string_view orEmpty(const std::optional<std::string>& text) { return text ? std::string_view(*text) : ""; }

// The purchase's deduplication ID: 64 bits of the MD5 of the original
// transaction ID, the web order line item ID and the product ID.
std::int64_t deduplicationID(const std::optional<std::string>& originalTransactionID,
                             std::optional<std::int64_t> webOrderLineItemID, std::string_view productID) {
    if (orEmpty(originalTransactionID).empty() || productID.empty()) {
        return -1;
    }
    std::string key = *originalTransactionID;
    if (webOrderLineItemID) {
        key += std::to_string(*webOrderLineItemID);
    }
    key += productID;
    return msr_64LSBMD5(std::string_view(key));
}

// A renewal of `item`: a conversion when the purchase before it was a free trial.
void markRenewal(MSRParameters& parameters, const MSRInAppPurchaseItem& item,
                 const std::vector<MSRInAppPurchaseItem>& productItems) {
    if (item.originalTransactionID == item.transactionID) {
        return;
    }
    const auto position = std::find(productItems.begin(), productItems.end(), item);
    const bool afterFreeTrial =
        position != productItems.end() && position != productItems.begin() && std::prev(position)->freeTrial;
    setInteger(parameters, afterFreeTrial ? texts::kSubscriptionConversion : texts::kSubscriptionRenewal, 1);
}

// The parameters of a subscription-like purchase with its one receipt item.
void classifySubscription(MSRParameters& parameters, const MSRPurchaseReport& report, const MSRInAppPurchaseItem& item,
                          const std::vector<MSRInAppPurchaseItem>& productItems, std::string_view productID) {
    if (hasType(item, PurchaseType::nonRenewing)) {
        setInteger(parameters, texts::kSubscription, 1);
        setInteger(parameters, texts::kDeduplicationID,
                   deduplicationID(item.originalTransactionID, std::nullopt, productID));
        texts::log(texts::kNonRenewing);
        return;
    }
    // Anything else with a web order line item ID renews on its own.
    if (item.originalTransactionID == item.transactionID) {
        setInteger(parameters, texts::kSubscription, 1);
    }
    setInteger(parameters, texts::kDeduplicationID,
               deduplicationID(item.originalTransactionID, item.webOrderLineItemID, productID));
    if (!item.freeTrial && !item.introductoryOffer) {
        texts::log(texts::kAutoRenewable);
        markRenewal(parameters, item, productItems);
        return;
    }
    if (item.freeTrial) {
        setInteger(parameters, texts::kFreeTrialParameter, 1);
        if (nonEmptyAndDiffer(report.transactionIdentifier, report.originalTransactionIdentifier)) {
            texts::log(texts::kFreeTrialRepurchase);
            setInteger(parameters, texts::kInvalid, 1);
            return;
        }
        texts::log(texts::kFreeTrial);
    }
    if (item.introductoryOffer) {
        setInteger(parameters, texts::kPriceIsDiscounted, 1);
        markRenewal(parameters, item, productItems);
        texts::log(texts::kIntroductoryOffer);
    }
    texts::log(texts::kRenewal);
}

// Classifies the purchase by the product's receipt items; one the receipt
// does not confirm is marked "invalid".
void classify(MSRParameters& parameters, const MSRPurchaseReport& report,
              const std::vector<MSRInAppPurchaseItem>& purchaseItems, const std::string& productID) {
    const std::vector<MSRInAppPurchaseItem> productItems =
        MSRPurchaseItemsMatching(purchaseItems, std::string_view(productID), std::nullopt)
            .value_or(std::vector<MSRInAppPurchaseItem>{});
    if (productItems.empty()) {
        texts::log(texts::kMissingInReceipt);
        setInteger(parameters, texts::kInvalid, 1);
        return;
    }
    const MSRInAppPurchaseItem& latest = productItems.back();
    if (hasType(latest, PurchaseType::nonConsumable) &&
        nonEmptyAndDiffer(report.transactionIdentifier, report.originalTransactionIdentifier)) {
        texts::log(texts::kNonConsumableRepurchase);
        setInteger(parameters, texts::kInvalid, 1);
        return;
    }
    const bool subscriptionLike = hasType(latest, PurchaseType::nonRenewing) ||
                                  hasType(latest, PurchaseType::autoRenewable) || latest.webOrderLineItemID.has_value();
    if (!subscriptionLike) {
        if (latest.transactionID == latest.originalTransactionID) {
            if (hasType(latest, PurchaseType::consumable)) {
                texts::log(texts::kConsumable);
            } else if (hasType(latest, PurchaseType::nonConsumable)) {
                texts::log(texts::kNonConsumable);
            }
            setInteger(parameters, texts::kDeduplicationID,
                       deduplicationID(latest.originalTransactionID, std::nullopt, productID));
        } else {
            texts::log(texts::kMismatchedIDs);
        }
        return;
    }
    std::vector<MSRInAppPurchaseItem> bought;
    if (report.transactionDate) {
        bought = MSRPurchaseItemsMatching(productItems, std::string_view(productID), report.transactionDate)
                     .value_or(std::vector<MSRInAppPurchaseItem>{});
    }
    if (bought.size() != 1) {
        if (bought.empty()) {
            texts::log(texts::kSubscriptionMissing);
        } else {
            texts::log(texts::kSubscriptionDuplicateDate, productID, static_cast<long long>(bought.size()));
        }
        setInteger(parameters, texts::kInvalid, 1);
        setInteger(parameters, texts::kSubscription, 1);
        return;
    }
    classifySubscription(parameters, report, bought.front(), productItems, productID);
}

// An introductory offer replaces the list price.
bool applyDiscount(MSRParameters& parameters, const platform::Product& product, std::int64_t quantity) {
    if (!isOne(parameters, texts::kFreeTrialParameter) && !isOne(parameters, texts::kPriceIsDiscounted)) {
        return true;
    }
    if (!product.introductoryPrice) {
        return true;
    }
    const platform::ProductDiscount& discount = *product.introductoryPrice;
    const auto listPrice = integerParameter(parameters, texts::kPrice);
    if (isOne(parameters, texts::kFreeTrialParameter) ||
        discount.paymentMode == platform::ProductDiscountPaymentMode::freeTrial) {
        if (listPrice) {
            setInteger(parameters, texts::kOriginalPrice, *listPrice);
        }
        setInteger(parameters, texts::kPriceIsDiscounted, 1);
        setInteger(parameters, texts::kPrice, 0);
        setInteger(parameters, texts::kValue, 0);
        return true;
    }
    if (!discount.price) {
        return true;
    }
    const auto discountMicros = micros(*discount.price);
    const auto discountValue = discountMicros ? timesQuantity(quantity, *discountMicros) : std::nullopt;
    if (!discountMicros || (quantity != 0 && !discountValue)) {
        texts::log(texts::kMoneyOverflow, product.productIdentifier);
        return false;
    }
    if (listPrice) {
        setInteger(parameters, texts::kOriginalPrice, *listPrice);
    }
    setInteger(parameters, texts::kPrice, *discountMicros);
    if (quantity != 0) {
        setInteger(parameters, texts::kValue, *discountValue);
    }
    return true;
}

std::optional<MSRParameters> purchaseParameters(const MSRPurchaseReport& report,
                                                const std::vector<MSRInAppPurchaseItem>& purchaseItems) {
    if (!report.product) {
        texts::log(texts::kNilProduct);
        return std::nullopt;
    }
    const platform::Product& product = *report.product;
    const std::string& productID = product.productIdentifier;
    if (productID.empty()) {
        texts::log(texts::kEmptyProductID);
        return std::nullopt;
    }
    MSRParameters parameters;
    parameters.insert_or_assign(std::string(texts::kProductID), MSRValue::initWithString(productID));
    const std::int64_t quantity = report.paymentQuantity;
    if (product.price) {
        const auto unit = micros(*product.price);
        const auto value = unit ? timesQuantity(quantity, *unit) : std::nullopt;
        if (!unit || (quantity != 0 && !value)) {
            texts::log(texts::kMoneyOverflow, productID);
            return std::nullopt;
        }
        setInteger(parameters, texts::kPrice, *unit);
        if (quantity != 0) {
            setInteger(parameters, texts::kValue, *value);
            setInteger(parameters, texts::kQuantity, quantity);
        }
    }
    if (product.currencyCode) {
        parameters.insert_or_assign(std::string(texts::kCurrency), MSRValue::initWithString(*product.currencyCode));
    }
    if (product.localizedTitle) {
        parameters.insert_or_assign(std::string(texts::kProductName),
                                    MSRValue::initWithString(*product.localizedTitle));
    }
    if (orEmpty(report.transactionIdentifier).empty()) {
        texts::log(texts::kEmptyTransactionID);
    }
    classify(parameters, report, purchaseItems, productID);
    if (!applyDiscount(parameters, product, quantity)) {
        return std::nullopt;
    }
    for (const std::string_view required : {texts::kPrice, texts::kValue, texts::kCurrency, texts::kProductID}) {
        if (!parameters.contains(required)) {
            return std::nullopt;
        }
    }
    return parameters;
}

bool isSandboxEnvironment(const std::optional<std::string>& environment) {
    if (!environment) {
        return false;
    }
    std::string lower = *environment;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return std::find(std::begin(texts::kSandboxEnvironments), std::end(texts::kSandboxEnvironments), lower) !=
           std::end(texts::kSandboxEnvironments);
}

}  // namespace

std::optional<MSRPurchaseEvent> MSRInAppPurchaseTransactionReporter::purchaseEventForReport(
    const MSRPurchaseReport& report, const std::vector<MSRInAppPurchaseItem>& purchaseItems, bool isSandboxReceipt) {
    auto parameters = purchaseParameters(report, purchaseItems);
    if (!parameters) {
        return std::nullopt;
    }
    const bool sandbox = isSandboxEnvironment(report.environment) || isSandboxReceipt;
    MSRPurchaseEvent event{std::string(texts::kPurchaseEvent), std::move(*parameters)};
    if (!isOne(event.parameters, texts::kInvalid)) {
        if (!report.verifyReceipt) {
            setInteger(event.parameters, texts::kValidated, 1);
            if (sandbox) {
                setInteger(event.parameters, texts::kSandbox, 1);
            }
        }
    } else {
        if (sandbox) {
            setInteger(event.parameters, texts::kSandbox, 1);
        }
        event.parameters.erase(std::string(texts::kInvalid));
        event.name = texts::kInvalidPurchaseEvent;
    }
    if (isOne(event.parameters, texts::kSubscriptionRenewal)) {
        event.parameters.erase(std::string(texts::kSubscriptionRenewal));
        event.name = texts::kRenewalEvent;
    }
    if (isOne(event.parameters, texts::kSubscriptionConversion)) {
        event.parameters.erase(std::string(texts::kSubscriptionConversion));
        event.name = texts::kConversionEvent;
    }
    event.parameters.insert_or_assign(std::string(texts::kStoreKitVersion),
                                      MSRValue::initWithString(report.storeKitVersion));
    return event;
}

}  // namespace kit::measurement

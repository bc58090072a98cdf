#pragma once

#include "kit/measurement/support/LogLines.h"

#include <cstdint>
#include <string_view>
#include <utility>

// The purchase code's texts: log lines (code, level, text), event and
// parameter names, and the wire values of the store versions.
namespace kit::measurement::purchase_texts {

using log_lines::Line;
using log_lines::log;

// Transaction fingerprints and products.
inline constexpr Line kTransactionNil{21014, 2, "Transaction is nil"};
inline constexpr Line kTransactionIdentifierNil{21015, 2, "Transaction identifier is nil. Code"};
inline constexpr Line kTransactionIdentifierEmpty{21016, 2, "Transaction identifier is empty. Code"};
inline constexpr Line kTransactionIdentifierZeroes{21017, 2, "Transaction identifier is only zeroes. Code"};
inline constexpr Line kCannotRequestProducts{21027, 1, "Cannot request product information. Error"};
inline constexpr Line kParsedReceipt{21028, 7, "Parsed purchase items from receipt"};

// Lifetime value.
inline constexpr Line kInvalidCurrency{22000, 1, "Cannot record transaction with invalid currency code"};
inline constexpr Line kInvalidValue{22001, 1, "Cannot record transaction with invalid transaction value"};
inline constexpr Line kValueOutOfBounds{22002, 1, "Cannot record transaction with value that is out of bounds"};
inline constexpr Line kQueryFailed{22003, 1, "Failed to query all Lifetime Value User properties. Error"};
inline constexpr Line kDeleteFailed{22004, 1, "Unable to delete Lifetime Value User property. Name, error"};
inline constexpr Line kUpsertFailed{22005, 1,
                                    "Unable to upsert Lifetime Value User Attribute in database. Name, error"};
inline constexpr Line kLifetimeValueUpdated{22006, 7, "Lifetime value has been updated in database"};

// Classifying a transaction.
inline constexpr Line kEmptyTransactionID{40003, 8, "Transaction ID cannot be nil or empty."};
inline constexpr Line kMoneyOverflow{
    40004, 8, "IAP Transaction price in micros does not fit 64 bits and will not be reported. Product ID"};
inline constexpr Line kNonConsumableRepurchase{40005, 8,
                                               "Restore/repurchase of non-consumable item will be reported as invalid"};
inline constexpr Line kMismatchedIDs{
    40007, 8, "Transaction with mismatched transaction ID and original transaction ID will be reported as consumable"};
inline constexpr Line kAutoRenewable{40008, 8, "Transaction of auto-renewable subscription will be reported"};
inline constexpr Line kFreeTrial{40009, 8, "Transaction of free-trial auto-renewable subscription will be reported"};
inline constexpr Line kRenewal{40010, 8, "Transaction of auto-renewable subscription renewal will be reported"};
inline constexpr Line kFreeTrialRepurchase{
    40011, 8, "Repurchase of free-trial auto-renewable subscription will be reported as invalid"};
inline constexpr Line kIntroductoryOffer{40018, 8, "Transaction of introductory offer will be reported"};
inline constexpr Line kMissingInReceipt{40020, 8, "Transaction missing in receipt will be reported as invalid"};
inline constexpr Line kConsumable{40021, 8, "Transaction of consumable item will be reported"};
inline constexpr Line kNonConsumable{40022, 8, "Transaction of non-consumable item will be reported"};
inline constexpr Line kSubscriptionMissing{40023, 8,
                                           "Subscription transaction missing in receipt will be reported as invalid"};
inline constexpr Line kSubscriptionDuplicateDate{
    40024, 8, "Subscription transaction with duplicate transaction date will be reported as invalid"};
inline constexpr Line kNonRenewing{40025, 8, "Transaction of non-renewing subscription will be reported"};
inline constexpr Line kNilProduct{40026, 8, "IAP Transaction cannot be created from nil product"};
inline constexpr Line kEmptyProductID{40027, 8, "IAP Transaction cannot be created from empty or nil product ID"};

// The receipt scan.
inline constexpr Line kReceiptDataTooLong{39027, 5, "Data is longer than 127"};

// Events.
inline constexpr std::string_view kOriginAuto = "auto";
inline constexpr std::string_view kPurchaseEvent = "_iap";
inline constexpr std::string_view kInvalidPurchaseEvent = "_iapx";
inline constexpr std::string_view kRenewalEvent = "_assr";
inline constexpr std::string_view kConversionEvent = "_assc";
inline constexpr std::string_view kEcommercePurchaseEvent = "ecommerce_purchase";
inline constexpr std::string_view kPublicPurchaseEvent = "purchase";
inline constexpr std::string_view kRefundEvent = "refund";
inline constexpr std::string_view kLifetimeValuePrefix = "_ltv_";

// Event parameters.
inline constexpr std::string_view kProductID = "product_id";
inline constexpr std::string_view kPrice = "price";
inline constexpr std::string_view kValue = "value";
inline constexpr std::string_view kQuantity = "quantity";
inline constexpr std::string_view kCurrency = "currency";
inline constexpr std::string_view kProductName = "product_name";
inline constexpr std::string_view kDeduplicationID = "_did";
inline constexpr std::string_view kInvalid = "invalid";
inline constexpr std::string_view kSubscription = "subscription";
inline constexpr std::string_view kFreeTrialParameter = "free_trial";
inline constexpr std::string_view kPriceIsDiscounted = "price_is_discounted";
inline constexpr std::string_view kOriginalPrice = "original_price";
inline constexpr std::string_view kSubscriptionRenewal = "sub_renew";
inline constexpr std::string_view kSubscriptionConversion = "sub_convert";
inline constexpr std::string_view kValidated = "validated";
inline constexpr std::string_view kSandbox = "sandbox";
inline constexpr std::string_view kStoreKitVersion = "_skv";

// "_skv": the payment-queue road and the verified-transaction road.
inline constexpr std::string_view kPaymentQueueVersion = "1";
inline constexpr std::string_view kVerifiedTransactionVersion = "2";
// Environments that count as sandbox, in lower case.
inline constexpr std::string_view kSandboxEnvironments[] = {"sandbox", "xcode"};

inline constexpr std::string_view kProductCacheQueueLabel = "com.lumen.lmp.measurement.iap-cache";
inline constexpr std::string_view kInvalidProductIdentifiers = "Invalid product identifiers.";

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kTransactionNil,
                                            &kTransactionIdentifierNil,
                                            &kTransactionIdentifierEmpty,
                                            &kTransactionIdentifierZeroes,
                                            &kCannotRequestProducts,
                                            &kParsedReceipt,
                                            &kInvalidCurrency,
                                            &kInvalidValue,
                                            &kValueOutOfBounds,
                                            &kQueryFailed,
                                            &kDeleteFailed,
                                            &kUpsertFailed,
                                            &kLifetimeValueUpdated,
                                            &kEmptyTransactionID,
                                            &kMoneyOverflow,
                                            &kNonConsumableRepurchase,
                                            &kMismatchedIDs,
                                            &kAutoRenewable,
                                            &kFreeTrial,
                                            &kRenewal,
                                            &kFreeTrialRepurchase,
                                            &kIntroductoryOffer,
                                            &kMissingInReceipt,
                                            &kConsumable,
                                            &kNonConsumable,
                                            &kSubscriptionMissing,
                                            &kSubscriptionDuplicateDate,
                                            &kNonRenewing,
                                            &kNilProduct,
                                            &kEmptyProductID,
                                            &kReceiptDataTooLong};

}  // namespace kit::measurement::purchase_texts

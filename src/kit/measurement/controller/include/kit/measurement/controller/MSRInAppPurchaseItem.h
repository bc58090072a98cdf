#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kit::measurement {

// One in-app purchase record of the store receipt, as far as the receipt
// scan could read it. Date fields keep the receipt's own text; read them with
// MSRParseReceiptDate. Every field the scan did not find stays unset.
struct MSRInAppPurchaseItem {
    bool freeTrial = false;
    bool introductoryOffer = false;
    std::optional<std::string> subscriptionExpirationDateIA5String;
    std::optional<std::string> productID;
    std::optional<std::string> originalTransactionID;
    std::optional<std::string> transactionID;
    std::optional<std::int64_t> webOrderLineItemID;
    std::optional<std::string> originalPurchaseDateIA5String;
    std::optional<std::string> purchaseDateIA5String;
    std::optional<std::string> cancellationDateIA5String;
    std::optional<std::int64_t> purchaseType;

    // The purchase date text parsed with MSRParseReceiptDate.
    std::optional<platform::TimePoint> purchaseDate() const;

    bool operator==(const MSRInAppPurchaseItem&) const = default;
};

// Reads a receipt date "yyyy-MM-ddTHH:mm:ss" followed by "Z" or a "+HH:MM" /
// "-HH:MM" offset, in whole seconds. Anything else (a missing or out-of-range
// field, trailing text) gives nothing.
std::optional<platform::TimePoint> MSRParseReceiptDate(std::string_view text);

// Writes a date in the receipt's form, in UTC with a literal "Z":
// "2026-01-05T15:04:05Z". Fractions of a second are dropped.
std::string MSRFormatReceiptDate(platform::TimePoint at);

}  // namespace kit::measurement

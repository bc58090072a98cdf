#include "kit/measurement/controller/MSRReceiptScan.h"

#include "PurchaseTexts.h"
#include "kit/measurement/messages/Utf8Check.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>

namespace kit::measurement {

namespace {

constexpr std::uint8_t W = kMSRReceiptWildcard;

// INTEGER 17 (the in-app purchase attribute), INTEGER version, OCTET STRING.
constexpr std::array<std::uint8_t, 7> kInAppAttributeTemplate{0x02, 0x01, 0x11, 0x02, 0x01, W, 0x04};

enum class FieldDecoding { utf8Text, asciiText, freeTrial, introductoryOffer, oneByteNumber, unsignedInteger };

using FieldTemplate = std::array<std::uint8_t, 11>;

struct FieldRule {
    FieldTemplate matchTemplate;
    FieldDecoding decoding;
    std::optional<std::string> MSRInAppPurchaseItem::*text = nullptr;
};

// A two-byte INTEGER 0x06TT (the attribute type), a one-byte INTEGER version,
// and an OCTET STRING holding one value of tag VV with a one-byte length.
constexpr FieldTemplate fieldTemplate(std::uint8_t type, std::uint8_t valueTag) {
    return {0x02, 0x02, 0x06, type, 0x02, 0x01, W, 0x04, W, valueTag, W};
}

constexpr std::uint8_t kUTF8String = 0x0C;
constexpr std::uint8_t kIA5String = 0x16;
constexpr std::uint8_t kInteger = 0x02;

// Every template begins with an INTEGER tag, so the scan passes other bytes by.
constexpr std::uint8_t kTemplateStart = 0x02;

// In the order they are tried at each position.
constexpr std::array<FieldRule, 11> kFieldRules{{
    {fieldTemplate(0xA6, kUTF8String), FieldDecoding::utf8Text, &MSRInAppPurchaseItem::productID},
    {fieldTemplate(0xA7, kUTF8String), FieldDecoding::utf8Text, &MSRInAppPurchaseItem::transactionID},
    {fieldTemplate(0xA9, kUTF8String), FieldDecoding::utf8Text, &MSRInAppPurchaseItem::originalTransactionID},
    {fieldTemplate(0xAC, kIA5String), FieldDecoding::asciiText,
     &MSRInAppPurchaseItem::subscriptionExpirationDateIA5String},
    {fieldTemplate(0xB1, kInteger), FieldDecoding::freeTrial},
    {fieldTemplate(0xB7, kInteger), FieldDecoding::introductoryOffer},
    {fieldTemplate(0xAB, kInteger), FieldDecoding::oneByteNumber},
    {fieldTemplate(0xAF, kInteger), FieldDecoding::unsignedInteger},
    {fieldTemplate(0xA8, kIA5String), FieldDecoding::asciiText, &MSRInAppPurchaseItem::purchaseDateIA5String},
    {fieldTemplate(0xAA, kIA5String), FieldDecoding::asciiText, &MSRInAppPurchaseItem::originalPurchaseDateIA5String},
    {fieldTemplate(0xB0, kIA5String), FieldDecoding::asciiText, &MSRInAppPurchaseItem::cancellationDateIA5String},
}};

static_assert(kInAppAttributeTemplate[0] == kTemplateStart);
static_assert(std::all_of(kFieldRules.begin(), kFieldRules.end(),
                          [](const FieldRule& rule) { return rule.matchTemplate[0] == kTemplateStart; }));

std::string_view asText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// IA5String holds ASCII only; anything else leaves the property unset.
bool isASCII(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte < 0x80; });
}

// An INTEGER flag: 0 or 1 in exactly one byte. Another byte is logged and
// reads as NO; another length leaves NO without a line.
bool flagValue(std::span<const std::uint8_t> value, std::uint64_t messageCode, std::string_view message) {
    if (value.size() != 1) {
        return false;
    }
    if (value[0] > 1) {
        MSRMeasurementMonitor().logWithLevel(5, messageCode, message, static_cast<int>(value[0]));
        return false;
    }
    return value[0] == 1;
}

void setField(MSRInAppPurchaseItem& item, const FieldRule& rule, std::span<const std::uint8_t> value) {
    switch (rule.decoding) {
    case FieldDecoding::utf8Text:
        if (isValidUtf8(asText(value))) {
            item.*rule.text = std::string(asText(value));
        }
        break;
    case FieldDecoding::asciiText:
        if (isASCII(value)) {
            item.*rule.text = std::string(asText(value));
        }
        break;
    case FieldDecoding::freeTrial:
        item.freeTrial = flagValue(value, 39025, "Subdata FT unexpected value");
        break;
    case FieldDecoding::introductoryOffer:
        item.introductoryOffer = flagValue(value, 39028, "Subdata IO unexpected value");
        break;
    case FieldDecoding::oneByteNumber:
        if (value.size() == 1) {
            item.purchaseType = value[0];
        }
        break;
    case FieldDecoding::unsignedInteger:
        if (const std::int64_t number = msr_64LeastSignificantBits(value); number != 0) {
            item.webOrderLineItemID = number;
        }
        break;
    }
}

std::optional<std::int64_t> secondsOf(const std::optional<platform::TimePoint>& date) {
    if (!date) {
        return std::nullopt;
    }
    return std::chrono::floor<std::chrono::seconds>(date->time_since_epoch()).count();
}

}  // namespace

std::optional<std::span<const std::uint8_t>> MSRReceiptMatchTemplate(std::span<const std::uint8_t> matchTemplate,
                                                                     std::span<const std::uint8_t> data,
                                                                     std::int32_t position) {
    if (data.empty() || matchTemplate.empty() || position < 0) {
        return std::nullopt;
    }
    const std::size_t start = static_cast<std::size_t>(position);
    if (start >= data.size() || matchTemplate.size() >= data.size() - start) {
        return std::nullopt;
    }
    std::optional<std::uint8_t> lastCapture;
    for (std::size_t index = 0; index < matchTemplate.size(); ++index) {
        const std::uint8_t byte = data[start + index];
        if (matchTemplate[index] == kMSRReceiptWildcard) {
            lastCapture = byte;
        } else if (matchTemplate[index] != byte) {
            return std::nullopt;
        }
    }
    if (!lastCapture || *lastCapture == 0) {
        return std::nullopt;
    }
    const std::size_t length = *lastCapture;
    const std::size_t valueStart = start + matchTemplate.size();
    if (length > data.size() - valueStart) {
        return std::nullopt;
    }
    if (length >= 128) {
        purchase_texts::log(purchase_texts::kReceiptDataTooLong);
    }
    return data.subspan(valueStart, length);
}

std::optional<std::span<const std::uint8_t>> MSRReceiptMatchInAppAttribute(std::span<const std::uint8_t> data,
                                                                           std::int32_t position) {
    return MSRReceiptMatchTemplate(kInAppAttributeTemplate, data, position);
}

std::optional<std::vector<MSRInAppPurchaseItem>> MSRParseInAppPurchaseItems(std::span<const std::uint8_t> receipt) {
    if (receipt.empty()) {
        return std::nullopt;
    }
    // Positions are 32-bit; a receipt is far smaller than that.
    const std::size_t end =
        std::min(receipt.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()));
    std::vector<MSRInAppPurchaseItem> items;
    std::optional<MSRInAppPurchaseItem> current;
    std::array<bool, kFieldRules.size()> found{};
    for (std::size_t index = 0; index < end; ++index) {
        if (receipt[index] != kTemplateStart) {
            continue;
        }
        const auto position = static_cast<std::int32_t>(index);
        if (MSRReceiptMatchInAppAttribute(receipt, position)) {
            if (current && current->productID) {
                items.push_back(std::move(*current));
            }
            current.emplace();
            found.fill(false);
            continue;
        }
        if (!current) {
            continue;
        }
        for (std::size_t rule = 0; rule < kFieldRules.size(); ++rule) {
            if (found[rule]) {
                continue;
            }
            if (const auto value = MSRReceiptMatchTemplate(kFieldRules[rule].matchTemplate, receipt, position)) {
                // A value of the wrong length still uses up the field.
                found[rule] = true;
                setField(*current, kFieldRules[rule], *value);
                break;
            }
        }
    }
    if (current) {
        items.push_back(std::move(*current));
    }
    return items;
}

std::optional<std::vector<MSRInAppPurchaseItem>> MSRPurchaseItemsMatching(
    const std::vector<MSRInAppPurchaseItem>& items, std::optional<std::string_view> productID,
    std::optional<platform::TimePoint> purchaseDate) {
    if (productID && productID->empty()) {
        productID.reset();
    }
    if (items.empty() || (!productID && !purchaseDate)) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> wantedSecond = secondsOf(purchaseDate);
    struct Match {
        std::optional<std::int64_t> second;
        const MSRInAppPurchaseItem* item;
    };
    std::vector<Match> matches;
    for (const MSRInAppPurchaseItem& item : items) {
        if (productID && item.productID != *productID) {
            continue;
        }
        const std::optional<std::int64_t> second = secondsOf(item.purchaseDate());
        if (wantedSecond && second != wantedSecond) {
            continue;
        }
        matches.push_back({second, &item});
    }
    // Oldest first; an item whose date can't be read goes last.
    std::stable_sort(matches.begin(), matches.end(), [](const Match& left, const Match& right) {
        if (!left.second || !right.second) {
            return left.second.has_value() && !right.second.has_value();
        }
        return *left.second < *right.second;
    });
    std::vector<MSRInAppPurchaseItem> result;
    result.reserve(matches.size());
    for (const Match& match : matches) {
        result.push_back(*match.item);
    }
    return result;
}

}  // namespace kit::measurement

#pragma once

#include "kit/measurement/controller/MSRInAppPurchaseItem.h"

#include "platform/Clock.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Reads in-app purchase records out of the raw bytes of a store receipt. The
// signed container is not decoded: the scan looks for the DER encodings of the
// receipt attributes it needs with byte templates, in which
// kMSRReceiptWildcard matches any byte and captures it. Lengths are read in
// the one-byte short form only; the scan never reads outside the buffer.
namespace kit::measurement {

inline constexpr std::uint8_t kMSRReceiptWildcard = 255;

// The value bytes that follow the template at the position: the template must
// match there and its last captured byte is the value's length (1 to 255,
// all of it inside the data). Nothing for an empty template or data, a
// negative position, no capture, a length of 0 or one that runs past the end.
// A length of 128 or more is logged (39027) and still used.
std::optional<std::span<const std::uint8_t>> MSRReceiptMatchTemplate(std::span<const std::uint8_t> matchTemplate,
                                                                     std::span<const std::uint8_t> data,
                                                                     std::int32_t position);

// The template match with the in-app purchase attribute marker (INTEGER 17,
// INTEGER version, OCTET STRING): the purchase record's bytes.
std::optional<std::span<const std::uint8_t>> MSRReceiptMatchInAppAttribute(std::span<const std::uint8_t> data,
                                                                           std::int32_t position);

// Every purchase record of the receipt, in file order. Nothing for empty
// input; an empty list when the receipt holds no marker. Records without a
// product ID are dropped, except the last one.
std::optional<std::vector<MSRInAppPurchaseItem>> MSRParseInAppPurchaseItems(std::span<const std::uint8_t> receipt);

// The items of the product, bought at the date (to the second), or matching
// whichever of the two is given; sorted by purchase date, oldest first.
// Nothing when there are no items, or when the product ID is empty or absent
// and no date is given.
std::optional<std::vector<MSRInAppPurchaseItem>> MSRPurchaseItemsMatching(
    const std::vector<MSRInAppPurchaseItem>& items, std::optional<std::string_view> productID,
    std::optional<platform::TimePoint> purchaseDate);

}  // namespace kit::measurement

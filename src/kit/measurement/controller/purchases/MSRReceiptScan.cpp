#include "kit/measurement/controller/MSRReceiptScan.h"

namespace kit::measurement {

std::optional<std::span<const std::uint8_t>> MSRReceiptMatchTemplate(std::span<const std::uint8_t>,
                                                                     std::span<const std::uint8_t>, std::int32_t) {
    return std::nullopt;
}

std::optional<std::span<const std::uint8_t>> MSRReceiptMatchInAppAttribute(std::span<const std::uint8_t>,
                                                                           std::int32_t) {
    return std::nullopt;
}

std::optional<std::vector<MSRInAppPurchaseItem>> MSRParseInAppPurchaseItems(std::span<const std::uint8_t>) {
    return std::nullopt;
}

std::optional<std::vector<MSRInAppPurchaseItem>> MSRPurchaseItemsMatching(const std::vector<MSRInAppPurchaseItem>&,
                                                                          std::optional<std::string_view>,
                                                                          std::optional<platform::TimePoint>) {
    return std::nullopt;
}

}  // namespace kit::measurement

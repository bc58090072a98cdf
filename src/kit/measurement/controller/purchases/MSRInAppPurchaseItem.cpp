#include "kit/measurement/controller/MSRInAppPurchaseItem.h"

namespace kit::measurement {

std::optional<platform::TimePoint> MSRInAppPurchaseItem::purchaseDate() const {
    if (!purchaseDateIA5String) {
        return std::nullopt;
    }
    return MSRParseReceiptDate(*purchaseDateIA5String);
}

std::optional<platform::TimePoint> MSRParseReceiptDate(std::string_view) { return std::nullopt; }

std::string MSRFormatReceiptDate(platform::TimePoint) { return {}; }

}  // namespace kit::measurement

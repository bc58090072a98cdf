// A store receipt's bytes: the scan reads any of them without leaving the
// buffer, and every item it reads selects back by its own product ID.

#include "kit/measurement/controller/MSRReceiptScan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A block of exactly the input's size, so a read past it is caught.
    const auto buffer = std::make_unique<std::uint8_t[]>(size);
    std::copy(data, data + size, buffer.get());
    const std::span<const std::uint8_t> bytes(buffer.get(), size);
    const auto items = kit::measurement::MSRParseInAppPurchaseItems(bytes);
    if (items.has_value() == (size == 0)) {
        std::abort();
    }
    if (items) {
        for (const auto& item : *items) {
            if (item.productID && !item.productID->empty()) {
                const auto matches = kit::measurement::MSRPurchaseItemsMatching(*items, *item.productID, std::nullopt);
                if (!matches || matches->empty()) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}

#pragma once

#include "platform/Decimal.h"
#include "platform/Error.h"
#include "platform/Expected.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {

// How an introductory offer is paid.
enum class ProductDiscountPaymentMode : int { payAsYouGo = 0, payUpFront = 1, freeTrial = 2 };

// A product's introductory offer.
struct ProductDiscount {
    std::optional<Decimal> price;
    ProductDiscountPaymentMode paymentMode = ProductDiscountPaymentMode::payAsYouGo;

    bool operator==(const ProductDiscount&) const = default;
};

// One product of the store as a products request answers it.
struct Product {
    std::string productIdentifier;
    std::optional<Decimal> price;
    // The currency of the price's locale ("USD").
    std::optional<std::string> currencyCode;
    std::optional<std::string> localizedTitle;
    std::optional<ProductDiscount> introductoryPrice;

    bool operator==(const Product&) const = default;
};

struct ProductsResponse {
    std::vector<Product> products;
    std::vector<std::string> invalidProductIdentifiers;
};

// Asks the store about products. This system sells nothing: the default
// requester refuses every request.
class ProductsRequester {
public:
    // Runs exactly once, on any thread.
    using Completion = std::function<void(Expected<ProductsResponse> response)>;

    virtual ~ProductsRequester() = default;

    // Starts a request for `identifiers` and keeps it until it answers.
    // False when the store refuses to make one; the completion is then
    // never called.
    virtual bool startRequest(const std::set<std::string>& identifiers, Completion completion) = 0;

    // The process's requester.
    static std::shared_ptr<ProductsRequester> defaultRequester();
};

}  // namespace platform

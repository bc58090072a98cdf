#pragma once

#include "platform/Error.h"
#include "platform/concurrency/Executor.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/store/Products.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// The store's products as the purchase reporter needs them: one request
// at a time through the platform requester, and a cache of the answers.
namespace kit::measurement {

using MSRProductsByIdentifier = std::map<std::string, platform::Product, std::less<>>;
// Products by identifier, the identifiers the store does not know, and the
// request's error.
using MSRProductsCompletion = std::function<void(
    MSRProductsByIdentifier products, std::set<std::string> invalidIdentifiers, std::optional<platform::Error> error)>;

// One products request: lives until the store answers, then hands the
// answer to its completion on `queue`. Nothing keeps `queue` alive but the
// caller: it must outlive the answer.
class MSRProductsRequest {
public:
    MSRProductsRequest() = delete;

    // A store that refuses the request answers error 1, "Invalid product
    // identifiers.". Products without an identifier are left out.
    static void requestProductsWithProductIdentifiers(platform::ProductsRequester& requester,
                                                      const std::set<std::string>& identifiers,
                                                      std::shared_ptr<platform::Executor> queue,
                                                      MSRProductsCompletion completion);
};

// The products the store has described, and the identifiers it said it
// does not know. State is touched only on the queue
// "com.lumen.lmp.measurement.iap-cache". Past 100 entries the cache keeps
// only the latest answer.
class MSRInAppPurchaseProductCache : public std::enable_shared_from_this<MSRInAppPurchaseProductCache> {
public:
    static constexpr std::size_t kMaxEntries = 100;

    static std::shared_ptr<MSRInAppPurchaseProductCache> create(
        std::shared_ptr<platform::ProductsRequester> requester = platform::ProductsRequester::defaultRequester());
    // The process's cache, over the default requester.
    static MSRInAppPurchaseProductCache& sharedInstance();

    std::optional<platform::Product> cachedProductForProductIdentifier(std::string_view identifier) const;

    // Asks the store for `identifiers`; the answer is merged into the cache,
    // then `completion` gets it, unmerged, on `queue`. Nothing happens
    // without a queue or a completion.
    void requestProductsWithProductIdentifiers(const std::set<std::string>& identifiers,
                                               std::shared_ptr<platform::Executor> queue,
                                               MSRProductsCompletion completion);

    // What the cache holds (tests).
    std::size_t validProductCount() const;
    std::size_t invalidIdentifierCount() const;

private:
    explicit MSRInAppPurchaseProductCache(std::shared_ptr<platform::ProductsRequester> requester);
    void mergeAnswer(const MSRProductsByIdentifier& products, const std::set<std::string>& invalidIdentifiers);

    const std::shared_ptr<platform::ProductsRequester> requester_;
    // Shared with the requests in flight, which answer on it.
    const std::shared_ptr<platform::SerialQueue> lockQueue_;
    MSRProductsByIdentifier validProducts_;            // on lockQueue_
    std::set<std::string> invalidProductIdentifiers_;  // on lockQueue_
};

}  // namespace kit::measurement

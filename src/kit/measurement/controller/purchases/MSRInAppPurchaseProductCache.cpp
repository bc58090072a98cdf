#include "kit/measurement/controller/MSRInAppPurchaseProductCache.h"

#include "kit/core/KitContext.h"

#include "PurchaseTexts.h"

#include <utility>

namespace kit::measurement {

namespace texts = purchase_texts;

MSRInAppPurchaseProductCache::MSRInAppPurchaseProductCache(std::shared_ptr<platform::ProductsRequester> requester)
    : requester_(std::move(requester)),
      lockQueue_(std::make_shared<platform::SerialQueue>(std::string(texts::kProductCacheQueueLabel))) {}

std::shared_ptr<MSRInAppPurchaseProductCache> MSRInAppPurchaseProductCache::create(
    std::shared_ptr<platform::ProductsRequester> requester) {
    return std::shared_ptr<MSRInAppPurchaseProductCache>(new MSRInAppPurchaseProductCache(std::move(requester)));
}

namespace {

struct SharedProductCache {
    const std::shared_ptr<MSRInAppPurchaseProductCache> instance = MSRInAppPurchaseProductCache::create();
};

}  // namespace

MSRInAppPurchaseProductCache& MSRInAppPurchaseProductCache::sharedInstance() {
    return *KitContext::current().service<SharedProductCache>().instance;
}

std::optional<platform::Product> MSRInAppPurchaseProductCache::cachedProductForProductIdentifier(
    std::string_view identifier) const {
    return lockQueue_->syncResult([&]() -> std::optional<platform::Product> {
        const auto found = validProducts_.find(identifier);
        if (found == validProducts_.end()) {
            return std::nullopt;
        }
        return found->second;
    });
}

std::size_t MSRInAppPurchaseProductCache::validProductCount() const {
    return lockQueue_->syncResult([&] { return validProducts_.size(); });
}

std::size_t MSRInAppPurchaseProductCache::invalidIdentifierCount() const {
    return lockQueue_->syncResult([&] { return invalidProductIdentifiers_.size(); });
}

void MSRInAppPurchaseProductCache::mergeAnswer(const MSRProductsByIdentifier& products,
                                               const std::set<std::string>& invalidIdentifiers) {
    for (const auto& [identifier, product] : products) {
        validProducts_.insert_or_assign(identifier, product);
        invalidProductIdentifiers_.erase(identifier);
    }
    for (const std::string& identifier : invalidIdentifiers) {
        validProducts_.erase(identifier);
        invalidProductIdentifiers_.insert(identifier);
    }
    if (validProducts_.size() + invalidProductIdentifiers_.size() > kMaxEntries) {
        validProducts_ = products;
        invalidProductIdentifiers_ = invalidIdentifiers;
    }
}

void MSRInAppPurchaseProductCache::requestProductsWithProductIdentifiers(const std::set<std::string>& identifiers,
                                                                         std::shared_ptr<platform::Executor> queue,
                                                                         MSRProductsCompletion completion) {
    if (queue == nullptr || !completion) {
        return;
    }
    std::weak_ptr<MSRInAppPurchaseProductCache> weakCache = weak_from_this();
    MSRProductsRequest::requestProductsWithProductIdentifiers(
        *requester_, identifiers, lockQueue_,
        [weakCache, queue, completion = std::move(completion)](MSRProductsByIdentifier products,
                                                               std::set<std::string> invalidIdentifiers,
                                                               std::optional<platform::Error> error) {
            if (const auto cache = weakCache.lock()) {
                cache->mergeAnswer(products, invalidIdentifiers);
            }
            queue->async([completion, products = std::move(products),
                          invalidIdentifiers = std::move(invalidIdentifiers),
                          error = std::move(error)] { completion(products, invalidIdentifiers, error); });
        });
}

}  // namespace kit::measurement

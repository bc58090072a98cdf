#include "kit/measurement/controller/MSRInAppPurchaseProductCache.h"

#include "PurchaseTexts.h"
#include "kit/measurement/support/MeasurementErrors.h"

#include <utility>

namespace kit::measurement {

namespace texts = purchase_texts;

void MSRProductsRequest::requestProductsWithProductIdentifiers(platform::ProductsRequester& requester,
                                                               const std::set<std::string>& identifiers,
                                                               std::shared_ptr<platform::Executor> queue,
                                                               MSRProductsCompletion completion) {
    if (queue == nullptr || !completion) {
        return;
    }
    // Shared so a refusal can still answer: the requester may have taken
    // its own copy of the completion before saying no.
    auto shared = std::make_shared<MSRProductsCompletion>(std::move(completion));
    const bool started =
        requester.startRequest(identifiers, [queue, shared](platform::Expected<platform::ProductsResponse> response) {
            if (!response) {
                queue->async([shared, error = response.error()] { (*shared)({}, {}, error); });
                return;
            }
            MSRProductsByIdentifier products;
            for (platform::Product& product : response->products) {
                if (!product.productIdentifier.empty()) {
                    std::string identifier = product.productIdentifier;
                    products.insert_or_assign(std::move(identifier), std::move(product));
                }
            }
            std::set<std::string> invalid(response->invalidProductIdentifiers.begin(),
                                          response->invalidProductIdentifiers.end());
            queue->async([shared, products = std::move(products), invalid = std::move(invalid)] {
                (*shared)(products, invalid, std::nullopt);
            });
        });
    if (!started) {
        queue->async([shared] {
            (*shared)({}, {}, msr_errorWithCode(MSRErrorCode::invalidArgument, texts::kInvalidProductIdentifiers));
        });
    }
}

}  // namespace kit::measurement

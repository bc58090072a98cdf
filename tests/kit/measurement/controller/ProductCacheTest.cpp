// The products cache and its requests, on a scripted store.

#include "PurchasesTestSupport.h"
#include "kit/measurement/support/MeasurementErrors.h"

namespace kit::measurement {
namespace {

using testing::product;
using testing::ScriptedRequester;

struct Answer {
    MSRProductsByIdentifier products;
    std::set<std::string> invalid;
    std::optional<platform::Error> error;
};

class ProductCacheTest : public testing::PurchasesTest {
protected:
    // Asks the cache, lets the store answer, and waits for the answer on
    // the test's queue.
    Answer request(const std::set<std::string>& identifiers,
                   std::optional<platform::Expected<platform::ProductsResponse>> response) {
        std::optional<Answer> answer;
        cache->requestProductsWithProductIdentifiers(
            identifiers, queue,
            [&](MSRProductsByIdentifier products, std::set<std::string> invalid, std::optional<platform::Error> error) {
                answer = Answer{std::move(products), std::move(invalid), std::move(error)};
            });
        if (response) {
            requester->answer(std::move(*response));
        }
        EXPECT_TRUE(testing::eventually([&] {
            queue->drain();
            return answer.has_value();
        }));
        return answer.value_or(Answer{});
    }

    static platform::ProductsResponse response(std::vector<platform::Product> products,
                                               std::vector<std::string> invalid = {}) {
        return platform::ProductsResponse{std::move(products), std::move(invalid)};
    }

    const std::shared_ptr<ScriptedRequester> requester = std::make_shared<ScriptedRequester>();
    const std::shared_ptr<MSRInAppPurchaseProductCache> cache = MSRInAppPurchaseProductCache::create(requester);
    const std::shared_ptr<platform::testing::ManualExecutor> queue =
        std::make_shared<platform::testing::ManualExecutor>();
};

TEST_F(ProductCacheTest, AStoreThatRefusesAnswersInvalidProductIdentifiers) {
    for (const bool platformDefault : {true, false}) {
        SCOPED_TRACE(platformDefault ? "default requester" : "refusing fake");
        requester->refuse = true;
        std::shared_ptr<MSRInAppPurchaseProductCache> asked =
            platformDefault ? MSRInAppPurchaseProductCache::create() : cache;
        std::optional<Answer> answer;
        asked->requestProductsWithProductIdentifiers(
            {"com.example.gold"}, queue,
            [&](MSRProductsByIdentifier products, std::set<std::string> invalid, std::optional<platform::Error> error) {
                answer = Answer{std::move(products), std::move(invalid), std::move(error)};
            });
        ASSERT_TRUE(testing::eventually([&] {
            queue->drain();
            return answer.has_value();
        }));
        EXPECT_TRUE(answer->products.empty());
        EXPECT_TRUE(answer->invalid.empty());
        ASSERT_TRUE(answer->error);
        EXPECT_EQ(answer->error->domain(), kMSRErrorDomain);
        EXPECT_EQ(answer->error->code(), 1);
        EXPECT_EQ(answer->error->what(), std::string("Invalid product identifiers."));
    }
}

TEST_F(ProductCacheTest, AnswersAreMergedAndHandedOnAsTheyCame) {
    platform::Product nameless = product("");
    const Answer first =
        request({"gold", "silver", "lead"}, response({product("gold"), product("silver"), nameless}, {"lead"}));
    EXPECT_EQ(requester->asked(), (std::vector<std::set<std::string>>{{"gold", "lead", "silver"}}));
    EXPECT_EQ(first.products.size(), 2u);  // the product without an identifier is left out
    EXPECT_EQ(first.invalid, (std::set<std::string>{"lead"}));
    EXPECT_FALSE(first.error);
    EXPECT_EQ(cache->cachedProductForProductIdentifier("gold"), product("gold"));
    EXPECT_FALSE(cache->cachedProductForProductIdentifier("lead"));

    // Products the store no longer knows leave the cache; known again, they
    // leave the invalid set.
    request({"gold", "lead"}, response({product("lead")}, {"gold"}));
    EXPECT_FALSE(cache->cachedProductForProductIdentifier("gold"));
    EXPECT_EQ(cache->cachedProductForProductIdentifier("lead"), product("lead"));
    EXPECT_EQ(cache->validProductCount(), 2u);       // silver, lead
    EXPECT_EQ(cache->invalidIdentifierCount(), 1u);  // gold

    // A failure passes through and changes nothing.
    const Answer failed =
        request({"tin"}, platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidState, "offline")));
    ASSERT_TRUE(failed.error);
    EXPECT_TRUE(failed.error->is(MSRErrorCode::invalidState));
    EXPECT_EQ(cache->validProductCount(), 2u);
}

TEST_F(ProductCacheTest, ReachingAHundredAndOneEntriesKeepsOnlyTheLatestAnswer) {
    std::vector<platform::Product> hundred;
    std::set<std::string> identifiers;
    for (int index = 0; index < 100; ++index) {
        hundred.push_back(product("product." + std::to_string(index)));
        identifiers.insert("product." + std::to_string(index));
    }
    request(identifiers, response(hundred));
    EXPECT_EQ(cache->validProductCount(), 100u);

    // An identifier already known changes nothing in the count.
    request({"product.0"}, response({product("product.0")}));
    EXPECT_EQ(cache->validProductCount(), 100u);

    request({"fresh", "gone"}, response({product("fresh")}, {"gone"}));
    EXPECT_EQ(cache->validProductCount(), 1u);
    EXPECT_EQ(cache->invalidIdentifierCount(), 1u);
    EXPECT_TRUE(cache->cachedProductForProductIdentifier("fresh"));
    EXPECT_FALSE(cache->cachedProductForProductIdentifier("product.0"));
}

TEST_F(ProductCacheTest, AnAnswerAfterTheCacheIsGoneStillReachesTheCaller) {
    std::optional<Answer> answer;
    {
        auto shortLived = MSRInAppPurchaseProductCache::create(requester);
        shortLived->requestProductsWithProductIdentifiers(
            {"gold"}, queue,
            [&](MSRProductsByIdentifier products, std::set<std::string> invalid, std::optional<platform::Error> error) {
                answer = Answer{std::move(products), std::move(invalid), std::move(error)};
            });
    }
    requester->answer(response({product("gold")}));
    ASSERT_TRUE(testing::eventually([&] {
        queue->drain();
        return answer.has_value();
    }));
    EXPECT_EQ(answer->products.size(), 1u);
}

}  // namespace
}  // namespace kit::measurement

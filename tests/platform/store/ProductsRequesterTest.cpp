#include "platform/store/Products.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ProductsRequesterTest, TheDefaultRequesterRefusesEveryRequestAndNeverAnswers) {
    const auto requester = ProductsRequester::defaultRequester();
    ASSERT_NE(requester, nullptr);
    EXPECT_EQ(requester, ProductsRequester::defaultRequester());
    bool answered = false;
    EXPECT_FALSE(requester->startRequest({"com.example.gold"}, [&](Expected<ProductsResponse>) { answered = true; }));
    EXPECT_FALSE(requester->startRequest({}, [&](Expected<ProductsResponse>) { answered = true; }));
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace platform

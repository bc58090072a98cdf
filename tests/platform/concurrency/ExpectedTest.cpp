#include "platform/Expected.h"
#include "platform/ProgrammerError.h"
#include "platform/Value.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace platform {
namespace {

Expected<int> parsePositive(int value) {
    if (value <= 0) {
        return unexpected(Error("test", 1, "not positive"));
    }
    return value;
}

TEST(ExpectedTest, HoldsAValueOrAnError) {
    const auto good = parsePositive(3);
    ASSERT_TRUE(good);
    EXPECT_EQ(*good, 3);
    EXPECT_EQ(good.valueOr(9), 3);

    const auto bad = parsePositive(-1);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().domain(), "test");
    EXPECT_EQ(bad.error().code(), 1);
    EXPECT_EQ(bad.valueOr(9), 9);
    EXPECT_THROW(bad.value(), Error);
    EXPECT_THROW(good.error(), std::logic_error);
}

TEST(ExpectedTest, VoidAndOptionalTellSuccessNothingAndFailureApart) {
    const Expected<void> done;
    EXPECT_TRUE(done);
    const Expected<void> failed = unexpected(Error("test", 2, "failed"));
    EXPECT_FALSE(failed);
    EXPECT_THROW(failed.value(), Error);

    const Expected<std::optional<std::string>> nothing = std::optional<std::string>();
    ASSERT_TRUE(nothing);
    EXPECT_FALSE(nothing->has_value());

    // Move-only values move out.
    Expected<std::unique_ptr<int>> owned = std::make_unique<int>(5);
    const std::unique_ptr<int> taken = std::move(owned).value();
    EXPECT_EQ(*taken, 5);
}

TEST(ProgrammerErrorTest, CarriesNameAndReason) {
    try {
        throw ProgrammerError("com.halo.core", "Default app has already been configured.");
    } catch (const ProgrammerError& error) {
        EXPECT_EQ(error.name(), "com.halo.core");
        EXPECT_STREQ(error.reason(), "Default app has already been configured.");
    }
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(ErrorDetailsTest, FailureReasonAndUserInfoTravelWithCopies) {
    const Error plain("com.lumen.test", 1025, "Failed to inflate");
    EXPECT_EQ(plain.failureReason(), "");
    EXPECT_EQ(plain.userInfo(), Value(Value::Dictionary{}));

    const Error detailed =
        plain.withFailureReason("stream ended early").withUserInfo(Value(Value::Dictionary{{"zlibStatus", Value(-5)}}));
    // The original is unchanged; the copy carries both.
    EXPECT_EQ(plain.failureReason(), "");
    EXPECT_EQ(detailed.failureReason(), "stream ended early");
    EXPECT_EQ(detailed.userInfo().find("zlibStatus")->asInteger(), -5);
    EXPECT_EQ(detailed.code(), 1025);
    try {
        throw detailed;
    } catch (const Error& caught) {
        EXPECT_EQ(caught.failureReason(), "stream ended early");
        EXPECT_EQ(caught.userInfo(), detailed.userInfo());
    }
    const Expected<int> failed = unexpected(detailed);
    EXPECT_EQ(failed.error().userInfo(), detailed.userInfo());
}

}  // namespace
}  // namespace platform

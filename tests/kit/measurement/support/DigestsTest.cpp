#include "kit/measurement/support/MSRDigests.h"

#include <gtest/gtest.h>

#include <vector>

namespace kit::measurement {
namespace {

TEST(MSRDigestsTest, MD5MatchesTheReferenceVectors) {
    struct Row {
        std::string text;
        std::string hex;
    };
    const Row rows[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(msr_MD5String(row.text), row.hex);
        EXPECT_EQ(msr_MD5Data(row.text)[0], std::stoi(row.hex.substr(0, 2), nullptr, 16));
    }
    // "abc": bytes 8 to 15 of the digest, big-endian and signed.
    EXPECT_EQ(msr_64LSBMD5(std::string_view("abc")), static_cast<std::int64_t>(0xd6963f7d28e17f72ULL));
}

TEST(MSRDigestsTest, MD5StringRefusesTextThatIsNotUTF8) {
    EXPECT_EQ(msr_MD5String("\xFF"), std::nullopt);
    EXPECT_EQ(msr_MD5String("ab\xE2\x82"), std::nullopt);
    EXPECT_EQ(msr_MD5String("\xED\xA0\x80"), std::nullopt);  // a surrogate
    // The replacement character itself is valid text.
    EXPECT_TRUE(msr_MD5String("\xEF\xBF\xBD").has_value());
}

TEST(MSRDigestsTest, LeastSignificantBitsTakeTheLastEightBytes) {
    const std::vector<std::uint8_t> three = {1, 2, 3};
    const std::vector<std::uint8_t> nine = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<std::uint8_t> high(8, 0xff);
    EXPECT_EQ(msr_64LeastSignificantBits(three), 0x010203);
    EXPECT_EQ(msr_64LeastSignificantBits(nine), 0x0102030405060708);
    EXPECT_EQ(msr_64LeastSignificantBits(high), -1);
    EXPECT_EQ(msr_64LeastSignificantBits({}), 0);
}

TEST(MSRDigestsTest, BitStringsAnswerOnlyInsideTheirLength) {
    EXPECT_TRUE(isBitEnabledAtIndex("0101", 3));
    EXPECT_FALSE(isBitEnabledAtIndex("0101", 2));
    EXPECT_FALSE(isBitEnabledAtIndex("0101", 4));
    EXPECT_FALSE(isBitEnabledAtIndex("0101", -1));
    EXPECT_FALSE(isBitEnabledAtIndex("", 0));
}

}  // namespace
}  // namespace kit::measurement

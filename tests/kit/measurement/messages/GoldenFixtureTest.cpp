// Realistic messages encoded by protoc decode and encode back to the same bytes.

#include "MessageTestSupport.h"

namespace kit::measurement {
namespace {

TEST(GoldenFixtures, DecodeThenEncodeGivesProtocsBytes) {
    for (const testing::Fixture& fixture : testing::goldenFixtures()) {
        SCOPED_TRACE(fixture.file);
        const testing::Bytes bytes = testing::fixtureBytes(fixture);
        ASSERT_GT(bytes.size(), 100u);

        platform::CaptureLogSink log;
        const auto decoded = decodeMessage(testing::messageTypeNamed(fixture.message), bytes, log);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_TRUE(log.drainLines().empty());
        const auto encoded = encodeMessage(*decoded);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_EQ(testing::hexText(*encoded), testing::hexText(bytes));

        // A deep copy encodes alike and owns its own cells.
        const NanoMessageInfo copy = copyMessage(*decoded);
        EXPECT_EQ(testing::recordDifference(*decoded, copy), "");
        EXPECT_EQ(encodeMessage(copy), encoded);
    }
}

TEST(GoldenFixtures, ArrayParametersKeepTheirElementsInOrder) {
    const auto decoded =
        decodeMessage(MessageType::MeasurementBatch, testing::fixtureBytes(testing::goldenFixtures()[0]));
    ASSERT_TRUE(decoded.has_value());
    const auto& bundles = std::get<NanoMessageList>(decoded->slots[0]);
    ASSERT_EQ(bundles.size(), 2u);
    const auto& events = std::get<NanoMessageList>(bundles[0].slots[1]);
    ASSERT_EQ(events.size(), 2u);
    const auto& parameters = std::get<NanoMessageList>(events[1].slots[0]);
    ASSERT_EQ(parameters.size(), 5u);
    const auto& items = std::get<NanoMessageList>(parameters[4].slots[5]);
    ASSERT_EQ(items.size(), 2u);
    const auto& first = std::get<NanoMessageList>(items[0].slots[5]);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(std::get<std::string>(first[0].slots[0]), "item_id");
    EXPECT_EQ(std::get<std::string>(first[0].slots[1]), "SKU-1042");
    EXPECT_EQ(std::get<std::uint64_t>(first[1].slots[2]), 2u);
    // The empty session stitching token is present, and kept as such.
    EXPECT_EQ(std::get<std::string>(bundles[1].slots[43]), "");
}

}  // namespace
}  // namespace kit::measurement

#include "Process.h"
#include "RulesTestSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSREvent.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kit::measurement {
namespace {

using platform::Value;
using testing::RulesTest;

class EventConversionTest : public RulesTest {};

std::string decodeRaw(const NanoBytes& bytes) {
    const std::filesystem::path input =
        std::filesystem::path(::testing::TempDir()) / ("event-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto result = platform::testing::runCommand(std::string(PROTOC_EXECUTABLE) + " --decode_raw < " +
                                                      platform::testing::shellQuote(input.string()));
    std::filesystem::remove(input);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

bool hasLine(const std::vector<std::string>& all, const std::string& line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}

MSREvent fixedEvent(double previousTimestamp) {
    const MSRObjectDictionary parameters{
        {"count", Value(std::int64_t{3})},
        {"label", Value("x")},
        {"ratio", Value(0.5)},
        {"items",
         Value(Value::Array{Value(Value::Dictionary{{"item_id", Value("a")}, {"quantity", Value(std::int64_t{2})}})})},
    };
    return *MSREvent::initWithOrigin("app", true, "purchase", 1700000000.1239, previousTimestamp, parameters);
}

TEST_F(EventConversionTest, MessageFieldsAsProtocReadsThem) {
    const auto bytes = fixedEvent(0).protoEvent().protoBuffer();
    ASSERT_TRUE(bytes);
    const auto text = lines(decodeRaw(*bytes));
    EXPECT_TRUE(hasLine(text, "2: \"purchase\""));
    EXPECT_TRUE(hasLine(text, "3: 1700000000123"));
    EXPECT_FALSE(std::any_of(text.begin(), text.end(), [](const std::string& l) { return l.starts_with("4:"); }));
    // An item's parameters sit two levels down, under field 6 of its element
    // under field 6 of "items", and nothing lies deeper.
    EXPECT_TRUE(hasLine(text, "      1: \"item_id\""));
    EXPECT_TRUE(hasLine(text, "      2: \"a\""));
    EXPECT_TRUE(hasLine(text, "      1: \"quantity\""));
    EXPECT_TRUE(hasLine(text, "      3: 2"));
    EXPECT_FALSE(std::any_of(text.begin(), text.end(), [](const std::string& l) { return l.starts_with("        "); }));
    EXPECT_TRUE(hasLine(text, "  1: \"items\""));
    EXPECT_TRUE(hasLine(text, "  2: \"app\""));  // the origin

    const auto withPrevious = lines(decodeRaw(*fixedEvent(1.5).protoEvent().protoBuffer()));
    EXPECT_TRUE(hasLine(withPrevious, "4: 1500"));
    // Just above zero but below a millisecond still writes the field, as 0.
    const auto tiny = lines(decodeRaw(*fixedEvent(1e-6).protoEvent().protoBuffer()));
    EXPECT_TRUE(hasLine(tiny, "4: 0"));
}

TEST_F(EventConversionTest, DecodingGivesBackTheScalars) {
    const MSREvent original = fixedEvent(1.5);
    const auto bytes = original.protoEvent().protoBuffer();
    const auto proto = MSRPBEvent::initWithBuffer(*bytes);
    ASSERT_TRUE(proto);
    const auto decoded = MSREvent::initWithEventProto(*proto);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->name(), "purchase");
    EXPECT_EQ(decoded->origin(), "app");
    EXPECT_DOUBLE_EQ(decoded->timestamp(), 1700000000.123);
    EXPECT_DOUBLE_EQ(decoded->previousTimestamp(), 1.5);
    EXPECT_EQ(decoded->parameters().at("count"), MSRValue::initWithInt64(3));
    EXPECT_EQ(decoded->parameters().at("ratio"), MSRValue::initWithDouble(0.5));
    EXPECT_EQ(decoded->parameters().at("label"), MSRValue::initWithString("x"));
    EXPECT_FALSE(decoded->parameters().contains("items"));
    EXPECT_EQ(decoded->parameters().size(), 4u);  // with "_o"

    // Without "_o" there is no event; an "_o" that is not text is logged.
    MSRPBEvent bare;
    NanoMessageSetString(bare, 1, "level_up");
    EXPECT_FALSE(MSREvent::initWithEventProto(bare));
    MSRPBEventParam origin;
    NanoMessageSetString(origin, 0, "_o");
    NanoMessageSetInt64(origin, 2, 1);
    MSRPBEventParam nameless;
    NanoMessageSetInt64(nameless, 2, 1);
    NanoMessageSetArray(bare, 0, std::vector<MSRPBEventParam>{nameless, origin});
    services().drainLines();
    EXPECT_FALSE(MSREvent::initWithEventProto(bare));
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{15000, 15001}));
}

TEST_F(EventConversionTest, EditEventsMapNamesBothWays) {
    const auto session = *MSREvent::initWithOrigin("auto", false, "_s", 10.0, 0, {{"_sno", Value(std::int64_t{2})}});
    const MSRPEvent edit = session.editEvent();
    EXPECT_EQ(edit.name(), "session_start");
    EXPECT_DOUBLE_EQ(edit.timestamp(), 10.0);
    EXPECT_EQ(*edit.parameters().at("_sno").asInteger(), 2);
    EXPECT_EQ(*edit.parameters().at("_o").asString(), "auto");
    const auto back = MSREvent::eventFromEditEvent(edit);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name(), "_s");
    EXPECT_EQ(back->origin(), "auto");
    EXPECT_EQ(back->previousTimestamp(), 0.0);

    const MSRPEvent unmapped("level_up", 11.0, {{"score", Value(std::int64_t{9})}});
    const auto plain = MSREvent::eventFromEditEvent(unmapped);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->name(), "level_up");
    EXPECT_EQ(plain->origin(), "app");
    EXPECT_EQ(plain->parameters().at("score"), MSRValue::initWithInt64(9));

    const auto purchase = fixedEvent(0).editEvent();
    EXPECT_EQ(purchase.name(), "purchase");
    EXPECT_EQ(purchase.parameters().at("items").asArray()->size(), 1u);
}

TEST_F(EventConversionTest, UserAttributeMessage) {
    const auto attribute = MSRUserAttribute::initWithOrigin("app", "plan", MSRValue::initWithInt64(4), 2.5);
    const auto text = lines(decodeRaw(*attribute->protoUserAttribute().protoBuffer()));
    EXPECT_TRUE(hasLine(text, "1: 2500"));
    EXPECT_TRUE(hasLine(text, "2: \"plan\""));
    EXPECT_TRUE(hasLine(text, "4: 4"));
}

}  // namespace
}  // namespace kit::measurement

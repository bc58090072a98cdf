#include "platform/Value.h"

#include "TestSupport.h"

#include <cmath>
#include <cstdio>

namespace platform {
namespace {

using namespace std::chrono;

Value everyKind() {
    return Value(Value::Dictionary{
        {"bool", true},
        {"false", false},
        {"int", std::int64_t{1234567890123}},
        {"negative", -42},
        {"double", 2.5},
        {"string", "grüße & <tags>"},
        {"empty", ""},
        {"data", Value::Data{0, 1, 2, 0xff, 0x80}},
        {"date", Value::Date(microseconds(1765300000000000))},
        {"array", Value::Array{1, "two", Value::Array{}, Value::Dictionary{}}},
        {"nested", Value::Dictionary{{"b", 1}, {"a", Value::Array{false}}}},
    });
}

TEST(ValueTest, PlistRoundTripKeepsEveryKind) {
    const Value original = everyKind();
    const auto parsed = Value::fromPlist(original.toXmlPlist());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, original);
}

TEST(ValueTest, PlistIsReadableByPlistutil) {
    if (std::system("command -v plistutil >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "plistutil is not installed";
    }
    testing::TemporaryDirectory folder;
    const auto xml = folder.path() / "in.plist";
    const auto binary = folder.path() / "out.bplist";
    testing::writeFile(xml, everyKind().toXmlPlist());
    const std::string command = "plistutil -i '" + xml.string() + "' -o '" + binary.string() + "' -f bin";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // The binary form converted back by the tool still holds the same values.
    const auto parsed = Value::fromPlist(testing::readFile(binary));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, everyKind());
}

TEST(ValueTest, JsonConversions) {
    const auto parsed = Value::fromJson(R"({"a":[1,2.5,"x",true,null],"b":{"c":-7}})");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->find("a")->asArray()->at(0), Value(1));
    EXPECT_TRUE(parsed->find("a")->asArray()->at(1).isDouble());
    EXPECT_TRUE(parsed->find("a")->asArray()->at(4).isNull());
    EXPECT_EQ(*parsed->find("b")->find("c")->asInteger(), -7);
    EXPECT_EQ(Value::fromJson(parsed->toJson()), parsed);

    EXPECT_FALSE(Value::fromJson("{broken").has_value());
    EXPECT_EQ(Value(Value::Data{'h', 'i', '!'}).toJson(), "\"aGkh\"");
    EXPECT_EQ(Value(Value::Date(seconds(0))).toJson(), "\"1970-01-01T00:00:00Z\"");
    EXPECT_EQ(Value(std::nan("")).toJson(), "null");
}

TEST(ValueTest, TypedViewsConvertNumbersOnly) {
    EXPECT_EQ(Value(3).asDouble(), 3.0);
    EXPECT_EQ(Value(3.9).asInteger(), 3);
    EXPECT_FALSE(Value("3").asInteger().has_value());
    EXPECT_FALSE(Value(1).asBool().has_value());
    EXPECT_EQ(Value(1).find("x"), nullptr);
    EXPECT_FALSE(Value::fromPlist("not a plist").has_value());
    EXPECT_FALSE(Value::fromPlist("").has_value());
}

}  // namespace
}  // namespace platform

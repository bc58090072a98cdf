#include "platform/Value.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include "TestSupport.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

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

TEST(ValueTest, LenientReadingsOfTextAndNumbers) {
    struct BoolCase {
        Value value;
        std::optional<bool> expected;
    };
    const BoolCase bools[] = {
        {Value("YES"), true},    {Value("yes"), true},
        {Value("true"), true},   {Value("T"), true},
        {Value("  +007"), true}, {Value("-1"), true},
        {Value("0009x"), true},  {Value("NO"), false},
        {Value("false"), false}, {Value("000"), false},
        {Value(""), false},      {Value("  "), false},
        {Value("0x1"), false},   {Value("+-1"), false},
        {Value(" \t y"), true},  {Value(true), true},
        {Value(0), false},       {Value(-3), true},
        {Value(0.0), false},     {Value(0.25), true},
        {Value(), std::nullopt}, {Value(Value::Array{}), std::nullopt},
    };
    for (const auto& item : bools) {
        EXPECT_EQ(item.value.boolValue(), item.expected) << item.value.toJson();
    }
    struct IntegerCase {
        Value value;
        std::optional<std::int64_t> expected;
    };
    const IntegerCase integers[] = {
        {Value("2"), 2},
        {Value(" -17abc"), -17},
        {Value("1b3"), 1},
        {Value(""), 0},
        {Value("x5"), 0},
        {Value("99999999999999999999"), std::numeric_limits<std::int64_t>::max()},
        {Value("-99999999999999999999"), std::numeric_limits<std::int64_t>::min()},
        {Value("-9223372036854775808"), std::numeric_limits<std::int64_t>::min()},
        {Value("9223372036854775807"), std::numeric_limits<std::int64_t>::max()},
        {Value(1e30), std::numeric_limits<std::int64_t>::max()},
        {Value(-2.7), -2},
        {Value(true), 1},
        {Value(Value::Data{}), std::nullopt},
    };
    for (const auto& item : integers) {
        EXPECT_EQ(item.value.integerValue(), item.expected) << item.value.toJson();
    }
    EXPECT_EQ(Value(0.1).descriptionText(), "0.1");
    EXPECT_EQ(Value(2.0).descriptionText(), "2");
    EXPECT_EQ(Value(-12).descriptionText(), "-12");
    EXPECT_EQ(Value(true).descriptionText(), "1");
    EXPECT_EQ(Value("granted").descriptionText(), "granted");
}

TEST(ValueTest, PlistRefusesWhatLibplistWouldWrapOrCut) {
    using namespace std::chrono;
    const auto dateOn = [](year_month_day day) { return Value::Date(sys_days(day)); };
    struct Case {
        const char* name;
        Value value;
        std::optional<ValueError> code;  // none: stored and read back unchanged
    };
    const Case cases[] = {
        {"2100", dateOn(year(2100) / January / 1), ValueError::dateOutOfRange},
        {"1900", dateOn(year(1900) / January / 1), ValueError::dateOutOfRange},
        {"nested 2100", Value::Dictionary{{"a", Value::Array{dateOn(year(2100) / January / 1)}}},
         ValueError::dateOutOfRange},
        {"1933", dateOn(year(1933) / January / 1), std::nullopt},
        {"2069", dateOn(year(2069) / January / 1), std::nullopt},
        {"NUL in text", Value::Array{std::string("before\0after", 12)}, ValueError::textWithNul},
        {"NUL in key", Value::Dictionary{{std::string("k\0ey", 4), 1}}, ValueError::textWithNul},
        {"NUL in a left-out member's key", Value::Dictionary{{std::string("k\0", 2), Value()}}, std::nullopt},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        if (!item.code) {
            EXPECT_EQ(Value::fromPlist(item.value.toXmlPlist()),
                      item.value.isDictionary() ? Value(Value::Dictionary{}) : item.value);
            continue;
        }
        try {
            item.value.toXmlPlist();
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_TRUE(error.is(*item.code)) << error.domain() << " " << error.code() << ": " << error.what();
        }
    }
}

// `depth` arrays nested in XML, JSON or binary plist form.
std::string nestedArrays(const std::string& form, int depth) {
    if (form == "xml") {
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
        for (int i = 0; i < depth; ++i) {
            text += "<array>";
        }
        for (int i = 0; i < depth; ++i) {
            text += "</array>";
        }
        return text + "</plist>";
    }
    if (form == "xml dict") {
        std::string text = "<plist version=\"1.0\">";
        for (int i = 0; i < depth; ++i) {
            text += "<dict><key>k</key>";
        }
        text += "<true/>";
        for (int i = 0; i < depth; ++i) {
            text += "</dict>";
        }
        return text + "</plist>";
    }
    if (form == "json") {
        return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
    }
    // Binary: object i is an array holding object i + 1; the last is empty.
    std::string bytes = "bplist00";
    std::vector<std::uint32_t> offsets;
    auto bigEndian = [&](std::uint64_t value, int size) {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((value >> shift) & 0xff);
        }
    };
    for (int i = 0; i < depth; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
        if (i + 1 < depth) {
            bytes += '\xA1';
            bigEndian(static_cast<std::uint64_t>(i) + 1, 4);
        } else {
            bytes += '\xA0';
        }
    }
    const std::size_t table = bytes.size();
    for (const auto offset : offsets) {
        bigEndian(offset, 4);
    }
    bytes += std::string(6, '\0');
    bytes += '\x04';
    bytes += '\x04';
    bigEndian(static_cast<std::uint64_t>(depth), 8);
    bigEndian(0, 8);
    bigEndian(table, 8);
    return bytes;
}

int nestingOf(const Value& value) {
    int depth = 0;
    for (const Value* node = &value; node != nullptr;) {
        if (const auto* array = node->asArray()) {
            ++depth;
            node = array->empty() ? nullptr : &array->front();
        } else if (const auto* dictionary = node->asDictionary()) {
            ++depth;
            node = dictionary->empty() ? nullptr : &dictionary->begin()->second;
        } else {
            node = nullptr;
        }
    }
    return depth;
}

// A binary plist of the given objects (raw marker and contents, references
// one byte wide), object 0 at the top.
std::string binaryPlist(const std::vector<std::string>& objects) {
    std::string bytes = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
        bytes += object;
    }
    const std::uint64_t table = bytes.size();
    auto bigEndian = [&](std::uint64_t value, int size) {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((value >> shift) & 0xff);
        }
    };
    for (const auto offset : offsets) {
        bigEndian(offset, 4);
    }
    bytes += std::string(6, '\0');
    bytes += '\x04';  // offset size
    bytes += '\x01';  // reference size
    bigEndian(objects.size(), 8);
    bigEndian(0, 8);
    bigEndian(table, 8);
    return bytes;
}

std::string object(std::initializer_list<int> bytes) {
    std::string text;
    for (const int byte : bytes) {
        text += static_cast<char>(byte);
    }
    return text;
}

// {"k": value}, value being object 2 and the key object 1.
std::vector<std::string> underKey(std::vector<std::string> rest) {
    rest.insert(rest.begin(), {object({0xD1, 1, 2}), object({0x51, 'k'})});
    return rest;
}

// Input that would make libplist assert, or expand shared objects into
// gigabytes, is refused before it is parsed; sharing within the bytes read
// is fine.
TEST(ValueTest, BinaryPlistsThatWouldCrashTheParserAreRefused) {
    std::vector<std::string> sharedArrays = underKey({});
    for (int level = 2; level < 42; ++level) {
        sharedArrays.push_back(object({0xA2, level + 1, level + 1}));  // two references to the next array
    }
    sharedArrays.push_back(object({0xA0}));
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<Value> expected;
    };
    const Case cases[] = {
        {"UTF-16 text", binaryPlist(underKey({object({0x62, 0x00, 0xE9, 0x00, 'b'})})),
         Value(Value::Dictionary{{"k",
                                  "\xC3\xA9"
                                  "b"}})},
        {"UTF-16 text with NUL", binaryPlist(underKey({object({0x62, 0x00, 0xE9, 0x00, 0x00})})), std::nullopt},
        {"ASCII text with NUL", binaryPlist(underKey({object({0x53, 'a', 0, 'b'})})), std::nullopt},
        {"UTF-16 key with NUL",
         binaryPlist({object({0xD1, 1, 2}), object({0x62, 0x00, 'k', 0x00, 0x00}), object({0x09})}), std::nullopt},
        {"one array shared twice",
         binaryPlist(underKey({object({0xA2, 3, 3}), object({0xA2, 4, 4}), object({0x51, 'x'})})),
         Value(Value::Dictionary{{"k", Value::Array{Value::Array{"x", "x"}, Value::Array{"x", "x"}}}})},
        {"arrays shared 2^40 times", binaryPlist(sharedArrays), std::nullopt},
        {"XML with NUL", std::string("<plist version=\"1.0\"><string>a\0b</string></plist>", 48), std::nullopt},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        EXPECT_EQ(Value::fromPlist(item.bytes), item.expected);
    }
}

TEST(ValueTest, NestingDeeperThan512IsRefusedNotACrash) {
    struct Case {
        const char* form;
        int depth;
        bool accepted;
    };
    const Case cases[] = {
        {"xml", 512, true},        {"xml", 513, false},         {"xml", 100000, false}, {"xml dict", 512, true},
        {"xml dict", 513, false},  {"xml dict", 100000, false}, {"binary", 512, true},  {"binary", 513, false},
        {"binary", 100000, false}, {"json", 512, true},         {"json", 513, false},   {"json", 200000, false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(std::string(item.form) + " " + std::to_string(item.depth));
        const std::string text = nestedArrays(item.form, item.depth);
        const auto parsed = std::string_view(item.form) == "json" ? Value::fromJson(text) : Value::fromPlist(text);
        ASSERT_EQ(parsed.has_value(), item.accepted);
        if (parsed) {
            EXPECT_EQ(nestingOf(*parsed), item.depth);
        }
    }
    // Deep JSON objects too, and many self-closing elements side by side.
    std::string objects;
    for (int i = 0; i < 200000; ++i) {
        objects += "{\"a\":";
    }
    objects += "1" + std::string(200000, '}');
    EXPECT_FALSE(Value::fromJson(objects).has_value());
    std::string flat = "<plist version=\"1.0\"><array>";
    for (int i = 0; i < 100000; ++i) {
        flat += i % 2 == 0 ? "<array/>" : "<dict/>";
    }
    flat += "<!-- <array> --><string><![CDATA[<array>]]></string></array></plist>";
    const auto wide = Value::fromPlist(flat);
    ASSERT_TRUE(wide.has_value());
    ASSERT_EQ(wide->asArray()->size(), 100001u);
    EXPECT_EQ(wide->asArray()->back(), Value("<array>"));
    // What we would refuse to read, we refuse to write.
    Value deep = Value::Array{};
    for (int i = 1; i < 513; ++i) {
        deep = Value::Array{std::move(deep)};
    }
    EXPECT_THROW(deep.toXmlPlist(), Error);
}

}  // namespace
}  // namespace platform

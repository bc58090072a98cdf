// Experiment flags between plain values and their wire form.

#include "AccessTestSupport.h"

namespace kit::measurement {
namespace {

using platform::Value;
using Entry = testing::RecordingMonitor::Entry;

struct FlagCase {
    std::string name;
    Value flagName;
    Value value;
    std::optional<std::string> encoded;  // hex; nothing when no flag is made
    std::vector<Entry> monitorEntries = {};
};

const std::vector<FlagCase>& flagCases() {
    static const std::vector<FlagCase> cases{
        {"a string goes to slot 2", Value("f"), Value("on"), "0a 01 66 1a 02 6f 6e"},
        {"a double goes to slot 3", Value("f"), Value(2.5), "0a 01 66 21 00 00 00 00 00 00 04 40"},
        {"an integer goes to slot 1", Value("f"), Value(-2), "0a 01 66 10 fe ff ff ff ff ff ff ff ff 01"},
        {"true goes to slot 1 as the integer 1", Value("f"), Value(true), "0a 01 66 10 01"},
        {"false goes to slot 1 as the integer 0", Value("f"), Value(false), "0a 01 66 10 00"},
        {"an empty name is a name", Value(""), Value(1), "0a 00 10 01"},
        {"no name", Value(), Value(1), std::nullopt, {{1, 850000, "Flag name must not be nil", std::nullopt}}},
        {"a name that is not a string",
         Value(7),
         Value(1),
         std::nullopt,
         {{1, 850001, "Flag name must be a string", Value("Integer")}}},
        {"no value", Value("f"), Value(), std::nullopt, {{1, 850002, "Flag value is invalid", Value("Null")}}},
        {"a list value",
         Value("f"),
         Value(Value::Array{Value(1)}),
         std::nullopt,
         {{1, 850002, "Flag value is invalid", Value("Array")}}},
        {"a data value",
         Value("f"),
         Value(Value::Data{1}),
         std::nullopt,
         {{1, 850002, "Flag value is invalid", Value("Data")}}},
        {"no name and no value: only the name is reported",
         Value(),
         Value(),
         std::nullopt,
         {{1, 850000, "Flag name must not be nil", std::nullopt}}},
    };
    return cases;
}

class FlagProto : public testing::CapturedLines, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(FlagProto, IsBuiltOrReported) {
    const FlagCase& flagCase = flagCases()[GetParam()];
    SCOPED_TRACE(flagCase.name);
    testing::RecordingMonitor monitor;
    const auto flag = MSRFlagProtoWithNameValue(flagCase.flagName, flagCase.value, monitor);
    EXPECT_EQ(monitor.entries, flagCase.monitorEntries);
    ASSERT_EQ(flag.has_value(), flagCase.encoded.has_value());
    if (flag) {
        EXPECT_EQ(testing::hexText(*flag->protoBuffer()), *flagCase.encoded);
        EXPECT_FALSE(NanoMessageHasField(*flag, 4));
    }
    EXPECT_TRUE(lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, FlagProto, ::testing::Range<std::size_t>(0, flagCases().size()));

class FlagValue : public testing::CapturedLines {};

TEST_F(FlagValue, IsTheFirstPresentOfIntegerDoubleStringBoolean) {
    struct Row {
        std::string hex;
        std::optional<Value> value;
    };
    // Slots 1 integer (tag 2), 2 string (tag 3), 3 double (tag 4), 4 Boolean (tag 5).
    const std::vector<Row> rows{
        {"0a 01 66 10 05 1a 01 73 21 00 00 00 00 00 00 04 40 28 01", Value(5)},
        {"0a 01 66 1a 01 73 10 05", Value(5)},  // integer preferred over an earlier string
        {"0a 01 66 1a 01 73 21 00 00 00 00 00 00 04 40 28 01", Value(2.5)},
        {"0a 01 66 1a 01 73 28 01", Value("s")},
        {"0a 01 66 28 01", Value(true)},
        {"0a 01 66 28 00", Value(false)},
        {"0a 01 66 10 00", Value(0)},
        {"0a 01 66", std::nullopt},
        {"", std::nullopt},
        {"0a 01 66 1a 01 ff 28 01", std::nullopt},  // a string that is not UTF-8 gives nothing
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hex);
        const auto flag = MSRPBFlag::initWithBuffer(testing::hexBytes(row.hex));
        ASSERT_TRUE(flag.has_value());
        EXPECT_EQ(MSRFlagValueFromProto(*flag), row.value);
    }
    EXPECT_EQ(MSRFlagValueFromProto(std::optional<MSRPBFlag>()), std::nullopt);
    EXPECT_TRUE(lines().empty());
}

TEST_F(FlagValue, ReadsBackWhatTheBuilderStored) {
    for (const Value& value : {Value("on"), Value(2.5), Value(-2), Value(true)}) {
        const auto flag = MSRFlagProtoWithNameValue(Value("f"), value);
        ASSERT_TRUE(flag.has_value());
        EXPECT_EQ(NanoMessageGetString(*flag, 0), "f");
        EXPECT_EQ(MSRFlagValueFromProto(flag), value.isBool() ? Value(1) : value);
    }
}

TEST_F(FlagValue, FailuresGoToTheInstalledMonitorElseToTheLog) {
    auto monitor = std::make_shared<testing::RecordingMonitor>();
    installExperimentMonitor(monitor);
    EXPECT_FALSE(MSRFlagProtoWithNameValue(Value(), Value(1)).has_value());
    EXPECT_FALSE(MSRFlagProtoWithNameValue(Value("f"), Value(Value::Dictionary{})).has_value());
    EXPECT_EQ(monitor->entries, (std::vector<Entry>{{1, 850000, "Flag name must not be nil", std::nullopt},
                                                    {1, 850002, "Flag value is invalid", Value("Dictionary")}}));
    EXPECT_TRUE(lines().empty());

    installExperimentMonitor(nullptr);
    EXPECT_FALSE(MSRFlagProtoWithNameValue(Value(false), Value(1)).has_value());
    const auto written = lines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(written[0].find("850001"), std::string::npos) << written[0];
    EXPECT_NE(written[0].find("Flag name must be a string"), std::string::npos) << written[0];
    EXPECT_EQ(monitor->entries.size(), 2u);
}

}  // namespace
}  // namespace kit::measurement

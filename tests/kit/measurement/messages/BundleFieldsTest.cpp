// The bundle and batch as the engine fills them through the accessors, read
// back by protoc with our schema and by the wrappers themselves.

#include "AccessTestSupport.h"

#include <functional>
#include <set>
#include <sstream>

namespace kit::measurement {
namespace {

using platform::Value;

// protoc's text of `bytes`: decoded with our schema, or raw (tags only).
std::string protocDecode(const NanoBytes& bytes, std::optional<std::string_view> messageName) {
    static int serial = 0;
    const std::filesystem::path input =
        std::filesystem::path(::testing::TempDir()) /
        ("decode-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".bin");
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    using platform::testing::shellQuote;
    const std::string mode = messageName ? " --decode=stubforge.measurement." + std::string(*messageName) +
                                               " --proto_path=" + shellQuote(testing::schemaFolder().string()) + " " +
                                               shellQuote((testing::schemaFolder() / "measurement.proto").string())
                                         : std::string(" --decode_raw");
    const auto result =
        platform::testing::runCommand(std::string(PROTOC_EXECUTABLE) + mode + " < " + shellQuote(input.string()));
    std::filesystem::remove(input);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output;
}

// The lines of `text` that are not indented: the message's own fields.
std::set<std::string> topLevelLines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line[0] != ' ' && line[0] != '}') {
            lines.insert(line);
        }
    }
    return lines;
}

MSRPBEventParam parameter(std::string_view name, std::optional<std::string_view> text,
                          std::optional<std::int64_t> integer = std::nullopt,
                          std::optional<double> floating = std::nullopt) {
    MSRPBEventParam param;
    if (!name.empty()) {
        NanoMessageSetString(param, 0, name);
    }
    if (text) {
        NanoMessageSetString(param, 1, *text);
    }
    if (integer) {
        NanoMessageSetInt64(param, 2, *integer);
    }
    if (floating) {
        NanoMessageSetDouble(param, 4, *floating);
    }
    return param;
}

MSRPBEvent event(std::string_view name, std::int64_t millis, std::vector<MSRPBEventParam> parameters) {
    MSRPBEvent message;
    NanoMessageSetArray(message, 0, parameters);
    NanoMessageSetString(message, 1, name);
    NanoMessageSetInt64(message, 2, millis);
    NanoMessageSetInt64(message, 3, millis - 5000);
    return message;
}

MSRPBUserAttribute userAttribute(std::string_view name, std::int64_t value) {
    MSRPBUserAttribute attribute;
    NanoMessageSetInt64(attribute, 0, 1700000000000);
    NanoMessageSetString(attribute, 1, name);
    NanoMessageSetInt64(attribute, 3, value);
    return attribute;
}

MSRPBAudienceLeafFilterResult audienceResult(std::int32_t audience) {
    MSRPBResultData current;
    NanoMessageSetArray(current, 0, std::vector<std::uint64_t>{5, 0xFFFFFFFFFFFFFFFFULL});
    NanoMessageSetArray(current, 1, std::vector<std::uint64_t>{1});
    MSRPBDynamicFilterResultTimestamp timestamp;
    NanoMessageSetInt32(timestamp, 0, 3);
    NanoMessageSetInt64(timestamp, 1, 1700000000999);
    NanoMessageSetArray(current, 2, std::vector<MSRPBDynamicFilterResultTimestamp>{timestamp});
    MSRPBSequenceFilterResultTimestamp sequence;
    NanoMessageSetInt32(sequence, 0, 4);
    NanoMessageSetArray(sequence, 1, std::vector<std::int64_t>{10, 20});
    NanoMessageSetArray(current, 3, std::vector<MSRPBSequenceFilterResultTimestamp>{sequence});

    MSRPBAudienceLeafFilterResult result;
    NanoMessageSetInt32(result, 0, audience);
    NanoMessageSetMessage(result, 1, current);
    NanoMessageSetBool(result, 3, true);
    return result;
}

MSRPBAdCampaignInfo adCampaignInfo() {
    MSRPBAdCampaignInfo info;
    NanoMessageSetString(info, 0, "lclid-77");
    NanoMessageSetString(info, 1, "lbraid-88");
    NanoMessageSetString(info, 2, "newsletter");
    NanoMessageSetInt64(info, 3, 1700000000456);
    return info;
}

// One row per bundle field the engine writes: the slot, the line protoc shows for
// it with our schema, and the tag it must travel under.
struct BundleField {
    int slot;
    std::function<void(NanoMessage&, int)> set;
    std::string schemaLine;
    int tag;
};

std::function<void(NanoMessage&, int)> setInt32(std::int32_t value) {
    return [value](NanoMessage& message, int slot) { NanoMessageSetInt32(message, slot, value); };
}
std::function<void(NanoMessage&, int)> setInt64(std::int64_t value) {
    return [value](NanoMessage& message, int slot) { NanoMessageSetInt64(message, slot, value); };
}
std::function<void(NanoMessage&, int)> setString(std::string value) {
    return [value](NanoMessage& message, int slot) { NanoMessageSetString(message, slot, value); };
}
std::function<void(NanoMessage&, int)> setBool(bool value) {
    return [value](NanoMessage& message, int slot) { NanoMessageSetBool(message, slot, value); };
}

const std::vector<BundleField>& bundleFields() {
    static const std::vector<BundleField> rows{
        {0, setInt32(1), "field_1: 1", 1},
        {1,
         [](NanoMessage& message, int slot) {
             NanoMessageSetArray(message, slot, std::vector<MSRPBEvent>{event("_s", 1700000000001, {})});
         },
         "events {", 2},
        {2,
         [](NanoMessage& message, int slot) {
             NanoMessageSetArray(message, slot, std::vector<MSRPBUserAttribute>{userAttribute("_sno", 3)});
         },
         "user_attributes {", 3},
        {3, setInt64(1700000100004), "upload_timestamp_millis: 1700000100004", 4},
        {4, setInt64(1700000000005), "start_timestamp_millis: 1700000000005", 5},
        {5, setInt64(1700000000006), "end_timestamp_millis: 1700000000006", 6},
        {6, setInt64(1690000000026), "previous_bundle_start_timestamp_millis: 1690000000026", 26},
        {7, setInt64(1690000000007), "previous_bundle_end_timestamp_millis: 1690000000007", 7},
        {8, setString("macos"), "platform: \"macos\"", 8},
        {9, setString("14.2.1"), "os_version: \"14.2.1\"", 9},
        {10, setString("MacBookPro18,3"), "device_model: \"MacBookPro18,3\"", 10},
        {11, setString("en-us"), "user_default_language: \"en-us\"", 11},
        {12, setInt32(-300), "time_zone_offset_minutes: -300", 12},
        {13, setString("manual_install"), "install_source: \"manual_install\"", 13},
        {14, setString("org.stubforge.app"), "app_id: \"org.stubforge.app\"", 14},
        {16, setString("2.4.1"), "app_version: \"2.4.1\"", 16},
        {17, setInt64(110900), "library_version: 110900", 17},
        {18, setInt64(110901), "upload_library_version: 110901", 18},
        {19, setString("rdid-19"), "field_19: \"rdid-19\"", 19},
        {20, setString("vendor-27"), "field_27: \"vendor-27\"", 27},
        {21, setBool(true), "limited_ad_tracking: true", 20},
        {22, setString("instance-21"), "field_21: \"instance-21\"", 21},
        {24, setInt32(42), "bundle_index: 42", 23},
        {25, setString("monitoring-24"), "monitoring_data: \"monitoring-24\"", 24},
        {26, setString("1:123:macos:abc"), "lmp_app_id: \"1:123:macos:abc\"", 25},
        {28,
         [](NanoMessage& message, int slot) {
             NanoMessageSetArray(message, slot, std::vector<MSRPBAudienceLeafFilterResult>{audienceResult(9)});
         },
         "audience_evaluation_results {", 29},
        {29, setString("fid-30"), "installation_id: \"fid-30\"", 30},
        {30, setInt32(2), "app_version_major: 2", 31},
        {31, setInt32(4), "app_version_minor: 4", 32},
        {32, setInt32(1), "app_version_release: 1", 33},
        {34, setInt64(1699999999), "config_version: 1699999999", 35},
        {37,
         [](NanoMessage& message, int slot) {
             NanoMessageSetArray(message, slot, std::vector<std::uint32_t>{3000000045u});
         },
         "experiment_ids: 3000000045", 45},
        {38, setInt64(-4747), "checksum: -4747", 47},
        {40, setString("G1--"), "field_52: \"G1--\"", 52},
        {41, setInt32(2), "field_53: OPAQUE_CODE_2", 53},
        {43, setString("stitch-63"), "session_stitching_token: \"stitch-63\"", 63},
        {44,
         [](NanoMessage& message, int slot) {
             NanoMessageSetArray(message, slot, std::vector<std::string>{"device_model"});
         },
         "redacted_fields: \"device_model\"", 64},
        {45, setString("ephemeral-65"), "field_65: \"ephemeral-65\"", 65},
        {47, setString("diagnostics-71"), "field_71: \"diagnostics-71\"", 71},
        {48, setBool(true), "field_72: true", 72},
        {49, setString("services-73"), "field_73: \"services-73\"", 73},
        {51, setInt32(77), "delivery_index: 77", 77},
        {52, [](NanoMessage& message, int slot) { NanoMessageSetMessage(message, slot, adCampaignInfo()); },
         "ad_campaign_info {", 79},
    };
    return rows;
}

class BundleFields : public testing::CapturedLines {};

TEST_F(BundleFields, EachListedSlotLandsUnderItsTag) {
    MSRPBMeasurementBundle bundle;
    for (const BundleField& row : bundleFields()) {
        row.set(bundle, row.slot);
    }
    EXPECT_TRUE(lines().empty());
    const auto bytes = bundle.protoBuffer();
    ASSERT_TRUE(bytes.has_value());
    const std::set<std::string> schemaLines = topLevelLines(protocDecode(*bytes, "MeasurementBundle"));
    // Raw, a line starts with the tag: "45: 3000000045" or "79 {" (protoc shows
    // some short strings as messages).
    const std::set<std::string> rawLines = topLevelLines(protocDecode(*bytes, std::nullopt));
    std::set<int> rawTags;
    for (const std::string& line : rawLines) {
        rawTags.insert(std::stoi(line));
    }
    std::set<int> tags;
    for (const BundleField& row : bundleFields()) {
        SCOPED_TRACE("slot " + std::to_string(row.slot));
        EXPECT_TRUE(schemaLines.contains(row.schemaLine)) << row.schemaLine;
        tags.insert(row.tag);
        // A plain number shows raw under its tag too.
        const std::string value = row.schemaLine.substr(row.schemaLine.find(": ") + 2);
        if (value.find_first_not_of("0123456789") == std::string::npos) {
            EXPECT_TRUE(rawLines.contains(std::to_string(row.tag) + ": " + value)) << row.schemaLine;
        }
    }
    // Under the listed tags, and nothing else written.
    EXPECT_EQ(rawTags, tags);
    EXPECT_EQ(schemaLines.size(), bundleFields().size());
}

MSRPBMeasurementBundle fullBundle(std::int64_t start, std::string_view session) {
    MSRPBMeasurementBundle bundle;
    for (const BundleField& row : bundleFields()) {
        row.set(bundle, row.slot);
    }
    NanoMessageSetInt64(bundle, 4, start);
    NanoMessageSetString(bundle, 43, session);
    // An array parameter: unnamed items, each holding its own parameters.
    MSRPBEventParam items = parameter("items", std::nullopt);
    NanoMessageSetArray(
        items, 5,
        std::vector<MSRPBEventParam>{
            [] {
                MSRPBEventParam item;
                NanoMessageSetArray(
                    item, 5, std::vector<MSRPBEventParam>{parameter("item_id", "SKU-1"), parameter("quantity", {}, 2)});
                return item;
            }(),
            [] {
                MSRPBEventParam item;
                NanoMessageSetArray(
                    item, 5,
                    std::vector<MSRPBEventParam>{parameter("item_id", "SKU-2"), parameter("price", {}, {}, 9.99)});
                return item;
            }(),
        });
    NanoMessageSetArray(
        bundle, 1,
        std::vector<MSRPBEvent>{
            event("_s", start + 1, {parameter("_o", "auto"), parameter("_sid", {}, 1700000000)}),
            event("purchase", start + 2, {parameter("currency", "EUR"), parameter("value", {}, {}, 12.5), items})});
    NanoMessageSetArray(bundle, 2,
                        std::vector<MSRPBUserAttribute>{userAttribute("_sno", 3), userAttribute("_fot", 1700000000)});
    NanoMessageSetArray(bundle, 28, std::vector<MSRPBAudienceLeafFilterResult>{audienceResult(9), audienceResult(10)});
    return bundle;
}

TEST_F(BundleFields, ABatchBuiltThroughTheAccessorsReadsBackEqual) {
    MSRPBMeasurementBatch batch;
    NanoMessageSetArray(
        batch, 0,
        std::vector<MSRPBMeasurementBundle>{fullBundle(1700000000000, "one"), fullBundle(1700000600000, "two")});
    NanoMessageSetString(batch, 2, "eu");
    const auto bytes = batch.protoBuffer();
    ASSERT_TRUE(bytes.has_value());
    const auto decoded = MSRPBMeasurementBatch::initWithBuffer(*bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(testing::recordDifference(*batch.messageInfo(), *decoded->messageInfo()), "");
    EXPECT_EQ(decoded->protoBuffer(), bytes);

    // Slot by slot through the accessors, down to the array parameter's items.
    EXPECT_EQ(NanoMessageGetString(*decoded, 2), "eu");
    const auto bundles = NanoMessageGetArray<MSRPBMeasurementBundle>(*decoded, 0);
    ASSERT_TRUE(bundles.has_value());
    ASSERT_EQ(bundles->size(), 2u);
    const MSRPBMeasurementBundle& second = (*bundles)[1];
    EXPECT_EQ(NanoMessageGetInt64(second, 4), 1700000600000);
    EXPECT_EQ(NanoMessageGetString(second, 43), "two");
    EXPECT_EQ(NanoMessageGetInt32(second, 12), -300);
    EXPECT_TRUE(NanoMessageGetBool(second, 21));
    EXPECT_EQ(NanoMessageGetArray<std::uint32_t>(second, 37), std::vector<std::uint32_t>{3000000045u});
    const auto events = NanoMessageGetArray<MSRPBEvent>(second, 1);
    ASSERT_EQ(events->size(), 2u);
    EXPECT_EQ(NanoMessageGetString((*events)[1], 1), "purchase");
    const auto parameters = NanoMessageGetArray<MSRPBEventParam>((*events)[1], 0);
    ASSERT_EQ(parameters->size(), 3u);
    EXPECT_EQ(NanoMessageGetDouble((*parameters)[1], 4), 12.5);
    const auto items = NanoMessageGetArray<MSRPBEventParam>((*parameters)[2], 5);
    ASSERT_EQ(items->size(), 2u);
    const auto itemParameters = NanoMessageGetArray<MSRPBEventParam>((*items)[1], 5);
    ASSERT_EQ(itemParameters->size(), 2u);
    EXPECT_EQ(NanoMessageGetString((*itemParameters)[0], 1), "SKU-2");
    EXPECT_EQ(NanoMessageGetDouble((*itemParameters)[1], 4), 9.99);
    const auto attributes = NanoMessageGetArray<MSRPBUserAttribute>(second, 2);
    ASSERT_EQ(attributes->size(), 2u);
    EXPECT_EQ(NanoMessageGetString((*attributes)[1], 1), "_fot");
    const auto audiences = NanoMessageGetArray<MSRPBAudienceLeafFilterResult>(second, 28);
    ASSERT_EQ(audiences->size(), 2u);
    const auto current = NanoMessageGetMessage<MSRPBResultData>((*audiences)[1], 1);
    ASSERT_TRUE(current.has_value());
    EXPECT_EQ(NanoMessageGetArray<std::uint64_t>(*current, 0), (std::vector<std::uint64_t>{5, 0xFFFFFFFFFFFFFFFFULL}));
    EXPECT_FALSE(NanoMessageHasField((*audiences)[1], 2));
    const auto info = NanoMessageGetMessage<MSRPBAdCampaignInfo>(second, 52);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(NanoMessageGetString(*info, 2), "newsletter");
    EXPECT_EQ(NanoMessageGetInt64(*info, 3), 1700000000456);
    EXPECT_TRUE(lines().empty());
}

TEST_F(BundleFields, AMessageOfTheWrongTypeIsRefusedAndTheBundleStillTravels) {
    MSRPBMeasurementBundle bundle = fullBundle(1700000000000, "one");
    const auto before = bundle.protoBuffer();
    auto flag = MSRFlagProtoWithNameValue(Value("flag"), Value(1));
    ASSERT_TRUE(flag.has_value());

    NanoMessageSetMessage(bundle, 52, *flag);
    EXPECT_EQ(lines(), std::vector<std::string>{testing::mismatchLine("MeasurementBundle", 52)});
    EXPECT_EQ(bundle.protoBuffer(), before);

    NanoMessageSetArray(bundle, 1, std::vector<MSRPBFlag>{*flag});
    EXPECT_EQ(lines(), std::vector<std::string>{
                           "<ERROR> Invalid object type. Message fields expect NANOMessageBase. Type: MSRPBFlag"});
    EXPECT_EQ(NanoMessageGetArray<MSRPBEvent>(bundle, 1)->size(), 0u);

    const auto bytes = bundle.protoBuffer();
    ASSERT_TRUE(bytes.has_value());
    const auto decoded = MSRPBMeasurementBundle::initWithBuffer(*bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(testing::recordDifference(*bundle.messageInfo(), *decoded->messageInfo()), "");
    EXPECT_EQ(NanoMessageGetString(*NanoMessageGetMessage<MSRPBAdCampaignInfo>(*decoded, 52), 0), "lclid-77");
    EXPECT_TRUE(topLevelLines(protocDecode(*bytes, "MeasurementBundle")).contains("ad_campaign_info {"));
}

}  // namespace
}  // namespace kit::measurement

// The typed accessors' edge cases, one table: each case runs its calls and
// lists every line they must write, in order.

#include "AccessTestSupport.h"

#include <functional>

namespace kit::measurement {
namespace {

using platform::Value;
using testing::hexBytes;
using testing::mismatchLine;
using testing::notRepeatedLine;
using testing::notScalarLine;
using testing::outOfRangeLine;

// Slots used below.
namespace event {
constexpr int params = 0, name = 1, timestamp = 2, field5 = 4;
}
namespace param {
constexpr int name = 0, stringValue = 1, intValue = 2, floatValue = 3, doubleValue = 4, items = 5;
}
namespace bundle {
constexpr int events = 1, experimentIDs = 37, redactedFields = 44, adCampaignInfo = 52, slotCount = 53;
}

MSRPBEvent namedEvent(std::string_view name) {
    MSRPBEvent event;
    NanoMessageSetString(event, event::name, name);
    return event;
}

MSRPBAdCampaignInfo campaign(std::string_view lclid) {
    MSRPBAdCampaignInfo info;
    NanoMessageSetString(info, 0, lclid);
    NanoMessageSetInt64(info, 3, 1700000000123);
    return info;
}

struct AccessCase {
    std::string name;
    std::function<void()> run;
    std::vector<std::string> lines = {};
};

const std::vector<AccessCase>& accessCases() {
    static const std::vector<AccessCase> cases{
        // Flag tests
        {"GetBool on an int32 field logs BOOL and answers false",
         [] {
             MSRPBEvent event;
             NanoMessageSetInt32(event, event::field5, 7);
             EXPECT_FALSE(NanoMessageGetBool(event, event::field5));
             EXPECT_EQ(NanoMessageGetInt32(event, event::field5), 7);
         },
         {notScalarLine("BOOL", "Event", event::field5)}},
        {"SetInt32 on a string field changes nothing",
         [] {
             MSRPBEvent event;
             NanoMessageSetInt32(event, event::name, 3);
             EXPECT_FALSE(NanoMessageHasField(event, event::name));
         },
         {notScalarLine("INT32", "Event", event::name)}},
        {"the INT64 pair refuses a repeated number list",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetArray(message, bundle::experimentIDs, std::vector<std::uint32_t>{4});
             EXPECT_EQ(NanoMessageGetInt64(message, bundle::experimentIDs), 0);
             NanoMessageSetInt64(message, bundle::experimentIDs, 9);
             EXPECT_EQ(NanoMessageGetArray<std::uint32_t>(message, bundle::experimentIDs),
                       std::vector<std::uint32_t>{4});
         },
         {notScalarLine("INT64", "MeasurementBundle", bundle::experimentIDs),
          notScalarLine("INT64", "MeasurementBundle", bundle::experimentIDs)}},
        {"float and double accessors keep to their own kind",
         [] {
             MSRPBEventParam parameter;
             NanoMessageSetFloat(parameter, param::floatValue, 1.5f);
             NanoMessageSetDouble(parameter, param::doubleValue, 2.25);
             EXPECT_EQ(NanoMessageGetDouble(parameter, param::floatValue), 0.0);
             EXPECT_EQ(NanoMessageGetFloat(parameter, param::doubleValue), 0.0f);
             EXPECT_EQ(NanoMessageGetFloat(parameter, param::floatValue), 1.5f);
             EXPECT_EQ(NanoMessageGetDouble(parameter, param::doubleValue), 2.25);
         },
         {notScalarLine("DOUBLE", "EventParam", param::floatValue),
          notScalarLine("FLOAT", "EventParam", param::doubleValue)}},
        {"string accessors refuse numbers and string lists",
         [] {
             MSRPBMeasurementBundle message;
             EXPECT_EQ(NanoMessageGetString(message, 3), std::nullopt);
             NanoMessageSetString(message, bundle::redactedFields, "x");
             EXPECT_EQ(NanoMessageGetArray<std::string>(message, bundle::redactedFields), std::vector<std::string>{});
         },
         {notScalarLine("STRING", "MeasurementBundle", 3),
          notScalarLine("STRING", "MeasurementBundle", bundle::redactedFields)}},
        {"GetMessage refuses a message list",
         [] {
             MSRPBMeasurementBundle message;
             EXPECT_FALSE(NanoMessageGetMessage<MSRPBEvent>(message, bundle::events).has_value());
         },
         {notScalarLine("MESSAGE", "MeasurementBundle", bundle::events)}},
        {"array accessors refuse a singular field and leave it",
         [] {
             MSRPBEvent event = namedEvent("a");
             EXPECT_FALSE(NanoMessageGetArray<std::string>(event, event::name).has_value());
             NanoMessageSetArray(event, event::name, std::vector<std::string>{"b"});
             EXPECT_EQ(NanoMessageGetString(event, event::name), "a");
         },
         {notRepeatedLine("Event", event::name), notRepeatedLine("Event", event::name)}},
        {"bytes accessors only log: no field carries bytes",
         [] {
             MSRPBEvent event = namedEvent("a");
             EXPECT_EQ(NanoMessageGetBytes(event, event::name), std::nullopt);
             const NanoBytes bytes{1, 2};
             NanoMessageSetBytes(event, event::name, bytes);
             EXPECT_EQ(NanoMessageGetString(event, event::name), "a");
         },
         {notScalarLine("BYTES", "Event", event::name), notScalarLine("BYTES", "Event", event::name)}},

        // Presence
        {"HasField is true on an empty repeated slot and false on a cleared singular one",
         [] {
             MSRPBEvent event = namedEvent("a");
             EXPECT_TRUE(NanoMessageHasField(event, event::params));
             EXPECT_TRUE(NanoMessageHasField(event, event::name));
             NanoMessageClearField(event, event::name);
             EXPECT_FALSE(NanoMessageHasField(event, event::name));
             NanoMessageSetArray(event, event::params, std::vector<MSRPBEventParam>{MSRPBEventParam()});
             NanoMessageClearField(event, event::params);
             EXPECT_TRUE(NanoMessageHasField(event, event::params));
             EXPECT_EQ(NanoMessageGetArray<MSRPBEventParam>(event, event::params)->size(), 0u);
         }},
        {"absent numbers read as zero",
         [] {
             MSRPBEventParam parameter;
             EXPECT_EQ(NanoMessageGetInt64(parameter, param::intValue), 0);
             EXPECT_EQ(NanoMessageGetDouble(parameter, param::doubleValue), 0.0);
             EXPECT_EQ(NanoMessageGetString(parameter, param::name), std::nullopt);
             EXPECT_FALSE(NanoMessageHasField(parameter, param::intValue));
         }},

        // 32-bit reads
        {"GetInt32 reads enum fields; above 2^31 reads negative",
         [] {
             auto entry = MSRPBConsentDefaultEntry::initWithBuffer(hexBytes("08 02 10 fe ff ff ff 0f"));
             ASSERT_TRUE(entry.has_value());
             EXPECT_EQ(NanoMessageGetInt32(*entry, 0), 2);
             EXPECT_EQ(NanoMessageGetInt32(*entry, 1), -2);
             NanoMessageSetInt32(*entry, 0, -1);
             EXPECT_EQ(testing::hexText(*entry->protoBuffer()), "08 ff ff ff ff 0f 10 fe ff ff ff 0f");
         }},
        {"a uint32 list above 2^31 reads negative as int32, whole as uint32",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetArray(message, bundle::experimentIDs, std::vector<std::uint32_t>{3000000000u, 7});
             EXPECT_EQ(NanoMessageGetArray<std::int32_t>(message, bundle::experimentIDs),
                       (std::vector<std::int32_t>{-1294967296, 7}));
             EXPECT_EQ(NanoMessageGetArray<std::uint32_t>(message, bundle::experimentIDs),
                       (std::vector<std::uint32_t>{3000000000u, 7}));
             EXPECT_EQ(NanoMessageGetArray<std::int64_t>(message, bundle::experimentIDs),
                       (std::vector<std::int64_t>{3000000000, 7}));
         }},

        // Strings
        {"set a string, clear it, set it again",
         [] {
             MSRPBEvent event = namedEvent("first");
             NanoMessageSetString(event, event::name, std::nullopt);
             EXPECT_FALSE(NanoMessageHasField(event, event::name));
             EXPECT_EQ(NanoMessageGetString(event, event::name), std::nullopt);
             EXPECT_EQ(testing::hexText(*event.protoBuffer()), "");
             NanoMessageSetString(event, event::name, "second");
             EXPECT_EQ(NanoMessageGetString(event, event::name), "second");
             EXPECT_EQ(testing::hexText(*event.protoBuffer()), "12 06 73 65 63 6f 6e 64");
         }},
        {"an empty string is present",
         [] {
             MSRPBEvent event = namedEvent("");
             EXPECT_TRUE(NanoMessageHasField(event, event::name));
             EXPECT_EQ(NanoMessageGetString(event, event::name), "");
             EXPECT_EQ(testing::hexText(*event.protoBuffer()), "12 00");
         }},
        {"bytes that are not strict UTF-8 read as nothing",
         [] {
             for (const char* hex : {"12 02 c0 af", "12 03 ed a0 80", "12 04 f4 90 80 80", "12 01 80", "12 01 c3"}) {
                 SCOPED_TRACE(hex);
                 auto event = MSRPBEvent::initWithBuffer(hexBytes(hex));
                 ASSERT_TRUE(event.has_value());
                 EXPECT_TRUE(NanoMessageHasField(*event, event::name));
                 EXPECT_EQ(NanoMessageGetString(*event, event::name), std::nullopt);
             }
             auto valid = MSRPBEvent::initWithBuffer(hexBytes("12 07 c3 a9 00 f0 9f 98 80"));
             ASSERT_TRUE(valid.has_value());
             EXPECT_EQ(NanoMessageGetString(*valid, event::name), std::string("\xc3\xa9\0\xf0\x9f\x98\x80", 7));
             auto list = MSRPBMeasurementBundle::initWithBuffer(hexBytes("82 04 01 61 82 04 01 ff 82 04 01 62"));
             ASSERT_TRUE(list.has_value());
             EXPECT_EQ(NanoMessageGetArray<std::string>(*list, bundle::redactedFields),
                       (std::vector<std::string>{"a", "b"}));
         }},

        // Setting arrays
        {"a string in an int64 list logs the Int64 line and leaves the field empty",
         [] {
             MSRPBSequenceFilterResultTimestamp entry;
             NanoMessageSetArray(entry, 1, std::vector<std::int64_t>{5, 6});
             NanoMessageSetArray(entry, 1, std::vector<Value>{Value(1), Value("x"), Value(3)});
             EXPECT_EQ(NanoMessageGetArray<std::int64_t>(entry, 1), std::vector<std::int64_t>{});
             EXPECT_EQ(testing::hexText(*entry.protoBuffer()), "");
         },
         {"<ERROR> Invalid object type. Int64 fields expect NSNumber. Type: String"}},
        {"nil and empty arrays leave the field empty",
         [] {
             MSRPBSequenceFilterResultTimestamp entry;
             NanoMessageSetArray(entry, 1, std::vector<std::int64_t>{5, 6});
             NanoMessageSetArray(entry, 1, std::nullopt);
             EXPECT_EQ(NanoMessageGetArray<std::int64_t>(entry, 1), std::vector<std::int64_t>{});
             NanoMessageSetArray(entry, 1, std::vector<std::int64_t>{5, 6});
             NanoMessageSetArray(entry, 1, std::vector<std::int64_t>{});
             EXPECT_EQ(NanoMessageGetArray<std::int64_t>(entry, 1), std::vector<std::int64_t>{});
         }},
        {"numbers convert by the list's kind",
         [] {
             MSRPBSequenceFilterResultTimestamp entry;
             NanoMessageSetArray(entry, 1, std::vector<Value>{Value(true), Value(2.9), Value(-2.9), Value(-7)});
             EXPECT_EQ(NanoMessageGetArray<std::int64_t>(entry, 1), (std::vector<std::int64_t>{1, 2, -2, -7}));
             EXPECT_EQ(NanoMessageGetArray<double>(entry, 1), (std::vector<double>{1, 2, -2, -7}));
             EXPECT_EQ(NanoMessageGetArray<Value>(entry, 1),
                       (std::vector<Value>{Value(1), Value(2), Value(-2), Value(-7)}));
             // A string list can't be read as numbers, nor numbers as strings.
             EXPECT_EQ(NanoMessageGetArray<std::string>(entry, 1), std::vector<std::string>{});
         }},
        {"a uint64 list reads as any number type",
         [] {
             MSRPBResultData data;
             NanoMessageSetArray(data, 0, std::vector<std::uint64_t>{18000000000000000000ULL, 3});
             EXPECT_EQ(NanoMessageGetArray<std::int64_t>(data, 0),
                       (std::vector<std::int64_t>{static_cast<std::int64_t>(18000000000000000000ULL), 3}));
             EXPECT_EQ(NanoMessageGetArray<std::uint64_t>(data, 0),
                       (std::vector<std::uint64_t>{18000000000000000000ULL, 3}));
             EXPECT_EQ(NanoMessageGetArray<float>(data, 0), (std::vector<float>{1.8e19f, 3.0f}));
         }},
        {"bool and float elements are numbers",
         [] {
             MSRPBSequenceFilterResultTimestamp entry;
             NanoMessageSetArray(entry, 1, std::vector<bool>{true, false});
             EXPECT_EQ(NanoMessageGetArray<bool>(entry, 1), (std::vector<bool>{true, false}));
             NanoMessageSetArray(entry, 1, std::vector<float>{1.5f, -1e30f});
             EXPECT_EQ(NanoMessageGetArray<std::int64_t>(entry, 1),
                       (std::vector<std::int64_t>{1, std::numeric_limits<std::int64_t>::min()}));
         }},
        {"a number in a string list logs the String line",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetArray(message, bundle::redactedFields, std::vector<std::string>{"a"});
             NanoMessageSetArray(message, bundle::redactedFields, std::vector<Value>{Value("b"), Value(2)});
             EXPECT_EQ(NanoMessageGetArray<std::string>(message, bundle::redactedFields), std::vector<std::string>{});
         },
         {"<ERROR> Invalid object type. String fields expect NSString. Type: Integer"}},
        {"a string list in a message list logs the Message line",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetArray(message, bundle::events, std::vector<std::string>{"a"});
             EXPECT_EQ(NanoMessageGetArray<MSRPBEvent>(message, bundle::events)->size(), 0u);
         },
         {"<ERROR> Invalid object type. Message fields expect NANOMessageBase. Type: std::string"}},
        {"a list of messages in a number list logs the Int32 line",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetArray(message, bundle::experimentIDs, std::vector<MSRPBEvent>{MSRPBEvent()});
         },
         {"<ERROR> Invalid object type. Int32 fields expect NSNumber. Type: MSRPBEvent"}},

        // Copies
        {"message arrays come back as copies",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetArray(message, bundle::events, std::vector<MSRPBEvent>{namedEvent("a"), namedEvent("b")});
             auto events = NanoMessageGetArray<MSRPBEvent>(message, bundle::events);
             ASSERT_TRUE(events.has_value());
             ASSERT_EQ(events->size(), 2u);
             NanoMessageSetString((*events)[0], event::name, "changed");
             NanoMessageClearField((*events)[1], event::name);
             auto again = NanoMessageGetArray<MSRPBEvent>(message, bundle::events);
             EXPECT_EQ(NanoMessageGetString((*again)[0], event::name), "a");
             EXPECT_EQ(NanoMessageGetString((*again)[1], event::name), "b");
         }},
        {"a setter never shares the caller's record",
         [] {
             MSRPBMeasurementBundle message;
             MSRPBAdCampaignInfo info = campaign("one");
             NanoMessageSetMessage(message, bundle::adCampaignInfo, info);
             std::vector<MSRPBEvent> events{namedEvent("a")};
             NanoMessageSetArray(message, bundle::events, events);
             NanoMessageSetString(info, 0, "two");
             NanoMessageSetString(events[0], event::name, "b");
             auto stored = NanoMessageGetMessage<MSRPBAdCampaignInfo>(message, bundle::adCampaignInfo);
             ASSERT_TRUE(stored.has_value());
             EXPECT_EQ(NanoMessageGetString(*stored, 0), "one");
             NanoMessageSetString(*stored, 0, "three");
             EXPECT_EQ(
                 NanoMessageGetString(*NanoMessageGetMessage<MSRPBAdCampaignInfo>(message, bundle::adCampaignInfo), 0),
                 "one");
             EXPECT_EQ(
                 NanoMessageGetString((*NanoMessageGetArray<MSRPBEvent>(message, bundle::events))[0], event::name),
                 "a");
         }},
        {"GetMessage with another wrapper class gives nothing",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetMessage(message, bundle::adCampaignInfo, campaign("one"));
             EXPECT_FALSE(NanoMessageGetMessage<MSRPBFlag>(message, bundle::adCampaignInfo).has_value());
             EXPECT_EQ(NanoMessageGetArray<MSRPBFlag>(message, bundle::events)->size(), 0u);
         }},
        {"SetMessage with no value, or a wrapper without a record, clears the field",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetMessage(message, bundle::adCampaignInfo, campaign("one"));
             NanoMessageSetMessage(message, bundle::adCampaignInfo, std::nullopt);
             EXPECT_FALSE(NanoMessageHasField(message, bundle::adCampaignInfo));
             NanoMessageSetMessage(message, bundle::adCampaignInfo, std::optional<MSRPBAdCampaignInfo>(campaign("a")));
             EXPECT_TRUE(NanoMessageHasField(message, bundle::adCampaignInfo));
             MSRPBAdCampaignInfo source = campaign("two");
             MSRPBAdCampaignInfo taken = std::move(source);
             NanoMessageSetMessage(message, bundle::adCampaignInfo, source);  // NOLINT(bugprone-use-after-move)
             EXPECT_FALSE(NanoMessageHasField(message, bundle::adCampaignInfo));
         }},

        // Wrong message types
        {"a Flag set into ad_campaign_info is refused and changes nothing",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetMessage(message, bundle::adCampaignInfo, campaign("one"));
             MSRPBFlag flag;
             NanoMessageSetString(flag, 0, "flag");
             NanoMessageSetMessage(message, bundle::adCampaignInfo, flag);
             auto stored = NanoMessageGetMessage<MSRPBAdCampaignInfo>(message, bundle::adCampaignInfo);
             ASSERT_TRUE(stored.has_value());
             EXPECT_EQ(NanoMessageGetString(*stored, 0), "one");
         },
         {mismatchLine("MeasurementBundle", bundle::adCampaignInfo)}},
        {"a Flag in the events list empties the list",
         [] {
             MSRPBMeasurementBundle message;
             NanoMessageSetArray(message, bundle::events, std::vector<MSRPBEvent>{namedEvent("kept?")});
             NanoMessageSetArray(message, bundle::events, std::vector<MSRPBFlag>{MSRPBFlag()});
             EXPECT_EQ(NanoMessageGetArray<MSRPBEvent>(message, bundle::events)->size(), 0u);
         },
         {"<ERROR> Invalid object type. Message fields expect NANOMessageBase. Type: MSRPBFlag"}},

        // Slots outside the message, wrappers without a record
        {"slots below 0 and at the slot count are out of range",
         [] {
             MSRPBMeasurementBundle message;
             EXPECT_EQ(NanoMessageGetInt64(message, -1), 0);
             EXPECT_FALSE(NanoMessageHasField(message, bundle::slotCount));
             NanoMessageClearField(message, bundle::slotCount);
             NanoMessageSetArray(message, -1, std::vector<std::int64_t>{1});
         },
         {outOfRangeLine("MeasurementBundle", -1), outOfRangeLine("MeasurementBundle", bundle::slotCount),
          outOfRangeLine("MeasurementBundle", bundle::slotCount), outOfRangeLine("MeasurementBundle", -1)}},
        {"a moved-from wrapper has no record and every accessor says so",
         [] {
             MSRPBEvent source = namedEvent("a");
             MSRPBEvent taken = std::move(source);
             // NOLINTBEGIN(bugprone-use-after-move)
             EXPECT_EQ(source.messageInfo(), nullptr);
             EXPECT_EQ(source.messageID(), "Event");
             EXPECT_EQ(source.protoBuffer(), std::nullopt);
             EXPECT_FALSE(NanoMessageHasField(source, event::name));
             NanoMessageClearField(source, event::name);
             EXPECT_EQ(NanoMessageGetString(source, event::name), std::nullopt);
             NanoMessageSetInt64(source, event::timestamp, 1);
             EXPECT_FALSE(NanoMessageGetArray<MSRPBEventParam>(source, event::params).has_value());
             // NOLINTEND(bugprone-use-after-move)
             EXPECT_EQ(NanoMessageGetString(taken, event::name), "a");
         },
         {"ProtocolBuffer message hasn't been initialized. HasField operation can't be performed. Message name Event",
          "ProtocolBuffer message hasn't been initialized. ClearField can't be performed",
          "ProtocolBuffer message hasn't been initialized. GetString can't be performed",
          "ProtocolBuffer message hasn't been initialized. SetInt64 can't be performed",
          "ProtocolBuffer message hasn't been initialized. GetArray can't be performed"}},
    };
    return cases;
}

class AccessorEdgeCase : public testing::CapturedLines, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(AccessorEdgeCase, WritesExactlyItsLines) {
    const AccessCase& accessCase = accessCases()[GetParam()];
    SCOPED_TRACE(accessCase.name);
    accessCase.run();
    EXPECT_EQ(lines(), accessCase.lines);
}

INSTANTIATE_TEST_SUITE_P(Table, AccessorEdgeCase, ::testing::Range<std::size_t>(0, accessCases().size()));

}  // namespace
}  // namespace kit::measurement

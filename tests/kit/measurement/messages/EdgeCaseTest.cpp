// Edge cases of the wire rules and the record operations, one table.

#include "MessageTestSupport.h"

#include <functional>
#include <optional>

namespace kit::measurement {
namespace {

using testing::Bytes;
using testing::hexBytes;

struct EdgeCase {
    std::string name;
    MessageType type;
    Bytes input = {};                                  // decoded unless `build` is set
    std::function<void(NanoMessageInfo&)> build = {};  // makes the record instead
    bool decodes = true;
    std::optional<std::string> encoded = std::nullopt;  // the record's encoding, in hex
    std::vector<std::string> lines = {};                // every log line, in order
    std::function<void(NanoMessageInfo&, platform::LogSink&)> check = {};
};

Bytes stringField(std::uint8_t tagByte, std::size_t length) {
    Bytes bytes{tagByte};
    for (std::size_t rest = length;; rest >>= 7) {
        if (rest < 0x80) {
            bytes.push_back(static_cast<std::uint8_t>(rest));
            break;
        }
        bytes.push_back(static_cast<std::uint8_t>((rest & 0x7F) | 0x80));
    }
    bytes.insert(bytes.end(), length, 'a');
    return bytes;
}

const NanoMessageList& list(const NanoMessageInfo& message, std::size_t slot) {
    return std::get<NanoMessageList>(message.slots[slot]);
}

std::uint64_t number(const NanoMessageInfo& message, std::size_t slot) {
    return std::get<std::uint64_t>(message.slots[slot]);
}

const std::vector<EdgeCase>& edgeCases() {
    static const std::vector<EdgeCase> cases{
        {.name = "empty input decodes to an empty message",
         .type = MessageType::Event,
         .input = {},
         .encoded = "",
         .check =
             [](NanoMessageInfo& event, platform::LogSink&) {
                 EXPECT_TRUE(list(event, 0).empty());
                 for (std::size_t slot = 1; slot < event.slots.size(); ++slot) {
                     EXPECT_TRUE(std::holds_alternative<std::monostate>(event.slots[slot]));
                 }
             }},
        {.name = "a message with every field absent encodes to no bytes",
         .type = MessageType::MeasurementBundle,
         .build = [](NanoMessageInfo&) {},
         .encoded = ""},
        {.name = "repeated int64 is written unpacked",
         .type = MessageType::SequenceFilterResultTimestamp,
         .input = hexBytes("10 01 10 02"),
         .encoded = "10 01 10 02",
         .check =
             [](NanoMessageInfo& entry, platform::LogSink&) {
                 EXPECT_EQ(std::get<NanoNumberList>(entry.slots[1]), (NanoNumberList{1, 2}));
             }},
        {.name = "a packed run decodes alike",
         .type = MessageType::SequenceFilterResultTimestamp,
         .input = hexBytes("12 02 01 02"),
         .encoded = "10 01 10 02"},
        {.name = "packed and unpacked elements keep input order",
         .type = MessageType::SequenceFilterResultTimestamp,
         .input = hexBytes("10 05 12 02 01 02 10 03"),
         .encoded = "10 05 10 01 10 02 10 03"},
        {.name = "repeated numbers keep 64 bits, also in a uint32 list",
         .type = MessageType::MeasurementBundle,
         .input = hexBytes("e8 02 ff ff ff ff ff ff ff ff ff 01"),
         .encoded = "e8 02 ff ff ff ff ff ff ff ff ff 01"},
        {.name = "int32 -1 takes 10 bytes",
         .type = MessageType::Event,
         .build = [](NanoMessageInfo& event) { event.slots[4] = std::uint64_t{0xFFFFFFFF}; },
         .encoded = "28 ff ff ff ff ff ff ff ff ff 01"},
        {.name = "int32 -1 reads back from 5 bytes",
         .type = MessageType::Event,
         .input = hexBytes("28 ff ff ff ff 0f"),
         .encoded = "28 ff ff ff ff ff ff ff ff ff 01",
         .check = [](NanoMessageInfo& event, platform::LogSink&) { EXPECT_EQ(number(event, 4), 0xFFFFFFFFu); }},
        {.name = "int32 keeps the low 32 bits of a wider value",
         .type = MessageType::Event,
         .input = hexBytes("28 fe ff ff ff 1f"),
         .encoded = "28 fe ff ff ff ff ff ff ff ff 01"},
        {.name = "enum -1 takes 5 bytes",
         .type = MessageType::StringFilter,
         .build = [](NanoMessageInfo& filter) { filter.slots[0] = std::uint64_t{0xFFFFFFFF}; },
         .encoded = "08 ff ff ff ff 0f"},
        {.name = "a 5-byte enum reads back",
         .type = MessageType::StringFilter,
         .input = hexBytes("08 ff ff ff ff 0f"),
         .encoded = "08 ff ff ff ff 0f"},
        {.name = "a 10-byte enum fails",
         .type = MessageType::StringFilter,
         .input = hexBytes("08 ff ff ff ff ff ff ff ff ff 01"),
         .decodes = false,
         .lines = {"<ERROR> StringFilter decoder failed: integer too large"}},
        {.name = "bool reads any non-zero varint as true",
         .type = MessageType::EventConfig,
         .input = hexBytes("10 05 18 00"),
         .encoded = "10 01 18 00"},
        {.name = "float and double keep their bits",
         .type = MessageType::EventParam,
         .input = hexBytes("25 01 00 c0 7f 29 00 00 00 00 00 00 f0 bf"),
         .encoded = "25 01 00 c0 7f 29 00 00 00 00 00 00 f0 bf"},
        {.name = "a string field sent as a varint fails",
         .type = MessageType::Event,
         .input = hexBytes("10 01"),
         .decodes = false,
         .lines = {"<ERROR> Event decoder failed: wrong wire type"}},
        {.name = "a singular number sent length-delimited fails",
         .type = MessageType::Event,
         .input = hexBytes("1a 01 05"),
         .decodes = false,
         .lines = {"<ERROR> Event decoder failed: wrong wire type"}},
        {.name = "a double sent as fixed32 fails",
         .type = MessageType::EventParam,
         .input = hexBytes("2d 00 00 00 00"),
         .decodes = false,
         .lines = {"<ERROR> EventParam decoder failed: wrong wire type"}},
        {.name = "a repeated message sent as a varint fails",
         .type = MessageType::Event,
         .input = hexBytes("08 01"),
         .decodes = false,
         .lines = {"<ERROR> Event decoder failed: wrong wire type"}},
        {.name = "unknown tags are skipped",
         .type = MessageType::Event,
         .input = hexBytes("f8 07 05 12 01 61 fd 07 01 02 03 04 c0 3e 01 ca 3e 02 00 00"),
         .encoded = "12 01 61"},
        {.name = "an unknown group fails as the skip does",
         .type = MessageType::Event,
         .input = hexBytes("7b 7c"),
         .decodes = false,
         .lines = {"<ERROR> Event decoder failed: invalid wire_type"}},
        {.name = "a zero tag fails",
         .type = MessageType::Event,
         .input = hexBytes("00"),
         .decodes = false,
         .lines = {"<ERROR> Event decoder failed: zero tag"}},
        {.name = "a length beyond the input fails",
         .type = MessageType::Event,
         .input = hexBytes("12 05 61"),
         .decodes = false,
         .lines = {"<ERROR> Event decoder failed: parent stream too short"}},
        {.name = "field 84 is parsed and dropped",
         .type = MessageType::MeasurementBundle,
         .input = hexBytes("08 01 a2 05 07 0a 05 08 05 12 01 78"),
         .encoded = "08 01"},
        {.name = "a malformed field 84 fails the bundle",
         .type = MessageType::MeasurementBundle,
         .input = hexBytes("a2 05 02 0a 05"),
         .decodes = false,
         .lines = {"<ERROR> MeasurementBundle decoder failed: parent stream too short"}},
        {.name = "a duplicate Event name keeps the first",
         .type = MessageType::Event,
         .input = hexBytes("12 01 61 12 01 62"),
         .encoded = "12 01 61"},
        {.name = "the last number wins",
         .type = MessageType::Event,
         .input = hexBytes("18 01 18 02"),
         .encoded = "18 02"},
        {.name = "slots 6 and 20 are written under tags 26 and 27, in tag order",
         .type = MessageType::MeasurementBundle,
         .build =
             [](NanoMessageInfo& bundle) {
                 bundle.slots[20] = std::string("x");
                 bundle.slots[7] = std::uint64_t{2};
                 bundle.slots[6] = std::uint64_t{5};
                 bundle.slots[5] = std::uint64_t{1};
             },
         .encoded = "30 01 38 02 d0 01 05 da 01 01 78"},
        {.name = "tags 26 and 27 decode into slots 6 and 20",
         .type = MessageType::MeasurementBundle,
         .input = hexBytes("da 01 01 78 d0 01 05"),
         .encoded = "d0 01 05 da 01 01 78",
         .check =
             [](NanoMessageInfo& bundle, platform::LogSink&) {
                 EXPECT_EQ(number(bundle, 6), 5u);
                 EXPECT_EQ(std::get<std::string>(bundle.slots[20]), "x");
             }},
        {.name = "a string of 1,048,576 bytes is accepted",
         .type = MessageType::Event,
         .input = stringField(0x12, maximumStringLength),
         .check =
             [](NanoMessageInfo& event, platform::LogSink&) {
                 EXPECT_EQ(std::get<std::string>(event.slots[1]).size(), maximumStringLength);
             }},
        {.name = "one byte more fails the whole decode",
         .type = MessageType::Event,
         .input = stringField(0x12, maximumStringLength + 1),
         .decodes = false,
         .lines = {"Unable to process proto stream. Buffer is too big. 1048577 > 1048576",
                   "<ERROR> Event decoder failed: callback failed"}},
        {.name = "the limit holds for repeated strings",
         .type = MessageType::StringFilter,
         .input = stringField(0x22, maximumStringLength + 1),
         .decodes = false,
         .lines = {"Unable to process proto stream. Buffer is too big. 1048577 > 1048576",
                   "<ERROR> StringFilter decoder failed: callback failed"}},
        {.name = "an empty string is present and written",
         .type = MessageType::Event,
         .input = hexBytes("12 00"),
         .encoded = "12 00"},
        {.name = "an Audience keeps 3 property and 2 event filters in input order",
         .type = MessageType::Audience,
         .input = hexBytes("12 02 08 01 1a 02 08 04 12 02 08 02 12 02 08 03 1a 02 08 05"),
         .encoded = "12 02 08 01 12 02 08 02 12 02 08 03 1a 02 08 04 1a 02 08 05",
         .check =
             [](NanoMessageInfo& audience, platform::LogSink&) {
                 ASSERT_EQ(list(audience, 1).size(), 3u);
                 ASSERT_EQ(list(audience, 2).size(), 2u);
                 for (std::size_t index = 0; index < 3; ++index) {
                     EXPECT_EQ(number(list(audience, 1)[index], 0), index + 1);
                 }
                 EXPECT_EQ(number(list(audience, 2)[0], 0), 4u);
                 EXPECT_EQ(number(list(audience, 2)[1], 0), 5u);
             }},
        {.name = "an EventFilter without field 5 leaves slot 4 empty",
         .type = MessageType::EventFilter,
         .input = hexBytes("08 07 12 01 65"),
         .encoded = "08 07 12 01 65",
         .check = [](NanoMessageInfo& filter,
                     platform::LogSink&) { EXPECT_TRUE(std::holds_alternative<std::monostate>(filter.slots[4])); }},
        {.name = "a present embedded message without fields is written",
         .type = MessageType::EventFilter,
         .input = hexBytes("2a 00"),
         .encoded = "2a 00"},
        {.name = "a second occurrence of an embedded message merges into the first",
         .type = MessageType::Filter,
         .input = hexBytes("0a 04 08 01 12 00 0a 07 08 02 12 01 62 18 01"),
         .encoded = "0a 06 08 02 12 00 18 01"},
        {.name = "a failure inside an embedded message fails with its reason",
         .type = MessageType::EventFilter,
         .input = hexBytes("2a 02 12 00"),
         .decodes = false,
         .lines = {"<ERROR> EventFilter decoder failed: wrong wire type"}},
        {.name = "a failed element fails the outer decode, the element's lines first",
         .type = MessageType::MeasurementBundle,
         .input = hexBytes("12 03 12 01 61 12 02 10 01"),
         .decodes = false,
         .lines = {"<ERROR> Event decoder failed: wrong wire type",
                   "<ERROR> Event decoder failed: Unable to decode repeated Event",
                   "<ERROR> MeasurementBundle decoder failed: callback failed"}},
        {.name = "copying an empty list gives an empty list",
         .type = MessageType::Event,
         .build = [](NanoMessageInfo& event) { event.slots[1] = std::string("e"); },
         .encoded = "12 01 65",
         .check =
             [](NanoMessageInfo& event, platform::LogSink&) {
                 const NanoMessageInfo copy = copyMessage(event);
                 EXPECT_TRUE(list(copy, 0).empty());
                 EXPECT_EQ(testing::recordDifference(event, copy), "");
             }},
        {.name = "releasing the slot at the slot count logs and fails",
         .type = MessageType::Event,
         .input = hexBytes("12 01 65 18 05"),
         .encoded = "12 01 65 18 05",
         .lines = {"<ERROR> Event: Cannot deallocate field 5: Unknown field"},
         .check = [](NanoMessageInfo& event, platform::LogSink& log) { EXPECT_FALSE(releaseField(event, 5, log)); }},
        {.name = "releasing fields leaves them absent, and lists empty",
         .type = MessageType::Event,
         .input = hexBytes("0a 02 12 00 12 01 65 18 05"),
         .check =
             [](NanoMessageInfo& event, platform::LogSink& log) {
                 EXPECT_TRUE(releaseField(event, 0, log));
                 EXPECT_TRUE(releaseField(event, 1, log));
                 EXPECT_TRUE(list(event, 0).empty());
                 EXPECT_TRUE(std::holds_alternative<std::monostate>(event.slots[1]));
                 EXPECT_EQ(encodeMessage(event), hexBytes("18 05"));
             }},
    };
    return cases;
}

TEST(MessageEdgeCases, Table) {
    for (const EdgeCase& edge : edgeCases()) {
        SCOPED_TRACE(edge.name);
        platform::CaptureLogSink log;
        NanoMessageInfo record(edge.type);
        if (edge.build) {
            edge.build(record);
        } else {
            EXPECT_EQ(decodeMessage(record, edge.input, log), edge.decodes);
        }
        if (edge.decodes && edge.check) {
            edge.check(record, log);
        }
        if (edge.encoded.has_value()) {
            const auto encoded = encodeMessage(record);
            ASSERT_TRUE(encoded.has_value());
            EXPECT_EQ(testing::hexText(*encoded), *edge.encoded);
        }
        const auto entries = log.drain();
        std::vector<std::string> lines;
        for (const platform::LogEntry& entry : entries) {
            EXPECT_EQ(entry.type, platform::LogType::error);
            EXPECT_EQ(entry.subsystem, messagesLogSubsystem);
            lines.push_back(entry.line);
        }
        EXPECT_EQ(lines, edge.lines);
    }
}

TEST(MessageEdgeCases, EncodingRefusesACellThatDoesNotFitItsSlot) {
    NanoMessageInfo event(MessageType::Event);
    event.slots[1] = std::uint64_t{7};  // a number in the string slot
    EXPECT_FALSE(encodeMessage(event).has_value());
    NanoMessageInfo filter(MessageType::EventFilter);
    filter.slots[4] = std::make_unique<NanoMessageInfo>(MessageType::StringFilter);
    EXPECT_FALSE(encodeMessage(filter).has_value());
}

}  // namespace
}  // namespace kit::measurement

// The message table against measurement.proto, with protoc as the reader and
// writer of record.

#include "MessageTestSupport.h"

#include <bit>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

namespace kit::measurement {
namespace {

using testing::Bytes;

// protoc's text output as a tree: named fields holding a scalar text or a nested
// node.
struct TextNode {
    struct Field {
        std::string key;
        std::string scalar;
        std::unique_ptr<TextNode> nested;
    };
    std::vector<Field> fields;

    std::vector<const TextNode*> nodes(std::string_view key) const {
        std::vector<const TextNode*> found;
        for (const Field& field : fields) {
            if (field.key == key && field.nested != nullptr) {
                found.push_back(field.nested.get());
            }
        }
        return found;
    }
    std::string scalar(std::string_view key) const {
        for (const Field& field : fields) {
            if (field.key == key && field.nested == nullptr) {
                std::string text = field.scalar;
                if (text.size() >= 2 && text.front() == '"') {
                    text = text.substr(1, text.size() - 2);
                }
                return text;
            }
        }
        return {};
    }
};

std::unique_ptr<TextNode> parseText(std::istringstream& lines) {
    auto node = std::make_unique<TextNode>();
    std::string line;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos) {
            continue;
        }
        line = line.substr(start);
        if (line == "}") {
            break;
        }
        TextNode::Field field;
        field.key = line.substr(0, line.find_first_of(" :"));
        if (line.back() == '{') {
            field.nested = parseText(lines);
        } else {
            field.scalar = line.substr(line.find(": ") + 2);
        }
        node->fields.push_back(std::move(field));
    }
    return node;
}

std::unique_ptr<TextNode> schemaDescriptor() {
    using platform::testing::shellQuote;
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) + " --proto_path=" + shellQuote(testing::schemaFolder().string()) +
            " --descriptor_set_out=/dev/stdout " +
            shellQuote((testing::schemaFolder() / "measurement.proto").string()) + " | " + PROTOC_EXECUTABLE +
            " --decode=schemacheck.DescriptionSet --proto_path=" + shellQuote(testing::sourceFolder().string()) + " " +
            shellQuote((testing::sourceFolder() / "descriptor_subset.proto").string()),
        false);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::istringstream lines(result.output);
    return parseText(lines);
}

// FieldDescriptorProto.Type → our type bit.
NanoFieldFlags typeBit(int descriptorType) {
    static const std::map<int, NanoFieldFlags> bits{{1, field_flag::doublePrecision}, {2, field_flag::floatingPoint},
                                                    {3, field_flag::int64},           {4, field_flag::uint64},
                                                    {5, field_flag::int32},           {8, field_flag::boolean},
                                                    {9, field_flag::string},          {11, field_flag::message},
                                                    {13, field_flag::uint32},         {14, field_flag::enumeration}};
    const auto found = bits.find(descriptorType);
    return found == bits.end() ? 0 : found->second;
}

TEST(MessageTable, DeclaresTheSchemasMessagesAndFieldsInSlotOrder) {
    const auto descriptor = schemaDescriptor();
    const auto files = descriptor->nodes("file");
    ASSERT_EQ(files.size(), 1u);
    const auto messages = files[0]->nodes("message_type");
    ASSERT_EQ(messages.size(), messageTypeCount);
    for (const TextNode* message : messages) {
        const std::string name = message->scalar("name");
        SCOPED_TRACE(name);
        const NanoMessageDescription& description = messageDescription(testing::messageTypeNamed(name));
        std::size_t slot = 0;
        for (const TextNode* field : message->nodes("field")) {
            const auto tag = static_cast<std::uint32_t>(std::stoul(field->scalar("number")));
            const bool repeated = field->scalar("label") == "3";
            const NanoFieldFlags bit = typeBit(std::stoi(field->scalar("type")));
            std::string typeName = field->scalar("type_name");
            typeName = typeName.substr(typeName.rfind('.') + 1);
            if (slot == description.fields.size()) {
                // Past the slots only the dropped field may follow.
                EXPECT_EQ(tag, description.unslottedTag);
                EXPECT_EQ(bit, field_flag::message);
                EXPECT_EQ(messageDescription(description.unslottedType).name, typeName);
                continue;
            }
            const NanoFieldInfo& info = description.fields[slot];
            SCOPED_TRACE(info.name);
            EXPECT_EQ(info.name, field->scalar("name"));
            EXPECT_EQ(info.tag, tag);
            EXPECT_EQ(info.flags, (repeated ? field_flag::repeated : field_flag::singular) | bit);
            EXPECT_EQ(description.flags[slot], info.flags);
            if (bit == field_flag::message) {
                EXPECT_EQ(messageDescription(info.messageType).name, typeName);
            } else {
                EXPECT_EQ(info.messageType, MessageType::None);
            }
            ++slot;
        }
        EXPECT_EQ(slot, description.fields.size());
    }
}

// A text-format message with every slot set and the record it must decode to.
// Values follow from the slot; repeated fields hold two; embedded messages are
// filled one level.
struct Sample {
    std::string text;
    NanoMessageInfo record;
};

std::string scalarValue(NanoFieldFlags kind, int seed, std::uint64_t& cell) {
    const bool negative = seed % 2 == 1;
    switch (kind) {
    case field_flag::boolean:
        cell = negative ? 1 : 0;
        return negative ? "true" : "false";
    case field_flag::int32: {
        const std::int32_t value = (negative ? -1 : 1) * (seed * 1000 + 7);
        cell = static_cast<std::uint32_t>(value);
        return std::to_string(value);
    }
    case field_flag::uint32:
        cell = 4000000000u + static_cast<std::uint32_t>(seed);
        return std::to_string(cell);
    case field_flag::enumeration:  // every enum of the schema lists 1 and 2
        cell = 1 + static_cast<std::uint64_t>(seed % 2);
        return std::to_string(cell);
    case field_flag::int64: {
        const std::int64_t value = (negative ? -1 : 1) * (seed * 1000000000007LL);
        cell = static_cast<std::uint64_t>(value);
        return std::to_string(value);
    }
    case field_flag::uint64:
        cell = 18000000000000000000ULL + static_cast<std::uint64_t>(seed);
        return std::to_string(cell);
    case field_flag::floatingPoint: {
        const float value = static_cast<float>(seed) + 0.5f;
        cell = std::bit_cast<std::uint32_t>(value);
        return std::to_string(seed) + ".5";
    }
    case field_flag::doublePrecision: {
        const double value = static_cast<double>(seed) + 0.25;
        cell = std::bit_cast<std::uint64_t>(value);
        return std::to_string(seed) + ".25";
    }
    default:
        ADD_FAILURE() << "no sample value for kind " << kind;
        return "0";
    }
}

// "slot 12 é" in text format, with the UTF-8 bytes escaped.
std::string stringValue(int seed, std::string& bytes) {
    bytes = "slot " + std::to_string(seed) + " \xc3\xa9";
    return "\"slot " + std::to_string(seed) + " \\303\\251\"";
}

Sample sampleOf(MessageType type, bool fillMessages) {
    Sample sample{{}, NanoMessageInfo(type)};
    const NanoMessageDescription& description = messageDescription(type);
    for (std::size_t slot = 0; slot < description.fields.size(); ++slot) {
        const NanoFieldInfo& field = description.fields[slot];
        const NanoFieldFlags kind = field.flags & field_flag::types;
        const bool repeated = (field.flags & field_flag::repeated) != 0;
        const int elements = repeated ? 2 : 1;
        NanoCell& cell = sample.record.slots[slot];
        for (int element = 0; element < elements; ++element) {
            const int seed = static_cast<int>(slot) * 10 + element + 1;
            const std::string prefix = std::string(field.name);
            if (kind == field_flag::message) {
                if (!fillMessages) {
                    break;
                }
                Sample inner = sampleOf(field.messageType, false);
                sample.text += prefix + " { " + inner.text + "} ";
                if (repeated) {
                    std::get<NanoMessageList>(cell).push_back(std::move(inner.record));
                } else {
                    cell = std::make_unique<NanoMessageInfo>(std::move(inner.record));
                }
            } else if (kind == field_flag::string) {
                std::string bytes;
                sample.text += prefix + ": " + stringValue(seed, bytes) + " ";
                if (repeated) {
                    std::get<NanoStringList>(cell).push_back(bytes);
                } else {
                    cell = bytes;
                }
            } else {
                std::uint64_t value = 0;
                sample.text += prefix + ": " + scalarValue(kind, seed, value) + " ";
                if (repeated) {
                    std::get<NanoNumberList>(cell).push_back(value);
                } else {
                    cell = value;
                }
            }
        }
    }
    return sample;
}

TEST(MessageTable, EveryFieldDecodesFromProtocAndEncodesBackToItsBytes) {
    for (std::size_t index = 0; index < messageTypeCount; ++index) {
        const auto type = static_cast<MessageType>(index);
        const std::string_view name = messageDescription(type).name;
        SCOPED_TRACE(std::string(name));
        const Sample sample = sampleOf(type, true);
        const Bytes bytes = testing::protocEncode(name, sample.text);
        ASSERT_FALSE(bytes.empty());

        platform::CaptureLogSink log;
        const auto decoded = decodeMessage(type, bytes, log);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_TRUE(log.drainLines().empty());
        EXPECT_EQ(testing::recordDifference(sample.record, *decoded), "");

        const auto encoded = encodeMessage(*decoded);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_EQ(testing::hexText(*encoded), testing::hexText(bytes));
    }
}

}  // namespace
}  // namespace kit::measurement

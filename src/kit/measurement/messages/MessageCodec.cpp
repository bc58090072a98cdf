#include "kit/measurement/messages/MessageCodec.h"

#include "kit/measurement/messages/MessageTexts.h"
#include "platform/MessageFormat.h"

#include <pb_decode.h>
#include <pb_encode.h>

#include <cstring>
#include <limits>
#include <string>
#include <utility>

// nanopb serves the wire primitives (varints, tags, fixed numbers, substreams);
// its descriptor-driven pb_decode/pb_encode do not, because the record keeps
// every field in a cell of its own and one codec serves all 42 types from a table.
namespace kit::measurement {
namespace {

using platform::LogSink;

void logLine(LogSink& log, std::string_view line) {
    log.log(messagesLogSubsystem, messagesLogCategory, platform::LogType::error, line);
}

[[gnu::noinline]] void logDecoderFailure(LogSink& log, std::string_view name, const char* reason) {
    const std::string_view text = reason != nullptr ? std::string_view(reason) : message_text::noStreamError;
    logLine(log, platform::formatMessage(message_text::decoderFailed, {name, text}));
}

[[gnu::noinline]] void logElementFailure(LogSink& log, std::string_view name, const char* reason) {
    logDecoderFailure(log, name, reason);
    logLine(log, platform::formatMessage(message_text::repeatedDecoderFailed, {name, name}));
}

bool fail(pb_istream_t* stream, const char* reason) {
    if (stream->errmsg == nullptr) {
        stream->errmsg = reason;
    }
    return false;
}

bool expectWireType(pb_istream_t* stream, pb_wire_type_t actual, pb_wire_type_t expected) {
    return actual == expected || fail(stream, message_text::wrongWireType);
}

bool decodeFields(pb_istream_t* stream, NanoMessageInfo& message, int depth, LogSink& log);

// The bytes of one string into `value`; false past the length limit or on a short read.
[[gnu::noinline]] bool readString(pb_istream_t* substream, std::string& value, LogSink& log) {
    const std::size_t length = substream->bytes_left;
    if (length > maximumStringLength) {
        logLine(log, platform::formatMessage(message_text::bufferTooBig, {length, maximumStringLength}));
        return false;
    }
    value.resize(length);
    return pb_read(substream, reinterpret_cast<pb_byte_t*>(value.data()), length);
}

[[gnu::noinline]] bool decodeString(pb_istream_t* stream, NanoCell& cell, LogSink& log) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream)) {
        return false;
    }
    // A repeated singular string keeps its first value.
    if (!std::holds_alternative<std::string>(cell)) {
        std::string value;
        if (!readString(&substream, value, log)) {
            return fail(stream, message_text::callbackFailed);
        }
        cell = std::move(value);
    }
    return pb_close_string_substream(stream, &substream);
}

[[gnu::noinline]] bool decodeStringElement(pb_istream_t* stream, NanoStringList& list, LogSink& log) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream)) {
        return false;
    }
    if (!readString(&substream, list.emplace_back(), log)) {
        return fail(stream, message_text::callbackFailed);
    }
    return pb_close_string_substream(stream, &substream);
}

[[gnu::noinline]] bool decodeNumberElements(pb_istream_t* stream, pb_wire_type_t wireType, NanoNumberList& list) {
    std::uint64_t value = 0;
    if (wireType == PB_WT_VARINT) {
        if (!pb_decode_varint(stream, &value)) {
            return false;
        }
        list.push_back(value);
        return true;
    }
    if (wireType != PB_WT_STRING) {
        return fail(stream, message_text::wrongWireType);
    }
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream)) {
        return false;
    }
    while (substream.bytes_left > 0) {
        if (!pb_decode_varint(&substream, &value)) {
            return fail(stream, message_text::callbackFailed);
        }
        list.push_back(value);
    }
    return pb_close_string_substream(stream, &substream);
}

[[gnu::noinline]] bool decodeNumber(pb_istream_t* stream, pb_wire_type_t wireType, NanoFieldFlags kind,
                                    NanoCell& cell) {
    std::uint64_t value = 0;
    switch (kind) {
    case field_flag::boolean: {
        bool flag = false;
        if (!expectWireType(stream, wireType, PB_WT_VARINT) || !pb_decode_bool(stream, &flag)) {
            return false;
        }
        value = flag ? 1 : 0;
        break;
    }
    case field_flag::int32:
        if (!expectWireType(stream, wireType, PB_WT_VARINT) || !pb_decode_varint(stream, &value)) {
            return false;
        }
        value = static_cast<std::uint32_t>(value);
        break;
    case field_flag::uint32:
    case field_flag::enumeration:
        if (!expectWireType(stream, wireType, PB_WT_VARINT) || !pb_decode_varint(stream, &value)) {
            return false;
        }
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            return fail(stream, message_text::integerTooLarge);
        }
        break;
    case field_flag::int64:
    case field_flag::uint64:
        if (!expectWireType(stream, wireType, PB_WT_VARINT) || !pb_decode_varint(stream, &value)) {
            return false;
        }
        break;
    case field_flag::floatingPoint: {
        std::uint32_t bits = 0;
        if (!expectWireType(stream, wireType, PB_WT_32BIT) || !pb_decode_fixed32(stream, &bits)) {
            return false;
        }
        value = bits;
        break;
    }
    case field_flag::doublePrecision:
        if (!expectWireType(stream, wireType, PB_WT_64BIT) || !pb_decode_fixed64(stream, &value)) {
            return false;
        }
        break;
    default:
        return fail(stream, message_text::invalidFieldDescriptor);
    }
    cell = value;  // the last occurrence wins
    return true;
}

// A singular embedded message; a later occurrence merges into the earlier one.
bool decodeEmbedded(pb_istream_t* stream, NanoMessageInfo& embedded, int depth, LogSink& log) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream)) {
        return false;
    }
    const bool decoded = decodeFields(&substream, embedded, depth, log);
    // Closing hands the substream's error text to the outer stream.
    return pb_close_string_substream(stream, &substream) && decoded;
}

bool decodeElement(pb_istream_t* stream, NanoMessageList& list, MessageType type, int depth, LogSink& log) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream)) {
        return false;
    }
    NanoMessageInfo& element = list.emplace_back(type);
    if (!decodeFields(&substream, element, depth, log)) {
        logElementFailure(log, element.name, substream.errmsg);
        return fail(stream, message_text::callbackFailed);
    }
    return pb_close_string_substream(stream, &substream);
}

// The field under `slot`, its wire type already read.
bool decodeSlot(pb_istream_t* stream, pb_wire_type_t wireType, NanoMessageInfo& message, int slot, int depth,
                LogSink& log) {
    const NanoFieldInfo& field = message.description().fields[static_cast<std::size_t>(slot)];
    const NanoFieldFlags kind = field.flags & field_flag::types;
    NanoCell& cell = message.slots[static_cast<std::size_t>(slot)];
    if ((field.flags & field_flag::repeated) != 0) {
        if (kind == field_flag::message) {
            return expectWireType(stream, wireType, PB_WT_STRING) &&
                   decodeElement(stream, std::get<NanoMessageList>(cell), field.messageType, depth + 1, log);
        }
        if (kind == field_flag::string) {
            return expectWireType(stream, wireType, PB_WT_STRING) &&
                   decodeStringElement(stream, std::get<NanoStringList>(cell), log);
        }
        return decodeNumberElements(stream, wireType, std::get<NanoNumberList>(cell));
    }
    if (kind == field_flag::string) {
        return expectWireType(stream, wireType, PB_WT_STRING) && decodeString(stream, cell, log);
    }
    if (kind == field_flag::message) {
        if (!expectWireType(stream, wireType, PB_WT_STRING)) {
            return false;
        }
        auto* embedded = std::get_if<std::unique_ptr<NanoMessageInfo>>(&cell);
        if (embedded == nullptr) {
            cell = std::make_unique<NanoMessageInfo>(field.messageType);
            embedded = std::get_if<std::unique_ptr<NanoMessageInfo>>(&cell);
        }
        return decodeEmbedded(stream, **embedded, depth + 1, log);
    }
    return decodeNumber(stream, wireType, kind, cell);
}

// A field that the message parses but never keeps.
[[gnu::noinline]] bool decodeUnslotted(pb_istream_t* stream, pb_wire_type_t wireType, MessageType type, int depth,
                                       LogSink& log) {
    if (!expectWireType(stream, wireType, PB_WT_STRING)) {
        return false;
    }
    NanoMessageInfo dropped(type);
    return decodeEmbedded(stream, dropped, depth + 1, log);
}

bool decodeFields(pb_istream_t* stream, NanoMessageInfo& message, int depth, LogSink& log) {
    if (depth > maximumNestingDepth) {
        return fail(stream, message_text::nestedTooDeeply);
    }
    const NanoMessageDescription& description = message.description();
    while (stream->bytes_left > 0) {
        pb_wire_type_t wireType;
        std::uint32_t tag = 0;
        bool endOfStream = false;
        if (!pb_decode_tag(stream, &wireType, &tag, &endOfStream)) {
            if (endOfStream) {
                break;
            }
            return false;
        }
        if (tag == 0) {
            return fail(stream, message_text::zeroTag);
        }
        const int slot = tag < description.slotsByTag.size() ? description.slotsByTag[tag] : -1;
        bool decoded = true;
        if (slot >= 0) {
            decoded = decodeSlot(stream, wireType, message, slot, depth, log);
        } else if (tag == description.unslottedTag) {
            decoded = decodeUnslotted(stream, wireType, description.unslottedType, depth, log);
        } else {
            decoded = pb_skip_field(stream, wireType);
        }
        if (!decoded) {
            return false;
        }
    }
    return true;
}

// The sizing pass records the length of every embedded message in visiting order,
// so that the writing pass puts each length in front of its message without
// sizing it again at every level above.
struct EmbeddedSizes {
    std::vector<std::size_t> lengths;
    std::size_t next = 0;
};

bool encodeFields(pb_ostream_t* stream, const NanoMessageInfo& message, EmbeddedSizes& sizes);

bool encodeEmbedded(pb_ostream_t* stream, std::uint32_t tag, const NanoMessageInfo& embedded, EmbeddedSizes& sizes) {
    if (!pb_encode_tag(stream, PB_WT_STRING, tag)) {
        return false;
    }
    if (stream->callback == nullptr) {
        const std::size_t index = sizes.lengths.size();
        sizes.lengths.push_back(0);
        pb_ostream_t sizing = PB_OSTREAM_SIZING;
        if (!encodeFields(&sizing, embedded, sizes)) {
            return false;
        }
        sizes.lengths[index] = sizing.bytes_written;
        return pb_encode_varint(stream, sizing.bytes_written) && pb_write(stream, nullptr, sizing.bytes_written);
    }
    if (sizes.next >= sizes.lengths.size()) {
        return false;
    }
    const std::size_t length = sizes.lengths[sizes.next++];
    if (!pb_encode_varint(stream, length)) {
        return false;
    }
    const std::size_t before = stream->bytes_written;
    return encodeFields(stream, embedded, sizes) && stream->bytes_written - before == length;
}

bool encodeString(pb_ostream_t* stream, std::uint32_t tag, const std::string& value) {
    return pb_encode_tag(stream, PB_WT_STRING, tag) &&
           pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(value.data()), value.size());
}

bool encodeNumber(pb_ostream_t* stream, std::uint32_t tag, NanoFieldFlags kind, std::uint64_t value) {
    switch (kind) {
    case field_flag::boolean:
        return pb_encode_tag(stream, PB_WT_VARINT, tag) && pb_encode_varint(stream, value != 0 ? 1 : 0);
    case field_flag::int32:  // sign-extended to 64 bits: a negative value takes 10 bytes
        return pb_encode_tag(stream, PB_WT_VARINT, tag) &&
               pb_encode_varint(stream, static_cast<std::uint64_t>(static_cast<std::int64_t>(
                                            static_cast<std::int32_t>(static_cast<std::uint32_t>(value)))));
    case field_flag::uint32:
    case field_flag::enumeration:  // a negative enum takes 5 bytes
        return pb_encode_tag(stream, PB_WT_VARINT, tag) &&
               pb_encode_varint(stream, static_cast<std::uint64_t>(static_cast<std::uint32_t>(value)));
    case field_flag::int64:
    case field_flag::uint64:
        return pb_encode_tag(stream, PB_WT_VARINT, tag) && pb_encode_varint(stream, value);
    case field_flag::floatingPoint: {
        const auto bits = static_cast<std::uint32_t>(value);
        return pb_encode_tag(stream, PB_WT_32BIT, tag) && pb_encode_fixed32(stream, &bits);
    }
    case field_flag::doublePrecision:
        return pb_encode_tag(stream, PB_WT_64BIT, tag) && pb_encode_fixed64(stream, &value);
    default:
        return false;
    }
}

bool encodeSlot(pb_ostream_t* stream, const NanoFieldInfo& field, const NanoCell& cell, EmbeddedSizes& sizes) {
    const NanoFieldFlags kind = field.flags & field_flag::types;
    if ((field.flags & field_flag::repeated) != 0) {
        if (kind == field_flag::message) {
            const auto* list = std::get_if<NanoMessageList>(&cell);
            if (list == nullptr) {
                return false;
            }
            for (const NanoMessageInfo& element : *list) {
                if (element.type != field.messageType || !encodeEmbedded(stream, field.tag, element, sizes)) {
                    return false;
                }
            }
            return true;
        }
        if (kind == field_flag::string) {
            const auto* list = std::get_if<NanoStringList>(&cell);
            if (list == nullptr) {
                return false;
            }
            for (const std::string& element : *list) {
                if (!encodeString(stream, field.tag, element)) {
                    return false;
                }
            }
            return true;
        }
        // Unpacked: one tag and one varint per element.
        const auto* list = std::get_if<NanoNumberList>(&cell);
        if (list == nullptr) {
            return false;
        }
        for (const std::uint64_t element : *list) {
            if (!pb_encode_tag(stream, PB_WT_VARINT, field.tag) || !pb_encode_varint(stream, element)) {
                return false;
            }
        }
        return true;
    }
    if (std::holds_alternative<std::monostate>(cell)) {
        return true;
    }
    if (kind == field_flag::string) {
        const auto* value = std::get_if<std::string>(&cell);
        return value != nullptr && encodeString(stream, field.tag, *value);
    }
    if (kind == field_flag::message) {
        const auto* embedded = std::get_if<std::unique_ptr<NanoMessageInfo>>(&cell);
        return embedded != nullptr && *embedded != nullptr && (*embedded)->type == field.messageType &&
               encodeEmbedded(stream, field.tag, **embedded, sizes);
    }
    const auto* value = std::get_if<std::uint64_t>(&cell);
    return value != nullptr && encodeNumber(stream, field.tag, kind, *value);
}

bool encodeFields(pb_ostream_t* stream, const NanoMessageInfo& message, EmbeddedSizes& sizes) {
    const NanoMessageDescription& description = message.description();
    if (message.slots.size() != description.fields.size()) {
        return false;
    }
    for (const std::uint16_t slot : description.slotsInTagOrder) {
        if (!encodeSlot(stream, description.fields[slot], message.slots[slot], sizes)) {
            return false;
        }
    }
    return true;
}

NanoCell copyCell(const NanoCell& cell) {
    return std::visit(
        [](const auto& value) -> NanoCell {
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::unique_ptr<NanoMessageInfo>>) {
                if (value == nullptr) {
                    return std::monostate{};
                }
                return std::make_unique<NanoMessageInfo>(copyMessage(*value));
            } else if constexpr (std::is_same_v<Value, NanoMessageList>) {
                NanoMessageList copy;
                copy.reserve(value.size());
                for (const NanoMessageInfo& element : value) {
                    copy.push_back(copyMessage(element));
                }
                return copy;
            } else {
                return value;
            }
        },
        cell);
}

}  // namespace

bool releaseField(NanoMessageInfo& message, int slot, LogSink& log) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= message.slots.size()) {
        logLine(log, platform::formatMessage(message_text::cannotDeallocateField, {message.name, slot}));
        return false;
    }
    NanoCell& cell = message.slots[static_cast<std::size_t>(slot)];
    std::visit(
        [&cell](auto& value) {
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, NanoNumberList> || std::is_same_v<Value, NanoStringList> ||
                          std::is_same_v<Value, NanoMessageList>) {
                Value().swap(value);  // a repeated slot keeps its (now empty) list
            } else {
                cell = std::monostate{};
            }
        },
        cell);
    return true;
}

NanoMessageInfo copyMessage(const NanoMessageInfo& source) {
    NanoMessageInfo copy(source.type);
    for (std::size_t slot = 0; slot < source.slots.size() && slot < copy.slots.size(); ++slot) {
        copy.slots[slot] = copyCell(source.slots[slot]);
    }
    return copy;
}

bool decodeMessage(NanoMessageInfo& message, std::span<const std::uint8_t> bytes, LogSink& log) {
    message = NanoMessageInfo(message.type);
    pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
    if (!decodeFields(&stream, message, 0, log)) {
        logDecoderFailure(log, message.name, stream.errmsg);
        return false;
    }
    return true;
}

std::optional<NanoMessageInfo> decodeMessage(MessageType type, std::span<const std::uint8_t> bytes, LogSink& log) {
    NanoMessageInfo message(type);
    if (!decodeMessage(message, bytes, log)) {
        return std::nullopt;
    }
    return message;
}

std::optional<std::vector<std::uint8_t>> encodeMessage(const NanoMessageInfo& message) {
    EmbeddedSizes sizes;
    pb_ostream_t sizing = PB_OSTREAM_SIZING;
    if (!encodeFields(&sizing, message, sizes)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> buffer(sizing.bytes_written);
    pb_ostream_t output = pb_ostream_from_buffer(buffer.data(), buffer.size());
    if (!encodeFields(&output, message, sizes) || output.bytes_written != buffer.size() ||
        sizes.next != sizes.lengths.size()) {
        return std::nullopt;
    }
    return buffer;
}

}  // namespace kit::measurement

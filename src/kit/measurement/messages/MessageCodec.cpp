#include "kit/measurement/messages/MessageCodec.h"

#include "kit/measurement/messages/MessageTexts.h"
#include "platform/MessageFormat.h"

#include <pb_decode.h>
#include <pb_encode.h>

#include <algorithm>
#include <array>
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

// What one decode may allocate, charged before each allocation; the decode fails
// once a charge would overdraw it.
struct DecodeState {
    std::size_t budget;
    LogSink& log;

    bool charge(pb_istream_t* stream, std::size_t bytes) {
        if (bytes > budget) {
            return fail(stream, message_text::decodedTooLarge);
        }
        budget -= bytes;
        return true;
    }
};

constexpr std::size_t maximumSlots = 64;
using SlotCounts = std::array<std::uint32_t, maximumSlots>;
using SlotCells = std::array<NanoCell*, maximumSlots>;

// Room in `list` for one more element, the growth charged.
template <class List>
bool roomForOne(pb_istream_t* stream, List& list, DecodeState& state) {
    if (list.size() < list.capacity()) {
        return true;
    }
    const std::size_t capacity = list.empty() ? 1 : list.size() * 2;
    if (!state.charge(stream, capacity * sizeof(typename List::value_type))) {
        return false;
    }
    list.reserve(capacity);
    return true;
}

bool decodeFields(pb_istream_t* stream, NanoMessageInfo& message, int depth, DecodeState& state);

// The heap bytes a string of `length` bytes takes beyond its own object.
std::size_t stringHeapBytes(std::size_t length) {
    static const std::size_t inlineCapacity = std::string().capacity();
    return length > inlineCapacity ? length + 1 : 0;
}

// The bytes of one string; false past the length limit, the budget or on a short read.
[[gnu::noinline]] bool readString(pb_istream_t* stream, pb_istream_t* substream, std::string& value,
                                  DecodeState& state) {
    const std::size_t length = substream->bytes_left;
    if (length > maximumStringLength) {
        logLine(state.log, platform::formatMessage(message_text::bufferTooBig, {length, maximumStringLength}));
        return fail(stream, message_text::callbackFailed);
    }
    if (!state.charge(stream, stringHeapBytes(length))) {
        return false;
    }
    value = std::string(length, '\0');
    return pb_read(substream, reinterpret_cast<pb_byte_t*>(value.data()), length) ||
           fail(stream, message_text::callbackFailed);
}

[[gnu::noinline]] bool decodeString(pb_istream_t* stream, NanoCell& cell, DecodeState& state) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream)) {
        return false;
    }
    // A repeated singular string keeps its first value.
    if (!std::holds_alternative<std::string>(cell)) {
        std::string value;
        if (!readString(stream, &substream, value, state)) {
            return false;
        }
        cell = std::move(value);
    }
    return pb_close_string_substream(stream, &substream);
}

[[gnu::noinline]] bool decodeStringElement(pb_istream_t* stream, NanoStringList& list, DecodeState& state) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream) || !roomForOne(stream, list, state) ||
        !readString(stream, &substream, list.emplace_back(), state)) {
        return false;
    }
    return pb_close_string_substream(stream, &substream);
}

[[gnu::noinline]] bool decodeNumberElements(pb_istream_t* stream, pb_wire_type_t wireType, NanoNumberList& list,
                                            DecodeState& state) {
    std::uint64_t value = 0;
    if (wireType == PB_WT_VARINT) {
        if (!pb_decode_varint(stream, &value) || !roomForOne(stream, list, state)) {
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
        if (!roomForOne(stream, list, state)) {
            return false;
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
bool decodeEmbedded(pb_istream_t* stream, NanoMessageInfo& embedded, int depth, DecodeState& state) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream)) {
        return false;
    }
    const bool decoded = decodeFields(&substream, embedded, depth, state);
    // Closing hands the substream's error text to the outer stream.
    return pb_close_string_substream(stream, &substream) && decoded;
}

bool decodeElement(pb_istream_t* stream, NanoMessageList& list, MessageType type, int depth, DecodeState& state) {
    pb_istream_t substream;
    if (!pb_make_string_substream(stream, &substream) || !roomForOne(stream, list, state)) {
        return false;
    }
    NanoMessageInfo& element = list.emplace_back(type);
    if (!decodeFields(&substream, element, depth, state)) {
        logElementFailure(state.log, element.name(), substream.errmsg);
        return fail(stream, substream.errmsg == message_text::decodedTooLarge ? message_text::decodedTooLarge
                                                                              : message_text::callbackFailed);
    }
    return pb_close_string_substream(stream, &substream);
}

// The field under `slot`, its wire type already read.
bool decodeSlot(pb_istream_t* stream, pb_wire_type_t wireType, const NanoFieldInfo& field, NanoCell& cell, int depth,
                DecodeState& state) {
    const NanoFieldFlags kind = field.flags & field_flag::types;
    if ((field.flags & field_flag::repeated) != 0) {
        if (kind == field_flag::message) {
            return expectWireType(stream, wireType, PB_WT_STRING) &&
                   decodeElement(stream, std::get<NanoMessageList>(cell), field.messageType, depth + 1, state);
        }
        if (kind == field_flag::string) {
            return expectWireType(stream, wireType, PB_WT_STRING) &&
                   decodeStringElement(stream, std::get<NanoStringList>(cell), state);
        }
        return decodeNumberElements(stream, wireType, std::get<NanoNumberList>(cell), state);
    }
    if (kind == field_flag::string) {
        return expectWireType(stream, wireType, PB_WT_STRING) && decodeString(stream, cell, state);
    }
    if (kind == field_flag::message) {
        if (!expectWireType(stream, wireType, PB_WT_STRING)) {
            return false;
        }
        auto* embedded = std::get_if<std::unique_ptr<NanoMessageInfo>>(&cell);
        if (embedded == nullptr) {
            if (!state.charge(stream, sizeof(NanoMessageInfo))) {
                return false;
            }
            cell = std::make_unique<NanoMessageInfo>(field.messageType);
            embedded = std::get_if<std::unique_ptr<NanoMessageInfo>>(&cell);
        }
        return decodeEmbedded(stream, **embedded, depth + 1, state);
    }
    return decodeNumber(stream, wireType, kind, cell);
}

// A field that the message parses but never keeps.
[[gnu::noinline]] bool decodeUnslotted(pb_istream_t* stream, pb_wire_type_t wireType, MessageType type, int depth,
                                       DecodeState& state) {
    if (!expectWireType(stream, wireType, PB_WT_STRING)) {
        return false;
    }
    NanoMessageInfo dropped(type);
    return decodeEmbedded(stream, dropped, depth + 1, state);
}

// The varints in a packed run: every byte without its continuation bit ends one.
bool countPackedVarints(pb_istream_t* stream, std::uint32_t& count) {
    std::uint64_t length = 0;
    if (!pb_decode_varint(stream, &length) || length > stream->bytes_left) {
        return false;
    }
    pb_byte_t chunk[256];
    while (length > 0) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof chunk));
        if (!pb_read(stream, chunk, size)) {
            return false;
        }
        for (std::size_t index = 0; index < size; ++index) {
            count += (chunk[index] & 0x80) == 0 ? 1 : 0;
        }
        length -= size;
    }
    return true;
}

// How many elements each repeated slot will hold and which singular slots appear,
// read from a copy of the stream so that every list and the record's cells are
// allocated once at their size. A malformed field ends the count; the decoding
// pass reports it when it gets there.
void countFields(pb_istream_t stream, const NanoMessageDescription& description, SlotCounts& counts) {
    while (stream.bytes_left > 0) {
        pb_wire_type_t wireType;
        std::uint32_t tag = 0;
        bool endOfStream = false;
        if (!pb_decode_tag(&stream, &wireType, &tag, &endOfStream) || tag == 0) {
            return;
        }
        const int slot = tag < description.slotsByTag.size() ? description.slotsByTag[tag] : -1;
        if (slot >= 0) {
            const NanoFieldFlags flags = description.fields[static_cast<std::size_t>(slot)].flags;
            std::uint32_t& count = counts[static_cast<std::size_t>(slot)];
            const bool numbers = (flags & (field_flag::message | field_flag::string)) == 0;
            if ((flags & field_flag::repeated) == 0) {
                count = 1;
            } else if (numbers && wireType == PB_WT_STRING) {
                if (!countPackedVarints(&stream, count)) {
                    return;
                }
                continue;
            } else {
                ++count;
            }
        }
        if (!pb_skip_field(&stream, wireType)) {
            return;
        }
    }
}

// Makes the cell of every counted slot, each list sized to its count.
bool makeCells(pb_istream_t* stream, NanoMessageInfo& message, const SlotCounts& counts, SlotCells& cells,
               DecodeState& state) {
    const NanoMessageDescription& description = message.description();
    const std::size_t slotCount = description.fields.size();
    std::size_t filled = 0;
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        filled += counts[slot] != 0 ? 1 : 0;
    }
    if (filled == 0) {
        return true;
    }
    if (!state.charge(stream, NanoSlots::bytesFor(filled))) {
        return false;
    }
    message.slots.reserve(filled);
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        if (counts[slot] == 0) {
            continue;
        }
        NanoCell& cell = message.slots[slot];
        cells[slot] = &cell;
        const bool reserved = std::visit(
            [&](auto& value) {
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, NanoNumberList> || std::is_same_v<Value, NanoStringList> ||
                              std::is_same_v<Value, NanoMessageList>) {
                    if (!state.charge(stream, std::size_t{counts[slot]} * sizeof(typename Value::value_type))) {
                        return false;
                    }
                    value.reserve(counts[slot]);
                }
                return true;
            },
            cell);
        if (!reserved) {
            return false;
        }
    }
    return true;
}

// The cell of `slot`; a slot the count missed gets one now, which may move the others.
NanoCell& cellFor(NanoMessageInfo& message, std::size_t slot, SlotCells& cells) {
    if (cells[slot] == nullptr) {
        message.slots[slot];
        for (std::size_t index = 0; index < message.slots.filledCount(); ++index) {
            cells[message.slots.filledSlot(index)] = message.slots.find(message.slots.filledSlot(index));
        }
    }
    return *cells[slot];
}

bool decodeFields(pb_istream_t* stream, NanoMessageInfo& message, int depth, DecodeState& state) {
    if (depth > maximumNestingDepth) {
        return fail(stream, message_text::nestedTooDeeply);
    }
    const NanoMessageDescription& description = message.description();
    if (description.fields.size() > maximumSlots) {
        return fail(stream, message_text::invalidFieldDescriptor);
    }
    SlotCounts counts{};
    countFields(*stream, description, counts);
    SlotCells cells{};
    if (!makeCells(stream, message, counts, cells, state)) {
        return false;
    }
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
            const auto index = static_cast<std::size_t>(slot);
            decoded =
                decodeSlot(stream, wireType, description.fields[index], cellFor(message, index, cells), depth, state);
        } else if (tag == description.unslottedTag) {
            decoded = decodeUnslotted(stream, wireType, description.unslottedType, depth, state);
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

bool holdsSomething(const NanoCell& cell) {
    return std::visit(
        [](const auto& value) {
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::monostate>) {
                return false;
            } else if constexpr (std::is_same_v<Value, NanoNumberList> || std::is_same_v<Value, NanoStringList> ||
                                 std::is_same_v<Value, NanoMessageList>) {
                return !value.empty();
            } else {
                return true;
            }
        },
        cell);
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
        logLine(log, platform::formatMessage(message_text::cannotDeallocateField, {message.name(), slot}));
        return false;
    }
    NanoCell* found = message.slots.find(static_cast<std::size_t>(slot));
    if (found == nullptr) {
        return true;  // nothing was ever stored there
    }
    NanoCell& cell = *found;
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
    // Absent fields and empty lists read the same without a cell, so they get none.
    std::size_t filled = 0;
    for (std::size_t index = 0; index < source.slots.filledCount(); ++index) {
        filled += holdsSomething(source.slots.filledCell(index)) ? 1 : 0;
    }
    copy.slots.reserve(filled);
    for (std::size_t index = 0; index < source.slots.filledCount(); ++index) {
        const NanoCell& cell = source.slots.filledCell(index);
        if (holdsSomething(cell)) {
            copy.slots[source.slots.filledSlot(index)] = copyCell(cell);
        }
    }
    return copy;
}

bool decodeMessage(NanoMessageInfo& message, std::span<const std::uint8_t> bytes, LogSink& log) {
    message = NanoMessageInfo(message.type);
    pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
    DecodeState state{decodeAllowance + bytes.size() * decodeBytesPerInputByte, log};
    if (!decodeFields(&stream, message, 0, state)) {
        logDecoderFailure(log, message.name(), stream.errmsg);
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

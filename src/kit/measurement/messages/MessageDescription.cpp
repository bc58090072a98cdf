#include "kit/measurement/messages/NanoMessageInfo.h"

#include <array>
#include <cstddef>

namespace kit::measurement {
namespace {

#define KIT_NOTHING(...)

constexpr NanoFieldInfo allFields[] = {
#define KIT_FIELD_INFO(message, tag, flags, name, type) {tag, flags, #name, MessageType::type},
    KIT_MEASUREMENT_MESSAGES(KIT_NOTHING, KIT_FIELD_INFO, KIT_NOTHING)
#undef KIT_FIELD_INFO
};
constexpr std::size_t fieldCount = std::size(allFields);

constexpr MessageType fieldOwners[] = {
#define KIT_FIELD_OWNER(message, tag, flags, name, type) MessageType::message,
    KIT_MEASUREMENT_MESSAGES(KIT_NOTHING, KIT_FIELD_OWNER, KIT_NOTHING)
#undef KIT_FIELD_OWNER
};

constexpr NanoFieldFlags allFlags[] = {
#define KIT_FIELD_FLAGS(message, tag, flags, name, type) flags,
    KIT_MEASUREMENT_MESSAGES(KIT_NOTHING, KIT_FIELD_FLAGS, KIT_NOTHING)
#undef KIT_FIELD_FLAGS
};

struct MessageRow {
    std::string_view name;
    std::uint16_t slotCount;
};

constexpr MessageRow messageRows[] = {
#define KIT_MESSAGE_ROW(message, slots) {#message, slots},
    KIT_MEASUREMENT_MESSAGES(KIT_MESSAGE_ROW, KIT_NOTHING, KIT_NOTHING)
#undef KIT_MESSAGE_ROW
};
static_assert(std::size(messageRows) == messageTypeCount);

struct UnslottedRow {
    MessageType owner;
    std::uint32_t tag;
    MessageType type;
};

constexpr UnslottedRow unslottedRows[] = {
#define KIT_UNSLOTTED_ROW(message, tag, type) {MessageType::message, tag, MessageType::type},
    KIT_MEASUREMENT_MESSAGES(KIT_NOTHING, KIT_NOTHING, KIT_UNSLOTTED_ROW)
#undef KIT_UNSLOTTED_ROW
};

#undef KIT_NOTHING

constexpr std::array<std::uint16_t, messageTypeCount + 1> firstFields = [] {
    std::array<std::uint16_t, messageTypeCount + 1> first{};
    std::uint16_t offset = 0;
    for (std::size_t type = 0; type < messageTypeCount; ++type) {
        first[type] = offset;
        offset = static_cast<std::uint16_t>(offset + messageRows[type].slotCount);
    }
    first[messageTypeCount] = offset;
    return first;
}();

constexpr bool tableIsConsistent() {
    if (firstFields[messageTypeCount] != fieldCount) {
        return false;
    }
    for (std::size_t type = 0; type < messageTypeCount; ++type) {
        for (std::size_t index = firstFields[type]; index < firstFields[type + 1]; ++index) {
            const NanoFieldInfo& field = allFields[index];
            if (fieldOwners[index] != static_cast<MessageType>(type) || field.tag == 0 || field.tag >= 128 ||
                messageRows[type].slotCount > 127) {
                return false;
            }
            const NanoFieldFlags label = field.flags & (field_flag::singular | field_flag::repeated);
            const NanoFieldFlags kind = field.flags & field_flag::types;
            if ((label != field_flag::singular && label != field_flag::repeated) || kind == 0 ||
                (kind & (kind - 1)) != 0 || (field.flags & ~(label | kind)) != 0) {
                return false;
            }
            if ((kind == field_flag::message) != (field.messageType != MessageType::None)) {
                return false;
            }
            // Repeated numbers travel as varints only.
            if (label == field_flag::repeated &&
                (kind & (field_flag::floatingPoint | field_flag::doublePrecision | field_flag::bytes)) != 0) {
                return false;
            }
            for (std::size_t other = firstFields[type]; other < index; ++other) {
                if (allFields[other].tag == field.tag) {
                    return false;
                }
            }
        }
    }
    return true;
}
static_assert(tableIsConsistent());

constexpr std::array<std::uint16_t, fieldCount> tagOrder = [] {
    std::array<std::uint16_t, fieldCount> order{};
    for (std::size_t type = 0; type < messageTypeCount; ++type) {
        const std::size_t first = firstFields[type];
        const std::size_t count = messageRows[type].slotCount;
        for (std::size_t slot = 0; slot < count; ++slot) {
            std::size_t position = slot;
            while (position > 0 && allFields[first + order[first + position - 1]].tag > allFields[first + slot].tag) {
                order[first + position] = order[first + position - 1];
                --position;
            }
            order[first + position] = static_cast<std::uint16_t>(slot);
        }
    }
    return order;
}();

constexpr std::size_t tagLimit = 128;

constexpr std::array<std::array<std::int8_t, tagLimit>, messageTypeCount> slotTables = [] {
    std::array<std::array<std::int8_t, tagLimit>, messageTypeCount> tables{};
    for (std::size_t type = 0; type < messageTypeCount; ++type) {
        tables[type].fill(-1);
        for (std::size_t slot = 0; slot < messageRows[type].slotCount; ++slot) {
            tables[type][allFields[firstFields[type] + slot].tag] = static_cast<std::int8_t>(slot);
        }
    }
    return tables;
}();

constexpr std::array<NanoMessageDescription, messageTypeCount> descriptions = [] {
    std::array<NanoMessageDescription, messageTypeCount> all{};
    for (std::size_t type = 0; type < messageTypeCount; ++type) {
        const std::size_t first = firstFields[type];
        const std::size_t count = messageRows[type].slotCount;
        NanoMessageDescription& description = all[type];
        description.name = messageRows[type].name;
        description.fields = std::span(allFields).subspan(first, count);
        description.flags = std::span(allFlags).subspan(first, count);
        description.slotsInTagOrder = std::span(tagOrder).subspan(first, count);
        description.slotsByTag = std::span(slotTables[type]);
        description.unslottedTag = 0;
        description.unslottedType = MessageType::None;
        for (const UnslottedRow& row : unslottedRows) {
            if (row.owner == static_cast<MessageType>(type)) {
                description.unslottedTag = row.tag;
                description.unslottedType = row.type;
            }
        }
    }
    return all;
}();

}  // namespace

const NanoMessageDescription& messageDescription(MessageType type) {
    return descriptions[static_cast<std::size_t>(type)];
}

}  // namespace kit::measurement

#pragma once

#include "kit/measurement/messages/MessageTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The measurement messages as the engine holds them: every field is addressed by
// its slot (its position in the message's declaration order), never by its tag.
namespace kit::measurement {

enum class MessageType : std::uint8_t {
#define KIT_MESSAGE_ENUMERATOR(name, slots) name,
#define KIT_NOTHING(...)
    KIT_MEASUREMENT_MESSAGES(KIT_MESSAGE_ENUMERATOR, KIT_NOTHING, KIT_NOTHING)
#undef KIT_MESSAGE_ENUMERATOR
#undef KIT_NOTHING
        None,  // the element or embedded type of a field that holds no message
};

inline constexpr std::size_t messageTypeCount = static_cast<std::size_t>(MessageType::None);

// One word per slot: exactly one of `singular` and `repeated`, plus one type bit.
using NanoFieldFlags = std::uint32_t;
namespace field_flag {
inline constexpr NanoFieldFlags singular = 0x2;
inline constexpr NanoFieldFlags repeated = 0x8;
inline constexpr NanoFieldFlags boolean = 0x20;
inline constexpr NanoFieldFlags enumeration = 0x40;
inline constexpr NanoFieldFlags int32 = 0x80;
inline constexpr NanoFieldFlags uint32 = 0x100;
inline constexpr NanoFieldFlags int64 = 0x200;
inline constexpr NanoFieldFlags uint64 = 0x400;
inline constexpr NanoFieldFlags floatingPoint = 0x800;
inline constexpr NanoFieldFlags doublePrecision = 0x1000;
inline constexpr NanoFieldFlags string = 0x2000;
inline constexpr NanoFieldFlags message = 0x4000;
inline constexpr NanoFieldFlags bytes = 0x8000;
inline constexpr NanoFieldFlags types = 0xFFE0;
}  // namespace field_flag

struct NanoFieldInfo {
    std::uint32_t tag;
    NanoFieldFlags flags;
    std::string_view name;
    MessageType messageType;  // the embedded or element type, None for numbers and strings
};

struct NanoMessageDescription {
    std::string_view name;
    std::span<const NanoFieldInfo> fields;           // in slot order
    std::span<const NanoFieldFlags> flags;           // in slot order
    std::span<const std::uint16_t> slotsInTagOrder;  // the order fields are written in
    std::span<const std::int8_t> slotsByTag;         // indexed by tag (all below 128), -1 for no slot
    std::uint32_t unslottedTag;                      // parsed and dropped; 0 when the message has none
    MessageType unslottedType;
};

const NanoMessageDescription& messageDescription(MessageType type);

struct NanoMessageInfo;

// Numbers are one 64-bit word: bool, enum, int32 and uint32 hold the 32-bit value
// widened without sign, float its IEEE bits, double its IEEE bits.
using NanoNumberList = std::vector<std::uint64_t>;
using NanoStringList = std::vector<std::string>;
using NanoMessageList = std::vector<NanoMessageInfo>;
// An absent singular field is std::monostate; a repeated slot always holds its list.
using NanoCell = std::variant<std::monostate, std::uint64_t, std::string, std::unique_ptr<NanoMessageInfo>,
                              NanoNumberList, NanoStringList, NanoMessageList>;

// One message record: it owns every cell reached from its slots. Copies are deep
// and explicit (copyMessage); moving is cheap.
struct NanoMessageInfo {
    explicit NanoMessageInfo(MessageType type);
    NanoMessageInfo(NanoMessageInfo&&) noexcept = default;
    NanoMessageInfo& operator=(NanoMessageInfo&&) noexcept = default;
    NanoMessageInfo(const NanoMessageInfo&) = delete;
    NanoMessageInfo& operator=(const NanoMessageInfo&) = delete;
    ~NanoMessageInfo();

    const NanoMessageDescription& description() const { return messageDescription(type); }

    MessageType type;
    std::string_view name;
    std::span<const NanoFieldFlags> flags;
    std::vector<NanoCell> slots;
};

}  // namespace kit::measurement

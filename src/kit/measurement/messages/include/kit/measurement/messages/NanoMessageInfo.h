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

// The cells of one record by slot. Only a slot that was filled takes room: an
// absent field and a list never filled cost nothing, so that a wide message with
// few fields stays small. Read access to such a slot sees an absent field or an
// empty list of the slot's kind; write access makes its cell first.
//
// A cell keeps its address until a slot that holds no cell is first written in a
// record made by decoding or copying (those are sized to their filled slots); in a
// record built slot by slot the first new cell makes room for every slot.
class NanoSlots {
public:
    explicit NanoSlots(MessageType type) noexcept : type_(type) {}
    NanoSlots(NanoSlots&& other) noexcept;
    NanoSlots& operator=(NanoSlots&& other) noexcept;
    NanoSlots(const NanoSlots&) = delete;
    NanoSlots& operator=(const NanoSlots&) = delete;
    ~NanoSlots();

    // The message's slot count.
    std::size_t size() const noexcept;

    NanoCell& operator[](std::size_t slot);
    const NanoCell& operator[](std::size_t slot) const;

    // The slot's cell, or null when it holds none.
    NanoCell* find(std::size_t slot) noexcept;
    const NanoCell* find(std::size_t slot) const noexcept;

    // Room for `cells` filled slots in all, so that filling that many moves no cell.
    void reserve(std::size_t cells);

    // The filled slots in the order they were filled.
    std::size_t filledCount() const noexcept { return count_; }
    std::size_t filledSlot(std::size_t index) const noexcept { return slotBytes()[index]; }
    const NanoCell& filledCell(std::size_t index) const noexcept { return cells_[index]; }

    // The heap bytes that room for `cells` filled slots takes.
    static constexpr std::size_t bytesFor(std::size_t cells) noexcept { return cells * (sizeof(NanoCell) + 1); }

private:
    std::uint8_t* slotBytes() const noexcept { return reinterpret_cast<std::uint8_t*>(cells_ + capacity_); }
    void release() noexcept;
    void grow(std::size_t capacity);

    NanoCell* cells_ = nullptr;
    std::uint8_t count_ = 0;
    std::uint8_t capacity_ = 0;
    MessageType type_;
};

// One message record: it owns every cell reached from its slots. Copies are deep
// and explicit (copyMessage); moving is cheap.
struct NanoMessageInfo {
    explicit NanoMessageInfo(MessageType messageType) noexcept : slots(messageType), type(messageType) {}
    NanoMessageInfo(NanoMessageInfo&&) noexcept = default;
    NanoMessageInfo& operator=(NanoMessageInfo&&) noexcept = default;
    NanoMessageInfo(const NanoMessageInfo&) = delete;
    NanoMessageInfo& operator=(const NanoMessageInfo&) = delete;
    ~NanoMessageInfo();

    const NanoMessageDescription& description() const { return messageDescription(type); }
    std::string_view name() const { return description().name; }
    std::span<const NanoFieldFlags> flags() const { return description().flags; }

    // The slots come first so that the type sits in their padding: a record is
    // 16 bytes, and lists of small messages hold many.
    [[no_unique_address]] NanoSlots slots;
    MessageType type;
};

}  // namespace kit::measurement

#include "kit/measurement/messages/NanoMessageInfo.h"

#include <new>
#include <utility>

namespace kit::measurement {
namespace {

// What a slot without a cell reads as.
const NanoCell& emptyCell(NanoFieldFlags flags) {
    static const NanoCell absent;
    static const NanoCell numbers{NanoNumberList{}};
    static const NanoCell strings{NanoStringList{}};
    static const NanoCell messages{NanoMessageList{}};
    if ((flags & field_flag::repeated) == 0) {
        return absent;
    }
    if ((flags & field_flag::message) != 0) {
        return messages;
    }
    if ((flags & (field_flag::string | field_flag::bytes)) != 0) {
        return strings;
    }
    return numbers;
}

}  // namespace

NanoSlots::NanoSlots(NanoSlots&& other) noexcept
    : cells_(std::exchange(other.cells_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      type_(other.type_) {}

NanoSlots& NanoSlots::operator=(NanoSlots&& other) noexcept {
    if (this != &other) {
        release();
        cells_ = std::exchange(other.cells_, nullptr);
        count_ = std::exchange(other.count_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        type_ = other.type_;
    }
    return *this;
}

NanoSlots::~NanoSlots() { release(); }

void NanoSlots::release() noexcept {
    for (std::size_t index = 0; index < count_; ++index) {
        cells_[index].~NanoCell();
    }
    ::operator delete(static_cast<void*>(cells_));
    cells_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}

std::size_t NanoSlots::size() const noexcept { return messageDescription(type_).fields.size(); }

NanoCell* NanoSlots::find(std::size_t slot) noexcept { return const_cast<NanoCell*>(std::as_const(*this).find(slot)); }

const NanoCell* NanoSlots::find(std::size_t slot) const noexcept {
    const std::uint8_t* slots = slotBytes();
    for (std::size_t index = 0; index < count_; ++index) {
        if (slots[index] == slot) {
            return cells_ + index;
        }
    }
    return nullptr;
}

const NanoCell& NanoSlots::operator[](std::size_t slot) const {
    if (const NanoCell* cell = find(slot)) {
        return *cell;
    }
    return emptyCell(messageDescription(type_).flags[slot]);
}

NanoCell& NanoSlots::operator[](std::size_t slot) {
    if (NanoCell* cell = find(slot)) {
        return *cell;
    }
    const NanoFieldFlags flags = messageDescription(type_).flags[slot];
    if (count_ == capacity_) {
        grow(size());
    }
    NanoCell* cell = new (cells_ + count_) NanoCell();
    if ((flags & field_flag::repeated) != 0) {
        if ((flags & field_flag::message) != 0) {
            cell->emplace<NanoMessageList>();
        } else if ((flags & (field_flag::string | field_flag::bytes)) != 0) {
            cell->emplace<NanoStringList>();
        } else {
            cell->emplace<NanoNumberList>();
        }
    }
    slotBytes()[count_] = static_cast<std::uint8_t>(slot);
    ++count_;
    return *cell;
}

void NanoSlots::reserve(std::size_t cells) {
    if (cells > capacity_) {
        grow(cells);
    }
}

void NanoSlots::grow(std::size_t capacity) {
    auto* cells = static_cast<NanoCell*>(::operator new(bytesFor(capacity)));
    auto* slots = reinterpret_cast<std::uint8_t*>(cells + capacity);
    const std::uint8_t* oldSlots = slotBytes();
    for (std::size_t index = 0; index < count_; ++index) {
        new (cells + index) NanoCell(std::move(cells_[index]));
        cells_[index].~NanoCell();
        slots[index] = oldSlots[index];
    }
    ::operator delete(static_cast<void*>(cells_));
    cells_ = cells;
    capacity_ = static_cast<std::uint8_t>(capacity);
}

static_assert(sizeof(NanoMessageInfo) <= 16, "a record is its slots and its type");

NanoMessageInfo::~NanoMessageInfo() = default;

}  // namespace kit::measurement

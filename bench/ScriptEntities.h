#pragma once

#include "kit/measurement/messages/NanoMessageInfo.h"

#include <bit>
#include <cstdint>
#include <string>
#include <utility>

// Leaf entities of script programs, for the benchmarks that build them.
namespace bench {

inline kit::measurement::NanoMessageInfo text(std::string value) {
    kit::measurement::NanoMessageInfo entity(kit::measurement::MessageType::RuntimeEntity);
    entity.slots[0] = std::uint64_t{1};
    entity.slots[3] = std::move(value);
    return entity;
}

inline kit::measurement::NanoMessageInfo number(double value) {
    kit::measurement::NanoMessageInfo entity(kit::measurement::MessageType::RuntimeEntity);
    entity.slots[0] = std::uint64_t{2};
    entity.slots[5] = std::bit_cast<std::uint64_t>(value);
    return entity;
}

}  // namespace bench

#pragma once

#include "platform/Random.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace stubforge {

// A random (version 4) UUID: the identity of a column or field row. A
// default-made one is the nil UUID, all zeros.
class UUID {
public:
    // A fresh identifier from `random`.
    static UUID random(platform::RandomSource& random);

    // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": upper-case hexadecimal groups.
    std::string uuidString() const;

    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    friend bool operator==(const UUID&, const UUID&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace stubforge

template <>
struct std::hash<stubforge::UUID> {
    std::size_t operator()(const stubforge::UUID& uuid) const noexcept {
        std::size_t value = 0;
        for (const std::uint8_t byte : uuid.bytes()) {
            value = value * 131 + byte;
        }
        return value;
    }
};

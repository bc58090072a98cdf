#include "stubforge/core/UUID.h"

namespace stubforge {

UUID UUID::random(platform::RandomSource& random) {
    UUID uuid;
    for (std::size_t index = 0; index < uuid.bytes_.size(); index += 8) {
        std::uint64_t word = random.next();
        for (std::size_t offset = 0; offset < 8; ++offset) {
            uuid.bytes_[index + offset] = static_cast<std::uint8_t>(word & 0xFF);
            word >>= 8;
        }
    }
    uuid.bytes_[6] = static_cast<std::uint8_t>((uuid.bytes_[6] & 0x0F) | 0x40);  // version 4
    uuid.bytes_[8] = static_cast<std::uint8_t>((uuid.bytes_[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid;
}

std::string UUID::uuidString() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t index = 0; index < bytes_.size(); ++index) {
        if (index == 4 || index == 6 || index == 8 || index == 10) {
            text += '-';
        }
        text += digits[bytes_[index] >> 4];
        text += digits[bytes_[index] & 0x0F];
    }
    return text;
}

}  // namespace stubforge

#include "kit/measurement/support/MSRDigests.h"

#include "kit/measurement/support/MSRStrings.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace kit::measurement {

std::array<std::uint8_t, 16> msr_MD5Data(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 16> digest{};
    unsigned int length = 0;
    // EVP_Digest only fails when the library cannot allocate its context.
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != digest.size()) {
        throw std::runtime_error("MD5 digest failed");
    }
    return digest;
}

std::array<std::uint8_t, 16> msr_MD5Data(std::string_view bytes) {
    return msr_MD5Data(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::int64_t msr_64LeastSignificantBits(std::span<const std::uint8_t> bytes) {
    const std::size_t start = bytes.size() > 8 ? bytes.size() - 8 : 0;
    std::uint64_t value = 0;
    for (std::size_t index = start; index < bytes.size(); ++index) {
        value = (value << 8) | bytes[index];
    }
    return static_cast<std::int64_t>(value);
}

std::int64_t msr_64LSBMD5(std::span<const std::uint8_t> bytes) {
    const auto digest = msr_MD5Data(bytes);
    return msr_64LeastSignificantBits(digest);
}

std::int64_t msr_64LSBMD5(std::string_view bytes) {
    const auto digest = msr_MD5Data(bytes);
    return msr_64LeastSignificantBits(digest);
}

namespace {

// Valid UTF-8: every code point decodes from its own bytes, so a U+FFFD
// that stands for bad bytes (rather than the three bytes of U+FFFD) fails.
bool isValidUTF8(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t start = position;
        const char32_t codePoint = msr_nextCodePoint(text, position);
        if (codePoint == U'\uFFFD' && text.substr(start, position - start) != "\xEF\xBF\xBD") {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> msr_MD5String(std::string_view text) {
    if (!isValidUTF8(text)) {
        return std::nullopt;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(32);
    for (const std::uint8_t byte : msr_MD5Data(text)) {
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 0x0f]);
    }
    return hex;
}

bool isBitEnabledAtIndex(std::string_view bits, std::int64_t index) {
    return index >= 0 && static_cast<std::uint64_t>(index) < bits.size() &&
           bits[static_cast<std::size_t>(index)] == '1';
}

}  // namespace kit::measurement

// Hashed user data given as hexadecimal characters: any bytes decode to
// one byte per pair, and characters that are all hexadecimal digits decode
// to the value they spell.

#include "kit/measurement/controller/HLOAnalytics.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> characters(data, size);
    const auto bytes = kit::measurement::HLOAnalytics::dataFromHexCharacters(characters);
    if (bytes.size() != size / 2) {
        std::abort();
    }
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        const char pair[3] = {static_cast<char>(data[2 * index]), static_cast<char>(data[2 * index + 1]), 0};
        if (std::isxdigit(data[2 * index]) && std::isxdigit(data[2 * index + 1]) &&
            bytes[index] != std::strtoul(pair, nullptr, 16)) {
            std::abort();
        }
    }
    return 0;
}

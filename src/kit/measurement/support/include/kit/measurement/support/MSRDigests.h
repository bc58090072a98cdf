#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Digests and bit strings shared by the measurement engine: record
// fingerprints, the upload checksum, hashed identifiers and the bit strings
// of transparency-and-consent data.
namespace kit::measurement {

// The 16-byte MD5 digest of the bytes.
std::array<std::uint8_t, 16> msr_MD5Data(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, 16> msr_MD5Data(std::string_view bytes);

// The last min(length, 8) bytes read as a big-endian unsigned number, as a
// signed 64-bit integer; shorter data is zero-extended, empty data gives 0.
std::int64_t msr_64LeastSignificantBits(std::span<const std::uint8_t> bytes);

// Bytes 8 to 15 of the MD5 digest as a big-endian 64-bit integer.
std::int64_t msr_64LSBMD5(std::span<const std::uint8_t> bytes);
std::int64_t msr_64LSBMD5(std::string_view bytes);

// The MD5 digest of the text as 32 lower-case hexadecimal digits; none when
// the text is not valid UTF-8.
std::optional<std::string> msr_MD5String(std::string_view text);

// Whether the character at `index` of a bit string is "1"; NO for a
// negative index or one at or beyond the end.
bool isBitEnabledAtIndex(std::string_view bits, std::int64_t index);

}  // namespace kit::measurement

#pragma once

#include "platform/Expected.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Whole-buffer gzip: the kit compresses request bodies, heartbeat headers
// and stored bundles, and expands server answers and stored bundles.
// Nothing (without an error) stands for the nil result the callers treat
// themselves: an empty input.
namespace kit {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::string_view kLMUNSDataZlibErrorDomain = "com.lumen.LMUNSDataZlibErrorDomain";
inline constexpr std::string_view kLMUNSDataZlibErrorKey = "LMUNSDataZlibErrorKey";
inline constexpr std::string_view kLMUNSDataZlibRemainingBytesKey = "LMUNSDataZlibRemainingBytesKey";

enum LMUNSDataZlibError : int {
    LMUNSDataZlibErrorGreaterThan32BitsToCompress = 1024,
    LMUNSDataZlibErrorInternal = 1025,
    LMUNSDataZlibErrorDataRemaining = 1026,
};

// The most an expansion produces unless the caller asks for less: a small
// gzip bomb must not exhaust memory.
inline constexpr std::size_t kDefaultInflateLimit = std::size_t{64} << 20;

// The gzip form of `data` (a gzip member with header and trailer).
platform::Expected<std::optional<Bytes>> lmu_dataByGzippingData(std::span<const std::uint8_t> data);

// The bytes of a gzip or zlib stream. Past `outputLimit` bytes of output it
// fails with 1025 and zlib's Z_MEM_ERROR. Bytes after the end of the first
// stream fail with 1026.
platform::Expected<std::optional<Bytes>> lmu_dataByInflatingGzippedData(std::span<const std::uint8_t> data,
                                                                        std::size_t outputLimit = kDefaultInflateLimit);

}  // namespace kit

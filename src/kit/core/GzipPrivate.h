#pragma once

#include "kit/core/Gzip.h"

#include <optional>
#include <string>

// The whole outcome of a gzip operation, user-info facts included; the
// public functions turn it into an Expected.
namespace kit::detail {

struct GzipFailure {
    int code = 0;
    std::optional<int> zlibStatus;                // LMUNSDataZlibErrorKey
    std::optional<std::uint64_t> remainingBytes;  // LMUNSDataZlibRemainingBytesKey
    std::string zlibMessage;                      // the description, when zlib gave one
};

struct GzipOutcome {
    std::optional<Bytes> bytes;
    std::optional<GzipFailure> failure;
};

GzipOutcome gzip(std::span<const std::uint8_t> data);
GzipOutcome inflate(std::span<const std::uint8_t> data, std::size_t outputLimit);

}  // namespace kit::detail

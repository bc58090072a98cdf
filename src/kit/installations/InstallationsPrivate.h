#pragma once

#include "kit/promises/PRMPromise.h"

#include <cstdint>
#include <span>
#include <string>

// Helpers shared by the records, the store and the legacy readers.
namespace kit::installations::detail {

// URL-safe base64 ("-" for "+", "_" for "/"), with its "=" padding.
std::string URLSafeBase64(std::span<const std::uint8_t> bytes);

// The shared pool standing for the utility global queue, as a promise queue.
promises::Queue utilityQueue();

// Whether `bytes` are well-formed UTF-8.
bool isValidUTF8(std::span<const std::uint8_t> bytes);

}  // namespace kit::installations::detail

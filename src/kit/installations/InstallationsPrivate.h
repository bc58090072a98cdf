#pragma once

#include "kit/promises/PRMPromise.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <string>

// Helpers shared by the records, the store and the legacy readers.
namespace kit::installations::detail {

// URL-safe base64 ("-" for "+", "_" for "/"), with its "=" padding.
std::string URLSafeBase64(std::span<const std::uint8_t> bytes);

// The shared pool standing for the utility global queue, as a promise queue.
promises::Queue utilityQueue();

// Whether `bytes` are well-formed UTF-8.
bool isValidUTF8(std::span<const std::uint8_t> bytes);

// C0 controls, DEL and the C1 controls (U+0080…U+009F, "\xC2\x80"…"\xC2\x9F").
bool holdsControlCharacter(std::string_view text);

}  // namespace kit::installations::detail

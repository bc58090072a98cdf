#include "kit/measurement/messages/Utf8Check.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace kit::measurement {

bool isValidUtf8(std::string_view bytes) {
    // ICU's macros index with int32_t; long input is walked in windows that
    // stop at a character boundary.
    constexpr std::size_t stride = std::size_t{1} << 30;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t position = 0;
    while (position < bytes.size()) {
        const std::size_t rest = bytes.size() - position;
        const auto window = static_cast<std::int32_t>(std::min<std::size_t>(rest, INT32_MAX));
        const std::int32_t stop = rest > stride ? static_cast<std::int32_t>(stride) : window;
        const std::uint8_t* start = data + position;
        std::int32_t index = 0;
        while (index < stop) {
            UChar32 character = 0;
            U8_NEXT(start, index, window, character);
            if (character < 0) {
                return false;
            }
        }
        position += static_cast<std::size_t>(index);
    }
    return true;
}

}  // namespace kit::measurement

#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace stubforge {

// The parts one after another. Built by appending: GCC 12 at -O3 warns
// (restrict) on a literal + a temporary string.
inline std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text.append(part);
    }
    return text;
}

}  // namespace stubforge

#pragma once

#include <cstdint>
#include <string_view>

// One log line of the kit: its code, its level and its text, named once in
// the table of its concern (a `<Concern>Lines.h` header beside the code that
// logs it) and logged through the monitor or logger of that concern.
namespace kit::log_lines {

struct Line {
    std::uint64_t code;
    int level;
    std::string_view text;
};

}  // namespace kit::log_lines

#include "platform/MessageFormat.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(MessageFormatTest, FillsConversionsFromTypedArguments) {
    struct Case {
        const char* format;
        std::vector<MessageArgument> arguments;
        const char* expected;
    };
    const Case cases[] = {
        {"%@ - %@[%@] %@",
         {"11.9.0", "[HaloCore]", "I-COR000001", "Configuring the default app."},
         "11.9.0 - [HaloCore][I-COR000001] Configuring the default app."},
        {"I-LMU%06ld", {42L}, "I-LMU000042"},
        {"%d items, %u left, %lld total", {3, 4U, 5LL}, "3 items, 4 left, 5 total"},
        {"%zu bytes > %d", {1048577UL, 1048576}, "1048577 bytes > 1048576"},
        {"%.2f%%", {12.345}, "12.35%"},
        {"%x/%X/%#x", {255, 255, 255}, "ff/FF/0xff"},
        {"[%-5s][%5s]", {"ab", "cd"}, "[ab   ][   cd]"},
        {"%s and %@", {"one"}, "one and (null)"},
        {"ends in %", {}, "ends in %"},
        {"%n%p", {"safe", 7}, "safe7"},
        {"%d", {"text for a number"}, "text for a number"},
        {"%@", {1.5}, "1.5"},
        {"%c", {65}, "A"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(formatMessage(item.format, item.arguments), item.expected) << item.format;
    }
}

}  // namespace
}  // namespace platform

// The settings reader: whatever bytes stand in a suite file, reading them
// gives a value or nothing, and a value read writes back and reads again.

#include "platform/Error.h"
#include "platform/Value.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto value = platform::Value::fromPlist(bytes);
    if (!value) {
        return 0;
    }
    std::string xml;
    try {
        xml = value->toXmlPlist();
    } catch (const platform::Error&) {
        return 0;  // read, but holds what no plist file can (a far date, a NUL)
    }
    const auto again = platform::Value::fromPlist(xml);
    if (!again) {
        std::abort();  // our own writing must read back
    }
    return 0;
}

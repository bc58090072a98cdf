// Query strings from URLs: any bytes parse to a dictionary without fault,
// the unescaper answers text or nothing, and what the encoder writes reads
// back whole.

#include "kit/measurement/messages/MSRQueryString.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kit::measurement;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto dictionary = msr_dictionaryWithHttpArgumentsString(bytes);
    if (msr_dictionaryWithHttpArgumentsString(msr_queryString(dictionary)) != dictionary) {
        std::abort();
    }
    if (const auto text = msr_stringByUnescapingFromURLArgument(bytes)) {
        if (msr_stringByUnescapingFromURLArgument(msr_percentEncodedQueryComponent(*text)) != text) {
            std::abort();
        }
    }
    return 0;
}

// The gzip reader: whatever bytes a server or a stored bundle holds, reading
// them gives bytes within the cap or an error, and bytes read compress and
// read back the same.

#include "kit/core/Gzip.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::size_t kCap = std::size_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto result = kit::lmu_dataByInflatingGzippedData({data, size}, kCap);
    if (!result.hasValue() || !result.value() || result.value()->empty()) {
        return 0;
    }
    const kit::Bytes& expanded = *result.value();
    if (expanded.size() > kCap) {
        std::abort();  // the cap must hold
    }
    const auto compressed = kit::lmu_dataByGzippingData(expanded);
    if (!compressed.hasValue() || !compressed.value()) {
        std::abort();
    }
    const auto again = kit::lmu_dataByInflatingGzippedData(*compressed.value(), kCap);
    if (!again.hasValue() || !again.value() || *again.value() != expanded) {
        std::abort();  // our own writing must read back
    }
    return 0;
}

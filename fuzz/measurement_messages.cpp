// The measurement message decoder: the first byte picks the message type, the
// rest is decoded. Whatever it is, decoding answers a record or nothing, and a
// record encodes to bytes that decode and encode to the same bytes again.

#include "kit/measurement/messages/MessageCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

class DiscardLogSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kit::measurement;
    if (size == 0) {
        return 0;
    }
    const auto type = static_cast<MessageType>(data[0] % messageTypeCount);
    DiscardLogSink log;
    const auto decoded = decodeMessage(type, std::span(data + 1, size - 1), log);
    if (!decoded) {
        return 0;
    }
    const auto once = encodeMessage(*decoded);
    if (!once) {
        std::abort();  // a decoded record always encodes
    }
    const auto again = decodeMessage(type, *once, log);
    if (!again || encodeMessage(*again) != once || encodeMessage(copyMessage(*again)) != once) {
        std::abort();  // encode∘decode reaches its fixed point in one step
    }
    return 0;
}

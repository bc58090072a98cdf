#include "kit/core/Gzip.h"

#include "GzipPrivate.h"
#include "kit/core/KitError.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <new>

namespace kit {

namespace detail {

namespace {

constexpr std::size_t kChunkBytes = 1024;
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::uint64_t kLargestInput = std::numeric_limits<std::uint32_t>::max();

GzipOutcome failed(int code, std::optional<int> status = std::nullopt, std::string message = {}) {
    GzipOutcome outcome;
    outcome.failure = GzipFailure{code, status, std::nullopt, std::move(message)};
    return outcome;
}

// Ends a zlib stream once it was started, whichever way the call returns.
class StreamEnd {
public:
    StreamEnd(z_stream& stream, int (*end)(z_streamp)) : stream_(stream), end_(end) {}
    ~StreamEnd() { end_(&stream_); }
    StreamEnd(const StreamEnd&) = delete;
    StreamEnd& operator=(const StreamEnd&) = delete;

private:
    z_stream& stream_;
    int (*end_)(z_streamp);
};

// Appends `count` bytes, growing by doubling but never reserving past `limit`.
void append(Bytes& output, const std::uint8_t* bytes, std::size_t count, std::size_t limit) {
    const std::size_t needed = output.size() + count;
    if (needed > output.capacity()) {
        output.reserve(std::min(limit, std::max(needed, output.capacity() * 2)));
    }
    output.insert(output.end(), bytes, bytes + count);
}

}  // namespace

GzipOutcome gzip(std::span<const std::uint8_t> data) {
    if (data.data() == nullptr || data.empty()) {
        return {};
    }
    if (data.size() > kLargestInput) {
        return failed(LMUNSDataZlibErrorGreaterThan32BitsToCompress);
    }
    z_stream stream{};
    const int started = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    if (started != Z_OK) {
        return failed(LMUNSDataZlibErrorInternal, started);
    }
    const StreamEnd end(stream, deflateEnd);
    try {
        Bytes output;
        output.reserve(data.size() / 4);
        stream.next_in = const_cast<Bytef*>(data.data());
        stream.avail_in = static_cast<uInt>(data.size());
        std::array<std::uint8_t, kChunkBytes> chunk{};
        for (;;) {
            stream.next_out = chunk.data();
            stream.avail_out = static_cast<uInt>(chunk.size());
            const int status = deflate(&stream, Z_FINISH);
            if (status != Z_OK && status != Z_STREAM_END) {
                return failed(LMUNSDataZlibErrorInternal, status);
            }
            append(output, chunk.data(), chunk.size() - stream.avail_out, std::numeric_limits<std::size_t>::max());
            if (status == Z_STREAM_END) {
                GzipOutcome outcome;
                outcome.bytes = std::move(output);
                return outcome;
            }
        }
    } catch (const std::bad_alloc&) {
        return failed(LMUNSDataZlibErrorInternal, Z_MEM_ERROR);
    }
}

GzipOutcome inflate(std::span<const std::uint8_t> data, std::size_t outputLimit) {
    if (data.data() == nullptr || data.empty() || data.size() > kLargestInput) {
        return {};
    }
    z_stream stream{};
    const int started = inflateInit2(&stream, 47);
    if (started != Z_OK) {
        return failed(LMUNSDataZlibErrorInternal, started);
    }
    const StreamEnd end(stream, inflateEnd);
    try {
        // Gathered in blocks and joined once at the end: growing one buffer
        // would hold the old and the new copy at once, twice the output.
        std::vector<Bytes> blocks;
        std::size_t total = 0;
        stream.next_in = const_cast<Bytef*>(data.data());
        stream.avail_in = static_cast<uInt>(data.size());
        std::array<std::uint8_t, kChunkBytes> chunk{};
        for (;;) {
            stream.next_out = chunk.data();
            stream.avail_out = static_cast<uInt>(chunk.size());
            const int status = ::inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END) {
                return failed(LMUNSDataZlibErrorInternal, status, stream.msg != nullptr ? stream.msg : "");
            }
            const std::size_t produced = chunk.size() - stream.avail_out;
            if (produced > outputLimit - total) {
                return failed(LMUNSDataZlibErrorInternal, Z_MEM_ERROR);
            }
            if (produced > 0) {
                if (blocks.empty() || blocks.back().size() + produced > kBlockBytes) {
                    blocks.emplace_back();
                }
                blocks.back().insert(blocks.back().end(), chunk.data(), chunk.data() + produced);
                total += produced;
            }
            if (status == Z_STREAM_END) {
                if (stream.avail_in > 0) {
                    GzipOutcome outcome = failed(LMUNSDataZlibErrorDataRemaining);
                    outcome.failure->remainingBytes = stream.avail_in;
                    return outcome;
                }
                Bytes output;
                output.reserve(total);
                for (Bytes& block : blocks) {
                    output.insert(output.end(), block.begin(), block.end());
                    Bytes().swap(block);
                }
                GzipOutcome outcome;
                outcome.bytes = std::move(output);
                return outcome;
            }
        }
    } catch (const std::bad_alloc&) {
        return failed(LMUNSDataZlibErrorInternal, Z_MEM_ERROR);
    }
}

}  // namespace detail

namespace {

platform::Expected<std::optional<Bytes>> toExpected(detail::GzipOutcome outcome) {
    if (!outcome.failure) {
        return std::move(outcome.bytes);
    }
    const detail::GzipFailure& failure = *outcome.failure;
    ErrorFacts facts;
    facts.description = failure.zlibMessage;
    if (failure.zlibStatus) {
        facts.userInfo.emplace(kLMUNSDataZlibErrorKey, std::int64_t{*failure.zlibStatus});
    }
    if (failure.remainingBytes) {
        facts.userInfo.emplace(kLMUNSDataZlibRemainingBytesKey, static_cast<std::int64_t>(*failure.remainingBytes));
    }
    return platform::unexpected(makeKitError(kLMUNSDataZlibErrorDomain, failure.code, facts));
}

}  // namespace

platform::Expected<std::optional<Bytes>> lmu_dataByGzippingData(std::span<const std::uint8_t> data) {
    return toExpected(detail::gzip(data));
}

platform::Expected<std::optional<Bytes>> lmu_dataByInflatingGzippedData(std::span<const std::uint8_t> data,
                                                                        std::size_t outputLimit) {
    return toExpected(detail::inflate(data, outputLimit));
}

}  // namespace kit

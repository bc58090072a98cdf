// What decoding allocates, counted by this binary's own operator new: whatever
// the input, at most eight bytes per input byte plus 1 MiB. Inputs made of many
// tiny elements, deep lists or long number runs either decode within that or
// fail with a decoder line; a realistic upload batch decodes whole.

#include "kit/measurement/messages/MessageCodec.h"
#include "platform/Log.h"
#include "UploadBatchSample.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<std::size_t> currentBytes{0};
std::atomic<std::size_t> peakBytes{0};

// Every block carries its size in front of it, so that every delete knows it.
constexpr std::size_t header = alignof(std::max_align_t);

void* counted(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + header));
    if (block == nullptr) {
        return nullptr;
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    const std::size_t now = currentBytes.fetch_add(size) + size;
    std::size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
    return block + header;
}

void uncounted(void* pointer) {
    if (pointer == nullptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(pointer) - header;
    currentBytes.fetch_sub(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* pointer = counted(size)) {
        return pointer;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void operator delete(void* pointer) noexcept { uncounted(pointer); }
void operator delete[](void* pointer) noexcept { uncounted(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { uncounted(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { uncounted(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { uncounted(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { uncounted(pointer); }

namespace kit::measurement {
namespace {

using Bytes = std::vector<std::uint8_t>;

void appendVarint(Bytes& bytes, std::uint64_t value) {
    while (value >= 0x80) {
        bytes.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
}

// `unit` repeated until the input holds at least `size` bytes.
Bytes repeated(const Bytes& unit, std::size_t size) {
    Bytes bytes;
    bytes.reserve(size + unit.size());
    while (bytes.size() < size) {
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    return bytes;
}

// One chain of `levels` runtime entities, each the only child of the one above.
Bytes nestedChain(int levels) {
    Bytes inner;
    for (int level = 0; level < levels; ++level) {
        Bytes outer{0x12};  // field 2, the entity's children
        appendVarint(outer, inner.size());
        outer.insert(outer.end(), inner.begin(), inner.end());
        inner = std::move(outer);
    }
    return inner;
}

Bytes packedRun(std::size_t count) {
    Bytes bytes{0x12};  // field 2 of SequenceFilterResultTimestamp, packed
    appendVarint(bytes, count);
    bytes.insert(bytes.end(), count, 0x01);
    return bytes;
}

struct Flood {
    const char* label;
    MessageType type;
    Bytes bytes;
};

constexpr std::size_t megabyte = 1 << 20;

std::vector<Flood> floods() {
    const Bytes chain = nestedChain(maximumNestingDepth - 1);
    Bytes chainElement{0x12};
    appendVarint(chainElement, chain.size());
    chainElement.insert(chainElement.end(), chain.begin(), chain.end());
    const std::string text = "an expression longer than a string holds inline";
    Bytes longString{0x22};  // field 4, the expression list
    appendVarint(longString, text.size());
    longString.insert(longString.end(), text.begin(), text.end());
    return {
        {"empty bundles", MessageType::MeasurementBatch, repeated({0x0A, 0x00}, megabyte)},
        {"empty parameters", MessageType::Event, repeated({0x0A, 0x00}, megabyte)},
        {"empty nested parameters", MessageType::EventParam, repeated({0x32, 0x00}, megabyte)},
        {"empty strings", MessageType::StringFilter, repeated({0x22, 0x00}, megabyte)},
        {"long strings", MessageType::StringFilter, repeated(longString, megabyte)},
        {"empty redacted fields", MessageType::MeasurementBundle, repeated({0x82, 0x04, 0x00}, megabyte)},
        {"deep lists", MessageType::RuntimeEntity, repeated(chainElement, megabyte)},
        {"unpacked numbers", MessageType::SequenceFilterResultTimestamp, repeated({0x10, 0x01}, megabyte)},
        {"packed numbers", MessageType::SequenceFilterResultTimestamp, packedRun(megabyte)},
        {"many packed runs", MessageType::SequenceFilterResultTimestamp, repeated({0x12, 0x01, 0x01}, megabyte)},
    };
}

struct Measured {
    bool decoded;
    std::size_t peak;
    std::vector<std::string> lines;
};

Measured decodeCounting(MessageType type, const Bytes& bytes) {
    platform::CaptureLogSink sink;
    const std::size_t before = currentBytes.load();
    peakBytes.store(before);
    const bool decoded = decodeMessage(type, bytes, sink).has_value();
    const std::size_t peak = peakBytes.load() - before;
    return {decoded, peak, sink.drainLines()};
}

std::size_t allowedFor(const Bytes& bytes) { return bytes.size() * 8 + megabyte; }

TEST(DecodeMemory, FloodsStayWithinEightTimesTheirSizeOrFailToDecode) {
    for (const Flood& flood : floods()) {
        const Measured measured = decodeCounting(flood.type, flood.bytes);
        EXPECT_LE(measured.peak, allowedFor(flood.bytes))
            << flood.label << ": " << measured.peak << " bytes for " << flood.bytes.size();
        if (!measured.decoded) {
            ASSERT_FALSE(measured.lines.empty()) << flood.label;
            EXPECT_NE(measured.lines.back().find("decoder failed: decoded message too large for its input"),
                      std::string::npos)
                << flood.label << ": " << measured.lines.back();
        }
    }
}

TEST(DecodeMemory, LongNumberRunsDecodeWhole) {
    for (const Flood& flood : floods()) {
        if (flood.type != MessageType::SequenceFilterResultTimestamp) {
            continue;
        }
        platform::CaptureLogSink sink;
        const auto decoded = decodeMessage(flood.type, flood.bytes, sink);
        ASSERT_TRUE(decoded.has_value()) << flood.label;
        EXPECT_EQ(encodeMessage(*decoded),
                  repeated({0x10, 0x01}, std::get<NanoNumberList>(decoded->slots[1]).size() * 2))
            << flood.label;
    }
}

TEST(DecodeMemory, ARealisticBatchDecodesWithinTheBound) {
    const Bytes bytes = *encodeMessage(testing::batchOf(4 * megabyte));
    const Measured measured = decodeCounting(MessageType::MeasurementBatch, bytes);
    ASSERT_TRUE(measured.decoded);
    EXPECT_TRUE(measured.lines.empty());
    EXPECT_LE(measured.peak, allowedFor(bytes)) << measured.peak << " bytes for " << bytes.size();
    EXPECT_EQ(encodeMessage(*decodeMessage(MessageType::MeasurementBatch, bytes)), bytes);
}

}  // namespace
}  // namespace kit::measurement

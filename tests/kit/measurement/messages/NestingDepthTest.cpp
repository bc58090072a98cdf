// Nesting depth: remote configuration trees nest without a limit in the format, so
// the decoder refuses more than 100 embedded levels before they reach the stack.

#include "MessageTestSupport.h"

#include <pthread.h>

#include <functional>

namespace kit::measurement {
namespace {

using testing::Bytes;

void appendVarint(Bytes& bytes, std::size_t value) {
    while (value >= 0x80) {
        bytes.push_back(static_cast<std::uint8_t>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
}

std::size_t varintSize(std::size_t value) {
    std::size_t size = 1;
    for (; value >= 0x80; value >>= 7) {
        ++size;
    }
    return size;
}

// A RuntimeEntity with `levels` entities nested below it, one per level, each a
// statement (field 1 = 4) whose `value` (tag 2) holds the next. Built front to back
// from the lengths, so that 200,000 levels take linear time.
Bytes nestedEntities(std::size_t levels) {
    const Bytes kind{0x08, 0x04};
    std::vector<std::size_t> lengths(levels + 1);
    lengths[0] = kind.size();
    for (std::size_t level = 1; level <= levels; ++level) {
        lengths[level] = kind.size() + 1 + varintSize(lengths[level - 1]) + lengths[level - 1];
    }
    Bytes bytes;
    bytes.reserve(lengths[levels]);
    for (std::size_t level = levels; level > 0; --level) {
        bytes.insert(bytes.end(), kind.begin(), kind.end());
        bytes.push_back(0x12);
        appendVarint(bytes, lengths[level - 1]);
    }
    bytes.insert(bytes.end(), kind.begin(), kind.end());
    return bytes;
}

// `inner` as the one element of `tag` in a message of its own.
Bytes wrapped(std::uint8_t tagByte, const Bytes& inner) {
    Bytes bytes{tagByte};
    appendVarint(bytes, inner.size());
    bytes.insert(bytes.end(), inner.begin(), inner.end());
    return bytes;
}

std::vector<std::string> decodeLines(MessageType type, const Bytes& bytes, bool& decoded) {
    platform::CaptureLogSink log;
    decoded = decodeMessage(type, bytes, log).has_value();
    return log.drainLines();
}

void expectRefusedAtTheLimit(const std::vector<std::string>& lines, std::string_view topName) {
    // The entity past the limit reports first, then each enclosing element, then the top.
    ASSERT_EQ(lines.size(), 2u * (maximumNestingDepth + 1) + 1);
    EXPECT_EQ(lines[0], "<ERROR> RuntimeEntity decoder failed: message nested too deeply");
    EXPECT_EQ(lines[1], "<ERROR> RuntimeEntity decoder failed: Unable to decode repeated RuntimeEntity");
    EXPECT_EQ(lines.back(), "<ERROR> " + std::string(topName) + " decoder failed: callback failed");
}

TEST(NestingDepth, HundredLevelsBelowTheTopRoundTripByteForByte) {
    const Bytes bytes = nestedEntities(maximumNestingDepth);
    platform::CaptureLogSink log;
    const auto decoded = decodeMessage(MessageType::RuntimeEntity, bytes, log);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(log.drainLines().empty());
    EXPECT_EQ(encodeMessage(*decoded), bytes);
    EXPECT_EQ(encodeMessage(copyMessage(*decoded)), bytes);
}

TEST(NestingDepth, HundredAndOneLevelsFail) {
    bool decoded = true;
    const auto lines = decodeLines(MessageType::RuntimeEntity, nestedEntities(maximumNestingDepth + 1), decoded);
    EXPECT_FALSE(decoded);
    expectRefusedAtTheLimit(lines, "RuntimeEntity");
}

TEST(NestingDepth, LevelsCountAcrossMessageTypes) {
    // MeasurementConfig → Program (tag 9) → RuntimeEntity (tag 1) → nested entities.
    const auto configWith = [](std::size_t entityLevels) {
        return wrapped(0x4a, wrapped(0x0a, nestedEntities(entityLevels)));
    };
    bool decoded = false;
    EXPECT_TRUE(decodeLines(MessageType::MeasurementConfig, configWith(maximumNestingDepth - 2), decoded).empty());
    EXPECT_TRUE(decoded);
    const auto lines = decodeLines(MessageType::MeasurementConfig, configWith(maximumNestingDepth - 1), decoded);
    EXPECT_FALSE(decoded);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<ERROR> RuntimeEntity decoder failed: message nested too deeply");
    EXPECT_EQ(lines[lines.size() - 3], "<ERROR> Program decoder failed: callback failed");
    EXPECT_EQ(lines.back(), "<ERROR> MeasurementConfig decoder failed: callback failed");
}

TEST(NestingDepth, TwoHundredThousandLevelsFailCleanly) {
    bool decoded = true;
    const auto lines = decodeLines(MessageType::RuntimeEntity, nestedEntities(200000), decoded);
    EXPECT_FALSE(decoded);
    expectRefusedAtTheLimit(lines, "RuntimeEntity");
}

// Runs `work` on a thread of its own with a stack of `stackBytes`.
void runOnSmallStack(std::size_t stackBytes, std::function<void()> work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackBytes), 0);
    pthread_t thread;
    const auto trampoline = [](void* argument) -> void* {
        (*static_cast<std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, trampoline, &work), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST(NestingDepth, TwoHundredThousandLevelsFailCleanlyOnA256KiBStack) {
    const Bytes bytes = nestedEntities(200000);
    bool decoded = true;
    std::vector<std::string> lines;
    runOnSmallStack(256 * 1024, [&] { lines = decodeLines(MessageType::RuntimeEntity, bytes, decoded); });
    EXPECT_FALSE(decoded);
    expectRefusedAtTheLimit(lines, "RuntimeEntity");
}

TEST(NestingDepth, TheDeepestAcceptedTreeIsHandledOnA256KiBStack) {
    const Bytes bytes = nestedEntities(maximumNestingDepth);
    std::optional<Bytes> encoded;
    runOnSmallStack(256 * 1024, [&] {
        platform::CaptureLogSink log;
        auto decoded = decodeMessage(MessageType::RuntimeEntity, bytes, log);
        if (decoded.has_value()) {
            const NanoMessageInfo copy = copyMessage(*decoded);
            encoded = encodeMessage(copy);
        }
    });
    EXPECT_EQ(encoded, bytes);
}

}  // namespace
}  // namespace kit::measurement

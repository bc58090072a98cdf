#include "GzipPrivate.h"
#include "Process.h"
#include "TestSupport.h"
#include "kit/core/Gzip.h"

#include <sys/resource.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kit {
namespace {

using platform::testing::readFile;
using platform::testing::runCommand;
using platform::testing::shellQuote;
using platform::testing::TemporaryDirectory;
using platform::testing::writeFile;

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string textOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes gzipped(std::span<const std::uint8_t> data) {
    auto result = lmu_dataByGzippingData(data);
    EXPECT_TRUE(result.hasValue());
    return result.hasValue() && result.value() ? *result.value() : Bytes{};
}

TEST(GzipTest, RoundTripsAndGzipReadsOurOutput) {
    const TemporaryDirectory folder;
    for (const std::size_t size : {std::size_t{1}, std::size_t{1} << 20}) {
        SCOPED_TRACE(size);
        const Bytes original = randomBytes(size, static_cast<unsigned>(size));
        const Bytes compressed = gzipped(original);
        ASSERT_GE(compressed.size(), 2U);
        EXPECT_EQ(compressed[0], 0x1F);
        EXPECT_EQ(compressed[1], 0x8B);

        const auto expanded = lmu_dataByInflatingGzippedData(compressed);
        ASSERT_TRUE(expanded.hasValue());
        ASSERT_TRUE(expanded.value().has_value());
        EXPECT_EQ(*expanded.value(), original);

        const auto file = folder.path() / "ours.gz";
        writeFile(file, textOf(compressed));
        const auto decoded = runCommand("gzip -dc " + shellQuote(file.string()), false);
        EXPECT_EQ(decoded.exitCode, 0);
        EXPECT_TRUE(decoded.output == textOf(original));
    }
}

TEST(GzipTest, GzipToolOutputAndZlibStreamsInflate) {
    const TemporaryDirectory folder;
    std::string text;
    for (int line = 0; line < 2000; ++line) {
        text += "line " + std::to_string(line) + " of the sample\n";
    }
    writeFile(folder.path() / "sample.txt", text);
    ASSERT_EQ(runCommand("gzip -c " + shellQuote((folder.path() / "sample.txt").string()) + " > " +
                         shellQuote((folder.path() / "sample.gz").string()))
                  .exitCode,
              0);
    const auto fromTool = lmu_dataByInflatingGzippedData(bytesOf(readFile(folder.path() / "sample.gz")));
    ASSERT_TRUE(fromTool.hasValue());
    EXPECT_EQ(textOf(fromTool.value().value()), text);

    Bytes zlibStream(compressBound(static_cast<uLong>(text.size())));
    uLongf length = static_cast<uLongf>(zlibStream.size());
    ASSERT_EQ(compress2(zlibStream.data(), &length, reinterpret_cast<const Bytef*>(text.data()),
                        static_cast<uLong>(text.size()), 9),
              Z_OK);
    zlibStream.resize(length);
    const auto fromZlib = lmu_dataByInflatingGzippedData(zlibStream);
    ASSERT_TRUE(fromZlib.hasValue());
    EXPECT_EQ(textOf(fromZlib.value().value()), text);
}

TEST(GzipTest, EmptyInputGivesNothingWithoutError) {
    const auto compressed = lmu_dataByGzippingData({});
    ASSERT_TRUE(compressed.hasValue());
    EXPECT_FALSE(compressed.value().has_value());
    const auto expanded = lmu_dataByInflatingGzippedData({});
    ASSERT_TRUE(expanded.hasValue());
    EXPECT_FALSE(expanded.value().has_value());
}

struct FailureRow {
    const char* name;
    Bytes input;
    std::size_t limit;
    int code;
    std::optional<int> status;
    std::optional<std::uint64_t> remaining;
    std::string message;  // the error's description, when zlib gave one
};

TEST(GzipTest, FailuresCarryTheirCodeAndFacts) {
    const Bytes member = gzipped(bytesOf(std::string(3000, 'a') + "tail"));
    const Bytes second = gzipped(bytesOf("second member"));
    Bytes twoMembers = member;
    twoMembers.insert(twoMembers.end(), second.begin(), second.end());
    Bytes garbage = member;
    garbage.insert(garbage.end(), {1, 2, 3, 4, 5, 6, 7});
    const Bytes truncated(member.begin(), member.end() - 9);
    Bytes random = randomBytes(64, 7);
    random[0] = 0x42;  // neither a gzip nor a zlib header

    const FailureRow rows[] = {
        {"truncated", truncated, kDefaultInflateLimit, 1025, Z_BUF_ERROR, std::nullopt, ""},
        {"random bytes", random, kDefaultInflateLimit, 1025, Z_DATA_ERROR, std::nullopt, "incorrect header check"},
        {"second member", twoMembers, kDefaultInflateLimit, 1026, std::nullopt, second.size(), ""},
        {"trailing garbage", garbage, kDefaultInflateLimit, 1026, std::nullopt, 7, ""},
        {"past a lower cap", member, 3000, 1025, Z_MEM_ERROR, std::nullopt, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto outcome = detail::inflate(row.input, row.limit);
        EXPECT_FALSE(outcome.bytes.has_value());
        ASSERT_TRUE(outcome.failure.has_value());
        EXPECT_EQ(outcome.failure->code, row.code);
        EXPECT_EQ(outcome.failure->zlibStatus, row.status);
        EXPECT_EQ(outcome.failure->remainingBytes, row.remaining);
        EXPECT_EQ(outcome.failure->zlibMessage, row.message);

        const auto result = lmu_dataByInflatingGzippedData(row.input, row.limit);
        ASSERT_FALSE(result.hasValue());
        EXPECT_EQ(result.error().domain(), "com.lumen.LMUNSDataZlibErrorDomain");
        EXPECT_EQ(result.error().code(), row.code);
        const platform::Value& info = result.error().userInfo();
        const platform::Value* status = info.find(kLMUNSDataZlibErrorKey);
        EXPECT_EQ(status ? status->asInteger() : std::nullopt,
                  row.status ? std::optional<std::int64_t>(*row.status) : std::nullopt);
        const platform::Value* remaining = info.find(kLMUNSDataZlibRemainingBytesKey);
        EXPECT_EQ(remaining ? remaining->asInteger() : std::nullopt,
                  row.remaining ? std::optional<std::int64_t>(*row.remaining) : std::nullopt);
        if (!row.message.empty()) {
            EXPECT_EQ(std::string(result.error().what()), row.message);
        }
    }
    // Exactly the cap is still an answer.
    const auto atTheCap = lmu_dataByInflatingGzippedData(member, 3004);
    ASSERT_TRUE(atTheCap.hasValue());
    EXPECT_EQ(atTheCap.value()->size(), 3004U);
}

// A gzip member of `size` zero bytes, made without holding them.
Bytes gzipOfZeros(std::uint64_t size) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY), Z_OK);
    const Bytes zeros(1 << 20, 0);
    Bytes output;
    Bytes chunk(1 << 16);
    std::uint64_t left = size;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        stream.next_in = const_cast<Bytef*>(zeros.data());
        stream.avail_in = static_cast<uInt>(piece);
        left -= piece;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = chunk.data();
            stream.avail_out = static_cast<uInt>(chunk.size());
            status = deflate(&stream, flush);
            output.insert(output.end(), chunk.begin(), chunk.end() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return output;
}

[[maybe_unused]] double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

TEST(GzipTest, AGigabyteOfZerosStopsAtTheCap) {
    const Bytes bomb = gzipOfZeros(std::uint64_t{1} << 30);
    EXPECT_LT(bomb.size(), 2U << 20);
    const auto outcome = detail::inflate(bomb, kDefaultInflateLimit);
    ASSERT_TRUE(outcome.failure.has_value());
    EXPECT_EQ(outcome.failure->code, 1025);
    EXPECT_EQ(outcome.failure->zlibStatus, Z_MEM_ERROR);
    const auto result = lmu_dataByInflatingGzippedData(bomb);
    ASSERT_FALSE(result.hasValue());
    EXPECT_EQ(result.error().code(), 1025);
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    // The sanitizers' shadow pages and quarantine of freed blocks count as
    // resident; the plain build holds the figure.
#else
    EXPECT_LT(peakResidentMegabytes(), 200.0);
#endif
}

}  // namespace
}  // namespace kit

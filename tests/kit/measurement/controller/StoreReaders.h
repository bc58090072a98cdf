#pragma once

// Readers of what the engine stores and sends, as outside tools see it: the
// sqlite3 shell for the stores, protoc for messages.

#include "Process.h"
#include "TestSupport.h"
#include "platform/Clock.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kit::measurement::testing {

using Bytes = std::vector<std::uint8_t>;

inline double seconds(platform::TimePoint time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

inline std::string schemaPath() { return MEASUREMENT_SCHEMA_DIR; }

// A file of `folder` no other process or thread uses at the same time (the
// folder may be the shared temporary one); removed when it goes.
class ScratchFile {
public:
    ScratchFile(const std::filesystem::path& folder, std::string_view stem) {
        static std::atomic<int> serial{0};
        path_ = folder / (std::string(stem) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// `text` (protobuf text format) encoded by protoc.
inline Bytes protocEncode(std::string_view message, const std::string& text, const std::filesystem::path& folder) {
    const ScratchFile inputFile(folder, "protoc-input");
    const ScratchFile outputFile(folder, "protoc-output");
    const auto& input = inputFile.path();
    const auto& output = outputFile.path();
    std::ofstream(input, std::ios::binary) << text;
    using platform::testing::shellQuote;
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) + " --encode=stubforge.measurement." + std::string(message) +
        " --proto_path=" + shellQuote(schemaPath()) + " measurement.proto < " + shellQuote(input.string()) + " > " +
        shellQuote(output.string()));
    if (result.exitCode != 0) {
        throw std::runtime_error("protoc --encode failed: " + result.output);
    }
    const std::string bytes = platform::testing::readFile(output);
    return Bytes(bytes.begin(), bytes.end());
}

// `bytes` as protoc prints them in text format.
inline std::string protocDecode(std::string_view message, const Bytes& bytes, const std::filesystem::path& folder) {
    const ScratchFile inputFile(folder, "protoc-decode");
    const auto& input = inputFile.path();
    platform::testing::writeFile(input, std::string(bytes.begin(), bytes.end()));
    using platform::testing::shellQuote;
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) + " --decode=stubforge.measurement." + std::string(message) +
            " --proto_path=" + shellQuote(schemaPath()) + " measurement.proto < " + shellQuote(input.string()),
        false);
    if (result.exitCode != 0) {
        throw std::runtime_error("protoc --decode failed");
    }
    return result.output;
}

inline Bytes bytesFromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(index, 2)), nullptr, 16)));
    }
    return bytes;
}

// The rows of `query` as the sqlite3 shell prints them, "|" between columns.
// A store a running engine holds locked is waited for, a few seconds at most.
inline std::vector<std::string> sqliteRows(const std::filesystem::path& database, const std::string& query) {
    using platform::testing::shellQuote;
    const auto result = platform::testing::runCommand(
        "sqlite3 -cmd '.timeout 5000' " + shellQuote(database.string()) + " " + shellQuote(query), false);
    if (result.exitCode != 0) {
        throw std::runtime_error("sqlite3 failed on " + query);
    }
    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start < result.output.size()) {
        const std::size_t end = result.output.find('\n', start);
        rows.push_back(result.output.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return rows;
}

inline void sqliteExecute(const std::filesystem::path& database, const std::string& statement) {
    using platform::testing::shellQuote;
    const auto result =
        platform::testing::runCommand("sqlite3 " + shellQuote(database.string()) + " " + shellQuote(statement));
    if (result.exitCode != 0) {
        throw std::runtime_error("sqlite3 failed: " + result.output);
    }
}

// `bytes` as protoc --decode_raw prints them: tag numbers, no schema.
inline std::string protocDecodeRaw(const Bytes& bytes, const std::filesystem::path& folder) {
    const ScratchFile inputFile(folder, "protoc-decode-raw");
    const auto& input = inputFile.path();
    platform::testing::writeFile(input, std::string(bytes.begin(), bytes.end()));
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) + " --decode_raw < " + platform::testing::shellQuote(input.string()), false);
    if (result.exitCode != 0) {
        throw std::runtime_error("protoc --decode_raw failed");
    }
    return result.output;
}

}  // namespace kit::measurement::testing

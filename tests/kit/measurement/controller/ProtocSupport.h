#pragma once

#include "Process.h"
#include "TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Messages written and read by protoc with our schema, for the controller's tests.
namespace kit::measurement::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::string schemaPath() { return MEASUREMENT_SCHEMA_DIR; }

// `text` (protobuf text format) encoded by protoc.
inline Bytes protocEncode(std::string_view message, const std::string& text, const std::filesystem::path& folder) {
    const auto input = folder / "protoc-input.txt";
    const auto output = folder / "protoc-output.bin";
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
    const auto input = folder / "protoc-decode.bin";
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

}  // namespace kit::measurement::testing

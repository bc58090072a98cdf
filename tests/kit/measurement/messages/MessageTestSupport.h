#pragma once

// Helpers shared by the message codec tests: protoc as the reference encoder,
// hex byte strings, deep record comparison and a log sink that drops lines.

#include "Process.h"
#include "kit/measurement/messages/MessageCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kit::measurement::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::filesystem::path sourceFolder() { return MEASUREMENT_MESSAGES_TEST_DIR; }
inline std::filesystem::path schemaFolder() { return MEASUREMENT_SCHEMA_DIR; }

inline MessageType messageTypeNamed(std::string_view name) {
    for (std::size_t type = 0; type < messageTypeCount; ++type) {
        if (messageDescription(static_cast<MessageType>(type)).name == name) {
            return static_cast<MessageType>(type);
        }
    }
    throw std::invalid_argument("no message named " + std::string(name));
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

// `text` (protobuf text format) encoded by protoc with our schema.
inline Bytes protocEncode(std::string_view messageName, const std::string& text) {
    static int serial = 0;
    const std::filesystem::path folder = ::testing::TempDir();
    const std::string stem = "protoc-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    const std::filesystem::path input = folder / (stem + ".txt");
    const std::filesystem::path output = folder / (stem + ".bin");
    std::ofstream(input, std::ios::binary) << text;
    using platform::testing::shellQuote;
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) + " --encode=stubforge.measurement." + std::string(messageName) +
        " --proto_path=" + shellQuote(schemaFolder().string()) + " " +
        shellQuote((schemaFolder() / "measurement.proto").string()) + " < " + shellQuote(input.string()) + " > " +
        shellQuote(output.string()));
    if (result.exitCode != 0) {
        throw std::runtime_error("protoc failed: " + result.output + "\n" + text);
    }
    const std::string bytes = readText(output);
    std::filesystem::remove(input);
    std::filesystem::remove(output);
    return Bytes(bytes.begin(), bytes.end());
}

struct Fixture {
    std::string file;
    std::string message;
};

// Realistic messages in text format under fixtures/.
inline const std::vector<Fixture>& goldenFixtures() {
    static const std::vector<Fixture> fixtures{{"batch.txtpb", "MeasurementBatch"},
                                               {"config.txtpb", "MeasurementConfig"},
                                               {"experiment_response.txtpb", "ExperimentResponse"}};
    return fixtures;
}

inline Bytes fixtureBytes(const Fixture& fixture) {
    return protocEncode(fixture.message, readText(sourceFolder() / "fixtures" / fixture.file));
}

// "0a 01 61" → bytes; spaces are optional.
inline Bytes hexBytes(std::string_view hex) {
    Bytes bytes;
    std::string digits;
    for (const char c : hex) {
        if (c != ' ') {
            digits += c;
        }
    }
    for (std::size_t index = 0; index + 1 < digits.size(); index += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(index, 2), nullptr, 16)));
    }
    return bytes;
}

inline std::string hexText(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

// Deep comparison of two records; the first difference as text, empty when equal.
inline std::string recordDifference(const NanoMessageInfo& expected, const NanoMessageInfo& actual,
                                    const std::string& path = "") {
    const std::string here = path.empty() ? std::string(expected.name()) : path;
    if (expected.type != actual.type) {
        return here + ": type " + std::string(actual.name()) + " instead of " + std::string(expected.name());
    }
    for (std::size_t slot = 0; slot < expected.slots.size(); ++slot) {
        const std::string where = here + "." + std::string(expected.description().fields[slot].name);
        const NanoCell& want = expected.slots[slot];
        const NanoCell& have = actual.slots[slot];
        if (want.index() != have.index()) {
            return where + ": cell kind " + std::to_string(have.index()) + " instead of " +
                   std::to_string(want.index());
        }
        if (const auto* number = std::get_if<std::uint64_t>(&want)) {
            if (*number != std::get<std::uint64_t>(have)) {
                return where + ": " + std::to_string(std::get<std::uint64_t>(have)) + " instead of " +
                       std::to_string(*number);
            }
        } else if (const auto* text = std::get_if<std::string>(&want)) {
            if (*text != std::get<std::string>(have)) {
                return where + ": \"" + std::get<std::string>(have) + "\" instead of \"" + *text + "\"";
            }
        } else if (const auto* embedded = std::get_if<std::unique_ptr<NanoMessageInfo>>(&want)) {
            const std::string inner =
                recordDifference(**embedded, *std::get<std::unique_ptr<NanoMessageInfo>>(have), where);
            if (!inner.empty()) {
                return inner;
            }
        } else if (const auto* numbers = std::get_if<NanoNumberList>(&want)) {
            if (*numbers != std::get<NanoNumberList>(have)) {
                return where + ": number list differs";
            }
        } else if (const auto* texts = std::get_if<NanoStringList>(&want)) {
            if (*texts != std::get<NanoStringList>(have)) {
                return where + ": string list differs";
            }
        } else if (const auto* messages = std::get_if<NanoMessageList>(&want)) {
            const auto& other = std::get<NanoMessageList>(have);
            if (messages->size() != other.size()) {
                return where + ": " + std::to_string(other.size()) + " elements instead of " +
                       std::to_string(messages->size());
            }
            for (std::size_t index = 0; index < messages->size(); ++index) {
                const std::string inner =
                    recordDifference((*messages)[index], other[index], where + "[" + std::to_string(index) + "]");
                if (!inner.empty()) {
                    return inner;
                }
            }
        }
    }
    return {};
}

class DiscardLogSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

}  // namespace kit::measurement::testing

#pragma once

#include "Process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace platform::testing {

// The JSON inside a heartbeat header: URL-safe base64 of gzip data, read
// back with the system's base64 and gzip.
inline nlohmann::json decodeHeartbeatHeader(const std::string& header) {
    std::string base64 = header;
    for (char& character : base64) {
        character = character == '-' ? '+' : character == '_' ? '/' : character;
    }
    while (base64.size() % 4 != 0) {
        base64 += '=';
    }
    const auto decoded = runCommand("printf %s " + shellQuote(base64) + " | base64 -d | gzip -dc", false);
    EXPECT_EQ(decoded.exitCode, 0) << header;
    return nlohmann::json::parse(decoded.output);
}

}  // namespace platform::testing

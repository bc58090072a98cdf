#pragma once

// What the loopback service received from the measurement engine, and what
// the engine still holds: batches read with protoc, the store with the
// sqlite3 shell.

#include "../measurement/controller/StoreReaders.h"
#include "LoopbackHttpServer.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kit::testing {

// Waits, at most until `deadline`, for `condition`.
inline bool eventuallyBefore(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& condition) {
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// The measurement batches among `requests` (posts to "/a"), in order.
inline std::vector<platform::testing::RecordedRequest> measurementPosts(
    std::vector<platform::testing::RecordedRequest> requests) {
    std::erase_if(requests, [](const platform::testing::RecordedRequest& request) { return request.path != "/a"; });
    return requests;
}

// `posts` as protoc --decode_raw prints them, one after another.
inline std::string decodedRaw(const std::vector<platform::testing::RecordedRequest>& posts,
                              const std::filesystem::path& folder) {
    std::string decoded;
    for (const auto& request : posts) {
        decoded += measurement::testing::protocDecodeRaw(
            measurement::testing::Bytes(request.body.begin(), request.body.end()), folder);
    }
    return decoded;
}

// The engine's store in this process's data folder.
inline std::filesystem::path measurementStorePath() {
    return measurement::MSRMeasurementFilePath(measurement::kMSRDatabaseFileName);
}

// How many rows `table` of the engine's store holds, as sqlite3 prints it.
inline std::string storeRowCount(const std::string& table) {
    const auto rows = measurement::testing::sqliteRows(measurementStorePath(), "SELECT COUNT(*) FROM " + table + ";");
    return rows.empty() ? "" : rows.front();
}

}  // namespace kit::testing

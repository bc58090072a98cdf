#pragma once

#include "MeasurementTestSupport.h"
#include "Process.h"
#include "TestSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "platform/concurrency/Timers.h"

#include <gtest/gtest.h>

#include <string>

namespace kit::measurement::testing {

inline constexpr double kTestNow = 1'700'000'000;

// A measurement database in the test's own data folder, on a test clock.
class DatabaseTest : public MeasurementTest {
protected:
    platform::TestClock clock_{platform::TimePoint{std::chrono::seconds(static_cast<std::int64_t>(kTestNow))}};
    std::shared_ptr<MSRPersistedConfig> config_ = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);

    ~DatabaseTest() override {
        if (config_) {
            config_->cancelScheduledSynchronize();
        }
    }

    std::filesystem::path path() const { return MSRMeasurementFilePath(kMSRDatabaseFileName); }

    std::unique_ptr<MSRDatabase> open() {
        auto database = MSRDatabase::initWithDatabaseName(kMSRDatabaseFileName, config_, clock_);
        EXPECT_TRUE(database) << (database ? "" : database.error().what());
        return database ? std::move(*database) : nullptr;
    }

    std::string sqlite3(const std::string& sql) const {
        return platform::testing::runCommand("sqlite3 " + platform::testing::shellQuote(path().string()) + " " +
                                             platform::testing::shellQuote(sql))
            .output;
    }

    void advance(double seconds) {
        clock_.advance(std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(seconds)));
    }
};

inline MSREvent makeEvent(std::string_view name, double timestamp, MSRObjectDictionary parameters = {}) {
    auto event = MSREvent::initWithOrigin("app", false, name, timestamp, 0, parameters);
    EXPECT_TRUE(event) << name;
    return std::move(*event);
}

// A bundle with the metadata the queue needs, padded to about `size` bytes.
inline MSRPBMeasurementBundle makeBundle(std::int64_t endMilliseconds, std::size_t padding = 0,
                                         std::string_view appID = "1:123:linux:abc") {
    MSRPBMeasurementBundle bundle;
    NanoMessageSetInt64(bundle, 5, endMilliseconds);
    NanoMessageSetString(bundle, 14, appID);
    if (padding > 0) {
        NanoMessageSetString(bundle, 8, std::string(padding, 'p'));
    }
    return bundle;
}

inline std::size_t encodedSize(const NanoMessage& message) { return message.protoBuffer()->size(); }

inline void expectError(const platform::Error& error, int code, std::string_view text) {
    EXPECT_EQ(error.domain(), kMSRErrorDomain) << text;
    EXPECT_EQ(error.code(), code) << text;
    EXPECT_EQ(std::string(error.what()), text);
}

template <typename T>
void expectFailure(const platform::Expected<T>& result, int code, std::string_view text) {
    ASSERT_FALSE(result) << text;
    expectError(result.error(), code, text);
}

}  // namespace kit::measurement::testing

#include "MeasurementTestSupport.h"
#include "kit/core/ClassRegistry.h"
#include "kit/core/KitContext.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "platform/Random.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kit::measurement {
namespace {

using testing::FakeServices;
using testing::MeasurementTest;

// --- Levels

struct LevelRow {
    int level;
    // Per (debug, verbose) = (off, off), (on, off), (off, on), (on, on).
    const char* console;  // 'C' written to the console, '-' not
    const char* sampled;  // 'S' counted in the sample, '-' not
    char letter;          // of the sampled key
};

constexpr LevelRow kLevelRows[] = {
    {-1, "----", "SSSS", '?'}, {0, "CCCC", "----", 'E'}, {1, "CCCC", "SSSS", 'E'}, {2, "----", "SSSS", 'E'},
    {3, "CCCC", "----", 'W'},  {4, "CCCC", "SSSS", 'W'}, {5, "----", "SSSS", 'W'}, {6, "CCCC", "----", '?'},
    {7, "-CCC", "----", '?'},  {8, "--CC", "----", '?'}, {9, "----", "--SS", '?'},
};

TEST_F(MeasurementTest, EachLevelReachesTheConsoleAndTheSampleAsItsSwitchesSay) {
    for (const LevelRow& row : kLevelRows) {
        for (int combination = 0; combination < 4; ++combination) {
            const bool debug = (combination & 1) != 0;
            const bool verbose = (combination & 2) != 0;
            SCOPED_TRACE("level " + std::to_string(row.level) + " debug " + std::to_string(debug) + " verbose " +
                         std::to_string(verbose));
            FakeServices services;
            MSRMonitor& monitor = services.monitor();
            monitor.clearMonitoringData();
            monitor.setDebugModeEnabled(debug);
            monitor.setVerboseLoggingEnabled(verbose);
            services.drainConsole();

            monitor.logWithLevel(row.level, 99001, "Probe line", 7);
            bool written = false;
            for (const auto& line : services.drainConsole()) {
                written = written || line.code == 99001;
            }
            const auto entry = monitor.sampledEntry();
            EXPECT_EQ(written, row.console[combination] == 'C');
            EXPECT_EQ(entry.has_value(), row.sampled[combination] == 'S');
            if (entry) {
                EXPECT_EQ(entry->context, "7");
                EXPECT_EQ(entry->key, std::string("1") + row.letter + "_" + std::to_string(kMSRDefaultLibraryVersion) +
                                          ":Probe line");
            }
        }
    }
}

TEST_F(MeasurementTest, ConsoleLinesCarryTheTagCodeAndDescribedContexts) {
    MSRMonitor& monitor = services().monitor();
    monitor.setLogTag("[HaloAnalytics]");
    monitor.logWithLevel(1, 12345, "Database error", "table", 150, platform::Error("D", 4, "broken"));
    monitor.logWithLevel(0, 12346, "");
    monitor.setEncodeContexts(true);
    monitor.logWithLevel(0, 12347, "Encoded", "secret", 150);
    const auto lines = services().drainConsole();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].message, "Database error: table, 150, Error Domain=D Code=4 \"broken\"");
    EXPECT_EQ(lines[0].tag, "[HaloAnalytics]");
    EXPECT_EQ(lines[0].code, 12345);
    EXPECT_EQ(lines[0].level, 1);
    EXPECT_EQ(lines[1].message, "(Message was empty)");
    EXPECT_EQ(lines[2].message, "Encoded: -, 100...999");
}

// --- Contexts

TEST(MonitorContexts, EncodeWithoutUserData) {
    const MSRLogContexts contexts{nullptr, "x", 7, 150, -500, platform::Error("D", 1, "m")};
    EXPECT_EQ(MSRMonitor::encodedStringWithContextArray(contexts, false), ",-,7,100...999,-999...-100,D");
    EXPECT_EQ(MSRMonitor::encodedStringWithContextArray(contexts, true), ", -, 7, 100...999, -999...-100, D");
    EXPECT_EQ(MSRMonitor::encodedStringWithContextArray({}, false), "");

    struct Case {
        MSRLogContext context;
        const char* encoded;
    };
    const Case cases[] = {
        {12345, "10000...99999"},
        {2.9, "2"},
        {99, "99"},
        {-99, "-99"},
        {100, "100...999"},
        {999, "100...999"},
        {-100, "-999...-100"},
        {std::numeric_limits<long long>::max(), "1000000000000000000...9999999999999999999"},
        {std::numeric_limits<long long>::min(), "-9999999999999999999...-1000000000000000000"},
        {1e19, "1000000000000000000...9999999999999999999"},
        {-1e300, "-9999999999999999999...-1000000000000000000"},
        {std::numeric_limits<double>::infinity(), "1000000000000000000...9999999999999999999"},
        {std::numeric_limits<double>::quiet_NaN(), "?"},
        {999999999999999999LL, "100000000000000000...999999999999999999"},
        {MSRException{"NSRangeException", "out of range", {}}, "NSRangeException"},
        {platform::Value(platform::Value::Array{}), "?"},
        {platform::Error("", 1, "no domain"), "-"},
    };
    for (const Case& entry : cases) {
        EXPECT_EQ(MSRMonitor::encodedStringWithContextObject(entry.context), entry.encoded);
    }
}

TEST(MonitorContexts, TheLastMeasurementSymbolComesFromTheCallStack) {
    MSRException exception{"NSInvalidArgumentException", "bad", {}};
    EXPECT_EQ(MSRMonitor::lastMSRSymbolFromException(nullptr), std::nullopt);
    EXPECT_EQ(MSRMonitor::lastMSRSymbolFromException(&exception), "NSInvalidArgumentException");
    exception.callStackSymbols = {
        "0 CoreFoundation 0x01 __exceptionPreprocess + 1",
        "1 libobjc 0x02 objc_exception_throw + 2",
        "2 Stubforge 0x03 -[Other thing] + 3",
        "3 Stubforge 0x04 -[MSRDatabase insert:] + 4",
        "4 Stubforge 0x05 -[MSRScheduler run] + 5",
    };
    EXPECT_EQ(MSRMonitor::lastMSRSymbolFromException(&exception), "-[MSRDatabase insert:]");
}

TEST(MonitorContexts, ConsoleTextForMissingMessages) {
    EXPECT_EQ(MSRMonitor::stringWithLogMessage(std::nullopt, 1, {}, false), "(Message was nil)");
    EXPECT_EQ(MSRMonitor::stringWithLogMessage("m", 1, {nullptr, 2.5}, false), "m: (nil), 2.5");
    EXPECT_EQ(MSRMonitor::monitoringDataKeyWithMessage("Database error", 1, 9), "1E_9:Database error");
    EXPECT_EQ(MSRMonitor::monitoringDataKeyWithMessage("x", 4, 9), "1W_9:x");
}

TEST_F(MeasurementTest, ErrorContextsJoinTheSampledContext) {
    MSRMonitor& monitor = services().monitor();
    monitor.clearMonitoringData();
    monitor.logWithLevel(2, 1, "Failed",
                         msr_errorWithCode(MSRErrorCode::databaseFailure, "boom", "validate database,26,A"), "x");
    const auto entry = monitor.sampledEntry();
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->context, std::string(kMSRErrorDomain) + ",-,validate database,26,A");
}

// --- Sampling

TEST(MonitorSampling, TheSecondLineReplacesTheFirstHalfTheTime) {
    platform::SeededRandom random(2024);
    const platform::TimePoint start{std::chrono::seconds(1000)};
    int replaced = 0;
    constexpr int kTrials = 10000;
    for (int trial = 0; trial < kTrials; ++trial) {
        MSRMonitoringSampledData sample;
        sample.insertOrUpdateSampledDataWithKey("A", "a", start, random);
        sample.insertOrUpdateSampledDataWithKey("B", "b", start + std::chrono::seconds(5), random);
        ASSERT_EQ(sample.entry()->population, 2);
        ASSERT_EQ(sample.entry()->start, start);
        replaced += sample.entry()->key == "B" ? 1 : 0;
    }
    EXPECT_NEAR(replaced / static_cast<double>(kTrials), 0.5, 0.02);
}

TEST(MonitorSampling, DispatchGivesTheDueEntryOnce) {
    platform::SeededRandom random(1);
    const platform::TimePoint start{std::chrono::seconds(1'000'000)};
    MSRMonitoringSampledData sample;
    EXPECT_EQ(sample.monitoringDataForDispatchWithSamplePeriod(60, 0, start), std::nullopt);
    EXPECT_EQ(sample.monitoringDataForDispatchWithSamplePeriod(60, 1'000'000 - 61, start), "0:");
    EXPECT_EQ(sample.monitoringDataForDispatchWithSamplePeriod(60, 1'000'000 - 30, start), std::nullopt);

    sample.insertOrUpdateSampledDataWithKey("1E_9:x", "", start, random);
    sample.insertOrUpdateSampledDataWithKey("1E_9:x", "", start, random);
    EXPECT_EQ(sample.monitoringDataForDispatchWithSamplePeriod(60, 0, start + std::chrono::seconds(30)), std::nullopt);
    EXPECT_EQ(sample.monitoringDataForDispatchWithSamplePeriod(60, 0, start + std::chrono::seconds(61)), "2:1E_9:x");
    EXPECT_FALSE(sample.entry());

    sample.insertOrUpdateSampledDataWithKey("k", "7,-", start, random);
    EXPECT_EQ(sample.monitoringDataForDispatchWithSamplePeriod(60, 0, start + std::chrono::seconds(61)), "1:k:7,-");
}

TEST(MonitorSampling, OnlyAWellFormedArrayIsLoaded) {
    const platform::Value::Date date{std::chrono::seconds(5)};
    using A = platform::Value::Array;
    EXPECT_TRUE(MSRMonitoringSampledData(platform::Value(A{"c", 3, "k", date})).entry());
    EXPECT_FALSE(MSRMonitoringSampledData(platform::Value(A{"c", 3, "k"})).entry());
    EXPECT_FALSE(MSRMonitoringSampledData(platform::Value(A{"c", "3", "k", date})).entry());
    EXPECT_FALSE(MSRMonitoringSampledData(platform::Value(A{"c", 3, "k", date, 1})).entry());
    EXPECT_FALSE(MSRMonitoringSampledData(std::nullopt).entry());
    EXPECT_EQ(MSRMonitoringSampledData::sampledDataEntryWithKey("k", std::nullopt, "c", 1), std::nullopt);
}

TEST_F(MeasurementTest, TheSampleIsKeptInTheMonitorSuiteAndDispatchedOnce) {
    MSRMonitor& monitor = services().monitor();
    monitor.clearMonitoringData();
    monitor.logWithLevel(1, 5, "Database error", 150);
    monitor.waitUntilIdle();
    platform::UserDefaults suite{std::string(kMSRMonitorSuiteName)};
    suite.synchronize();
    const auto stored = suite.object(kMSRHealthMonitorKey);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(MSRMonitoringSampledData::isValidUserDefaultsArrayEntry(*stored));
    EXPECT_EQ(*stored->asArray()->at(0).asString(), "100...999");

    EXPECT_EQ(monitor.monitoringDataForDispatchWithSamplePeriod(-1, 0),
              "1:1E_" + std::to_string(kMSRDefaultLibraryVersion) + ":Database error:100...999");
    suite.synchronize();
    EXPECT_FALSE(suite.object(kMSRHealthMonitorKey));
    EXPECT_EQ(monitor.monitoringDataForDispatchWithSamplePeriod(-1, 0), std::nullopt);
}

// --- Launch switches

struct SwitchRow {
    std::vector<std::string> arguments;
    bool configurationClass;
    bool storedDebugMode;
    bool fromAppStore;
    bool debug;
    bool verbose;
    bool sdkLevelFromConfiguration;
    int sdkMaximumLevel;
};

TEST_F(MeasurementTest, LaunchSwitchesSetTheModes) {
    const SwitchRow rows[] = {
        {{}, false, false, false, false, false, false, 5},
        {{"-HLODebugEnabled"}, false, false, false, true, false, false, 7},
        {{"-HLODebugEnabled"}, true, false, false, true, false, true, 5},
        {{"-HLODebugEnabled", "-noMSRAnalyticsDebugEnabled"}, false, false, false, false, false, false, 5},
        {{"-HLOAnalyticsDebugEnabled"}, false, false, false, true, false, false, 7},
        {{}, false, true, false, true, false, false, 7},
        {{"-noHLOAnalyticsDebugEnabled"}, false, true, false, false, false, false, 5},
        {{"-MSRAnalyticsVerboseLoggingEnabled"}, false, false, false, false, true, false, 7},
        {{"-MSRAnalyticsVerboseLoggingEnabled", "-HLOAnalyticsVerboseLoggingDisabled"},
         false,
         false,
         false,
         false,
         false,
         false,
         5},
        {{"-HLODebugEnabled", "-HLOAnalyticsVerboseLoggingEnabled"}, false, false, true, false, false, false, 5},
        {{}, false, true, true, false, false, false, 5},
    };
    for (const SwitchRow& row : rows) {
        std::string arguments;
        for (const auto& argument : row.arguments) {
            arguments += argument + " ";
        }
        SCOPED_TRACE(arguments + (row.fromAppStore ? "(App Store)" : ""));
        // Each row a launch of its own: a kit context with its logger,
        // launch arguments and registry.
        kit::KitContext launchContext;
        std::vector<std::string> launch{"kit-test"};
        launch.insert(launch.end(), row.arguments.begin(), row.arguments.end());
        setContextLaunchArguments(launch);
        if (row.configurationClass) {
            kit::classRegistry().registerClass("HLOConfiguration", std::make_shared<int>(0));
        }
        MSRUserDefaults::sharedUserDefaults()->setObject(
            row.storedDebugMode ? std::optional<platform::Value>(true) : std::nullopt, kMSRDebugModeKey);

        FakeServices services(row.fromAppStore);
        EXPECT_EQ(services.monitor().isDebugModeEnabled(), row.debug);
        EXPECT_EQ(services.monitor().isVerboseLoggingEnabled(), row.verbose);
        EXPECT_EQ(services.monitor().sdkLogLevelFromConfiguration(), row.sdkLevelFromConfiguration);
        EXPECT_EQ(LMULoggerMaximumLevel(), row.sdkMaximumLevel);
        EXPECT_EQ(services.monitor().logLevel(), row.verbose ? 8 : row.debug ? 7 : 6);
        services.monitor().waitUntilIdle();
    }
}

TEST_F(MeasurementTest, DebugModeIsPersistedAndAnAppStoreBuildRefusesIt) {
    FakeServices services;
    services.monitor().setDebugModeEnabled(true);
    EXPECT_TRUE(MSRUserDefaults::sharedUserDefaults()->boolForKey(kMSRDebugModeKey));
    EXPECT_EQ(services.drainCodes(), (std::vector<std::int64_t>{24000}));
    services.monitor().setDebugModeEnabled(false);
    EXPECT_FALSE(MSRUserDefaults::sharedUserDefaults()->objectForKey(kMSRDebugModeKey));

    FakeServices appStore(true);
    appStore.monitor().setDebugModeEnabled(true);
    EXPECT_FALSE(appStore.monitor().isDebugModeEnabled());
    EXPECT_EQ(appStore.monitor().logLevel(), 6);
    EXPECT_FALSE(MSRUserDefaults::sharedUserDefaults()->objectForKey(kMSRDebugModeKey));
    appStore.monitor().setSSTDebugModeEnabled(true);
    EXPECT_TRUE(appStore.monitor().isDebugModeEnabled());
    EXPECT_EQ(appStore.monitor().logLevel(), 7);
}

// --- Migration of the health data

struct MigrationRow {
    const char* name;
    std::optional<std::int64_t> state;
    bool sharedHolds;
    bool suiteHolds;
    // Afterwards:
    const char* suiteContext;  // the context of the suite's entry, "" for none
    bool sharedStillHolds;
};

TEST_F(MeasurementTest, HealthDataMovesOutOfTheSharedSuiteOnce) {
    const platform::Value::Date date{std::chrono::seconds(5)};
    const platform::Value oldEntry(platform::Value::Array{"old", 1, "k", date});
    const platform::Value suiteEntry(platform::Value::Array{"suite", 1, "k", date});
    const MigrationRow rows[] = {
        {"fresh, shared data", std::nullopt, true, false, "old", false},
        {"fresh, both", std::int64_t{0}, true, true, "suite", false},
        {"copied, not removed", std::int64_t{1}, true, false, "", false},
        {"done", std::int64_t{2}, true, false, "", true},
        {"unknown state", std::int64_t{7}, true, true, "suite", true},
        {"nothing anywhere", std::nullopt, false, false, "", false},
    };
    // The fixture's own monitor has migrated before the rows set their states.
    services().monitor().waitUntilIdle();
    for (const MigrationRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto shared = MSRUserDefaults::sharedUserDefaults();
        MSRUserDefaults suite{std::string(kMSRMonitorSuiteName)};
        suite.clearAllData();
        shared->setObject(row.sharedHolds ? std::optional(oldEntry) : std::nullopt, kMSRHealthMonitorKey);
        suite.setObject(row.suiteHolds ? std::optional(suiteEntry) : std::nullopt, kMSRHealthMonitorKey);
        suite.setObject(row.state ? std::optional<platform::Value>(*row.state) : std::nullopt,
                        kMSRMonitorMigrationStateKey);

        FakeServices services;
        const auto entry = services.monitor().sampledEntry();
        EXPECT_EQ(entry ? entry->context : "", row.suiteContext);
        EXPECT_EQ(shared->objectForKey(kMSRHealthMonitorKey).has_value(), row.sharedStillHolds);
        const std::int64_t expectedState = row.state && *row.state >= 2 ? *row.state : 2;
        EXPECT_EQ(suite.integerForKey(kMSRMonitorMigrationStateKey), expectedState);
    }
}

TEST_F(MeasurementTest, ClearingForgetsDebugModeAndTheSample) {
    MSRMonitor& monitor = services().monitor();
    monitor.setDebugModeEnabled(true);
    monitor.logWithLevel(1, 1, "x");
    monitor.clearMonitoringData();
    EXPECT_FALSE(monitor.sampledEntry());
    EXPECT_FALSE(MSRUserDefaults::sharedUserDefaults()->objectForKey(kMSRDebugModeKey));
}

// --- The adapter into the SDK log

TEST_F(MeasurementTest, TheAdapterMapsLevelsAndWritesTheMessageAsGiven) {
    const int expected[] = {3, 3, 3, 4, 4, 4, 5, 7, 7};
    for (int level = 0; level <= 8; ++level) {
        EXPECT_EQ(MSRASLLogger::LMULoggerLevelFromLogLevel(level), expected[level]);
    }
    EXPECT_EQ(MSRASLLogger::LMULoggerLevelFromLogLevel(9), 4);
    EXPECT_EQ(MSRASLLogger::LMULoggerLevelFromLogLevel(100), 4);
    EXPECT_EQ(MSRASLLogger::LMULoggerLevelFromLogLevel(-1), 4);

    MSRASLLogger logger;
    logger.logMessage("100% done %@ %n", kMSRDefaultLogTag, 42, 1);
    logger.logMessage("forced debug line", kMSRDefaultLogTag, 43, 7);
    logger.logMessage("dropped debug line", kMSRDefaultLogTag, 44, 8);
    const auto entries = drainLog();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].subsystem, "com.lumen.halo.analytics");
    EXPECT_EQ(entries[0].category, "<LumenMeasurement>");
    EXPECT_NE(entries[0].line.find("[I-ACS000042] 100% done %@ %n"), std::string::npos) << entries[0].line;
    EXPECT_NE(entries[1].line.find("[I-ACS000043] forced debug line"), std::string::npos) << entries[1].line;
}

// --- Errors

TEST(MeasurementErrors, CodesKeepTheirNumbersInTheMeasurementDomain) {
    static_assert(platform::ErrorCode<MSRErrorCode>);
    const std::pair<MSRErrorCode, int> cases[] = {
        {MSRErrorCode::invalidArgument, 1},       {MSRErrorCode::invalidState, 2},
        {MSRErrorCode::databaseFailure, 3},       {MSRErrorCode::invalidAudience, 9},
        {MSRErrorCode::invalidEventFilter, 10},   {MSRErrorCode::invalidPropertyFilter, 11},
        {MSRErrorCode::sessionIDUnavailable, 13},
    };
    for (const auto& [code, number] : cases) {
        const platform::Error error = msr_errorWithCode(code, "d", "c");
        EXPECT_EQ(error.domain(), "com.lumen.lmp.measurement.ErrorDomain");
        EXPECT_EQ(error.code(), number);
        EXPECT_TRUE(error.is(code));
        EXPECT_EQ(*error.userInfo().find(kMSRLocalizedDescriptionKey)->asString(), "d");
        EXPECT_EQ(MSRMonitorContextOfError(error), "c");
    }
}

TEST(MeasurementErrors, CarryTheirDescriptionAndMonitorContext) {
    const platform::Error error = msr_errorWithCode(MSRErrorCode::databaseFailure, "Failed", "op,5,A");
    EXPECT_EQ(error.domain(), kMSRErrorDomain);
    EXPECT_EQ(error.code(), 3);
    EXPECT_STREQ(error.what(), "Failed");
    EXPECT_EQ(*error.userInfo().find(kMSRMonitorContextKey)->asString(), "op,5,A");
    EXPECT_EQ(*error.userInfo().find(kMSRLocalizedDescriptionKey)->asString(), "Failed");
    EXPECT_EQ(msr_errorWithCode(MSRErrorCode::invalidArgument, "").userInfo().find(kMSRLocalizedDescriptionKey),
              nullptr);

    std::optional<platform::Error> out;
    EXPECT_TRUE(MSRCheckOrSetError(true, &out, MSRErrorCode::invalidArgument, "x"));
    EXPECT_FALSE(out);
    EXPECT_FALSE(MSRCheckNonZeroOrSetError(0, &out, MSRErrorCode::invalidState, "zero"));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->code(), 2);
    EXPECT_FALSE(
        MSRCheckObjectOrSetError(std::shared_ptr<int>(), nullptr, MSRErrorCode::invalidArgument, "no out-parameter"));
    MSRSetErrorWithContext(&out, MSRErrorCode::invalidState, "d", "c");
    EXPECT_EQ(MSRMonitorContextOfError(*out), "c");

    EXPECT_EQ(MSRErrorContextsFromErrors({msr_errorWithCode(MSRErrorCode::invalidArgument, "a", "one"),
                                          platform::Error("Other", 1, "b"),
                                          msr_errorWithCode(MSRErrorCode::invalidArgument, "c"),
                                          msr_errorWithCode(MSRErrorCode::invalidArgument, "d", "two")}),
              "one,two");
    EXPECT_EQ(MSRErrorContextsFromErrors({}), "");
}

}  // namespace
}  // namespace kit::measurement

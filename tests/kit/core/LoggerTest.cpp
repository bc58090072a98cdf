#include "KitTestSupport.h"
#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"
#include "kit/core/Logger.h"
#include "platform/UserDefaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

namespace kit {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::KitTest;

class LoggerTest : public KitTest {};

TEST_F(LoggerTest, WritesOrDropsByLevelDebugModeForceAndService) {
    struct Row {
        int maximumLevel;
        bool debugMode;
        bool analyticsFlag;
        bool forced;  // through the utilities layer's force flag
        std::string_view service;
        int level;
        bool written;
    };
    const Row rows[] = {
        {5, false, false, false, "[HaloCore]", 3, true},  {5, false, false, false, "[HaloCore]", 5, true},
        {5, false, false, false, "[HaloCore]", 6, false}, {5, false, false, false, "[HaloCore]", 7, false},
        {5, true, false, false, "[HaloCore]", 7, true},   {3, false, false, false, "[HaloCore]", 3, true},
        {3, false, false, false, "[HaloCore]", 4, false}, {3, true, false, false, "[HaloCore]", 6, true},
        {7, false, false, false, "[HaloCore]", 7, true},  {4, false, false, false, "[HaloCore]", 4, true},
        {4, false, false, false, "[HaloCore]", 5, false}, {3, false, true, false, "[HaloAnalytics]", 7, true},
        {3, false, true, false, "[HaloCore]", 7, false},  {3, false, false, false, "[HaloAnalytics]", 6, false},
        {3, false, false, true, "[HaloCore]", 7, true},   {3, false, false, true, "[HaloCore]", 4, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "maximum " << row.maximumLevel << ", debug " << row.debugMode
                                          << ", analytics " << row.analyticsFlag << ", forced " << row.forced << ", "
                                          << row.service << ", level " << row.level);
        // Each row a process of its own, that never logged.
        KitContext process;
        setContextLaunchArguments({"kit-test"});
        auto sink = std::make_shared<platform::CaptureLogSink>();
        LMULoggerInstallSink(sink);
        HLOSetLoggerMaximumLevel(row.maximumLevel);
        if (row.debugMode) {
            LMULoggerEnableDebugMode();
        }
        HLOSetAnalyticsDebugModeFlag(row.analyticsFlag);
        if (row.forced) {
            LMULogMessageWithLevel(row.level, kHLOLoggerSubsystem, row.service, true, "I-COR000099", "line %d",
                                   {row.level});
        } else {
            HLOLogMessageWithLevel(row.level, row.service, "I-COR000099", "line %d", {row.level});
        }
        LMULoggerFlush();
        EXPECT_EQ(sink->drain().size(), row.written ? 1U : 0U);
        if (!row.forced) {
            EXPECT_EQ(HLOIsLevelLoggable(row.level, row.service == kHLOLoggerServiceAnalytics), row.written);
        }
    }
}

TEST_F(LoggerTest, TheTypeFollowsTheLevel) {
    HLOSetLoggerLevelToDebug();
    for (int level = 3; level <= 7; ++level) {
        HLOLogMessageWithLevel(level, "[HaloCore]", "I-COR000099", "level %d", {level});
    }
    std::vector<platform::LogType> types;
    for (const auto& entry : drainLog()) {
        types.push_back(entry.type);
    }
    using platform::LogType;
    EXPECT_THAT(types, ElementsAre(LogType::error, LogType::notice, LogType::notice, LogType::info, LogType::debug));
    EXPECT_EQ(LMULogTypeForLevel(0), LogType::error);
    EXPECT_EQ(LMULogTypeForLevel(8), LogType::error);
}

TEST_F(LoggerTest, AnInvalidMaximumLevelGivesTheForcedLineAndLeavesTheLevel) {
    HLOSetLoggerLevelToError();
    for (const long level : {8L, 2L}) {
        HLOSetLoggerMaximumLevel(level);
        EXPECT_EQ(HLOLoggerMaximumLevel(), 3);
        const auto entries = drainLog();
        ASSERT_EQ(entries.size(), 1U);
        EXPECT_EQ(entries[0].line, "11.9.0 - [LMULogger][I-COR000023] Invalid logger level, " + std::to_string(level));
        EXPECT_EQ(entries[0].subsystem, kLMULoggerSubsystem);
        EXPECT_EQ(entries[0].category, "[LMULogger]");
        EXPECT_EQ(entries[0].type, platform::LogType::error);
    }
}

TEST_F(LoggerTest, AnAppStoreBuildIgnoresLevelsFromNoticeAndRefusesDebugMode) {
    LMUAppEnvironmentUtil::setOverridesForTesting({.fromAppStore = true});
    setContextLaunchArguments({"kit-test", "-HLODebugEnabled"});
    EXPECT_EQ(HLOLoggerMaximumLevel(), 5);
    HLOSetLoggerLevelToError();
    EXPECT_EQ(HLOLoggerMaximumLevel(), 3);
    for (const long level : {5L, 6L, 7L}) {
        HLOSetLoggerMaximumLevel(level);
        EXPECT_EQ(HLOLoggerMaximumLevel(), 3) << level;
    }
    HLOSetLoggerLevelToWarning();
    EXPECT_EQ(HLOLoggerMaximumLevel(), 4);
    LMULoggerEnableDebugMode();
    EXPECT_EQ(HLOLoggerMaximumLevel(), 4);
    HLOLogDebugMessage("[HaloCore]", "I-COR000099", "not in an App Store build");
    HLOLogInfoMessage("[HaloCore]", "I-COR000099", "not in an App Store build");
    EXPECT_THAT(drainLines(), IsEmpty());

    // The sandbox is never the App Store.
    LMUAppEnvironmentUtil::setOverridesForTesting({.fromAppStore = true, .appStoreReceiptSandbox = true});
    EXPECT_FALSE(LMUAppEnvironmentUtil::isFromAppStore());
}

TEST_F(LoggerTest, DebugDisabledRemovesTheStoredSettingBeforeTheFirstLine) {
    kit::standardDefaults().set(kHLODebugModeDefaultsKey, true);
    setContextLaunchArguments({"kit-test", "-HLODebugDisabled"});
    HLOLogDebugMessage("[HaloCore]", "I-COR000099", "dropped");
    HLOLogNoticeMessage("[HaloCore]", "I-COR000099", "written");
    EXPECT_THAT(drainLines(), ElementsAre("11.9.0 - [HaloCore][I-COR000099] written"));
    EXPECT_FALSE(kit::standardDefaults().object(kHLODebugModeDefaultsKey).has_value());
    EXPECT_EQ(HLOLoggerMaximumLevel(), 5);
}

TEST_F(LoggerTest, DebugEnabledIsStoredAndKeptForLaterLaunches) {
    setContextLaunchArguments({"kit-test", "-HLODebugEnabled"});
    HLOLogDebugMessage("[HaloCore]", "I-COR000099", "first");
    EXPECT_THAT(drainLines(), ElementsAre("11.9.0 - [HaloCore][I-COR000099] first"));
    EXPECT_EQ(kit::standardDefaults().object(kHLODebugModeDefaultsKey), platform::Value(true));
    EXPECT_EQ(HLOLoggerMaximumLevel(), 7);

    // A later launch without the argument.
    KitContext later;
    auto sink = std::make_shared<platform::CaptureLogSink>();
    LMULoggerInstallSink(sink);
    setContextLaunchArguments({"kit-test"});
    HLOLogDebugMessage("[HaloCore]", "I-COR000099", "second");
    LMULoggerFlush();
    EXPECT_THAT(sink->drainLines(), ElementsAre("11.9.0 - [HaloCore][I-COR000099] second"));
}

TEST_F(LoggerTest, OneLineIsExact) {
    setContextLaunchArguments({"kit-test", "-HLODebugEnabled"});
    HLOLogDebugMessage("[HaloCore]", "I-COR000001", "Configuring the default app.");
    const auto entries = drainLog();
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries[0].line, "11.9.0 - [HaloCore][I-COR000001] Configuring the default app.");
    EXPECT_EQ(entries[0].subsystem, "com.lumen.halo");
    EXPECT_EQ(entries[0].category, "[HaloCore]");
    EXPECT_EQ(entries[0].type, platform::LogType::debug);
}

TEST_F(LoggerTest, MessagesAreFilledFromArgumentsAndNeverUsedAsFormats) {
    HLOLogErrorMessage("[HaloCore]", "I-COR000099", "%@ has %d items (%@)", std::string("list"), 3, "%n%s");
    HLOLoggerWrapper::logWithLevel(3, "[HaloCore]", "I-COR000099", "100% sure: %s %n %@");
    LMULoggerWrapper::logWithLevel(3, "[LMUTest]", "I-LMU000099", "value %06ld", {42L});
    EXPECT_THAT(drainLines(), ElementsAre("11.9.0 - [HaloCore][I-COR000099] list has 3 items (%n%s)",
                                          "11.9.0 - [HaloCore][I-COR000099] 100% sure: %s %n %@",
                                          "11.9.0 - [LMUTest][I-LMU000099] value 000042"));
}

TEST_F(LoggerTest, EightThreadsLoseNoLineAndKeepEachThreadsOrder) {
    constexpr int kThreads = 8;
    constexpr int kLines = 1000;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([thread] {
            for (int line = 0; line < kLines; ++line) {
                HLOLogNoticeMessage("[HaloCore]", "I-COR000099", "thread %d line %d", thread, line);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::vector<int> next(kThreads, 0);
    int total = 0;
    for (const auto& line : drainLines()) {
        int thread = -1;
        int number = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "11.9.0 - [HaloCore][I-COR000099] thread %d line %d", &thread, &number), 2)
            << line;
        ASSERT_GE(thread, 0);
        ASSERT_LT(thread, kThreads);
        ASSERT_EQ(number, next[thread]) << "thread " << thread;
        ++next[thread];
        ++total;
    }
    EXPECT_EQ(total, kThreads * kLines);
}

// The stderr sink takes debug-type lines only in debug mode.
class StderrCapture {
public:
    explicit StderrCapture(const std::filesystem::path& file) : file_(file) {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(descriptor, STDERR_FILENO);
        ::close(descriptor);
    }
    ~StderrCapture() { restore(); }
    std::string finish() {
        restore();
        return platform::testing::readFile(file_);
    }

private:
    void restore() {
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }
    std::filesystem::path file_;
    int saved_ = -1;
};

TEST_F(LoggerTest, TheStderrSinkTakesDebugLinesOnlyInDebugMode) {
    LMULoggerInstallSink(nullptr);
    StderrCapture capture(root() / "stderr.txt");
    HLOSetLoggerLevelToDebug();
    HLOLogDebugMessage("[HaloCore]", "I-COR000099", "debug without debug mode");
    HLOLogNoticeMessage("[HaloCore]", "I-COR000099", "notice");
    LMULoggerEnableDebugMode();
    HLOLogDebugMessage("[HaloCore]", "I-COR000099", "debug in debug mode");
    LMULoggerFlush();
    EXPECT_EQ(capture.finish(),
              "11.9.0 - [HaloCore][I-COR000099] notice\n11.9.0 - [HaloCore][I-COR000099] debug in debug mode\n");
}

}  // namespace
}  // namespace kit

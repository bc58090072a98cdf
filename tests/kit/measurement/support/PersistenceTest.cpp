#include "MeasurementTestSupport.h"
#include "Process.h"
#include "kit/core/KitPaths.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>

namespace kit::measurement {
namespace {

using platform::testing::runCommand;
using platform::testing::shellQuote;
using testing::MeasurementTest;
using namespace std::chrono_literals;

ino_t inodeOf(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// The file as an outside plist reader sees it: XML text, or "" when it cannot read it.
std::string readWithPlistutil(const std::filesystem::path& path) {
    const auto result = runCommand("plistutil -f xml -i " + shellQuote(path.string()), false);
    return result.exitCode == 0 ? result.output : std::string();
}

bool logged(const std::vector<std::string>& lines, std::string_view code) {
    for (const auto& line : lines) {
        if (line.find(code) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class PersistenceTest : public MeasurementTest {
protected:
    platform::TestClock clock_{platform::TimePoint{std::chrono::seconds(1'700'000'000)}};
};

TEST_F(PersistenceTest, TenQuickChangesGiveOneWriteASecondAfterTheFirst) {
    auto dictionary = MSRPersistentDictionary::create("settings", clock_);
    ASSERT_TRUE(dictionary);
    const auto path = kit::kitDataDirectory() / "Lumen" / "Measurement" / "settings.plist";
    EXPECT_EQ(dictionary->fileURL(), path);
    for (int index = 0; index < 10; ++index) {
        dictionary->setInteger(index, "/key/" + std::to_string(index));
        clock_.advance(50ms);
    }
    EXPECT_EQ(clock_.pendingTimerCount(), 1u);
    clock_.advance(490ms);
    EXPECT_FALSE(std::filesystem::exists(path));
    clock_.advance(10ms);
    ASSERT_TRUE(testing::eventually([&] { return !dictionary->hasUnwrittenChanges(); }));
    const ino_t written = inodeOf(path);
    ASSERT_NE(written, 0u);
    const std::string xml = readWithPlistutil(path);
    EXPECT_NE(xml.find("<key>/key/9</key>"), std::string::npos) << xml;

    // Nothing changes: nothing is scheduled, nothing written.
    dictionary->setInteger(9, "/key/9");
    dictionary->removeObjectForKey("/missing");
    EXPECT_EQ(clock_.pendingTimerCount(), 0u);
    clock_.advance(5s);
    EXPECT_EQ(inodeOf(path), written);
}

TEST_F(PersistenceTest, ValuesNoPlistHoldsAreRefusedAndLaterOnesStillReachDisk) {
    auto dictionary = MSRPersistentDictionary::create("refusals", clock_);
    ASSERT_TRUE(dictionary);
    dictionary->setObject(platform::Value(platform::Value::Array{1, nullptr}), "/array");
    dictionary->setObject(platform::Value(), "/null");
    dictionary->setObject(platform::Value(platform::Value::Date{std::chrono::hours(24 * 365 * 300)}), "/date");
    dictionary->setObject(platform::Value("x"), "");
    const auto lines = drainLines();
    EXPECT_TRUE(logged(lines, "I-ACS043003"));
    EXPECT_TRUE(logged(lines, "I-ACS043002"));
    EXPECT_EQ(clock_.pendingTimerCount(), 0u);
    EXPECT_FALSE(dictionary->objectForKey("/array"));

    dictionary->setObject(platform::Value("good"), "/good");
    clock_.advance(1s);
    ASSERT_TRUE(testing::eventually([&] { return !dictionary->hasUnwrittenChanges(); }));
    EXPECT_NE(readWithPlistutil(dictionary->fileURL()).find("<string>good</string>"), std::string::npos);
}

TEST_F(PersistenceTest, AFailedWriteIsRetriedByFlush) {
    auto dictionary = MSRPersistentDictionary::create("retried", clock_);
    ASSERT_TRUE(dictionary);
    dictionary->setObject(platform::Value("kept"), "/value");
    // A folder where the file should be: the write cannot replace it.
    std::filesystem::create_directories(dictionary->fileURL());
    clock_.advance(1s);
    ASSERT_TRUE(testing::eventually([&] { return logged(drainLines(), "I-ACS043000"); }));
    EXPECT_TRUE(dictionary->hasUnwrittenChanges());
    std::filesystem::remove(dictionary->fileURL());
    dictionary->flush();
    EXPECT_FALSE(dictionary->hasUnwrittenChanges());
    EXPECT_NE(readWithPlistutil(dictionary->fileURL()).find("<string>kept</string>"), std::string::npos);
}

TEST_F(PersistenceTest, UserDefaultsRefuseWhatTheirFileCannotHold) {
    MSRUserDefaults defaults{std::string("com.example.suite")};
    defaults.setObject(platform::Value(platform::Value::Array{nullptr}), "/array");
    defaults.setObject(platform::Value(1), "");
    EXPECT_FALSE(defaults.objectForKey(""));
    const auto lines = drainLines();
    EXPECT_TRUE(logged(lines, "I-ACS041003"));
    EXPECT_TRUE(logged(lines, "I-ACS041002"));
    EXPECT_TRUE(logged(lines, "I-ACS041001"));
    defaults.setDouble(2.5, "/d");
    defaults.setBool(true, "/b");
    EXPECT_EQ(defaults.doubleForKey("/d"), 2.5);
    EXPECT_TRUE(defaults.boolForKey("/b"));
    EXPECT_EQ(defaults.stringForKey("/d"), std::nullopt);
    defaults.synchronize();
    EXPECT_TRUE(defaults.isPreferenceFileExcluded());
    defaults.clearAllData();
    EXPECT_FALSE(defaults.objectForKey("/d"));
}

TEST_F(PersistenceTest, TheConfigWritesASecondAfterTheLastChange) {
    auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);
    ASSERT_TRUE(config);
    const auto path = MSRPersistentDictionaryFilePath(kMSRPersistedConfigSuiteName);
    config->setAppInstanceID("instance-1");
    clock_.advance(900ms);
    config->setSessionNumber(4);
    clock_.advance(900ms);
    config->setShouldSetLastAdvertisingIDResetUserProperty(true);
    config->flush();
    const std::string xml = readWithPlistutil(path);
    EXPECT_NE(xml.find("<key>/lumen/measurement/set_last_advertising_id_reset</key>\n\t<integer>1</integer>"),
              std::string::npos)
        << xml;
    EXPECT_TRUE(config->shouldSetLastAdvertisingIDResetUserProperty());
    EXPECT_EQ(config->appInstanceID(), "instance-1");
    EXPECT_EQ(config->sessionNumber(), 4);

    config->setDefaultEventParameters(platform::Value::Dictionary{{"list", platform::Value::Array{nullptr}}});
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{27002}));
    EXPECT_EQ(config->defaultEventParameters(), std::nullopt);

    config->setSearchAdCampaignValue(platform::Value("not a number"));
    EXPECT_EQ(config->searchAdCampaignValue(), std::nullopt);
    config->setSearchAdCampaignValue(platform::Value(1));
    EXPECT_EQ(config->searchAdCampaignValue(), platform::Value(1));
}

TEST_F(PersistenceTest, EnabledStateLivesInTheSharedUserDefaults) {
    auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);
    ASSERT_TRUE(config);
    config->dictionary().setInteger(1, "/lumen/measurement/measurement_enabled_state");
    EXPECT_EQ(config->measurementEnabledState(), 0);
    config->setMeasurementEnabledState(2);
    EXPECT_EQ(config->measurementEnabledState(), 2);
    // The application's suite file in this test's settings folder.
    const platform::UserDefaults application(platform::UserDefaults::standard().suiteName());
    EXPECT_EQ(application.integerForKey("/lumen/measurement/measurement_enabled_state"), 2);
}

TEST_F(PersistenceTest, TheMidnightOffsetIsMadeOnceAndKept) {
    double first = 0;
    {
        auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);
        first = config->midnightOffset();
        EXPECT_GE(first, 0.0);
        EXPECT_LT(first, 86400.0);
        EXPECT_EQ(config->midnightOffset(), first);
    }
    auto again = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);
    EXPECT_EQ(again->midnightOffset(), first);
}

TEST_F(PersistenceTest, WillTerminateWritesAtOnce) {
    auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);
    config->setAppVersion("2.0");
    const auto path = MSRPersistentDictionaryFilePath(kMSRPersistedConfigSuiteName);
    EXPECT_FALSE(std::filesystem::exists(path));
    platform::NotificationCenter::defaultCenter().post(std::string(kApplicationWillTerminateNotification));
    EXPECT_NE(readWithPlistutil(path).find("<string>2.0</string>"), std::string::npos);
}

// Run by the test below in a process of its own.
TEST_F(PersistenceTest, ChildSetsThenTerminates) {
    if (std::getenv("MSR_CHILD_TERMINATE") == nullptr) {
        GTEST_SKIP() << "runs as a child process";
    }
    // No monitor work may read the environment while it changes.
    services().monitor().waitUntilIdle();
    testing::ParentFolders parent;
    auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, platform::systemSchedulingClock());
    config->setAppInstanceID("from-the-child");
    platform::NotificationCenter::defaultCenter().post(std::string(kApplicationWillTerminateNotification));
    ::_exit(0);
}

TEST_F(PersistenceTest, ASetThenWillTerminateReachesTheNextProcess) {
    const pid_t child = testing::spawnSelf("PersistenceTest.ChildSetsThenTerminates", {{"MSR_CHILD_TERMINATE", "1"}});
    ASSERT_EQ(testing::waitForChild(child), 0);
    auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, clock_);
    EXPECT_EQ(config->appInstanceID(), "from-the-child");
}

// Writes forever, each state whole: three keys with the same count.
TEST_F(PersistenceTest, ChildWritesUntilKilled) {
    if (std::getenv("MSR_CHILD_WRITE_LOOP") == nullptr) {
        GTEST_SKIP() << "runs as a child process";
    }
    // No monitor work may read the environment while it changes.
    services().monitor().waitUntilIdle();
    testing::ParentFolders parent;
    auto dictionary = MSRPersistentDictionary::create("crash", platform::systemSchedulingClock());
    std::int64_t count = dictionary->integerForKey("/a");
    for (;;) {
        ++count;
        dictionary->setInteger(count, "/a");
        dictionary->setObject(platform::Value(std::string(static_cast<std::size_t>(count % 4096), 'x')), "/padding");
        dictionary->setInteger(count, "/b");
        dictionary->synchronize();
    }
}

TEST_F(PersistenceTest, AKilledWriterLeavesAStateItWrote) {
    const auto path = MSRPersistentDictionaryFilePath("crash");
    std::mt19937 delays(7);
    std::int64_t last = 0;
    for (int round = 0; round < 50; ++round) {
        const ino_t before = inodeOf(path);
        const pid_t child =
            testing::spawnSelf("PersistenceTest.ChildWritesUntilKilled", {{"MSR_CHILD_WRITE_LOOP", "1"}});
        // Killed while writing: once it has replaced the file, at a moment of its own.
        EXPECT_TRUE(testing::eventually([&] { return inodeOf(path) != before; })) << "round " << round;
        std::this_thread::sleep_for(std::chrono::milliseconds(delays() % 40));
        ::kill(child, SIGKILL);
        testing::waitForChild(child);
        if (!std::filesystem::exists(path)) {
            continue;
        }
        const std::string xml = readWithPlistutil(path);
        ASSERT_FALSE(xml.empty()) << "round " << round;
        const auto value = platform::Value::fromPlist(xml);
        ASSERT_TRUE(value && value->isDictionary()) << xml;
        const auto a = value->find("/a")->asInteger();
        const auto b = value->find("/b")->asInteger();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(*a, *b);
        EXPECT_EQ(value->find("/padding")->asString()->size(), static_cast<std::size_t>(*a % 4096));
        EXPECT_GE(*a, last);
        last = *a;
    }
    EXPECT_GT(last, 0);
}

// --- Paths and the move of old preferences

TEST_F(PersistenceTest, PathsLieUnderTheKitFolders) {
    EXPECT_EQ(MSRMeasurementFilePath("lumen-measurement.sql"),
              kit::kitDataDirectory() / "Lumen/Measurement/lumen-measurement.sql");
    EXPECT_EQ(MSRPersistentDictionaryFilePath("x.plist"), kit::kitDataDirectory() / "Lumen/Measurement/x.plist");
    EXPECT_EQ(MSRPersistentDictionaryFilePath("x"), kit::kitDataDirectory() / "Lumen/Measurement/x.plist");
    EXPECT_EQ(MSRPreferencesFilePath("suite"), platform::paths::settingsFolder() / "suite.plist");
    EXPECT_EQ(MSRMeasurementFilePath(""), std::filesystem::path());
    EXPECT_EQ(MSRPreferencesFilePath(""), std::filesystem::path());
    const auto removed = MSRDeleteFileAtPath("");
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error().code(), 1);
    EXPECT_STREQ(removed.error().what(), "Received empty path for deleting file");
    EXPECT_TRUE(MSRExcludePathFromBackup("/nowhere"));
}

TEST_F(PersistenceTest, OldPreferencesMoveOnce) {
    struct Row {
        const char* name;
        bool oldFile;
        bool oldIsDirectory;
        bool newFile;
        bool result;
        const char* newContent;  // afterwards
        bool oldRemains;
    };
    const Row rows[] = {
        {"old only", true, false, false, true, "old", false},
        {"new only", false, false, true, true, "new", false},
        {"both", true, false, true, true, "new", false},
        {"old is a directory", true, true, false, false, "", true},
        {"neither", false, false, false, true, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto oldPath = MSRPreferencesFilePath("com.example.migrated");
        const auto newPath = MSRPersistentDictionaryFilePath("com.example.migrated");
        std::filesystem::remove_all(oldPath);
        std::filesystem::remove_all(newPath);
        std::filesystem::create_directories(oldPath.parent_path());
        std::filesystem::create_directories(newPath.parent_path());
        if (row.oldIsDirectory) {
            std::filesystem::create_directories(oldPath);
        } else if (row.oldFile) {
            platform::testing::writeFile(oldPath, "old");
        }
        if (row.newFile) {
            platform::testing::writeFile(newPath, "new");
        }
        EXPECT_EQ(MSRMigratePreferencesFile("com.example.migrated"), row.result);
        EXPECT_EQ(std::filesystem::exists(newPath) ? platform::testing::readFile(newPath) : "", row.newContent);
        EXPECT_EQ(std::filesystem::exists(oldPath), row.oldRemains);
    }
    EXPECT_FALSE(MSRMigratePreferencesFile(""));
}

TEST_F(PersistenceTest, WithoutAFolderThereIsNoSharedConfig) {
    // The data home is a file: no folder can be made under it.
    const auto blocker = root() / "blocked";
    platform::testing::writeFile(blocker, "");
    platform::testing::ScopedEnvironment data("XDG_DATA_HOME", blocker.c_str());
    EXPECT_EQ(MSRPersistedConfig::sharedInstance(), nullptr);
    EXPECT_EQ(MSRPersistedConfig::sharedInstance(), nullptr);
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{27001, 27001}));
    EXPECT_TRUE(logged(drainLines(), "I-ACS043004"));
    EXPECT_EQ(MSRPersistedConfig::create("", clock_), nullptr);
}

}  // namespace
}  // namespace kit::measurement

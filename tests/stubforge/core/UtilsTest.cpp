#include "stubforge/core/Utils.h"

#include "CoreTestSupport.h"

#include <atomic>
#include <thread>

namespace stubforge {
namespace {

namespace fs = std::filesystem;
using platform::testing::ScopedEnvironment;

TEST(UtilsTest, FolderFromSetting) {
    struct Case {
        const char* text;
        std::optional<fs::path> expected;
    };
    const Case cases[] = {
        {"file:///home/me/Out%20Put/", fs::path("/home/me/Out Put/")},
        {"file://localhost/srv/out", fs::path("/srv/out")},
        {"/plain/absolute", fs::path("/plain/absolute")},
        {"relative/path", std::nullopt},
        {"", std::nullopt},
        {"file://host/elsewhere", std::nullopt},
        {"file:///bad%zzescape", std::nullopt},
        {"file:///nul%00byte", std::nullopt},
        {"https://example.org/x", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(Utils::folderFromSetting(item.text), item.expected) << item.text;
    }
}

class OutputFolderTest : public ::testing::Test {
protected:
    testing::TemporaryDirectory root;
    ScopedEnvironment data{"XDG_DATA_HOME", (root.path() / "data").c_str()};
    platform::UserDefaults defaults{"settings", root.path() / "config"};
    fs::path defaultFolder = root.path() / "data" / "Stubforge";
    platform::CaptureLogSink log;
};

TEST_F(OutputFolderTest, DefaultFolderIsCreatedAndCustomIgnoredWhenOff) {
    defaults.set("customFolderPath", root.path().string());
    const OutputFolder result = Utils::outputFolderURL(defaults, log);
    EXPECT_EQ(result.folder, defaultFolder);
    EXPECT_FALSE(result.fallbackReason);
    EXPECT_TRUE(fs::is_directory(defaultFolder));
}

TEST_F(OutputFolderTest, WritableCustomFolderIsUsedAndProbeRemoved) {
    const fs::path custom = root.path() / "custom";
    fs::create_directories(custom);
    testing::writeFile(custom / ".stubforge_test_permissions", "left over");
    defaults.set("useCustomFolder", true);
    defaults.set("customFolderPath", "file://" + custom.string());
    const OutputFolder result = Utils::outputFolderURL(defaults, log);
    EXPECT_EQ(result.folder, custom);
    EXPECT_FALSE(result.fallbackReason);
    EXPECT_EQ(platform::testing::entryCount(custom), 0u);
}

TEST_F(OutputFolderTest, UnusableCustomFoldersFallBackWithAReason) {
    const fs::path blocked = root.path() / "blocked";
    // A folder where the probe cannot be written: its name is taken by a
    // non-empty folder.
    fs::create_directories(blocked / ".stubforge_test_permissions" / "inside");
    const fs::path regularFile = root.path() / "notes.txt";
    testing::writeFile(regularFile, "a file, not a folder");
    struct Case {
        std::string setting;
        const char* reasonPart;
    };
    const Case cases[] = {
        {"", "No custom folder"},
        {(root.path() / "missing").string(), "\" does not exist."},
        {"file://" + regularFile.string(), "\" is not a folder."},
        {(regularFile / "below").string(), "\" does not exist."},
        {"not/absolute", "not a folder path"},
        {blocked.string(), "Custom folder not writable: "},
    };
    defaults.set("useCustomFolder", true);
    for (const auto& item : cases) {
        defaults.set("customFolderPath", item.setting);
        const OutputFolder result = Utils::outputFolderURL(defaults, log);
        const std::vector<std::string> logged = log.drainLines();
        EXPECT_EQ(result.folder, defaultFolder) << item.setting;
        ASSERT_TRUE(result.fallbackReason) << item.setting;
        EXPECT_NE(result.fallbackReason->find(item.reasonPart), std::string::npos) << *result.fallbackReason;
        // Only an existing folder that cannot be written is worth a line.
        if (item.setting == blocked.string()) {
            EXPECT_EQ(logged, std::vector<std::string>{*result.fallbackReason});
        } else {
            EXPECT_EQ(logged, std::vector<std::string>{}) << item.setting;
        }
    }
    EXPECT_EQ(platform::testing::entryCount(blocked), 1u);
}

TEST_F(OutputFolderTest, FolderProblemNamesWhyAFolderCannotTakeOutput) {
    const fs::path writable = root.path() / "writable";
    fs::create_directories(writable);
    const fs::path blocked = root.path() / "blocked";
    fs::create_directories(blocked / ".stubforge_test_permissions" / "inside");
    const fs::path regularFile = root.path() / "notes.txt";
    testing::writeFile(regularFile, "a file, not a folder");
    struct Case {
        fs::path folder;
        const char* problemPart;  // nullptr: no problem
    };
    const Case cases[] = {
        {writable, nullptr},
        {root.path() / "missing", "\" does not exist."},
        {regularFile, "\" is not a folder."},
        {blocked, ".stubforge_test_permissions"},
    };
    for (const auto& item : cases) {
        const auto problem = Utils::folderProblem(item.folder);
        if (item.problemPart == nullptr) {
            EXPECT_FALSE(problem) << *problem;
        } else {
            ASSERT_TRUE(problem) << item.folder;
            EXPECT_NE(problem->find(item.problemPart), std::string::npos) << *problem;
        }
    }
    EXPECT_EQ(platform::testing::entryCount(writable), 0u);
    EXPECT_EQ(platform::testing::entryCount(blocked), 1u);
}

TEST_F(OutputFolderTest, ConcurrentProbesOfOneFolderAllKeepIt) {
    // The window and a writer resolve the folder at the same time.
    const fs::path custom = root.path() / "custom";
    fs::create_directories(custom);
    defaults.set("useCustomFolder", true);
    defaults.set("customFolderPath", custom.string());
    std::atomic<int> fellBack{0};
    auto resolveMany = [&] {
        for (int round = 0; round < 300; ++round) {
            if (Utils::outputFolderURL(defaults, log).folder != custom) {
                ++fellBack;
            }
        }
    };
    std::thread first(resolveMany);
    std::thread second(resolveMany);
    first.join();
    second.join();
    EXPECT_EQ(fellBack.load(), 0);
    EXPECT_EQ(platform::testing::entryCount(custom), 0u);
}

TEST_F(OutputFolderTest, ADefaultFolderThatCannotBeMadeIsLogged) {
    testing::writeFile(root.path() / "data", "a file where the data folder belongs");
    const OutputFolder result = Utils::outputFolderURL(defaults, log);
    EXPECT_EQ(result.folder, defaultFolder);
    EXPECT_EQ(log.drainLines(), std::vector<std::string>{"Failed to create default folder: Not a directory"});
}

TEST(UtilsTimestampTest, FourteenDigitsOfLocalTime) {
    ScopedEnvironment zone("TZ", "America/Los_Angeles");
    const platform::FixedClock clock(std::chrono::sys_days(std::chrono::year(2026) / 12 / 8) + std::chrono::hours(6));
    EXPECT_EQ(Utils::timestamp(clock), "20261207220000");
}

}  // namespace
}  // namespace stubforge

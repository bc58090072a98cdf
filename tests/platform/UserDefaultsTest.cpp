#include "platform/UserDefaults.h"

#include "platform/Error.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <atomic>
#include <thread>

namespace platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

TEST(UserDefaultsTest, EveryKindRoundTripsThroughTheSuiteFile) {
    testing::TemporaryDirectory folder;
    const Value::Dictionary values{
        {"flag", true},
        {"count", std::int64_t{-12}},
        {"ratio", 0.25},
        {"path", "file:///tmp/out%20put/"},
        {"bookmark", Value::Data{1, 2, 3}},
        {"when", Value::Date(microseconds(1765300000000000))},
        {"list", Value::Array{"a", 1}},
        {"nested", Value::Dictionary{{"k", "v"}}},
    };
    {
        UserDefaults defaults("org.example.Suite", folder.path());
        for (const auto& [key, value] : values) {
            defaults.set(key, value);
        }
    }
    const fs::path file = folder.path() / "org.example.Suite.plist";
    ASSERT_TRUE(fs::is_regular_file(file));
    const auto onDisk = Value::fromPlist(testing::readFile(file));
    ASSERT_TRUE(onDisk && onDisk->isDictionary());
    EXPECT_EQ(*onDisk->asDictionary(), values);

    if (std::system("command -v plistutil >/dev/null 2>&1") == 0) {
        const std::string command = "plistutil -i '" + file.string() + "' -f json >/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    UserDefaults reread("org.example.Suite", folder.path());
    EXPECT_TRUE(reread.boolForKey("flag"));
    EXPECT_EQ(reread.integerForKey("count"), -12);
    EXPECT_EQ(reread.doubleForKey("ratio"), 0.25);
    EXPECT_EQ(reread.stringForKey("path"), "file:///tmp/out%20put/");
    EXPECT_EQ(reread.dataForKey("bookmark"), (Value::Data{1, 2, 3}));
    EXPECT_FALSE(reread.boolForKey("missing"));
    EXPECT_FALSE(reread.stringForKey("flag").has_value());
    reread.removeObject("flag");
    EXPECT_FALSE(reread.object("flag").has_value());
    reread.set("count", Value());
    EXPECT_FALSE(reread.object("count").has_value());
}

TEST(UserDefaultsTest, InstancesSeeEachOthersWrites) {
    testing::TemporaryDirectory folder;
    UserDefaults first("suite", folder.path());
    UserDefaults second("suite", folder.path());
    first.set("useCustomFolder", true);
    EXPECT_TRUE(second.boolForKey("useCustomFolder"));

    // Another process writing the file is picked up too.
    const int status = testing::runInChild([&] {
        UserDefaults other("suite", folder.path());
        other.set("customFolderPath", "/elsewhere");
        return 0;
    });
    ASSERT_EQ(status, 0);
    EXPECT_EQ(first.stringForKey("customFolderPath"), "/elsewhere");
    EXPECT_TRUE(first.boolForKey("useCustomFolder"));
}

TEST(UserDefaultsTest, ObserversHearChangesOfTheirKey) {
    testing::TemporaryDirectory folder;
    UserDefaults defaults("suite", folder.path());
    std::vector<std::string> heard;
    auto observation = defaults.observe("folderViewReloadTrigger", [&](const std::string& key, const Value* value) {
        heard.push_back(key + "=" + (value ? value->toJson() : "removed"));
    });
    defaults.set("folderViewReloadTrigger", true);
    defaults.set("folderViewReloadTrigger", true);  // unchanged: no news
    defaults.set("other", 1);
    defaults.set("folderViewReloadTrigger", false);
    defaults.removeObject("folderViewReloadTrigger");

    const int status = testing::runInChild([&] {
        UserDefaults other("suite", folder.path());
        other.set("folderViewReloadTrigger", 5);
        return 0;
    });
    ASSERT_EQ(status, 0);
    defaults.synchronize();
    EXPECT_EQ(heard, (std::vector<std::string>{"folderViewReloadTrigger=true", "folderViewReloadTrigger=false",
                                               "folderViewReloadTrigger=removed", "folderViewReloadTrigger=5"}));

    observation.reset();
    defaults.set("folderViewReloadTrigger", 6);
    EXPECT_EQ(heard.size(), 4u);
}

TEST(UserDefaultsTest, ConcurrentWritersLoseNothing) {
    testing::TemporaryDirectory folder;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            UserDefaults defaults("suite", folder.path());
            for (int i = 0; i < 10; ++i) {
                defaults.set("k" + std::to_string(t) + "_" + std::to_string(i), i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(UserDefaults("suite", folder.path()).dictionaryRepresentation().size(), 40u);
}

TEST(UserDefaultsTest, FailedRenameLeavesThePreviousFileAndValues) {
    testing::TemporaryDirectory folder;
    UserDefaults defaults("suite", folder.path());
    defaults.set("kept", "yes");
    const std::string before = testing::readFile(defaults.filePath());

    const int status = testing::runInChild([&] {
        if (!testing::forbidRenames()) {
            return 77;
        }
        try {
            defaults.set("kept", "no");
        } catch (const Error&) {
            return defaults.stringForKey("kept") == "yes" ? 0 : 6;
        }
        return 5;
    });
    if (status == 77) {
        GTEST_SKIP() << "cannot install a seccomp filter here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::readFile(defaults.filePath()), before);
    EXPECT_EQ(defaults.stringForKey("kept"), "yes");
}

TEST(UserDefaultsTest, RejectsSuiteNamesThatAreNotFileNames) {
    testing::TemporaryDirectory folder;
    EXPECT_THROW(UserDefaults("", folder.path()), Error);
    EXPECT_THROW(UserDefaults("../escape", folder.path()), Error);
}

}  // namespace
}  // namespace platform

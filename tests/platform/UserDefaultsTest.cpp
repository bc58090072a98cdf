#include "platform/UserDefaults.h"

#include "platform/Error.h"
#include "platform/OutputFile.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <atomic>
#include <span>
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

TEST(UserDefaultsTest, ResetWaitsForACallInFlightAndEndsTheCalls) {
    testing::TemporaryDirectory folder;
    UserDefaults defaults("suite", folder.path());
    std::atomic<int> calls{0};
    std::atomic<bool> inCall{false};
    std::atomic<bool> entered{false};
    auto observation = defaults.observe("key", [&](const std::string&, const Value*) {
        inCall = true;
        entered = true;
        calls.fetch_add(1);
        std::this_thread::sleep_for(milliseconds(50));
        inCall = false;
    });
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            defaults.set("key", i);
        }
    });
    while (!entered) {
        std::this_thread::yield();
    }
    std::thread resetter([&] {
        observation.reset();
        // Once reset() has returned, the observer is neither running nor called again.
        EXPECT_FALSE(inCall.load());
        const int seen = calls.load();
        std::this_thread::sleep_for(milliseconds(20));
        EXPECT_EQ(calls.load(), seen);
    });
    resetter.join();
    stop = true;
    writer.join();
}

TEST(UserDefaultsTest, ObserverCanResetItselfDuringTheCall) {
    testing::TemporaryDirectory folder;
    UserDefaults defaults("suite", folder.path());
    int calls = 0;
    UserDefaults::Observation observation;
    observation = defaults.observe("key", [&](const std::string&, const Value*) {
        ++calls;
        observation.reset();
    });
    defaults.set("key", 1);
    defaults.set("key", 2);
    EXPECT_EQ(calls, 1);
}

TEST(UserDefaultsTest, FailedWriteStillAnnouncesChangesReadFromDisk) {
    testing::TemporaryDirectory folder;
    UserDefaults defaults("suite", folder.path());
    defaults.set("shared", 1);
    const int status = testing::runInChild([&] {
        std::vector<std::string> heard;
        auto observation = defaults.observe("shared", [&](const std::string&, const Value* value) {
            heard.push_back(value ? value->toJson() : "removed");
        });
        // Another writer changes the file behind this process's back.
        const std::string bytes = Value(Value::Dictionary{{"shared", 2}}).toXmlPlist();
        replaceFileAtomically(defaults.filePath(), std::as_bytes(std::span(bytes.data(), bytes.size())));
        if (!testing::forbidRenames()) {
            return 77;
        }
        try {
            defaults.set("mine", true);
        } catch (const Error&) {
            return heard == std::vector<std::string>{"2"} && !defaults.object("mine") ? 0 : 6;
        }
        return 5;
    });
    if (status == 77) {
        GTEST_SKIP() << "cannot install a seccomp filter here";
    }
    EXPECT_EQ(status, 0);
}

TEST(UserDefaultsTest, ConcurrentWritersLoseNothing) {
    testing::TemporaryDirectory folder;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            UserDefaults defaults("suite", folder.path());
            for (int i = 0; i < 10; ++i) {
                defaults.set(std::string("k").append(std::to_string(t)).append("_").append(std::to_string(i)), i);
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

TEST(UserDefaultsTest, UnstorableValueThrowsAndChangesNothing) {
    testing::TemporaryDirectory folder;
    UserDefaults defaults("suite", folder.path());
    defaults.set("kept", "yes");
    const std::string before = testing::readFile(defaults.filePath());
    const Value unstorable[] = {Value::Date(sys_days(year(2100) / January / 1)),
                                Value::Date(sys_days(year(1900) / January / 1)), std::string("a\0b", 3)};
    for (const auto& value : unstorable) {
        EXPECT_THROW(defaults.set("kept", value), Error);
        EXPECT_THROW(defaults.set("added", value), Error);
    }
    EXPECT_EQ(testing::readFile(defaults.filePath()), before);
    EXPECT_EQ(defaults.dictionaryRepresentation(), (Value::Dictionary{{"kept", "yes"}}));
}

TEST(UserDefaultsTest, TooDeeplyNestedSuiteFileReadsAsEmpty) {
    testing::TemporaryDirectory folder;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>k</key>";
    for (int i = 0; i < 100000; ++i) {
        text += "<array>";
    }
    for (int i = 0; i < 100000; ++i) {
        text += "</array>";
    }
    testing::writeFile(folder.path() / "suite.plist", text + "</dict></plist>");
    UserDefaults defaults("suite", folder.path());
    EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
    EXPECT_FALSE(defaults.object("k").has_value());
}

TEST(UserDefaultsTest, RejectsSuiteNamesThatAreNotFileNames) {
    testing::TemporaryDirectory folder;
    EXPECT_THROW(UserDefaults("", folder.path()), Error);
    EXPECT_THROW(UserDefaults("../escape", folder.path()), Error);
}

}  // namespace
}  // namespace platform

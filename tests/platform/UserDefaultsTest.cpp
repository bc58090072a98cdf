#include "platform/UserDefaults.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"
#include "platform/OutputFile.h"

#include "ChildProcess.h"
#include "Process.h"
#include "TestSupport.h"

#include <sys/stat.h>

#include <atomic>
#include <random>
#include <regex>
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

    // plistutil exits 0 even on a file it cannot read, so its output is the check.
    if (testing::toolInstalled("plistutil")) {
        const auto converted = testing::runCommand("plistutil -i " + testing::shellQuote(file.string()) + " -f xml");
        EXPECT_NE(converted.output.find("<key>bookmark</key>"), std::string::npos) << converted.output;
        EXPECT_NE(converted.output.find("<integer>-12</integer>"), std::string::npos) << converted.output;
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
    CaptureLogSink log;
    UserDefaults defaults("suite", folder.path(), log);
    EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
    EXPECT_FALSE(defaults.object("k").has_value());
}

// {"k": "é" followed by U+0000} as a binary plist: standard readers accept it.
const std::string kBinaryPlistWithNul(
    "bplist00\xd1\x01\x02\x51k\x62\x00\xe9\x00\x00"
    "\x00\x00\x00\x08\x00\x00\x00\x0b\x00\x00\x00\x0d"
    "\x00\x00\x00\x00\x00\x00\x04\x01"
    "\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x12",
    62);

std::string randomBytes(std::size_t count) {
    std::mt19937 generator(20240611);
    std::string bytes(count, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(generator() & 0xff);
    }
    return bytes;
}

std::string xmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

// The entries of `folder` whose names start with `prefix`.
std::vector<fs::path> entriesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with(prefix)) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// Whatever stands where the suite file should be, reading gives the defaults
// and one logged line; a write keeps the old entry aside, unchanged, and
// then writes a fresh file.
TEST(UserDefaultsTest, UnreadableSuiteFilesReadAsEmptyAndAreKeptAsideByAWrite) {
    enum class Kind { file, fifo, zeroLink, directory };
    struct Case {
        const char* name;
        Kind kind;
        std::string bytes;
    };
    std::string deep;
    for (int i = 0; i < 600; ++i) {
        deep += "<array>";
    }
    for (int i = 0; i < 600; ++i) {
        deep += "</array>";
    }
    const Case cases[] = {
        {"random bytes", Kind::file, randomBytes(4096)},
        {"binary plist with NUL in a string", Kind::file, kBinaryPlistWithNul},
        {"FIFO", Kind::fifo, ""},
        {"link to /dev/zero", Kind::zeroLink, ""},
        {"directory", Kind::directory, ""},
        {"larger than 16 MiB", Kind::file,
         xmlPlist("<dict><key>k</key><string>" + std::string(17 << 20, 'x') + "</string></dict>")},
        {"not a dictionary", Kind::file, xmlPlist("<array><string>x</string></array>")},
        {"too deep", Kind::file, xmlPlist("<dict><key>k</key>" + deep + "</dict>")},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        testing::TemporaryDirectory folder;
        const fs::path file = folder.path() / "suite.plist";
        switch (item.kind) {
        case Kind::file:
            testing::writeFile(file, item.bytes);
            break;
        case Kind::fifo:
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
            break;
        case Kind::zeroLink:
            fs::create_symlink("/dev/zero", file);
            break;
        case Kind::directory:
            fs::create_directory(file);
            testing::writeFile(file / "inside", "mine");
            break;
        }
        CaptureLogSink log;
        UserDefaults defaults("suite", folder.path(), log);
        EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
        EXPECT_FALSE(defaults.object("k").has_value());
        const auto lines = log.drainLines();
        ASSERT_EQ(lines.size(), 1u) << "each version of the file is reported once";
        EXPECT_TRUE(lines[0].starts_with("Could not read settings file \"" + file.string() + "\": ")) << lines[0];

        defaults.set("written", 1);
        const auto kept = entriesStartingWith(folder.path(), "suite.plist.corrupt-");
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(log.drainLines(), (std::vector<std::string>{"Kept the unreadable settings file \"" + file.string() +
                                                              "\" as \"" + kept[0].string() + "\""}));
        switch (item.kind) {
        case Kind::file:
            EXPECT_EQ(testing::readFile(kept[0]), item.bytes);
            break;
        case Kind::fifo:
            EXPECT_TRUE(fs::is_fifo(fs::symlink_status(kept[0])));
            break;
        case Kind::zeroLink:
            EXPECT_EQ(fs::read_symlink(kept[0]), "/dev/zero");
            break;
        case Kind::directory:
            EXPECT_EQ(testing::readFile(kept[0] / "inside"), "mine");
            break;
        }
        EXPECT_EQ(Value::fromPlist(testing::readFile(file)), Value(Value::Dictionary{{"written", 1}}));
        EXPECT_EQ(UserDefaults("suite", folder.path(), log).integerForKey("written"), 1);
        EXPECT_TRUE(log.drainLines().empty());
    }
}

TEST(UserDefaultsTest, StandardSuiteFileOfRandomBytesSurvivesAWrite) {
    testing::TemporaryDirectory home;
    testing::ScopedEnvironment config("XDG_CONFIG_HOME", home.path().c_str());
    const fs::path folder = home.path() / "Stubforge";
    fs::create_directory(folder);
    const std::string bytes = randomBytes(1000);
    testing::writeFile(folder / "org.stubforge.Stubforge.plist", bytes);
    CaptureLogSink log;
    UserDefaults defaults("org.stubforge.Stubforge", log);
    ASSERT_EQ(defaults.filePath(), folder / "org.stubforge.Stubforge.plist");
    defaults.set("useCustomFolder", true);
    const auto kept = entriesStartingWith(folder, "org.stubforge.Stubforge.plist.corrupt-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(std::regex_match(kept[0].filename().string(),
                                 std::regex(R"(org\.stubforge\.Stubforge\.plist\.corrupt-\d{8}T\d{6}Z)")))
        << kept[0];
    EXPECT_EQ(testing::readFile(kept[0]), bytes);
    EXPECT_EQ(Value::fromPlist(testing::readFile(defaults.filePath())),
              Value(Value::Dictionary{{"useCustomFolder", true}}));
}

TEST(UserDefaultsTest, EmptySuiteFileIsNoSettingsAndNothingToKeep) {
    testing::TemporaryDirectory folder;
    testing::writeFile(folder.path() / "suite.plist", "");
    CaptureLogSink log;
    UserDefaults defaults("suite", folder.path(), log);
    EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
    defaults.set("written", true);
    EXPECT_TRUE(log.drainLines().empty());
    EXPECT_EQ(testing::entryCount(folder.path()), 2u);  // the file and its lock
}

TEST(UserDefaultsTest, WriteWithoutTheLockFailsAndChangesNothing) {
    testing::TemporaryDirectory folder;
    CaptureLogSink log;
    UserDefaults defaults("suite", folder.path(), log);
    defaults.set("kept", "yes");
    const std::string before = testing::readFile(defaults.filePath());
    const fs::path lock = folder.path() / "suite.plist.lock";
    fs::remove(lock);
    fs::create_directory(lock);  // cannot be opened for writing
    try {
        defaults.set("kept", "no");
        ADD_FAILURE() << "wrote without the lock";
    } catch (const Error& error) {
        EXPECT_TRUE(error.is(UserDefaultsError::couldNotLock)) << error.domain() << " " << error.code();
        EXPECT_EQ(posixReason(error), EISDIR);
        EXPECT_NE(std::string(error.what()).find(lock.string()), std::string::npos) << error.what();
    }
    EXPECT_EQ(testing::readFile(defaults.filePath()), before);
    EXPECT_EQ(defaults.stringForKey("kept"), "yes");
}

TEST(UserDefaultsTest, FolderThatCannotBeCreatedIsLoggedAndTheWriteFails) {
    testing::TemporaryDirectory folder;
    testing::writeFile(folder.path() / "file", "");
    const fs::path settings = folder.path() / "file" / "Stubforge";
    CaptureLogSink log;
    UserDefaults defaults("suite", settings, log);
    EXPECT_FALSE(defaults.object("k").has_value());
    EXPECT_THROW(defaults.set("k", 1), Error);
    const auto lines = log.drainLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("Could not create the settings folder \"" + settings.string() + "\": "))
        << lines[0];
}

TEST(UserDefaultsTest, RejectsSuiteNamesThatAreNotFileNames) {
    testing::TemporaryDirectory folder;
    EXPECT_THROW(UserDefaults("", folder.path()), Error);
    EXPECT_THROW(UserDefaults("../escape", folder.path()), Error);
}

}  // namespace
}  // namespace platform

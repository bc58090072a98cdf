// The writers' fake-data engine reads, draws and logs only through the
// context it is built from.

#include "stubforge/core/FakeData.h"

#include "platform/Log.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace stubforge {
namespace {

namespace fs = std::filesystem;

using platform::testing::TemporaryDirectory;

// A resource folder whose engine bundle names one first name.
fs::path resourcesNaming(const fs::path& folder, std::string_view firstName) {
    const fs::path locales = folder / std::string(sham::Config::resourceBundleName) / "Resources" / "Locales";
    fs::create_directories(locales);
    platform::testing::writeFile(
        locales / "en.json", R"({"en": {"faker": {"name": {"first_name": [")" + std::string(firstName) + R"("]}}}})");
    return folder;
}

TEST(FakeDataTest, EachContextGivesItsBundlesDataItsDrawsAndItsLog) {
    TemporaryDirectory root;
    const platform::Bundle firstBundle(resourcesNaming(root.path() / "first", "Ada"));
    const platform::Bundle secondBundle(resourcesNaming(root.path() / "second", "Bea"));
    const platform::Bundle bareBundle(root.path() / "bare");
    platform::UserDefaults defaults("settings", root.path() / "config");
    const platform::FixedClock clock(std::chrono::sys_days(std::chrono::year(2026) / 1 / 2));
    platform::SeededRandom firstRandom(9);
    platform::SeededRandom secondRandom(9);
    platform::SeededRandom bareRandom(9);
    platform::CaptureLogSink firstLog;
    platform::CaptureLogSink secondLog;
    platform::CaptureLogSink bareLog;
    const GenerationContext first(clock, firstRandom, defaults, firstBundle, nullptr, firstLog);
    const GenerationContext second(clock, secondRandom, defaults, secondBundle, nullptr, secondLog);
    const GenerationContext bare(clock, bareRandom, defaults, bareBundle, nullptr, bareLog);

    sham::Faker one = makeFaker(first);
    sham::Faker two = makeFaker(second);
    sham::Faker none = makeFaker(bare);
    for (int draw = 0; draw < 5; ++draw) {
        EXPECT_EQ(one.name().firstName(), "Ada");
        EXPECT_EQ(two.name().firstName(), "Bea");
        EXPECT_EQ(none.name().firstName(), "");
    }
    // Equal seeds in the contexts, equal draws; the clock is the context's.
    EXPECT_EQ(one.internet().password(8, 16), two.internet().password(8, 16));
    EXPECT_EQ(one.date().daysAgo(0), clock.now());

    EXPECT_TRUE(firstLog.drain().empty());
    EXPECT_TRUE(secondLog.drain().empty());
    // The shared parser and the own parsers of Number and Date each say so.
    EXPECT_EQ(bareLog.drainLines(), std::vector<std::string>(3, "JSON file for 'en' locale was not found."));
}

}  // namespace
}  // namespace stubforge

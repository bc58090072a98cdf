#include "platform/Paths.h"

#include "TestSupport.h"

namespace platform {
namespace {

TEST(PathsTest, XdgVariablesWithDefaultsAndRelativeValuesIgnored) {
    testing::ScopedEnvironment home("HOME", "/home/tester");
    struct Case {
        const char* variable;
        std::filesystem::path (*resolve)();
        const char* fallback;
    };
    const Case cases[] = {
        {"XDG_DATA_HOME", paths::dataHome, "/home/tester/.local/share"},
        {"XDG_CONFIG_HOME", paths::configHome, "/home/tester/.config"},
        {"XDG_CACHE_HOME", paths::cacheHome, "/home/tester/.cache"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.variable);
        {
            testing::ScopedEnvironment set(item.variable, "/data/xdg");
            EXPECT_EQ(item.resolve(), "/data/xdg");
        }
        {
            testing::ScopedEnvironment relative(item.variable, "relative/dir");
            EXPECT_EQ(item.resolve(), item.fallback);
        }
        {
            testing::ScopedEnvironment empty(item.variable, "");
            EXPECT_EQ(item.resolve(), item.fallback);
        }
        {
            testing::ScopedEnvironment unset(item.variable, nullptr);
            EXPECT_EQ(item.resolve(), item.fallback);
        }
    }
    testing::ScopedEnvironment data("XDG_DATA_HOME", "/data");
    testing::ScopedEnvironment config("XDG_CONFIG_HOME", "/config");
    EXPECT_EQ(paths::applicationSupport(), "/data");
    EXPECT_EQ(paths::settingsFolder(), "/config/Stubforge");
}

}  // namespace
}  // namespace platform

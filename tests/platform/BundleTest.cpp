#include "platform/Bundle.h"

#include "TestSupport.h"

namespace platform {
namespace {

TEST(BundleTest, MainBundleCarriesIdentityFromBuild) {
    const Bundle& bundle = Bundle::main();
    EXPECT_EQ(bundle.bundleIdentifier(), "org.stubforge.Stubforge");
    EXPECT_NE(bundle.shortVersion(), "Unknown");
    EXPECT_NE(bundle.buildNumber(), "Unknown");
    EXPECT_TRUE(std::filesystem::is_regular_file(bundle.resourcePath() / "Info.plist"));
}

TEST(BundleTest, ResourceLookupAndMissingInfo) {
    testing::TemporaryDirectory folder;
    std::filesystem::create_directories(folder.path() / "Sub");
    testing::writeFile(folder.path() / "image.png", "x");
    testing::writeFile(folder.path() / "Sub" / "en.json", "{}");
    testing::writeFile(folder.path() / "README", "x");
    const Bundle bundle(folder.path());

    EXPECT_EQ(bundle.pathForResource("image", "png"), folder.path() / "image.png");
    EXPECT_EQ(bundle.pathForResource("image", ".png"), folder.path() / "image.png");
    EXPECT_EQ(bundle.pathForResource("en", "json", "Sub"), folder.path() / "Sub" / "en.json");
    EXPECT_EQ(bundle.pathForResource("README", ""), folder.path() / "README");
    EXPECT_FALSE(bundle.pathForResource("image", "jpg"));
    EXPECT_FALSE(bundle.pathForResource("Sub", ""));  // a folder is not a resource
    EXPECT_FALSE(bundle.pathForResource("../x", "png"));
    EXPECT_EQ(bundle.pathForResource("en", "json", "Sub/"), folder.path() / "Sub" / "en.json");

    // A subdirectory never leads out of the resources, even to a file that exists.
    testing::TemporaryDirectory outside;
    testing::writeFile(outside.path() / "secret.txt", "x");
    const std::string outsideName = outside.path().filename().string();
    const std::string escapes[] = {
        outside.path().string(),     // absolute
        "../" + outsideName,         // up and out
        "Sub/../../" + outsideName,  // down, then out
        "Sub/..",                    // back to the top, still refused
        "/etc",
    };
    for (const auto& subdirectory : escapes) {
        SCOPED_TRACE(subdirectory);
        EXPECT_FALSE(bundle.pathForResource("secret", "txt", subdirectory));
        EXPECT_FALSE(bundle.pathForResource("passwd", "", subdirectory));
    }

    // No Info.plist: the identity reads as unknown rather than failing.
    EXPECT_EQ(bundle.bundleIdentifier(), "");
    EXPECT_EQ(bundle.shortVersion(), "Unknown");
    EXPECT_EQ(bundle.buildNumber(), "Unknown");
}

}  // namespace
}  // namespace platform

#include "KitTestSupport.h"
#include "kit/core/KitContext.h"
#include "kit/core/Environment.h"
#include "kit/core/UserAgent.h"

#include <gtest/gtest.h>

namespace kit {
namespace {

using platform::testing::writeFile;
using testing::KitTest;

class EnvironmentTest : public KitTest {
protected:
    // A system root holding `files` (path below the root -> contents).
    std::filesystem::path systemRoot(const std::vector<std::pair<std::string, std::string>>& files) {
        const auto folder = root() / "system";
        for (const auto& [path, contents] : files) {
            std::filesystem::create_directories((folder / path).parent_path());
            writeFile(folder / path, contents);
        }
        return folder;
    }
};

TEST_F(EnvironmentTest, SystemVersionComesFromOsRelease) {
    const struct {
        const char* versionLine;
        const char* expected;
    } rows[] = {
        {"VERSION_ID=\"14.5.0\"", "14.5"}, {"VERSION_ID=\"13.6.1\"", "13.6.1"}, {"VERSION_ID=\"12\"", "12.0"},
        {"VERSION_ID=11.2", "11.2"},       {"NAME=\"No version\"", "0.0"},
    };
    int index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.versionLine);
        const auto folder = root() / ("system" + std::to_string(index++));
        std::filesystem::create_directories(folder / "etc");
        writeFile(folder / "etc/os-release",
                  std::string("PRETTY_NAME=\"Stub OS\"\nNAME=\"Stub\"\n") + row.versionLine + "\nID=stub\n");
        LMUAppEnvironmentUtil::setOverridesForTesting({.systemRoot = folder});
        EXPECT_EQ(LMUAppEnvironmentUtil::systemVersion(), row.expected);
    }
}

TEST_F(EnvironmentTest, SystemControlEntriesReadSysAndProc) {
    const auto folder = systemRoot({{"sys/class/dmi/id/product_name", "  Stub Box\t3000 \n"},
                                    {"proc/sys/kernel/ostype", "Linux\n"},
                                    {"proc/sys/kernel/empty", "\n"}});
    LMUAppEnvironmentUtil::setOverridesForTesting({.systemRoot = folder, .machine = "riscv64"});
    EXPECT_EQ(LMUAppEnvironmentUtil::getSysctlEntry("hw.model"), "Stub_Box_3000");
    EXPECT_EQ(LMUAppEnvironmentUtil::getSysctlEntry("kernel.ostype"), "Linux");
    EXPECT_EQ(LMUAppEnvironmentUtil::getSysctlEntry("kernel.empty"), std::nullopt);
    EXPECT_EQ(LMUAppEnvironmentUtil::getSysctlEntry("kernel.missing"), std::nullopt);
    EXPECT_EQ(LMUAppEnvironmentUtil::getSysctlEntry("kernel/../../etc"), std::nullopt);
    EXPECT_EQ(LMUAppEnvironmentUtil::deviceModel(), "Stub_Box_3000");
    EXPECT_EQ(LMUAppEnvironmentUtil::deviceSimulatorModel(), "Stub_Box_3000");
}

TEST_F(EnvironmentTest, DeviceModelFallsBackToTheMachine) {
    const auto folder = systemRoot({{"sys/class/dmi/id/product_name", " \n"}});
    LMUAppEnvironmentUtil::setOverridesForTesting({.systemRoot = folder, .machine = "riscv64"});
    EXPECT_EQ(LMUAppEnvironmentUtil::deviceModel(), "riscv64");
    EXPECT_EQ(LMUAppEnvironmentUtil::deviceSimulatorModel(), std::nullopt);
}

TEST_F(EnvironmentTest, FixedFacts) {
    EXPECT_FALSE(LMUAppEnvironmentUtil::isFromAppStore());
    EXPECT_FALSE(LMUAppEnvironmentUtil::isAppStoreReceiptSandbox());
    EXPECT_FALSE(LMUAppEnvironmentUtil::isSimulator());
    EXPECT_FALSE(LMUAppEnvironmentUtil::isAppExtension());
    EXPECT_EQ(LMUAppEnvironmentUtil::applePlatform(), "macos");
    EXPECT_EQ(LMUAppEnvironmentUtil::appleDevicePlatform(), "macos");
    EXPECT_EQ(LMUAppEnvironmentUtil::deploymentType(), "swiftpm");
    EXPECT_EQ(LMUNetworkInfo::getNetworkType(), -1);
    EXPECT_EQ(LMUNetworkInfo::getNetworkRadioType(), "");
}

TEST_F(EnvironmentTest, TheUserAgentWithInjectedFactsIsExact) {
    const auto folder = systemRoot({{"etc/os-release", "NAME=Stub\nVERSION_ID=\"14.5.0\"\n"},
                                    {"sys/class/dmi/id/product_name", "Stub Box 3000\n"}});
    LMUAppEnvironmentUtil::setOverridesForTesting({.fromAppStore = false, .systemRoot = folder});
    HLOHaloUserAgent agent;
    agent.setValue("11.9.0", "fire-ios");
    agent.setValue("11.9.0", "fire-install");
    agent.setValue("11.9.0", "fire-analytics");
    agent.setValue("1.0", "device");  // the environment's value wins
    agent.setValue("2", "Beta");
    agent.setValue("3", "alpha");
    EXPECT_EQ(agent.haloUserAgent(),
              "alpha/3 apple-platform/macos appstore/false Beta/2 deploy/swiftpm device/Stub_Box_3000 "
              "fire-analytics/11.9.0 fire-install/11.9.0 fire-ios/11.9.0 os-version/14.5");

    agent.setValue("4", "zeta");
    EXPECT_EQ(agent.haloUserAgent().substr(agent.haloUserAgent().rfind(' ') + 1), "zeta/4");

    agent.reset();
    EXPECT_EQ(agent.haloUserAgent(),
              "apple-platform/macos appstore/false deploy/swiftpm device/Stub_Box_3000 os-version/14.5");
}

TEST_F(EnvironmentTest, TheUserAgentSaysWhenTheAppComesFromTheAppStore) {
    const auto folder = systemRoot({{"etc/os-release", "VERSION_ID=12\n"}});
    LMUAppEnvironmentUtil::setOverridesForTesting({.fromAppStore = true, .systemRoot = folder, .machine = "arm64"});
    EXPECT_EQ(HLOHaloUserAgent().haloUserAgent(),
              "apple-platform/macos appstore/true deploy/swiftpm device/arm64 os-version/12.0");
}

TEST_F(EnvironmentTest, LaunchArgumentsAreTheProcessesUnlessTheContextHasItsOwn) {
    {
        // A context given none reads the process's.
        KitContext process;
        const auto arguments = launchArguments();
        ASSERT_FALSE(arguments.empty());
        EXPECT_NE(arguments[0].find("kit_core_tests"), std::string::npos);
        setContextLaunchArguments({"stubforge", "-HLODebugEnabled"});
        EXPECT_TRUE(launchArgumentsContain("-HLODebugEnabled"));
        EXPECT_FALSE(launchArgumentsContain("-HLODebugDisabled"));
    }
    // The test's own context kept its own.
    EXPECT_EQ(launchArguments(), std::vector<std::string>{"kit-test"});
}

}  // namespace
}  // namespace kit

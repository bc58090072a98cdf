#include "EngineTestSupport.h"

#include "kit/measurement/support/MSRDatabase.h"

namespace kit::measurement::testing {
namespace {

using EngineStartTest = EngineTest;

TEST_F(EngineStartTest, EnabledControllerOpensItsStore) {
    auto& controller = makeController();
    EXPECT_TRUE(controller.isEnabled());
    EXPECT_TRUE(controller.didInitializeComponents());
    ASSERT_NE(controller.database(), nullptr);
    EXPECT_TRUE(std::filesystem::exists(controller.database()->databasePath()));
}

TEST_F(EngineStartTest, EmptyAppIDMakesNoController) {
    EXPECT_EQ(MSRMeasurement::initializeSharedInstance({.appID = "", .safelistedEvents = {}}), nullptr);
    EXPECT_EQ(MSRMeasurement::initializeSharedInstance({.appID = std::string(kAppID), .safelistedEvents = {}}), nullptr);
    EXPECT_FALSE(MSRMeasurement::hasSharedInstance());
}

}  // namespace
}  // namespace kit::measurement::testing

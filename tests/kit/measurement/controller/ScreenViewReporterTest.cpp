#include "ReportersTestSupport.h"
#include "kit/core/KitContext.h"

#include "kit/core/CoreTexts.h"
#include "kit/measurement/controller/MSRControllerServices.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "platform/concurrency/NotificationCenter.h"

namespace kit::measurement::testing {
namespace {

using platform::Value;

class ScreenViewReporterTest : public ReportersTest {
protected:
    void activate() {
        platform::NotificationCenter::defaultCenter().post(
            std::string(core_texts::kApplicationDidBecomeActiveNotification));
    }
};

TEST_F(ScreenViewReporterTest, AScreenViewBecomesVsWithTheScreensThatAreValid) {
    activate();
    const double first = nowSeconds();
    trackScreen({{"screen_name", Value("Home")}, {"level", Value(std::int64_t{3})}});
    auto events = drainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "_vs");
    EXPECT_EQ(events[0].origin, "app");
    EXPECT_EQ(events[0].timestamp, first);
    EXPECT_EQ(events[0].integer("_si"), kFirstInstanceID + 1);
    EXPECT_EQ(events[0].text("_sn"), "Home");
    EXPECT_FALSE(events[0].parameters.contains("_sc"));
    EXPECT_FALSE(events[0].parameters.contains("screen_name"));
    EXPECT_EQ(events[0].integer("level"), 3);
    EXPECT_EQ(events[0].integer("_mst"), 1);
    EXPECT_FALSE(events[0].parameters.contains("_pi"));
    EXPECT_TRUE(services->logged(31014));

    clock.advance(5s);
    trackScreen({{"screen_name", Value("Settings")}, {"screen_class", Value("SettingsView")}});
    events = drainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].integer("_si"), kFirstInstanceID + 2);
    EXPECT_EQ(events[0].text("_sc"), "SettingsView");
    EXPECT_EQ(events[0].integer("_pi"), kFirstInstanceID + 1);
    EXPECT_EQ(events[0].text("_pn"), "Home");
    EXPECT_FALSE(events[0].parameters.contains("_pc"));
    EXPECT_EQ(events[0].timestamp, first + 5);

    const MSRParameters current = screens()->screenParameters();
    EXPECT_EQ(current.at("_si").int64Value(), kFirstInstanceID + 2);
    EXPECT_EQ(*current.at("_sn").stringValue(), "Settings");
    EXPECT_EQ(*current.at("_sc").stringValue(), "SettingsView");
    std::optional<std::string> name;
    std::optional<std::string> screenClass;
    screens()->getScreenName(&name, &screenClass);
    EXPECT_EQ(name, "Settings");
    EXPECT_EQ(screenClass, "SettingsView");
}

TEST_F(ScreenViewReporterTest, AnActivationCountsWhateverTheOrderOfTheEndOfLaunching) {
    const std::string_view active = core_texts::kApplicationDidBecomeActiveNotification;
    const std::string_view launched = core_texts::kApplicationDidFinishLaunchingNotification;
    const std::vector<std::string_view> orders[] = {{active}, {active, launched}, {launched, active}};
    for (const auto& order : orders) {
        SCOPED_TRACE(order.size() == 1         ? "activation alone"
                     : order.front() == active ? "activation first"
                                               : "launching first");
        // As at the program's start: a kit context with no reporter yet,
        // then the kit subscribes.
        kit::KitContext run;
        MSRScreenViewReporter::setSharedInstanceSources(clock, random);
        MSRMeasurement::subscribeForAppDidFinishLaunchingNotifications();
        for (const std::string_view name : order) {
            platform::NotificationCenter::defaultCenter().post(std::string(name));
        }
        EXPECT_TRUE(MSRScreenViewReporter::sharedInstance()->isAppActive());
    }
}

TEST_F(ScreenViewReporterTest, InvalidNamesAndClassesRefuseTheScreenView) {
    const struct {
        const char* label;
        Value::Dictionary parameters;
        std::int64_t code;
    } cases[] = {
        {"empty class", {{"screen_name", Value("Home")}, {"screen_class", Value("")}}, 31028},
        {"class not text", {{"screen_class", Value(std::int64_t{4})}}, 31028},
        {"empty name", {{"screen_name", Value("")}}, 31027},
        {"name too long", {{"screen_name", Value(std::string(501, 'n'))}}, 31027},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        services->drainCodes();
        trackScreen(testCase.parameters);
        EXPECT_TRUE(drainEvents().empty());
        EXPECT_TRUE(services->logged(testCase.code));
        EXPECT_TRUE(screens()->screenParameters().empty());
    }
}

TEST_F(ScreenViewReporterTest, ScreensAreServedBeforeTheFirstActivationAndAutomaticReportingIsOff) {
    EXPECT_FALSE(MSRIsAutomaticScreenReportingEnabled());
    screens()->setScreenName("Home", "HomeView");
    EXPECT_TRUE(services->logged(31000));
    EXPECT_TRUE(screens()->screenParameters().empty());

    trackScreen({{"screen_name", Value("Home")}});
    EXPECT_EQ(drainEvents().size(), 1u);
    EXPECT_FALSE(screens()->isAppActive());
    EXPECT_EQ(screens()->screenParameters().size(), 2u);
    activate();
    EXPECT_TRUE(screens()->isAppActive());
    platform::NotificationCenter::defaultCenter().post(
        std::string(core_texts::kApplicationWillResignActiveNotification));
    EXPECT_TRUE(screens()->isAppActive());
    EXPECT_EQ(screens()->screenParameters().size(), 2u);
}

TEST_F(ScreenViewReporterTest, TheControllerServicesGiveTheSupportCodeTheCurrentScreen) {
    trackScreen({{"screen_name", Value("Home")}, {"screen_class", Value("HomeView")}});
    MSRControllerServices controllerServices;
    const MSRParameters parameters = controllerServices.screenParameters();
    EXPECT_EQ(parameters.at("_si").int64Value(), kFirstInstanceID + 1);
    EXPECT_EQ(*parameters.at("_sn").stringValue(), "Home");
    EXPECT_EQ(*parameters.at("_sc").stringValue(), "HomeView");
}

class AdExposureReporterTest : public ScreenViewReporterTest {};

TEST_F(AdExposureReporterTest, NestedBeginsEndWithTheUnitThenTheOverallExposure) {
    activate();
    trackScreen({{"screen_name", Value("Home")}});
    drainEvents();
    ads()->beginAdUnitExposure("banner");
    ads()->beginAdUnitExposure("banner");
    clock.advance(2s);
    ads()->endAdUnitExposure("banner");
    EXPECT_TRUE(drainEvents().empty());
    clock.advance(1500ms);
    ads()->endAdUnitExposure("banner");
    const auto events = drainEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "_xu");
    EXPECT_EQ(events[0].origin, "am");
    EXPECT_EQ(events[0].text("_ai"), "banner");
    EXPECT_EQ(events[0].integer("_xt"), 3500);
    EXPECT_EQ(events[0].text("_sn"), "Home");
    EXPECT_EQ(events[1].name, "_xa");
    EXPECT_EQ(events[1].integer("_xt"), 3500);
    ads()->endAdUnitExposure("banner");
    EXPECT_TRUE(services->logged(1004));
}

TEST_F(AdExposureReporterTest, ShortExposuresAndTheHundredAndFirstUnitAreRefused) {
    activate();
    ads()->beginAdUnitExposure("short");
    clock.advance(900ms);
    ads()->endAdUnitExposure("short");
    EXPECT_TRUE(drainEvents().empty());
    EXPECT_TRUE(services->logged(1009));
    services->drainCodes();
    ads()->endAdUnitExposure("short");
    EXPECT_TRUE(services->logged(1004));  // no longer tracked

    for (int unit = 0; unit < 100; ++unit) {
        ads()->beginAdUnitExposure("unit" + std::to_string(unit));
    }
    ads()->waitUntilIdleForTesting();
    EXPECT_FALSE(services->logged(1002));
    ads()->beginAdUnitExposure("unit100");
    ads()->beginAdUnitExposure("unit5");  // at the limit a tracked unit is refused too
    ads()->waitUntilIdleForTesting();
    auto codes = services->drainCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 1002), 2);

    ads()->beginAdUnitExposure("");
    ads()->endAdUnitExposure("");
    codes = services->drainCodes();
    EXPECT_EQ(codes, (std::vector<std::int64_t>{1000, 1003}));
}

TEST_F(AdExposureReporterTest, ExposureIsMeasuredOnUptimeAndCutAtScreenChanges) {
    activate();
    trackScreen({{"screen_name", Value("Home")}});
    drainEvents();
    ads()->beginAdUnitExposure("banner");
    ads()->waitUntilIdleForTesting();
    clock.setNow(kStart + 1h);  // the user sets the clock: no exposure time
    clock.advance(2s);
    clock.setNow(kStart - 1h);
    trackScreen({{"screen_name", Value("Next")}});
    auto events = drainEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].name, "_xu");
    EXPECT_EQ(events[0].integer("_xt"), 2000);
    EXPECT_EQ(events[0].text("_sn"), "Home");  // the screen it was shown on
    EXPECT_EQ(events[1].name, "_xa");
    EXPECT_EQ(events[2].name, "_vs");

    // The span starts again at the cut; the engagement timer cuts it too.
    clock.advance(1500ms);
    platform::NotificationCenter::defaultCenter().post(std::string(kMSRSessionReporterEngagementTimerDidFire));
    events = drainEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].integer("_xt"), 1500);
    EXPECT_EQ(events[0].text("_sn"), "Next");
}

}  // namespace
}  // namespace kit::measurement::testing

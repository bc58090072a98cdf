#include "MeasurementTestSupport.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRBackwardCompatibilityUtil.h"
#include "kit/measurement/support/MSRLogDescriptions.h"
#include "kit/measurement/support/MSRLumenServiceFileUtil.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

namespace kit::measurement {
namespace {

using namespace std::chrono_literals;
using testing::ConsoleLine;

std::vector<std::string> messages(const std::vector<ConsoleLine>& lines) {
    std::vector<std::string> texts;
    for (const ConsoleLine& line : lines) {
        texts.push_back(line.message);
    }
    return texts;
}

class AlarmTest : public testing::MeasurementTest {
protected:
    AlarmTest() {
        services().monitor().setDebugModeEnabled(true);  // level-7 lines reach the console
        services().drainConsole();
    }

    // Runs `work` on the alarm's queue, where an alarm is used.
    void onQueue(const std::function<void()>& work) { queue_.sync(work); }

    platform::SerialQueue queue_{"AlarmTestQueue"};
    platform::TestClock clock_{platform::TimePoint{} + 1000s};
    std::vector<std::string> runs_;  // confined to queue_
};

TEST_F(AlarmTest, ARescheduleLeavesOneRunDueAtTheSecondTime) {
    MSRAlarm alarm(queue_, "Measurement timer", clock_);
    onQueue([&] {
        alarm.runAfterDelay(10, [&] { runs_.push_back("first"); });
        alarm.runAfterDelay(20, [&] { runs_.push_back("second"); });
    });
    EXPECT_EQ(alarm.scheduledTimestamp(), clock_.now() + 20s);
    EXPECT_EQ(clock_.pendingTimerCount(), 1u);
    const auto lines = messages(services().drainConsole());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Measurement timer canceled"), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.starts_with("Measurement timer scheduled to fire in approx. (s)");
                            }),
              2);

    clock_.advance(15s);
    onQueue([&] { EXPECT_TRUE(runs_.empty()); });
    clock_.advance(5s);
    onQueue([&] { EXPECT_EQ(runs_, std::vector<std::string>{"second"}); });
    EXPECT_EQ(alarm.scheduledTimestamp(), std::nullopt);
    EXPECT_FALSE(alarm.hasActiveTimer());
    EXPECT_EQ(messages(services().drainConsole()), std::vector<std::string>{"Measurement timer fired"});
}

TEST_F(AlarmTest, IdleCancelLogsNothingAndDestructionCancels) {
    {
        MSRAlarm alarm(queue_, "", clock_);
        onQueue([&] { alarm.cancel(); });
        EXPECT_TRUE(services().drainConsole().empty());
        onQueue([&] { alarm.runAfterDelay(5, [&] { runs_.push_back("run"); }); });
        EXPECT_EQ(alarm.name(), "Timer");
        services().drainConsole();
    }
    EXPECT_EQ(messages(services().drainConsole()), std::vector<std::string>{"Timer canceled"});
    clock_.advance(10s);
    onQueue([&] { EXPECT_TRUE(runs_.empty()); });
}

TEST_F(AlarmTest, AnEmptyBlockIsRefused) {
    MSRAlarm alarm(queue_, "Engagement timer", clock_);
    onQueue([&] { alarm.runAfterDelay(1, nullptr); });
    const auto lines = services().drainConsole();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "Engagement timer tried to schedule an empty block");
    EXPECT_EQ(lines[0].code, 2000);
    EXPECT_EQ(alarm.scheduledTimestamp(), std::nullopt);
}

TEST_F(AlarmTest, ABlockMayRescheduleItsOwnAlarm) {
    MSRAlarm alarm(queue_, "Measurement timer", clock_);
    int remaining = 3;
    std::function<void()> tick = [&] {
        runs_.push_back("tick");
        if (--remaining > 0) {
            alarm.runAfterDelay(60, tick);
        }
    };
    onQueue([&] { alarm.runAfterDelay(60, tick); });
    clock_.advance(1h);
    onQueue([&] { EXPECT_EQ(runs_.size(), 3u); });
    EXPECT_EQ(alarm.scheduledTimestamp(), std::nullopt);
}

TEST_F(AlarmTest, OddDelaysFireAtOnceOrSaturate) {
    struct Row {
        double delay;
        platform::Duration expected;
    };
    const auto maximum = std::chrono::duration_cast<platform::Duration>(MSRAlarm::kMaximumDelay);
    const Row rows[] = {
        {std::numeric_limits<double>::quiet_NaN(), 0ns},    {-5, 0ns}, {0, 0ns}, {1.5, 1500ms}, {1e300, maximum},
        {std::numeric_limits<double>::infinity(), maximum},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.delay);
        EXPECT_EQ(MSRAlarm::delayFromSeconds(row.delay), row.expected);
        MSRAlarm alarm(queue_, "Timer", clock_);
        bool ran = false;
        onQueue([&] { alarm.runAfterDelay(row.delay, [&] { ran = true; }); });
        EXPECT_EQ(alarm.scheduledTimestamp(),
                  clock_.now() + std::chrono::duration_cast<platform::TimePoint::duration>(row.expected));
        clock_.advance(0ns);
        onQueue([&] { EXPECT_EQ(ran, row.expected == 0ns); });
        onQueue([&] { alarm.cancel(); });
    }
}

class DescriptionsTest : public testing::MeasurementTest {
protected:
    void setDebug(bool debug) {
        services().monitor().setDebugModeEnabled(debug);
        if (debug) {
            kit::classRegistry().registerClass("HLOAnalytics", std::make_shared<int>(0));
        } else {
            kit::classRegistry().unregisterClass("HLOAnalytics");
        }
    }
};

TEST_F(DescriptionsTest, NamesShowTheirPublicNameOnlyInDebug) {
    struct Row {
        std::string name;
        std::string debug;
        std::string plain;
        std::string (*describe)(std::string_view);
    };
    const Row rows[] = {
        {"_e", "user_engagement (_e)", "_e", MSREventNameDescription},
        {"_cmp", "la_campaign (_cmp)", "_cmp", MSREventNameDescription},  // a "halo_" key only as a last resort
        {"_unknown", "_unknown", "_unknown", MSREventNameDescription},
        {"purchase", "purchase", "purchase", MSREventNameDescription},
        {"", "", "", MSREventNameDescription},
        {"_exp_1", "experiment_id (_exp_1)", "experiment_id (_exp_1)", MSRUserPropertyNameDescription},
    };
    for (const bool debug : {true, false}) {
        setDebug(debug);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name + (debug ? " debug" : " plain"));
            EXPECT_EQ(row.describe(row.name), debug ? row.debug : row.plain);
        }
    }
    // Debug mode alone is not enough: the public class must be there too.
    services().monitor().setDebugModeEnabled(true);
    EXPECT_EQ(MSREventNameDescription("_e"), "_e");
}

TEST_F(DescriptionsTest, DictionariesSortWithoutCaseAndNameErrorCodes) {
    setDebug(true);
    const MSRParameters parameters{
        {"b", MSRValue::initWithString("two")},
        {"A", MSRValue::initWithInt64(1)},
        {"_err", MSRValue::initWithInt64(2)},
        {"c", MSRValue::initWithArray({platform::Value(platform::Value::Dictionary{{"x", platform::Value(1)}})})},
    };
    EXPECT_EQ(MSRParametersDescription(parameters),
              "{\n"
              "    A = 1;\n"
              "    b = two;\n"
              "    c = [\n"
              "    {\n"
              "        x = 1;\n"
              "    }\n"
              "    ];\n"
              "    la_error (_err) = InvalidEventName (2);\n"
              "}");
    EXPECT_EQ(MSRDictionaryDescription(MSRParameters{{"_err", MSRValue::initWithInt64(99999)}}, ""),
              "{\n    la_error (_err) = 99999;\n}");
    setDebug(false);
    EXPECT_EQ(MSRParametersDescription({{"_err", MSRValue::initWithInt64(2)}}), "{\"_err\":2}");
}

class ServiceFileTest : public testing::MeasurementTest {};

TEST_F(ServiceFileTest, ReadsTheServiceFileOfTheBundle) {
    const auto resources = root() / "resources";
    std::filesystem::create_directories(resources);
    const platform::Bundle bundle(resources);
    EXPECT_EQ(MSRLumenServiceFileUtil::lumenServiceInfoPlistPath(bundle), std::nullopt);

    std::ofstream(resources / "LumenService-Info.plist") << "not a plist";
    EXPECT_EQ(MSRLumenServiceFileUtil::lumenServiceInfoPlistPath(bundle), resources / "LumenService-Info.plist");
    EXPECT_EQ(MSRLumenServiceFileUtil::dictionaryFromLumenServiceInfoPlist(bundle), std::nullopt);

    std::ofstream(resources / "LumenService-Info.plist", std::ios::trunc)
        << platform::Value(platform::Value::Dictionary{{"APP_ID", platform::Value("1:2:linux:3")}}).toXmlPlist();
    const auto dictionary = MSRLumenServiceFileUtil::dictionaryFromLumenServiceInfoPlist(bundle);
    ASSERT_TRUE(dictionary);
    EXPECT_TRUE(dictionary->isDictionary());
}

class FakeLegacyMeasurement final : public MSRLegacyMeasurement, public MSRLegacyMeasurementClass {
public:
    explicit FakeLegacyMeasurement(bool hasInstance) : hasInstance_(hasInstance) {}
    std::shared_ptr<MSRLegacyMeasurement> sharedInstance() override {
        return hasInstance_ ? std::shared_ptr<MSRLegacyMeasurement>(std::shared_ptr<void>(), this) : nullptr;
    }
    void setIsEnabled(bool enabled) override { enabledCalls.push_back(enabled); }
    std::vector<bool> enabledCalls;

private:
    bool hasInstance_;
};

class CompatibilityTest : public testing::MeasurementTest {};

TEST_F(CompatibilityTest, DisablesAnOlderLibraryWhenOneIsThere) {
    EXPECT_FALSE(MSRBackwardCompatibilityUtil::disableLMRMeasurement());
    for (const bool hasInstance : {false, true}) {
        auto legacy = std::make_shared<FakeLegacyMeasurement>(hasInstance);
        kit::classRegistry().registerClass<MSRLegacyMeasurementClass>("LMRMeasurement", legacy);
        EXPECT_EQ(MSRBackwardCompatibilityUtil::disableLMRMeasurement(), hasInstance);
        EXPECT_EQ(legacy->enabledCalls, hasInstance ? std::vector<bool>{false} : std::vector<bool>{});
    }
}

}  // namespace
}  // namespace kit::measurement

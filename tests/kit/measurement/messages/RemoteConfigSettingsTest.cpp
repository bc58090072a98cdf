// The settings table: every setting's default, bounds and unit, read through
// its getter, whatever the locale.

#include "RemoteSettingCases.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <clocale>
#include <functional>
#include <string>

namespace kit::measurement::testing {
namespace {

// The configuration text that means `value` in the setting's own unit.
std::string textFor(const SettingCase& setting, std::int64_t value) {
    const bool inMilliseconds = setting.kind == Kind::seconds || setting.kind == Kind::secondsWhole;
    return std::to_string(inMilliseconds ? value * 1000 : value);
}

class RemoteSettingsTest : public RemoteConfigTest {
protected:
    // What the getter answers after a parse of `text` alone under the key.
    double answer(const SettingCase& setting, const std::optional<std::string>& text) {
        std::vector<std::pair<std::string, std::string>> settings;
        if (text) {
            settings.emplace_back(setting.key, *text);
        }
        remote->parseRemoteConfigFromMeasurementConfig(settingsConfig(settings));
        return setting.getter(*remote);
    }

    void checkEverySetting() {
        const std::vector<std::string> garbage{
            "",    "abc",   "1,000", "1 000", " 5",   "5 ",    "1e3",
            "+",   "-",     "1.",    ".5",    "0x10", "12abc", "99999999999999999999",
            "--1", "1.2.3", "1_000"};
        for (const SettingCase& setting : settingCases()) {
            SCOPED_TRACE(setting.key);
            const auto defaultValue = static_cast<double>(setting.defaultValue);
            const bool inMilliseconds = setting.kind == Kind::seconds || setting.kind == Kind::secondsWhole;

            EXPECT_EQ(answer(setting, std::nullopt), defaultValue) << "absent";
            EXPECT_EQ(answer(setting, textFor(setting, setting.minValue)), setting.minValue) << "min";
            EXPECT_EQ(answer(setting, textFor(setting, setting.maxValue)), setting.maxValue) << "max";
            const std::string belowMin =
                inMilliseconds ? std::to_string(setting.minValue * 1000 - 1) : std::to_string(setting.minValue - 1);
            const std::string aboveMax =
                inMilliseconds ? std::to_string(setting.maxValue * 1000 + 1000) : std::to_string(setting.maxValue + 1);
            EXPECT_EQ(answer(setting, belowMin), defaultValue) << "below min: " << belowMin;
            EXPECT_EQ(answer(setting, aboveMax), defaultValue) << "above max: " << aboveMax;
            for (const std::string& text : garbage) {
                EXPECT_EQ(answer(setting, text), defaultValue) << "garbage: '" << text << "'";
            }
            if (setting.kind == Kind::boolean) {
                continue;
            }
            // A fraction within the bounds is truncated; just above the max
            // it is out of bounds and answers the default, never the max.
            if (inMilliseconds) {
                const std::int64_t middle = (setting.minValue + setting.maxValue) / 2;
                const double expected = setting.kind == Kind::secondsWhole ? static_cast<double>(middle) : middle + 0.5;
                EXPECT_EQ(answer(setting, std::to_string(middle * 1000 + 500) + ".9"), expected) << "ms to s";
                EXPECT_EQ(answer(setting, std::to_string(setting.maxValue * 1000) + ".5"), setting.maxValue);
            } else {
                // Toward zero: -899.75 gives -899.
                const std::int64_t base = setting.minValue < 0 ? setting.minValue + 1 : setting.minValue;
                EXPECT_EQ(answer(setting, std::to_string(base) + ".75"), base) << "fraction";
                if (setting.maxValue > setting.minValue) {
                    EXPECT_EQ(answer(setting, std::to_string(setting.maxValue - 1) + ".5"), setting.maxValue - 1);
                }
                EXPECT_EQ(answer(setting, std::to_string(setting.maxValue) + ".5"), defaultValue) << "over max";
            }
            if (setting.minValue <= 0 && setting.maxValue >= 0) {
                EXPECT_EQ(answer(setting, "+0"), 0.0);
                EXPECT_EQ(answer(setting, "-0"), 0.0);
            }
        }
    }

    void SetUp() override {
        RemoteConfigTest::SetUp();
        remote = MSRRemoteConfig::initWithAppID("1:42:test", nullptr, std::nullopt, nullptr, nullptr);
        monitor->drain();
    }

    std::shared_ptr<MSRRemoteConfig> remote;
};

TEST_F(RemoteSettingsTest, EverySettingAnswersItsDefaultBoundsAndUnit) { checkEverySetting(); }

TEST_F(RemoteSettingsTest, AnotherLocaleChangesNothing) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    checkEverySetting();
    EXPECT_EQ(answer(settingCases()[1], "1.5"), 1.0);  // not fifteen
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(RemoteSettingsTest, SpecifiedEdgeCases) {
    // 5000 ms is 5 s, below the upload interval's minimum of 15.
    remote->parseRemoteConfigFromMeasurementConfig(settingsConfig({{"measurement.upload.interval", "5000"}}));
    EXPECT_EQ(remote->uploadingInterval(), 3600.0);

    remote->parseRemoteConfigFromMeasurementConfig(
        settingsConfig({{"measurement.upload.max_public_event_params", "150"}}));
    EXPECT_EQ(remote->maxPublicEventParams(), 100);
    remote->parseRemoteConfigFromMeasurementConfig(
        settingsConfig({{"measurement.upload.max_public_event_params", "30"}}));
    EXPECT_EQ(remote->maxPublicEventParams(), 30);

    remote->parseRemoteConfigFromMeasurementConfig(settingsConfig({{"measurement.upload.blacklist_public", "2"}}));
    EXPECT_FALSE(remote->blocklistPublic());

    // Read once, a setting keeps its number until the next parse, whatever
    // bounds a later read gives.
    remote->parseRemoteConfigFromMeasurementConfig(settingsConfig({{"measurement.audience.max_count", "400"}}));
    EXPECT_EQ(remote->maxAudienceCount(), 400);
    EXPECT_EQ(remote->intValueFromCacheWithKey("measurement.audience.max_count", 1, 10, 0), 400);

    // The PSM values are taken as they are.
    MSRPBMeasurementConfig psm = settingsConfig({{"measurement.psm_prefix_email", "8"}});
    MSRPBPsmSetting psmSetting;
    NanoMessageSetInt32(psmSetting, 0, 30);
    NanoMessageSetMessage(psm, 13, psmSetting);
    remote->parseRemoteConfigFromMeasurementConfig(psm);
    EXPECT_EQ(remote->hashPrefixBitLengthEmail(), 30);
    EXPECT_EQ(remote->hashPrefixBitLengthPhone(), 11);

    remote->parseRemoteConfigFromMeasurementConfig(settingsConfig({}));
    EXPECT_EQ(remote->maxInternalEventParameterValueLength(), 500);
    remote->parseRemoteConfigFromMeasurementConfig(
        settingsConfig({{"measurement.upload.max_event_parameter_value_length", "100"}}));
    EXPECT_EQ(remote->maxInternalEventParameterValueLength(), 256);
}

TEST_F(RemoteSettingsTest, GettersWithMoreThanTheLookup) {
    remote->parseRemoteConfigFromMeasurementConfig(settingsConfig({{"measurement.psm_start_count", "4"}}));
    EXPECT_EQ(remote->maxPSMStartCount(), 4);
    MSRControllerFacts debug;
    debug.isDebugModeEnabled = [] { return true; };
    installControllerFacts(debug);
    EXPECT_EQ(remote->maxPSMStartCount(), 10);

    // The experiment flag wins over the setting when the client has one.
    auto withClient = MSRRemoteConfig::initWithAppID("1:42:test", nullptr, std::nullopt, nullptr, manager);
    withClient->parseRemoteConfigFromMeasurementConfig(
        settingsConfig({{"measurement.session_stitching_token_enabled", "1"}}));
    EXPECT_TRUE(withClient->sessionStitchingTokenFeatureEnabled());
    manager->client->flags.emplace("session_stitching_token_feature_enabled", platform::Value(false));
    EXPECT_FALSE(withClient->sessionStitchingTokenFeatureEnabled());

    manager->ids = {5, 9};
    EXPECT_EQ(withClient->experimentIDs(), (std::vector<std::int64_t>{5, 9}));
    EXPECT_FALSE(remote->experimentIDs());
}

TEST_F(RemoteSettingsTest, ReadPrimitivesRefuseEmptyKeysAndValues) {
    EXPECT_EQ(remote->intValueFromCacheWithKey("", 5, 10, 0), 0);
    EXPECT_FALSE(remote->cacheValue(std::nullopt, "measurement.x"));
    EXPECT_FALSE(remote->cacheValue(platform::Value(std::int64_t{1}), ""));
    remote->cacheValue(platform::Value::Array{}, "measurement.audience.max_count");
    EXPECT_EQ(remote->maxAudienceCount(), 100);
    const auto lines = monitor->drain();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].code, 29020u);
    EXPECT_EQ(lines[0].level, 7);
    EXPECT_EQ(lines[1].code, 29019u);
    EXPECT_EQ(lines[1].level, 5);
    EXPECT_EQ(lines[2].code, 29019u);
    EXPECT_EQ(lines[3].code, 29018u);
    EXPECT_EQ(lines[3].level, 2);
    EXPECT_EQ(lines[3].contexts, 1u);
}

}  // namespace
}  // namespace kit::measurement::testing

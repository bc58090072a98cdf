// Readers on four threads while the worker parses: every answer is one
// configuration's, and the last configuration wins.

#include "RemoteSettingCases.h"

#include <atomic>
#include <thread>

namespace kit::measurement::testing {
namespace {

TEST_F(RemoteConfigTest, ReadersRacingParsesSeeOneConfigurationAndTheLastWins) {
    auto remote = MSRRemoteConfig::initWithAppID("1:42:test", nullptr, std::nullopt, nullptr, nullptr);
    std::vector<std::pair<std::string, std::string>> atMin, atMax;
    for (const SettingCase& setting : settingCases()) {
        const bool inMilliseconds = setting.kind == Kind::seconds || setting.kind == Kind::secondsWhole;
        const std::int64_t scale = inMilliseconds ? 1000 : 1;
        atMin.emplace_back(setting.key, std::to_string(setting.minValue * scale));
        atMax.emplace_back(setting.key, std::to_string(setting.maxValue * scale));
    }
    const MSRPBMeasurementConfig first = settingsConfig(atMin);
    const MSRPBMeasurementConfig second = settingsConfig(atMax);

    std::atomic<bool> parsing{true};
    std::atomic<int> foreignAnswers{0};
    std::atomic<int> readyReaders{0};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 4; ++reader) {
        readers.emplace_back([&] {
            readyReaders.fetch_add(1);
            do {
                for (const SettingCase& setting : settingCases()) {
                    const double value = setting.getter(*remote);
                    if (value != static_cast<double>(setting.defaultValue) &&
                        value != static_cast<double>(setting.minValue) &&
                        value != static_cast<double>(setting.maxValue)) {
                        foreignAnswers.fetch_add(1);
                    }
                }
            } while (parsing.load());
        });
    }
    while (readyReaders.load() < 4) {
        std::this_thread::yield();
    }
    std::thread worker([&] {
        for (int round = 0; round < 1000; ++round) {
            remote->parseRemoteConfigFromMeasurementConfig(round % 2 == 0 ? first : second);
        }
        parsing.store(false);
    });
    worker.join();
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(foreignAnswers.load(), 0);
    for (const SettingCase& setting : settingCases()) {
        SCOPED_TRACE(setting.key);
        EXPECT_EQ(setting.getter(*remote), static_cast<double>(setting.maxValue));
    }
}

}  // namespace
}  // namespace kit::measurement::testing

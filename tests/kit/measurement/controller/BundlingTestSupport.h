#pragma once

#include "EngineTestSupport.h"
#include "StoreReaders.h"
#include "Process.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRDigests.h"
#include "platform/Random.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kit::measurement::testing {

// Bundle, event and parameter slots the checks read.
inline constexpr int kBundleEventsSlot = 1;
inline constexpr int kBundleUserAttributesSlot = 2;
inline constexpr int kBundleStartSlot = 4;
inline constexpr int kBundleEndSlot = 5;
inline constexpr int kBundlePreviousStartSlot = 6;
inline constexpr int kBundlePreviousEndSlot = 7;
inline constexpr int kBundleAppIDSlot = 14;
inline constexpr int kBundleIndexSlot = 24;
inline constexpr int kBundleConsentSignalsSlot = 40;
inline constexpr int kBundleDeliveryIndexSlot = 51;

// A started controller over fresh folders, its store reached on the worker
// queue, raw events and metadata written straight into the store.
class BundlingTest : public EngineTest {
protected:
    static constexpr double kNow = 1'700'000'000;
    static constexpr std::string_view kTemplateAppID = "com.example.bundling";

    // The sampling rolls: scripted words first, then a seeded source.
    class TestRandom final : public platform::RandomSource {
    public:
        std::uint64_t next() override {
            if (script.empty()) {
                return seeded.next();
            }
            const std::uint64_t word = script.front();
            script.pop_front();
            return word;
        }
        // For a power-of-two rate: the roll keeps the event.
        void win() { script.push_back(0); }
        void lose() { script.push_back(std::numeric_limits<std::uint64_t>::max()); }

        std::deque<std::uint64_t> script;
        platform::SeededRandom seeded{20261210};
    };
    TestRandom random_;

    void SetUp() override {
        environment().random = &random_;
        makeController();
        ASSERT_NE(controller().database(), nullptr);
    }

public:
    // Public so that case tables can store their rows through the test.
    MSRDatabase& database() { return *controller().database(); }

    // Settings and event rules, as the configuration fetch would store them.
    void applyConfig(const std::string& body) {
        const Bytes bytes =
            protocEncode("MeasurementConfig", "app_id: \"" + std::string(kAppID) + "\" " + body, root());
        auto config = MSRPBMeasurementConfig::initWithBuffer(bytes);
        ASSERT_TRUE(config);
        bool applied = false;
        onWorkerQueue([&] { applied = controller().remoteConfigInstance()->updateMeasurementConfig(*config); });
        ASSERT_TRUE(applied) << body;
    }

    static MSRPBMeasurementBundle metadataTemplate(std::string_view consentSignals = {}) {
        MSRPBMeasurementBundle metadata;
        NanoMessageSetInt32(metadata, 0, 1);
        NanoMessageSetString(metadata, 8, "macos");
        NanoMessageSetString(metadata, kBundleAppIDSlot, kTemplateAppID);
        if (!consentSignals.empty()) {
            NanoMessageSetString(metadata, kBundleConsentSignalsSlot, consentSignals);
        }
        return metadata;
    }

    std::int64_t storeTemplate(const MSRPBMeasurementBundle& metadata) {
        const auto bytes = metadata.protoBuffer();
        EXPECT_TRUE(bytes);
        onWorkerQueue([&] { EXPECT_TRUE(database().insertIfNotExistsRawEventMetadata(metadata)); });
        return msr_64LSBMD5(std::span<const std::uint8_t>(*bytes));
    }

    std::int64_t storeTemplate() { return storeTemplate(metadataTemplate()); }

    // The new row's ID.
    std::int64_t storeEvent(std::int64_t fingerprint, std::string_view name, double timestamp,
                            const MSRObjectDictionary& parameters = {}) {
        // Stored events are read back as not public: their parameters are
        // taken as they are.
        auto event = MSREvent::initWithOrigin("app", false, name, timestamp, 0, parameters);
        EXPECT_TRUE(event) << name;
        std::int64_t rowID = 0;
        onWorkerQueue([&] {
            auto inserted = database().insertRawEvent(*event, fingerprint, event->isRealtime());
            ASSERT_TRUE(inserted);
            rowID = *inserted;
        });
        return rowID;
    }

    bool bundle() {
        bool consumed = false;
        onWorkerQueue([&] { consumed = controller().bundleRawEvents(); });
        return consumed;
    }

    // Bundles until a call consumes nothing.
    int bundleAll() {
        int calls = 0;
        while (bundle() && calls < 1000) {
            ++calls;
        }
        return calls;
    }

    std::vector<MSRPBMeasurementBundle> queuedBundles() {
        std::vector<MSRPBMeasurementBundle> bundles;
        onWorkerQueue([&] {
            auto read = database().queryBundlesWithCountLimit(1000, std::numeric_limits<std::int64_t>::max());
            ASSERT_TRUE(read);
            for (auto& queued : read->bundles) {
                bundles.push_back(std::move(queued.bundle));
            }
        });
        return bundles;
    }

    static std::vector<MSRPBEvent> eventsOf(const MSRPBMeasurementBundle& message) {
        return NanoMessageGetArray<MSRPBEvent>(message, kBundleEventsSlot).value_or(std::vector<MSRPBEvent>{});
    }

    static std::vector<std::string> eventNames(const MSRPBMeasurementBundle& message) {
        std::vector<std::string> names;
        for (const MSRPBEvent& event : eventsOf(message)) {
            names.push_back(NanoMessageGetString(event, 1).value_or(""));
        }
        return names;
    }

    // The event's integer parameters by name.
    static std::map<std::string, std::int64_t> integerParameters(const MSRPBEvent& event) {
        std::map<std::string, std::int64_t> found;
        for (const MSRPBEventParam& param :
             NanoMessageGetArray<MSRPBEventParam>(event, 0).value_or(std::vector<MSRPBEventParam>{})) {
            if (NanoMessageHasField(param, 2)) {
                found[NanoMessageGetString(param, 0).value_or("")] = NanoMessageGetInt64(param, 2);
            }
        }
        return found;
    }

    std::string sqlite3(const std::string& sql) {
        std::string output;
        onWorkerQueue([&] {
            output = platform::testing::runCommand("sqlite3 " +
                                                   platform::testing::shellQuote(database().databasePath().string()) +
                                                   " " + platform::testing::shellQuote(sql))
                         .output;
        });
        return output;
    }

    std::vector<std::int64_t> drainCodes() {
        services().monitor().waitUntilIdle();
        return services().drainCodes();
    }

    static bool contains(const std::vector<std::int64_t>& codes, std::int64_t code) {
        return std::ranges::find(codes, code) != codes.end();
    }
};

}  // namespace kit::measurement::testing

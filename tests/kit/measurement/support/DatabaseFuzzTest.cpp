// A seeded loop of random, mutated and gzip-wrapped blobs in the columns the
// database decodes: every reader skips or reports them, and nothing may
// crash or over-read under the sanitizers.

#include "DatabaseTestSupport.h"
#include "kit/core/Gzip.h"
#include "kit/measurement/messages/MessagesLog.h"
#include "platform/Random.h"

namespace kit::measurement {
namespace {

using testing::kTestNow;

class DroppingLogSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

class DatabaseFuzzTest : public testing::DatabaseTest {
protected:
    DatabaseFuzzTest() { installMessagesLogSink(std::make_shared<DroppingLogSink>()); }

    NanoBytes randomBlob(const NanoBytes& seed) {
        NanoBytes bytes;
        switch (random_.below(4)) {
        case 0:
            bytes.resize(random_.below(64));
            for (auto& byte : bytes) {
                byte = static_cast<std::uint8_t>(random_.next());
            }
            break;
        case 1:
            bytes = seed;
            for (std::uint64_t flips = random_.below(4) + 1; flips > 0 && !bytes.empty(); --flips) {
                bytes[random_.below(bytes.size())] = static_cast<std::uint8_t>(random_.next());
            }
            bytes.resize(random_.below(bytes.size() + 1));
            break;
        default:
            bytes = seed;
            break;
        }
        if (random_.below(2) == 0) {
            auto compressed = kit::lmu_dataByGzippingData(bytes);
            if (compressed && *compressed) {
                bytes = std::move(**compressed);
                // Sometimes the gzip wrapper itself is damaged.
                if (random_.below(3) == 0 && !bytes.empty()) {
                    bytes[random_.below(bytes.size())] ^= static_cast<std::uint8_t>(1 + random_.below(255));
                }
            }
        }
        // The store binds empty data as NULL, which these columns refuse.
        if (bytes.empty()) {
            bytes.push_back(static_cast<std::uint8_t>(random_.next()));
        }
        return bytes;
    }

    platform::SeededRandom random_{20261226};
};

TEST_F(DatabaseFuzzTest, RandomBlobsAreSkippedOrReported) {
    auto database = open();
    ASSERT_TRUE(database);
    MSRSqliteStore& store = database->sqliteStore();
    const MSRObjectDictionary parameters{
        {"n", platform::Value(std::int64_t{5})},
        {"items", platform::Value(platform::Value::Array{
                      platform::Value(platform::Value::Dictionary{{"item_id", platform::Value("a")}})})}};
    MSRPBEvent eventProto = testing::makeEvent("_e", kTestNow, parameters).protoEvent();
    NanoMessageClearField(eventProto, 1);
    const NanoBytes eventSeed = *eventProto.protoBuffer();
    const NanoBytes bundleSeed = *testing::makeBundle(1'700'000'000'000, 8).protoBuffer();
    MSRPBEventFilter filter;
    NanoMessageSetInt32(filter, 0, 1);
    NanoMessageSetBool(filter, 7, true);
    const NanoBytes filterSeed = *filter.protoBuffer();

    std::size_t decoded = 0;
    std::size_t skipped = 0;
    constexpr int kRounds = 60;
    constexpr int kRowsPerRound = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(database->performTransaction([&] {
            for (int row = 0; row < kRowsPerRound; ++row) {
                const bool written =
                    store.upsertRecord({{"name", platform::Value("_e")},
                                        {"timestamp", platform::Value(kTestNow)},
                                        {"metadata_fingerprint", platform::Value(round)},
                                        {"data", platform::Value(randomBlob(eventSeed))}},
                                       "raw_events") &&
                    store.upsertRecord({{"data", platform::Value(randomBlob(bundleSeed))},
                                        {"bundle_end_timestamp", platform::Value(kTestNow)},
                                        {"retry_count", platform::Value(static_cast<std::int64_t>(random_.next()))}},
                                       "queue") &&
                    store.upsertRecord({{"audience_id", platform::Value(round)},
                                        {"filter_id", platform::Value(row)},
                                        {"event_name", platform::Value("_e")},
                                        {"data", platform::Value(randomBlob(filterSeed))}},
                                       "event_filters") &&
                    store.upsertRecord({{"audience_id", platform::Value(round * kRowsPerRound + row)},
                                        {"current_results", platform::Value(randomBlob(filterSeed))},
                                        {"previous_results", platform::Value(randomBlob(filterSeed))}},
                                       "audience_filter_values");
                if (!written) {
                    return false;
                }
            }
            return true;
        }));

        const auto events = database->rawEventsWithMetadataFingerprint(round);
        ASSERT_TRUE(events);
        EXPECT_EQ(events->events.size() + events->skippedRowIDs.size(), std::size_t{kRowsPerRound});
        decoded += events->events.size();
        skipped += events->skippedRowIDs.size();
        for (const MSRRawEventData& event : events->events) {
            ASSERT_TRUE(event.rawEvent().protoEvent().protoBuffer());
        }
        const auto bundles = database->queryBundlesWithCountLimit(kRowsPerRound, std::int64_t{1} << 40);
        ASSERT_TRUE(bundles);
        EXPECT_EQ(bundles->bundles.size() + bundles->skippedRowIDs.size(), std::size_t{kRowsPerRound});
        std::vector<std::int64_t> read = bundles->skippedRowIDs;
        for (const MSRQueuedBundle& queued : bundles->bundles) {
            read.push_back(queued.rowID);
        }
        ASSERT_TRUE(database->queryBundlesWithRowIDs(read));
        ASSERT_TRUE(database->deleteBundlesWithRowIDs(read));
        ASSERT_TRUE(database->eventFiltersForEventName("_e"));
        ASSERT_TRUE(database->allSessionScopedFilters());
        ASSERT_TRUE(database->allFilterResults());
        ASSERT_TRUE(database->allRawEventsWithError());
    }
    // The loop reached both sides of the decoder.
    EXPECT_GT(decoded, 0u);
    EXPECT_GT(skipped, 0u);
}

}  // namespace
}  // namespace kit::measurement

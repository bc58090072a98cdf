// Random bytes where the audiences read stored data: filter messages and
// filter results, plain and gzip-wrapped, with valid seeds mutated beside
// them. Evaluation, bundling and the session clear must skip or report
// what does not decode and never crash (the sanitizer builds run this too).

#include "AudienceTestSupport.h"
#include "kit/core/Gzip.h"
#include "kit/measurement/messages/MessagesLog.h"
#include "kit/measurement/support/MSRAudience.h"
#include "platform/Random.h"

#include <gtest/gtest.h>

namespace kit::measurement {
namespace {

class DroppingLogSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

class AudienceFuzzTest : public testing::AudienceTest {
protected:
    AudienceFuzzTest() { installMessagesLogSink(std::make_shared<DroppingLogSink>()); }
};

NanoBytes seedEventFilter() {
    MSRPBNumberFilter count;
    NanoMessageSetInt32(count, 0, 2);
    NanoMessageSetString(count, 2, "0");
    MSRPBStringFilter text;
    NanoMessageSetInt32(text, 0, 4);
    NanoMessageSetString(text, 1, "a");
    MSRPBFilter parameter;
    NanoMessageSetMessage(parameter, 0, text);
    NanoMessageSetString(parameter, 3, "p");
    MSRPBEventFilter filter;
    NanoMessageSetInt32(filter, 0, 1);
    NanoMessageSetString(filter, 1, "_e");
    NanoMessageSetArray(filter, 2, std::vector{parameter});
    NanoMessageSetMessage(filter, 4, count);
    NanoMessageSetBool(filter, 5, true);
    return *filter.protoBuffer();
}

NanoBytes seedResult() {
    MSRPBResultData data;
    NanoMessageSetArray(data, 0, std::vector<std::uint64_t>{3, 1});
    NanoMessageSetArray(data, 1, std::vector<std::uint64_t>{1, 1});
    MSRPBDynamicFilterResultTimestamp dynamic;
    NanoMessageSetInt32(dynamic, 0, 1);
    NanoMessageSetInt64(dynamic, 1, 100);
    NanoMessageSetArray(data, 2, std::vector{dynamic});
    MSRPBSequenceFilterResultTimestamp sequence;
    NanoMessageSetInt32(sequence, 0, 64);
    NanoMessageSetArray(sequence, 1, std::vector<std::int64_t>{5, 9});
    NanoMessageSetArray(data, 3, std::vector{sequence});
    return *data.protoBuffer();
}

// Never empty: the store refuses empty data.
NanoBytes blob(platform::RandomSource& random, const NanoBytes& seed) {
    NanoBytes bytes;
    switch (random.below(3)) {
    case 0:
        bytes = seed;
        for (std::uint64_t flips = random.below(4) + 1; flips > 0; --flips) {
            bytes[random.below(bytes.size())] = static_cast<std::uint8_t>(random.next());
        }
        bytes.resize(random.below(bytes.size()) + 1);
        break;
    case 1:
        bytes.resize(random.below(64) + 1);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random.next());
        }
        break;
    default: {
        NanoBytes inner(random.below(64) + 1);
        for (auto& byte : inner) {
            byte = static_cast<std::uint8_t>(random.next());
        }
        auto zipped = lmu_dataByGzippingData(inner);
        bytes = zipped && *zipped ? NanoBytes((*zipped)->begin(), (*zipped)->end()) : inner;
        break;
    }
    }
    return bytes;
}

std::int32_t filterID(platform::RandomSource& random) {
    constexpr std::int32_t kIDs[] = {0, 1, 63, 64, 99, 100, -1, 2147483647};
    return kIDs[random.below(std::size(kIDs))];
}

TEST_F(AudienceFuzzTest, StoredFiltersAndResultsOfAnyBytesAreSkippedOrReported) {
    platform::SeededRandom random(20261210);
    const NanoBytes eventSeed = seedEventFilter();
    const NanoBytes resultSeed = seedResult();
    MSRAudience audiences(database());
    const MSREventAggregates aggregates = *MSREventAggregates::initWithName("_e", 3, 0, 2, 0);
    const MSRParameters parameters{{"p", MSRValue::initWithString("abc")}};
    const auto property = MSRUserAttribute::initWithOrigin("app", "level", MSRValue::initWithInt64(4), 10);
    for (int round = 0; round < 200; ++round) {
        std::vector<MSREventFilter> eventFilters;
        std::vector<MSRPropertyFilter> propertyFilters;
        std::vector<MSRFilterResult> results;
        for (int audienceID = 1; audienceID <= 3; ++audienceID) {
            const NanoBytes data = blob(random, eventSeed);
            const auto flags = random.below(8);
            eventFilters.emplace_back(audienceID, filterID(random), "_e", data, (flags & 1) != 0, (flags & 2) != 0,
                                      (flags & 4) != 0);
            propertyFilters.emplace_back(audienceID, filterID(random), "level", blob(random, eventSeed),
                                         (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0);
            results.emplace_back(audienceID, blob(random, resultSeed),
                                 random.below(2) == 0 ? NanoBytes{} : blob(random, resultSeed));
        }
        // One transaction a round, as the controller wraps its passes.
        onWorker([&] {
            EXPECT_TRUE(database().performTransaction([&] {
                EXPECT_TRUE(database().deleteAllEventFilters());
                EXPECT_TRUE(database().deleteAllPropertyFilters());
                EXPECT_TRUE(database().updateEventFilters(eventFilters));
                EXPECT_TRUE(database().updatePropertyFilters(propertyFilters));
                EXPECT_TRUE(database().updateFilterResults(results));
                EXPECT_TRUE(audiences.evaluateFiltersForEventName("_e", parameters, &aggregates, 50 + round, nullptr));
                EXPECT_TRUE(audiences.evaluateFiltersForUserProperty(*property, nullptr, 50 + round));
                EXPECT_TRUE(audiences.resultsForBundling());
                EXPECT_TRUE(audiences.clearEvaluationResultsForSessionScopedFilters());
                return true;
            }));
        });
    }
}

}  // namespace
}  // namespace kit::measurement

// Audience evaluation's cost on a real measurement database: one pass of an
// event over 100 audiences of 10 filters each (every filter matches and is
// dynamic, so each pass evaluates all 1,000 and rewrites 100 results), and
// one bundling of the 100 results, each inside one transaction as the
// controller runs them. Wall time includes the commit's fsync; processor
// time is the work itself.

#include "BenchTiming.h"

#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRAudience.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/concurrency/Timers.h"

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using bench::secondsFor;
using namespace kit::measurement;

double processorSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

MSRPBAudience audienceOfTenFilters(int audienceID) {
    std::vector<MSRPBEventFilter> filters;
    for (int filterID = 0; filterID < 10; ++filterID) {
        MSRPBNumberFilter greater;
        NanoMessageSetInt32(greater, 0, 2);
        NanoMessageSetString(greater, 2, std::to_string(filterID));
        MSRPBFilter value;
        NanoMessageSetMessage(value, 1, greater);
        NanoMessageSetString(value, 3, "value");
        MSRPBStringFilter contains;
        NanoMessageSetInt32(contains, 0, 4);
        NanoMessageSetString(contains, 1, "shoe");
        MSRPBFilter item;
        NanoMessageSetMessage(item, 0, contains);
        NanoMessageSetString(item, 3, "item");
        MSRPBEventFilter filter;
        NanoMessageSetInt32(filter, 0, filterID);
        NanoMessageSetString(filter, 1, "level_up");
        NanoMessageSetArray(filter, 2, std::vector{value, item});
        NanoMessageSetBool(filter, 5, true);
        filters.push_back(std::move(filter));
    }
    MSRPBAudience audience;
    NanoMessageSetInt32(audience, 0, audienceID);
    NanoMessageSetArray(audience, 2, filters);
    return audience;
}

}  // namespace

int main() {
    char folder[] = "/tmp/bench-audiences-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("XDG_DATA_HOME", folder, 1);
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    {
        auto config = MSRPersistedConfig::create(kMSRPersistedConfigSuiteName, platform::systemSchedulingClock());
        auto database = MSRDatabase::initWithDatabaseName(kMSRDatabaseFileName, config);
        if (!database) {
            std::fprintf(stderr, "cannot open the database: %s\n", database.error().what());
            return 1;
        }
        MSRAudience audiences(**database);
        std::vector<MSRPBAudience> configuration;
        for (int audienceID = 0; audienceID < 100; ++audienceID) {
            configuration.push_back(audienceOfTenFilters(audienceID));
        }
        if (!(*database)->performTransaction([&] { return audiences.updateAudiences(configuration); })) {
            std::fprintf(stderr, "cannot store the audiences\n");
            return 1;
        }
        const MSRParameters parameters{{"value", MSRValue::initWithInt64(100)},
                                       {"item", MSRValue::initWithString("Red running shoes")}};
        constexpr int kPasses = 20;
        int failed = 0;
        double passProcessor = processorSeconds();
        const double passSeconds = secondsFor([&] {
            for (int pass = 0; pass < kPasses; ++pass) {
                const auto committed = (*database)->performTransaction([&] {
                    return audiences.evaluateFiltersForEventName("level_up", parameters, nullptr, 1'800'000'000 + pass,
                                                                 nullptr);
                });
                failed += committed ? 0 : 1;
            }
        });
        passProcessor = processorSeconds() - passProcessor;
        std::size_t bundled = 0;
        double bundleProcessor = processorSeconds();
        const double bundleSeconds = secondsFor([&] {
            for (int pass = 0; pass < kPasses; ++pass) {
                const auto committed = (*database)->performTransaction([&] {
                    const auto results = audiences.resultsForBundling();
                    bundled += results ? results->size() : 0;
                    return results.has_value();
                });
                failed += committed ? 0 : 1;
            }
        });
        bundleProcessor = processorSeconds() - bundleProcessor;
        std::printf("one pass over 100 audiences of 10 filters: %.2f ms per event, %.2f ms of processor time\n",
                    passSeconds / kPasses * 1e3, passProcessor / kPasses * 1e3);
        std::printf(
            "bundling the results of 100 audiences: %.2f ms per bundle, %.2f ms of processor time (%zu "
            "results)\n",
            bundleSeconds / kPasses * 1e3, bundleProcessor / kPasses * 1e3, bundled / kPasses);
        if (failed != 0) {
            std::fprintf(stderr, "%d transactions failed\n", failed);
            return 1;
        }
    }
    std::filesystem::remove_all(folder);
    return 0;
}

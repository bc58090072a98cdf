// The measurement database's cost for typical events: raw-event inserts per
// second with one transaction per event and with 100 per transaction, beside
// a bare SQLite loop writing the same rows; the memory a long run keeps;
// reading back 1,000 raw events of one fingerprint and 100 queued bundles of
// 64 KiB.

#include "BareRawEvents.h"
#include "BenchTiming.h"
#include "QuietMeasurement.h"

#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Log.h"
#include "platform/Random.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using bench::DiscardSink;
using bench::peakResidentMegabytes;
using bench::QuietServices;
using bench::secondsFor;
using kit::measurement::MSRDatabase;
using kit::measurement::MSREvent;

constexpr std::int64_t kFingerprint = 4242;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

// A purchase with a handful of parameters and two items.
MSREvent typicalEvent() {
    using platform::Value;
    const kit::measurement::MSRObjectDictionary parameters{
        {"currency", Value("EUR")},
        {"value", Value(19.99)},
        {"transaction_id", Value("T-0001-2026")},
        {"_c", Value(std::int64_t{1})},
        {"items", Value(Value::Array{Value(Value::Dictionary{{"item_id", Value("sku-1")}, {"price", Value(9.99)}}),
                                     Value(Value::Dictionary{{"item_id", Value("sku-2")}, {"price", Value(10.0)}})})}};
    auto event = MSREvent::initWithOrigin("app", true, "purchase", 1'700'000'000.25, 0, parameters);
    if (!event) {
        fail("event");
    }
    return std::move(*event);
}

std::unique_ptr<MSRDatabase> freshDatabase() {
    auto database = MSRDatabase::initWithDatabaseName(kit::measurement::kMSRDatabaseFileName, nullptr);
    if (!database || !(*database)->reset()) {
        fail("open");
    }
    return std::move(*database);
}

// Raw events per second, `perTransaction` in each transaction.
double databaseRate(long events, long perTransaction) {
    auto database = freshDatabase();
    const MSREvent event = typicalEvent();
    const double seconds = secondsFor([&] {
        for (long first = 0; first < events; first += perTransaction) {
            const bool committed = static_cast<bool>(database->performTransaction([&] {
                for (long index = first; index < first + perTransaction; ++index) {
                    if (!database->insertRawEvent(event, kFingerprint, false)) {
                        return false;
                    }
                }
                return true;
            }));
            if (!committed) {
                fail("transaction");
            }
        }
    });
    return static_cast<double>(events) / seconds;
}

// The same rows through one prepared statement of the bare C interface.
double bareRate(const std::filesystem::path& path, long events, long perTransaction) {
    std::filesystem::remove(path);
    sqlite3* database = nullptr;
    sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                    nullptr);
    sqlite3_stmt* insert = bench::prepareBareRawEventsInsert(database);
    const MSREvent event = typicalEvent();
    kit::measurement::MSRPBEvent proto = event.protoEvent();
    kit::measurement::NanoMessageClearField(proto, 1);
    const auto blob = *proto.protoBuffer();
    const double seconds = secondsFor([&] {
        for (long first = 0; first < events; first += perTransaction) {
            sqlite3_exec(database, "BEGIN EXCLUSIVE TRANSACTION", nullptr, nullptr, nullptr);
            for (long index = first; index < first + perTransaction; ++index) {
                bench::insertBareRawEvent(insert, blob, kFingerprint, "purchase", event.timestamp());
            }
            sqlite3_exec(database, "END TRANSACTION", nullptr, nullptr, nullptr);
        }
    });
    sqlite3_finalize(insert);
    sqlite3_close(database);
    std::filesystem::remove(path);
    return static_cast<double>(events) / seconds;
}

}  // namespace

int main() {
    const auto home = std::filesystem::current_path() / ".bench-measurement-events";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    kit::setLaunchArguments({"bench-measurement-events"});
    kit::LMULoggerInstallSink(std::make_shared<DiscardSink>());
    kit::measurement::MeasurementServices::install(std::make_shared<QuietServices>());

    constexpr long kSingleEvents = 500;
    constexpr long kBatchedEvents = 20'000;
    const double single = databaseRate(kSingleEvents, 1);
    const double singleBare = bareRate(home / "bare.sql", kSingleEvents, 1);
    const double batched = databaseRate(kBatchedEvents, 100);
    const double batchedBare = bareRate(home / "bare.sql", kBatchedEvents, 100);
    std::printf("insertRawEvent/s, one transaction each:  database %.0f, bare sqlite3 %.0f, ratio %.2f\n", single,
                singleBare, single / singleBare);
    std::printf("insertRawEvent/s, 100 per transaction:    database %.0f, bare sqlite3 %.0f, ratio %.2f\n", batched,
                batchedBare, batched / batchedBare);

    auto database = freshDatabase();
    {
        const MSREvent event = typicalEvent();
        double atTenThousand = 0;
        for (long index = 0; index < 100'000; index += 100) {
            const bool committed = static_cast<bool>(database->performTransaction([&] {
                for (long one = 0; one < 100; ++one) {
                    if (!database->insertRawEvent(event, index < 1000 ? kFingerprint : index, false)) {
                        return false;
                    }
                }
                return true;
            }));
            if (!committed) {
                fail("transaction");
            }
            if (index + 100 == 10'000) {
                atTenThousand = peakResidentMegabytes();
            }
        }
        const double atHundredThousand = peakResidentMegabytes();
        std::printf("peak RSS: %.1f MB at 10,000 events, %.1f MB at 100,000: growth %.1f MB (target under 4)\n",
                    atTenThousand, atHundredThousand, atHundredThousand - atTenThousand);
    }

    {
        constexpr int kReads = 20;
        std::size_t read = 0;
        const double seconds = secondsFor([&] {
            for (int round = 0; round < kReads; ++round) {
                auto events = database->rawEventsWithMetadataFingerprint(kFingerprint);
                if (!events) {
                    fail("read");
                }
                read = events->events.size();
            }
        });
        std::printf("reading %zu raw events of one fingerprint: %.1f ms\n", read, seconds * 1000 / kReads);
    }

    {
        const std::int64_t nowMilliseconds =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        platform::SeededRandom random(7);
        std::string padding(64 * 1024 - 64, ' ');
        for (char& c : padding) {
            c = static_cast<char>('a' + random.below(26));
        }
        const bool stored = static_cast<bool>(database->performTransaction([&] {
            for (int bundle = 0; bundle < 100; ++bundle) {
                kit::measurement::MSRPBMeasurementBundle message;
                // Dated now: older bundles would go in the stale-data sweep.
                kit::measurement::NanoMessageSetInt64(message, 5, nowMilliseconds + bundle);
                kit::measurement::NanoMessageSetString(message, 14, "1:123:linux:bench");
                kit::measurement::NanoMessageSetString(message, 8, padding);
                if (!database->insertBundle(message, false)) {
                    return false;
                }
            }
            return true;
        }));
        if (!stored) {
            fail("bundles");
        }
        constexpr int kReads = 10;
        std::size_t read = 0;
        const double seconds = secondsFor([&] {
            for (int round = 0; round < kReads; ++round) {
                auto bundles = database->queryBundlesWithCountLimit(100, std::int64_t{1} << 40);
                if (!bundles) {
                    fail("queue read");
                }
                read = bundles->bundles.size();
            }
        });
        std::printf("reading %zu queued bundles of 64 KiB: %.1f ms\n", read, seconds * 1000 / kReads);
    }
    database.reset();
    std::filesystem::remove_all(home);
    return 0;
}

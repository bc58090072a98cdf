// The measurement store's cost for event-shaped rows (name, time,
// fingerprint, a 300-byte blob): events per second with one transaction per
// event and with 100 per transaction, beside a bare SQLite loop on one
// prepared statement; the memory a long run keeps; and the caller's cost of
// a monitor line that is dropped.

#include "BenchTiming.h"

#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRSqliteStore.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Log.h"

#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using bench::peakResidentMegabytes;
using bench::secondsFor;

using kit::measurement::MSRRecord;
using kit::measurement::MSRSqliteStore;

constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS events ( name TEXT NOT NULL, timestamp INTEGER NOT NULL, fingerprint INTEGER NOT "
    "NULL, data BLOB NOT NULL);";

MSRRecord eventRecord(long index, const platform::Value::Data& blob) {
    return {
        {"name", "_e"}, {"timestamp", static_cast<std::int64_t>(index)}, {"fingerprint", index * 7919}, {"data", blob}};
}

std::unique_ptr<MSRSqliteStore> freshStore(const std::filesystem::path& path) {
    std::filesystem::remove(path);
    auto store = MSRSqliteStore::create(path);
    if (!store || !(*store)->executeSQL(kCreate)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    return std::move(*store);
}

// Events per second through the store, `perTransaction` in each transaction.
double storeRate(const std::filesystem::path& path, long events, long perTransaction) {
    auto store = freshStore(path);
    const platform::Value::Data blob(300, 0x5a);
    const double seconds = secondsFor([&] {
        for (long first = 0; first < events; first += perTransaction) {
            const bool committed = static_cast<bool>(store->performTransactionWithError([&] {
                for (long index = first; index < first + perTransaction; ++index) {
                    if (!store->upsertRecord(eventRecord(index, blob), "events")) {
                        return false;
                    }
                }
                return true;
            }));
            if (!committed) {
                std::fprintf(stderr, "transaction failed\n");
                std::exit(1);
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
    sqlite3_exec(database, kCreate, nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database,
                       "INSERT OR REPLACE INTO events (data, fingerprint, name, timestamp) VALUES (?, ?, ?, ?);", -1,
                       &insert, nullptr);
    const platform::Value::Data blob(300, 0x5a);
    const double seconds = secondsFor([&] {
        for (long first = 0; first < events; first += perTransaction) {
            sqlite3_exec(database, "BEGIN EXCLUSIVE TRANSACTION", nullptr, nullptr, nullptr);
            for (long index = first; index < first + perTransaction; ++index) {
                sqlite3_bind_blob(insert, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
                sqlite3_bind_int64(insert, 2, index * 7919);
                sqlite3_bind_text(insert, 3, "_e", 2, SQLITE_TRANSIENT);
                sqlite3_bind_int64(insert, 4, index);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
            sqlite3_exec(database, "END TRANSACTION", nullptr, nullptr, nullptr);
        }
    });
    sqlite3_finalize(insert);
    sqlite3_close(database);
    return static_cast<double>(events) / seconds;
}

class DiscardSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

}  // namespace

int main() {
    const auto home = std::filesystem::temp_directory_path() / "stubforge-bench-measurement-store";
    std::filesystem::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", home.c_str(), 1);
    kit::setLaunchArguments({"bench-measurement-store"});
    kit::LMULoggerInstallSink(std::make_shared<DiscardSink>());
    const auto path = std::filesystem::current_path() / ".bench-measurement-store.sql";

    constexpr long kSingleEvents = 500;
    constexpr long kBatchedEvents = 20'000;
    const double single = storeRate(path, kSingleEvents, 1);
    const double singleBare = bareRate(path, kSingleEvents, 1);
    const double batched = storeRate(path, kBatchedEvents, 100);
    const double batchedBare = bareRate(path, kBatchedEvents, 100);
    std::printf("events/s, one transaction each:  store %.0f, bare sqlite3 %.0f, ratio %.2f\n", single, singleBare,
                single / singleBare);
    std::printf("events/s, 100 per transaction:    store %.0f, bare sqlite3 %.0f, ratio %.2f\n", batched, batchedBare,
                batched / batchedBare);

    {
        auto store = freshStore(path);
        const platform::Value::Data blob(300, 0x5a);
        double atTenThousand = 0;
        for (long index = 0; index < 100'000; index += 100) {
            const bool committed = static_cast<bool>(store->performTransactionWithError([&] {
                for (long event = index; event < index + 100; ++event) {
                    if (!store->upsertRecord(eventRecord(event, blob), "events")) {
                        return false;
                    }
                }
                return true;
            }));
            if (!committed) {
                std::fprintf(stderr, "transaction failed\n");
                return 1;
            }
            if (index + 100 == 10'000) {
                atTenThousand = peakResidentMegabytes();
            }
        }
        const double atHundredThousand = peakResidentMegabytes();
        std::printf("peak RSS: %.1f MB at 10,000 events, %.1f MB at 100,000: growth %.1f MB (target under 4)\n",
                    atTenThousand, atHundredThousand, atHundredThousand - atTenThousand);
    }
    std::filesystem::remove(path);

    kit::measurement::MSRMonitor monitor(kit::measurement::kMSRDefaultLibraryVersion);
    constexpr long kLines = 10'000'000;
    const double seconds = secondsFor([&] {
        for (long line = 0; line < kLines; ++line) {
            monitor.logWithLevel(7, 99000, "Dropped debug line", line);
        }
    });
    std::printf("dropped monitor line (level 7, no debug): %.1f ns\n", seconds * 1e9 / static_cast<double>(kLines));
    return 0;
}

#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <vector>

// The baseline the event benchmarks compare with: a bare SQLite table shaped
// like the store's raw events, and its prepared insert (data, is_realtime,
// metadata_fingerprint, name, timestamp).
namespace bench {

inline sqlite3_stmt* prepareBareRawEventsInsert(sqlite3* database) {
    sqlite3_exec(database,
                 "CREATE TABLE raw_events ( name TEXT NOT NULL, timestamp REAL NOT NULL, metadata_fingerprint INTEGER "
                 "NOT NULL, data BLOB NOT NULL, is_realtime INTEGER)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database,
                       "INSERT INTO raw_events (data, is_realtime, metadata_fingerprint, name, timestamp) VALUES "
                       "(?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    return insert;
}

// One row through that insert, not real-time.
inline void insertBareRawEvent(sqlite3_stmt* insert, const std::vector<std::uint8_t>& data, std::int64_t fingerprint,
                               const char* name, double timestamp) {
    sqlite3_bind_blob(insert, 1, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 2, 0);
    sqlite3_bind_int64(insert, 3, fingerprint);
    sqlite3_bind_text(insert, 4, name, -1, SQLITE_STATIC);
    sqlite3_bind_double(insert, 5, timestamp);
    sqlite3_step(insert);
    sqlite3_reset(insert);
}

}  // namespace bench

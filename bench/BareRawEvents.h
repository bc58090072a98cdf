#pragma once

#include <sqlite3.h>

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

}  // namespace bench

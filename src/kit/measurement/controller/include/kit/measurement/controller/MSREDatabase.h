#pragma once

#include "kit/measurement/controller/MSRExperimentSnapshots.h"
#include "platform/Expected.h"
#include "platform/Value.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// The experiment snapshots of every SDK in their own SQLite file: pending
// (fetched, not yet activated), activated, and launched (experiment 0).
// Used from one queue only (the fetch task's worker queue).
namespace kit::measurement {

class MSRSqliteStore;

inline constexpr std::string_view kMSREDatabaseFileName = "lumen_experimentation_database.sql";
inline constexpr std::string_view kMSREPendingSnapshotTable = "pending_snapshot_table";
inline constexpr std::string_view kMSREActivatedSnapshotTable = "activated_snapshot_table";
inline constexpr std::string_view kMSRELaunchedSnapshotTable = "launched_snapshot_table";
// Activated snapshots this old are stale.
inline constexpr double kMSREStaleSnapshotAge = 259200;

class MSREDatabase {
public:
    // Null (logged) when the file cannot be opened or its tables made; a file
    // whose tables cannot be validated is deleted for the next start.
    static std::unique_ptr<MSREDatabase> initWithPath(const std::filesystem::path& path);
    ~MSREDatabase();
    MSREDatabase(const MSREDatabase&) = delete;
    MSREDatabase& operator=(const MSREDatabase&) = delete;

    // Deletes the file and makes it afresh; false (logged) when that fails.
    bool reset();
    void closeAndDelete();
    // `block` inside one transaction; false rolls back. False (logged) on failure.
    bool performTransaction(const std::function<bool()>& block);

    // Rows that do not read as snapshots are deleted (logged) and left out.
    platform::Expected<std::vector<MSRESnapshot>> fetchAllActivatedSnapshots();
    platform::Expected<std::vector<MSRESnapshot>> fetchAllPendingSnapshots();
    platform::Expected<std::vector<MSRESnapshot>> fetchAllLaunchedSnapshots();

    platform::Expected<void> upsertSnapshot(const MSRPBSnapshot& snapshot, std::string_view table, double timestamp,
                                            std::optional<bool> manuallyActivated);
    platform::Expected<void> upsertPendingExperimentSnapshots(const std::vector<MSRESnapshot>& snapshots);
    // Splits the snapshot into its launched experiment (ID 0) and the rest,
    // stores both with `timestamp`, and drops the SDK's pending row when it
    // is not newer than `timestamp`.
    platform::Expected<void> activateSnapshot(const std::optional<MSRESnapshot>& snapshot, double timestamp);
    // Activates every pending row not kept for a manual activation.
    platform::Expected<void> activatePendingSnapshotsAutomatically();
    platform::Expected<void> deleteStaleActivatedSnapshots(double now);
    platform::Expected<void> deleteActivatedExperimentsOfSDKName(std::string_view sdkName);
    platform::Expected<void> deletePendingExperimentsOfSDKName(std::string_view sdkName);
    platform::Expected<void> deleteLaunchedExperimentSDKName(std::string_view sdkName);

    const std::filesystem::path& databasePath() const noexcept { return path_; }

    struct Private;
    MSREDatabase(Private, std::filesystem::path path);

private:
    bool initializeDatabaseResources(std::string_view context);
    bool ensureAllTables();
    platform::Expected<std::vector<MSRESnapshot>> allSnapshotsFromTable(std::string_view table);
    platform::Expected<void> deleteExperimentsOfSDKName(std::string_view sdkName, std::string_view table);
    // Drops a row that does not read as a snapshot (logged).
    platform::Expected<void> deleteUnreadableRow(const platform::Value::Dictionary& row, std::string_view table);

    std::filesystem::path path_;
    std::unique_ptr<MSRSqliteStore> sqliteStore_;
};

}  // namespace kit::measurement

#include "kit/measurement/support/MSRDatabase.h"

#include "DatabaseSupport.h"
#include "StorageLines.h"
#include "kit/core/Gzip.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRPersistedConfig.h"

#include <cmath>
#include <limits>

// Bundles waiting for upload, gzip-compressed, and the stale-data sweep.
namespace kit::measurement {

using namespace database;
using platform::Expected;
using platform::unexpected;

namespace {

constexpr int kBundleEndTimestampSlot = 5;
constexpr int kBundleAppIDSlot = 14;
constexpr int kBundleRetryCounterSlot = 35;
constexpr std::int64_t kMaxRetryCount = std::numeric_limits<std::int32_t>::max();

Expected<MSRQueuedBundle> queuedBundleFromRow(const MSRRecord& row) {
    if (row.empty()) {
        return failure(MSRErrorCode::databaseFailure, "Cannot process empty rowData");
    }
    const platform::Value::Data* data = dataColumn(row, "data");
    if (data == nullptr || data->empty()) {
        return failure(MSRErrorCode::databaseFailure, "Cannot decompress an empty bundle data");
    }
    auto inflated = kit::lmu_dataByInflatingGzippedData(*data);
    if (!inflated) {
        return failure(MSRErrorCode::invalidState, inflated.error().what());
    }
    if (!*inflated || (*inflated)->empty()) {
        return failure(MSRErrorCode::invalidState, "Cannot decompress an empty bundle data");
    }
    auto bundle = MSRPBMeasurementBundle::initWithBuffer(**inflated);
    if (!bundle) {
        return failure(MSRErrorCode::invalidState, "Unable to parse bundle from decompressed data");
    }
    if (const auto retryCount = integerColumn(row, "retry_count"); retryCount && *retryCount >= 1) {
        NanoMessageSetInt32(*bundle, kBundleRetryCounterSlot,
                            static_cast<std::int32_t>(std::min(*retryCount, kMaxRetryCount)));
    }
    const auto rowID = integerColumn(row, "rowid");
    if (!rowID) {
        return failure(MSRErrorCode::databaseFailure, "Cannot process rowData without a row ID");
    }
    return MSRQueuedBundle{std::move(*bundle), *rowID};
}

std::int64_t encodedSize(const MSRPBMeasurementBundle& bundle) {
    const auto bytes = bundle.protoBuffer();
    return bytes ? static_cast<std::int64_t>(bytes->size()) : 0;
}

}  // namespace

Expected<void> MSRDatabase::insertBundle(const MSRPBMeasurementBundle& bundle, bool isRealtime) {
    const auto bytes = bundle.protoBuffer();
    if (!bytes || bytes->empty()) {
        return failure(MSRErrorCode::invalidArgument, "Failed to insert nil bundle");
    }
    const auto appID = NanoMessageGetString(bundle, kBundleAppIDSlot);
    if (!appID || appID->empty()) {
        return failure(MSRErrorCode::invalidArgument, "Failed to insert bundle without App ID");
    }
    const std::int64_t endMilliseconds = NanoMessageGetInt64(bundle, kBundleEndTimestampSlot);
    if (endMilliseconds < 1) {
        return failure(MSRErrorCode::invalidArgument, "Failed to insert bundle without valid timestamp");
    }
    if (auto swept = maybeDeleteStaleData(); !swept) {
        return unexpected(swept.error());
    }
    const double endTime = static_cast<double>(endMilliseconds) / 1000.0;
    if (std::fabs(now() - endTime) > MeasurementServices::current().remoteConfig().maxQueueTime) {
        storage_lines::log(storage_lines::kStoringBundleOutsideMaxUploadingTime);
    }
    auto compressed = kit::lmu_dataByGzippingData(*bytes);
    if (!compressed) {
        return unexpected(compressed.error());
    }
    if (!*compressed || (*compressed)->empty()) {
        return failure(MSRErrorCode::invalidState, "Failed to compress bundle");
    }
    storage_lines::log(storage_lines::kSavingBundle, std::to_string((*compressed)->size()));
    const MSRRecord record = {{"bundle_end_timestamp", platform::Value(endTime)},
                              {"data", platform::Value(std::move(**compressed))},
                              {"is_realtime", platform::Value(isRealtime ? 1 : 0)},
                              {"retry_count", platform::Value(NanoMessageGetInt32(bundle, kBundleRetryCounterSlot))}};
    return insertDataType(record, kQueueTable);
}

Expected<MSRQueuedBundlesRead> MSRDatabase::queryBundlesWithCountLimit(std::int64_t countLimit,
                                                                       std::int64_t sizeLimit) {
    auto rows = sqliteStore_->recordsForQuery("SELECT rowid, data, retry_count FROM queue ORDER BY rowid ASC LIMIT ?",
                                              {platform::Value(countLimit)});
    if (!rows) {
        return unexpected(rows.error());
    }
    MSRQueuedBundlesRead read;
    std::int64_t total = 0;
    for (const MSRRecord& row : *rows) {
        if (total > sizeLimit) {
            break;
        }
        auto queued = queuedBundleFromRow(row);
        if (!queued) {
            // Reported, so the caller can delete it: left in place it would
            // come first in line at every upload.
            if (const auto rowID = integerColumn(row, "rowid")) {
                read.skippedRowIDs.push_back(*rowID);
            }
            continue;
        }
        const std::int64_t size = encodedSize(queued->bundle);
        if (!read.bundles.empty() && total + size > sizeLimit) {
            break;
        }
        total += size;
        read.bundles.push_back(std::move(*queued));
    }
    if (!read.skippedRowIDs.empty()) {
        storage_lines::log(storage_lines::kQueuedBundlesCouldNotDecoded,
                           static_cast<long long>(read.skippedRowIDs.size()));
    }
    return read;
}

Expected<std::vector<MSRQueuedBundle>> MSRDatabase::queryBundlesWithRowIDs(const std::vector<std::int64_t>& rowIDs) {
    auto condition = rowIDCondition(rowIDs);
    if (!condition) {
        return unexpected(condition.error());
    }
    auto rows = sqliteStore_->recordsForQuery(
        "SELECT rowid, data, retry_count FROM queue WHERE " + condition->condition, condition->parameters);
    if (!rows) {
        return unexpected(rows.error());
    }
    std::vector<MSRQueuedBundle> bundles;
    for (const MSRRecord& row : *rows) {
        if (auto queued = queuedBundleFromRow(row)) {
            bundles.push_back(std::move(*queued));
        }
    }
    return bundles;
}

Expected<void> MSRDatabase::deleteBundlesWithRowIDs(const std::vector<std::int64_t>& rowIDs) {
    auto condition = rowIDCondition(rowIDs);
    if (!condition) {
        return unexpected(condition.error());
    }
    auto deleted =
        sqliteStore_->deleteRecordsFromTableWithName(kQueueTable, condition->condition, condition->parameters);
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

Expected<void> MSRDatabase::incrementRetryCounterForBundlesWithIDs(const std::vector<std::int64_t>& rowIDs) {
    if (rowIDs.empty()) {
        return failure(MSRErrorCode::invalidArgument, "Failed to increment retry counter");
    }
    auto condition = rowIDCondition(rowIDs);
    if (!condition) {
        return unexpected(condition.error());
    }
    auto atLimit = flagForQuery(*sqliteStore_, "SELECT EXISTS (SELECT 1 FROM queue WHERE retry_count = ? LIMIT 1)",
                                {platform::Value(kMaxRetryCount)});
    if (!atLimit) {
        return unexpected(atLimit.error());
    }
    if (*atLimit) {
        storage_lines::log(storage_lines::kNumberUploadRetriesExceedsLimit);
    }
    MSRParameterValues parameters = condition->parameters;
    parameters.emplace_back(kMaxRetryCount);
    return sqliteStore_->increaseColumn("retry_count", 1, kQueueTable, condition->condition + " AND retry_count < ?",
                                        parameters);
}

Expected<bool> MSRDatabase::isQueuedBundleTableEmpty() {
    return flagForQuery(*sqliteStore_, "SELECT NOT EXISTS (SELECT 1 FROM queue LIMIT 1)", {});
}

Expected<std::optional<double>> MSRDatabase::queryLatestBundleTime() {
    auto number = sqliteStore_->numberForQuery("SELECT MAX(bundle_end_timestamp) FROM queue", {});
    if (!number) {
        return unexpected(number.error());
    }
    return *number ? (*number)->asDouble() : std::nullopt;
}

Expected<bool> MSRDatabase::containsRealtimeBundlesWithError() {
    return flagForQuery(*sqliteStore_, "SELECT EXISTS (SELECT 1 FROM queue WHERE is_realtime = 1 LIMIT 1)", {},
                        MSRStatementReuse::keep);
}

// ---- Stale data

Expected<bool> MSRDatabase::maybeDeleteStaleData() {
    const MSRRemoteConfigLimits limits = MeasurementServices::current().remoteConfig();
    const double lastRun = persistedConfig_ ? persistedConfig_->lastDeleteStaleBundlesTimestamp() : 0;
    const double current = now();
    if (!(std::fabs(current - lastRun) > limits.databaseDeleteStaleBundlesInterval)) {
        return false;
    }
    if (auto deleted = deleteStaleRawEventsDataOlderThanMaxAge(limits.maxQueueTime); !deleted) {
        return unexpected(deleted.error());
    }
    if (auto deleted = deleteStaleBundlesOlderThanMaxAge(limits.maxQueueTime); !deleted) {
        return unexpected(deleted.error());
    }
    if (persistedConfig_) {
        persistedConfig_->setLastDeleteStaleBundlesTimestamp(current);
    }
    return true;
}

Expected<void> MSRDatabase::deleteStaleBundlesOlderThanMaxAge(double maxAge) {
    if (maxAge < 0) {
        return failure(MSRErrorCode::invalidArgument, "Cannot delete stale bundles after negative time period");
    }
    auto deleted = sqliteStore_->deleteRecordsFromTableWithName(
        kQueueTable, "abs(bundle_end_timestamp - cast(? as REAL)) > cast(? as REAL)",
        {platform::Value(now()), platform::Value(maxAge)});
    if (!deleted) {
        return unexpected(deleted.error());
    }
    return {};
}

}  // namespace kit::measurement

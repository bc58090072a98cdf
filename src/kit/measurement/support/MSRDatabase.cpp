#include "kit/measurement/support/MSRDatabase.h"

#include "kit/measurement/support/MeasurementErrors.h"

namespace kit::measurement {

namespace {
platform::Unexpected notBuilt() { return platform::unexpected(msr_errorWithCode(3, "Not built yet")); }
}  // namespace

struct MSRDatabase::Private {};

MSRDatabase::MSRDatabase(Private, std::shared_ptr<MSRPersistedConfig> persistedConfig, const platform::Clock& clock)
    : persistedConfig_(std::move(persistedConfig)), clock_(clock) {}

MSRDatabase::~MSRDatabase() = default;

platform::Expected<std::unique_ptr<MSRDatabase>> MSRDatabase::initWithDatabaseName(std::string_view,
                                                                                   std::shared_ptr<MSRPersistedConfig>,
                                                                                   const platform::Clock&) {
    return notBuilt();
}

const std::filesystem::path& MSRDatabase::databasePath() const { return sqliteStore_->databasePath(); }

double MSRDatabase::now() const { return std::chrono::duration<double>(clock_.now().time_since_epoch()).count(); }

platform::Error MSRDataTypesNotConvertedError() {
    return msr_errorWithCode(2, "Failed to initialize data types from dictionaries");
}

platform::Expected<void> MSRDatabase::reset() { return notBuilt(); }
platform::Expected<void> MSRDatabase::initializeDatabaseResourcesWithContext(std::string_view,
                                                                             const std::filesystem::path&) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::ensureAllTables() { return notBuilt(); }
platform::Expected<void> MSRDatabase::initializeAppMetadata() { return notBuilt(); }
platform::Expected<void> MSRDatabase::performTransaction(const std::function<bool()>&) { return notBuilt(); }
platform::Expected<std::vector<MSRRecord>> MSRDatabase::allRowsFromTableWithName(std::string_view, std::int64_t) {
    return notBuilt();
}
platform::Expected<std::vector<MSRRecord>> MSRDatabase::rowsFromTableWithName(std::string_view, std::string_view,
                                                                              const platform::Value&) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::insertDataType(const MSRRecord&, std::string_view) { return notBuilt(); }
platform::Expected<void> MSRDatabase::upsertDataType(const MSRRecord&, std::string_view, std::string_view,
                                                     const platform::Value&, std::int64_t) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::updateDataType(const MSRRecord&, std::string_view, std::string_view,
                                                     const platform::Value&) {
    return notBuilt();
}

}  // namespace kit::measurement

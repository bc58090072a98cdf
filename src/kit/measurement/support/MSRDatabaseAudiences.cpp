#include "kit/measurement/support/MSRDatabase.h"

#include "kit/measurement/support/MeasurementErrors.h"

namespace kit::measurement {

namespace {
platform::Unexpected notBuilt() { return platform::unexpected(msr_errorWithCode(3, "Not built yet")); }
}  // namespace

platform::Expected<void> MSRDatabase::updateEventFilters(const std::vector<MSREventFilter>&) { return notBuilt(); }
platform::Expected<void> MSRDatabase::updatePropertyFilters(const std::vector<MSRPropertyFilter>&) {
    return notBuilt();
}
platform::Expected<std::vector<MSREventFilter>> MSRDatabase::eventFiltersForEventName(std::string_view) {
    return notBuilt();
}
platform::Expected<std::vector<MSRPropertyFilter>> MSRDatabase::propertyFiltersForPropertyName(std::string_view) {
    return notBuilt();
}
platform::Expected<std::vector<std::int32_t>> MSRDatabase::allAudienceIDs() { return notBuilt(); }
platform::Expected<std::map<std::int32_t, std::vector<std::int32_t>>> MSRDatabase::allSessionScopedFilters() {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::deleteEventFilters(const std::vector<MSREventFilter>&) { return notBuilt(); }
platform::Expected<void> MSRDatabase::deletePropertyFilters(const std::vector<MSRPropertyFilter>&) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::deleteAllEventFilters() { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteAllPropertyFilters() { return notBuilt(); }
platform::Expected<void> MSRDatabase::updateFilterResults(const std::vector<MSRFilterResult>&) { return notBuilt(); }
platform::Expected<std::map<std::int32_t, MSRFilterResult>> MSRDatabase::allFilterResults() { return notBuilt(); }
platform::Expected<std::optional<MSRFilterResult>> MSRDatabase::filterResultForAudienceID(std::int32_t) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::deleteFilterResults(const std::vector<MSRFilterResult>&) { return notBuilt(); }

}  // namespace kit::measurement

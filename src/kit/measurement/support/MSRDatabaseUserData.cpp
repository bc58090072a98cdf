#include "kit/measurement/support/MSRDatabase.h"

#include "kit/measurement/support/MeasurementErrors.h"

namespace kit::measurement {

namespace {
platform::Unexpected notBuilt() { return platform::unexpected(msr_errorWithCode(3, "Not built yet")); }
}  // namespace

platform::Expected<std::int64_t> MSRDatabase::publicUserAttributeCount() { return notBuilt(); }
platform::Expected<std::int64_t> MSRDatabase::userAttributeCountForOrigin(std::string_view) { return notBuilt(); }
platform::Expected<bool> MSRDatabase::containsUserAttributeWithName(std::string_view) { return notBuilt(); }
platform::Expected<std::optional<MSRUserAttribute>> MSRDatabase::userAttributeWithName(std::string_view) {
    return notBuilt();
}
platform::Expected<std::vector<MSRUserAttribute>> MSRDatabase::allLifetimeValueUserAttributes() { return notBuilt(); }
platform::Expected<std::vector<MSRUserAttribute>> MSRDatabase::userAttributesIncludingInternal(bool) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::updateUserAttribute(const MSRUserAttribute&) { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteUserAttributeWithName(std::string_view) { return notBuilt(); }
platform::Expected<void> MSRDatabase::updateConditionalUserProperty(const MSRConditionalUserProperty&) {
    return notBuilt();
}
platform::Expected<std::optional<MSRConditionalUserProperty>> MSRDatabase::conditionalUserPropertyWithName(
    std::string_view) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::deleteConditionalUserPropertyWithName(std::string_view) { return notBuilt(); }
platform::Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::conditionalUserPropertiesWithCondition(
    std::string_view, const MSRParameterValues&) {
    return notBuilt();
}
platform::Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::timedOutConditionalUserPropertiesWithError() {
    return notBuilt();
}
platform::Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::expiredConditionalUserPropertiesWithError() {
    return notBuilt();
}
platform::Expected<std::vector<MSRConditionalUserProperty>>
MSRDatabase::triggeredConditionalUserPropertiesWithEventName(std::string_view) {
    return notBuilt();
}
platform::Expected<std::vector<MSRConditionalUserProperty>> MSRDatabase::conditionalUserPropertiesWithPrefix(
    std::string_view, std::string_view) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::updateComplexEventForAudienceEvaluationWithEventID(std::int64_t, std::int64_t,
                                                                                         const MSREvent&) {
    return notBuilt();
}
platform::Expected<std::optional<MSRComplexEvent>> MSRDatabase::mainEventAndChildCountPairWithEventID(std::int64_t) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::deleteComplexEventForAudienceEvaluationWithEventID(std::int64_t) {
    return notBuilt();
}
platform::Expected<bool> MSRDatabase::insertIfNotDuplicatePurchaseFingerprint(std::string_view) { return notBuilt(); }
platform::Expected<bool> MSRDatabase::insertIfNotDuplicateSubscriptionID(std::string_view) { return notBuilt(); }
platform::Expected<std::int64_t> MSRDatabase::deleteSubscriptionsOverLimit() { return notBuilt(); }

}  // namespace kit::measurement

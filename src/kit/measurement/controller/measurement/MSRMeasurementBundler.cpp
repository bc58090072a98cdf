#include "MSRMeasurementBundler.h"

#include "BundlingTexts.h"
#include "BundleSlots.h"
#include "kit/core/MainBundle.h"
#include "kit/measurement/controller/MSRAEU.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRAudience.h"
#include "kit/measurement/support/MSRAudienceTimestampsCache.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSREventParameters.h"
#include "kit/measurement/support/MSRLogDescriptions.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "platform/Bundle.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

// Raw events into bundles: one metadata record's run at a time, with daily
// counts, audiences, engagement and the bundle's metadata.
//
// A run that can never become a bundle is consumed rather than left first in
// line, where it would be picked again at every upload until the stale-data
// sweep weeks later: rows that don't decode go with their run, a run whose
// metadata record is missing or doesn't decode is deleted, and so is one
// whose bundle the queue refuses for good. Store failures still roll back.
namespace kit::measurement {

namespace {

using bundling_texts::log;
namespace texts = bundling_texts;
namespace bundle = bundle_slots;

std::int64_t saturatingAdd(std::int64_t left, std::int64_t right) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(left, right, &sum)) {
        return right > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

std::optional<std::int64_t> integerParameter(const MSREvent& event, std::string_view name) {
    const auto found = event.parameters().find(name);
    if (found == event.parameters().end() || !found->second.isInt64()) {
        return std::nullopt;
    }
    return found->second.int64Value();
}

// The length of the event message a stored row stands for: the row holds it
// without its name, which has a column of its own.
std::optional<std::int64_t> encodedEventLength(const MSRRecord& row) {
    const auto data = row.find("data");
    const auto name = row.find("name");
    if (data == row.end() || name == row.end() || data->second.asData() == nullptr ||
        name->second.asString() == nullptr) {
        return std::nullopt;
    }
    const auto nameLength = static_cast<std::int64_t>(name->second.asString()->size());
    std::int64_t varintLength = 1;
    for (std::int64_t rest = nameLength >> 7; rest != 0; rest >>= 7) {
        ++varintLength;
    }
    return static_cast<std::int64_t>(data->second.asData()->size()) + 1 + varintLength + nameLength;
}

std::optional<std::int64_t> rowInteger(const MSRRecord& row, std::string_view column) {
    const auto found = row.find(column);
    if (found == row.end() || !found->second.isInteger()) {
        return std::nullopt;
    }
    return *found->second.asInteger();
}

// The hour of a stored timestamp: whole seconds divided in 64 bits, so no
// timestamp wraps into another run's hour.
std::optional<std::int64_t> hourBucket(const MSRRecord& row) {
    const auto found = row.find("timestamp");
    if (found == row.end() || !found->second.isNumber()) {
        return std::nullopt;
    }
    const auto seconds = MSRWholeSeconds(found->second.asDouble().value_or(0));
    if (!seconds) {
        return std::nullopt;
    }
    return *seconds / 3600;
}

std::vector<MSRPBUserAttribute> bundleUserAttributes(const MSRPBMeasurementBundle& message) {
    return NanoMessageGetArray<MSRPBUserAttribute>(message, bundle::kUserAttributes)
        .value_or(std::vector<MSRPBUserAttribute>{});
}

bool isTemplateUndecodable(const platform::Error& error) {
    const platform::Error notConverted = MSRDataTypesNotConvertedError();
    return error.domain() == notConverted.domain() && error.code() == notConverted.code() &&
           std::string_view(error.what()) == notConverted.what();
}

}  // namespace

// One run of raw events on its way to the queue: what the steps of
// bundleRawEvents hand on to each other.
struct MSRMeasurementBundler::Run {
    std::int64_t fingerprint = 0;
    MSRRawEventsRead read;
    // The last row of the run, decoded or not: the run's rows go up to it.
    std::int64_t lastRowID = 0;
    // The bundle, made from the run's metadata record.
    MSRPBMeasurementBundle message;
    bool analyticsStorageDenied = false;
    MSRAudienceTimestampsCache audienceTimestampsCache;
    // The run's events after the aggregates, and their encodings after sampling.
    std::vector<MSREvent> events;
    std::vector<MSRPBEvent> protoEvents;
    double startTimestamp = std::numeric_limits<double>::max();
    double endTimestamp = std::numeric_limits<double>::min();
};

MSRMeasurementBundler::MSRMeasurementBundler(MSRBundlerCollaborators collaborators)
    : collaborators_(std::move(collaborators)) {}

MSRMeasurementBundler::~MSRMeasurementBundler() = default;

double MSRMeasurementBundler::nowSince1970() const { return platform::secondsSince1970(collaborators_.clock.now()); }

std::uint32_t MSRMeasurementBundler::dailyCountsDay() const {
    const double days = std::floor((nowSince1970() - persistedConfig().midnightOffset()) / 86400.0);
    if (!(days > 0)) {
        return 0;
    }
    return days >= std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                             : static_cast<std::uint32_t>(days);
}

bool MSRMeasurementBundler::deleteBundledRawEvents(std::int64_t maxRowID, std::int64_t fingerprint) {
    if (auto deleted = database().deleteRawEventsWithMaxRowID(maxRowID); !deleted) {
        log(texts::kDeleteRawEventsFailed, static_cast<long long>(maxRowID), deleted.error());
        return false;
    }
    auto remaining = database().containsRawEventWithMetadataFingerprint(fingerprint);
    if (!remaining) {
        log(texts::kRawEventExistenceFailed, static_cast<long long>(fingerprint), remaining.error());
        return false;
    }
    if (!*remaining) {
        if (auto deleted = database().deleteRawEventMetadataWithMetadataFingerprint(fingerprint); !deleted) {
            log(texts::kDeleteMetadataFailed, static_cast<long long>(fingerprint), deleted.error());
            return false;
        }
    }
    return true;
}

bool MSRMeasurementBundler::bundleRawEvents() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("bundleRawEvents");
    if (collaborators_.database() == nullptr || collaborators_.remoteConfig() == nullptr) {
        return false;
    }
    bool runConsumed = false;
    auto transaction = database().performTransaction([&] { return bundleNextRun(runConsumed); });
    if (!transaction || !runConsumed) {
        return false;
    }
    collaborators_.bundleQueued();
    return true;
}

// The transaction's block: whether to commit. `runConsumed` is set only
// just before a commit.
bool MSRMeasurementBundler::bundleNextRun(bool& runConsumed) {
    Run run;
    Step step = Step::next;
    for (const auto next : {&MSRMeasurementBundler::readNextRun, &MSRMeasurementBundler::readRunMetadata,
                            &MSRMeasurementBundler::aggregateRunEvents, &MSRMeasurementBundler::sampleRunEvents,
                            &MSRMeasurementBundler::completeBundle, &MSRMeasurementBundler::queueBundle}) {
        step = (this->*next)(run);
        if (step != Step::next) {
            break;
        }
    }
    switch (step) {
    case Step::commit:
        return true;
    case Step::consumeRun:
        runConsumed = deleteBundledRawEvents(run.lastRowID, run.fingerprint);
        return runConsumed;
    case Step::next:
    case Step::rollBack:
        break;
    }
    return false;
}

// The oldest metadata record's run; rows that don't decode are logged and
// go with it.
MSRMeasurementBundler::Step MSRMeasurementBundler::readNextRun(Run& run) {
    auto fingerprint = database().nextMetadataFingerprintToProcess();
    if (!fingerprint) {
        log(texts::kNextMetadataFailed, fingerprint.error());
        return Step::rollBack;
    }
    if (!*fingerprint) {
        return Step::commit;
    }
    run.fingerprint = **fingerprint;
    auto read = rawEventsWithMetadataFingerprint(run.fingerprint);
    if (!read) {
        return Step::rollBack;
    }
    run.read = std::move(*read);
    if (run.read.events.empty() && run.read.skippedRowIDs.empty()) {
        return Step::commit;
    }
    run.lastRowID = run.read.events.empty() ? 0 : run.read.events.back().rowID();
    for (const std::int64_t skipped : run.read.skippedRowIDs) {
        log(texts::kRawEventSkipped, msr_errorWithCode(MSRErrorCode::invalidState, "Raw event row could not be decoded",
                                                       std::to_string(skipped)));
        run.lastRowID = std::max(run.lastRowID, skipped);
    }
    return run.read.events.empty() ? Step::consumeRun : Step::next;
}

// A metadata record that is missing or doesn't decode can never become a
// bundle: its run goes.
MSRMeasurementBundler::Step MSRMeasurementBundler::readRunMetadata(Run& run) {
    auto metadata = database().queryRawEventsMetadataWithFingerprint(run.fingerprint);
    if (!metadata) {
        log(texts::kMetadataFailed, static_cast<long long>(run.fingerprint), metadata.error());
        return isTemplateUndecodable(metadata.error()) ? Step::consumeRun : Step::rollBack;
    }
    if (!*metadata) {
        log(texts::kMetadataFailed, static_cast<long long>(run.fingerprint),
            msr_errorWithCode(MSRErrorCode::invalidState, "No metadata record for the fingerprint"));
        return Step::consumeRun;
    }
    run.message = std::move(**metadata);
    return Step::next;
}

// Filters and counts the events, then the session, engagement and consent
// state of the bundle and the events' aggregates.
MSRMeasurementBundler::Step MSRMeasurementBundler::aggregateRunEvents(Run& run) {
    auto processed = processRawEvents(run.read.events, run.fingerprint, run.lastRowID);
    if (!processed) {
        return Step::rollBack;
    }
    if (processed->empty()) {
        return Step::commit;
    }
    run.analyticsStorageDenied = MSRConsentSettingsUtil::isAnalyticsStorageDenied();
    evaluationTimeFromRawEvents(run.read.events, run.message);
    handleAnalyticsStorageConsentTransitions(run.message);
    auto events =
        eventsAfterUpdatingEventAggregates(*processed, run.audienceTimestampsCache, !run.analyticsStorageDenied);
    if (!events) {
        return Step::rollBack;
    }
    run.events = std::move(*events);
    return Step::next;
}

MSRMeasurementBundler::Step MSRMeasurementBundler::sampleRunEvents(Run& run) {
    run.protoEvents.reserve(run.events.size());
    for (const MSREvent& event : run.events) {
        run.protoEvents.push_back(event.protoEvent());
    }
    if (remoteConfig().isEventSamplingEnabled() && !MSRMeasurementMonitor().isDebugModeEnabled()) {
        auto sampled = sampleEvents(std::move(run.protoEvents));
        if (!sampled) {
            return Step::rollBack;
        }
        run.protoEvents = std::move(*sampled);
    }
    if (run.protoEvents.empty()) {
        log(texts::kNothingLeftAfterSampling);
        return Step::consumeRun;
    }
    NanoMessageSetArray(run.message, bundle::kEvents, run.protoEvents);
    return Step::next;
}

// The bundle's times, indexes, audience results and metadata.
MSRMeasurementBundler::Step MSRMeasurementBundler::completeBundle(Run& run) {
    for (const MSRRawEventData& rawEvent : run.read.events) {
        run.startTimestamp = std::min(run.startTimestamp, rawEvent.rawEvent().timestamp());
        run.endTimestamp = std::max(run.endTimestamp, rawEvent.rawEvent().timestamp());
    }
    if (!updateAppMetadataForBundle(run.message, run.startTimestamp, run.endTimestamp)) {
        return Step::rollBack;
    }
    collaborators_.applyPendingNPAUserProperty();
    if (!run.analyticsStorageDenied) {
        for (const MSRPBUserAttribute& attribute : bundleUserAttributes(run.message)) {
            if (!audience().evaluateFiltersForNanoUserProperty(attribute, &run.audienceTimestampsCache,
                                                               run.startTimestamp)) {
                return Step::rollBack;
            }
        }
        auto results = audience().resultsForBundling();
        if (!results) {
            log(texts::kAudienceResultsFailed);
            return Step::rollBack;
        }
        if (!results->empty()) {
            NanoMessageSetArray(run.message, bundle::kAudienceEvaluationResults, *results);
        }
    }
    addBundleMetadataIntoBundle(run.message, run.startTimestamp, run.endTimestamp);
    if (!remoteConfig().sessionStitchingTokenFeatureEnabled() || run.analyticsStorageDenied) {
        NanoMessageClearField(run.message, bundle::kSessionStitchingToken);
    }
    return Step::next;
}

MSRMeasurementBundler::Step MSRMeasurementBundler::queueBundle(Run& run) {
    // The queue refuses these bundles whatever the retry: the run goes.
    const std::string appID = NanoMessageGetString(run.message, bundle::kAppID).value_or(std::string());
    const std::int64_t endMillis = NanoMessageGetInt64(run.message, bundle::kEndTimestamp);
    if (appID.empty() || endMillis < 1) {
        log(texts::kInsertBundleFailed,
            msr_errorWithCode(MSRErrorCode::invalidArgument,
                              appID.empty() ? "Bundle without App ID" : "Bundle without valid timestamp"));
        return Step::consumeRun;
    }
    const bool isRealtime = std::ranges::any_of(run.events, [](const MSREvent& event) { return event.isRealtime(); });
    if (auto inserted = database().insertBundle(run.message, isRealtime); !inserted) {
        log(texts::kInsertBundleFailed, inserted.error());
        return Step::rollBack;
    }
    log(texts::kBundleConsent, MSRConsentSettingsUtil::description());
    log(texts::kBundleQueued, static_cast<long long>(NanoMessageGetInt32(run.message, bundle::kBundleIndex)),
        static_cast<long long>(endMillis));
    return Step::consumeRun;
}

std::optional<MSRRawEventsRead> MSRMeasurementBundler::rawEventsWithMetadataFingerprint(std::int64_t fingerprint) {
    const std::int64_t maxEvents = remoteConfig().uploadMaxEventsPerBundle();
    const std::int64_t sizeLimit = remoteConfig().uploadMaxSizeLimitBytes();
    std::optional<std::int64_t> runHour;
    std::int64_t previousRowID = 0;
    std::int64_t runSize = 0;
    // The store offers rows in row-ID order; the index is the number of rows
    // taken so far, since the first refusal ends the read.
    const MSRRowFilter filter = [&](std::size_t index, const MSRRecord& row) {
        const auto accepted = static_cast<std::int64_t>(index);
        if (accepted >= 1 && accepted >= maxEvents) {
            return false;
        }
        const auto rowID = rowInteger(row, "rowid");
        if (!rowID || (accepted > 0 && *rowID != previousRowID + 1)) {
            return false;
        }
        const auto hour = hourBucket(row);
        const auto length = encodedEventLength(row);
        if (hour && length) {
            if (runHour && *hour != *runHour) {
                return false;
            }
            if (saturatingAdd(runSize, *length) >= sizeLimit) {
                return false;
            }
            runHour = runHour.value_or(*hour);
            runSize += *length;
        }
        // A row without a usable time or body won't decode: it is taken
        // along so that it goes with the run.
        previousRowID = *rowID;
        return true;
    };
    auto read = database().rawEventsWithMetadataFingerprint(fingerprint, filter);
    if (!read) {
        log(texts::kRunReadFailed, read.error());
        return std::nullopt;
    }
    return std::move(*read);
}

std::optional<std::vector<MSREvent>> MSRMeasurementBundler::processRawEvents(
    const std::vector<MSRRawEventData>& rawEvents, std::int64_t fingerprint, std::optional<std::int64_t> runLastRowID) {
    if (rawEvents.empty()) {
        return std::vector<MSREvent>{};
    }
    const std::int64_t lastRowID = runLastRowID.value_or(rawEvents.back().rowID());
    const MSRNameMap& twins = MSRAdImpressionEventNameMap();
    const bool keepTwins = remoteConfig().blocklistInternal() && !remoteConfig().blocklistPublic();
    const bool dropRedundantEngagement = remoteConfig().redundantEngagementRemovalEnabled();

    std::vector<const MSRRawEventData*> accepted;
    accepted.reserve(rawEvents.size());
    for (const MSRRawEventData& rawEvent : rawEvents) {
        const MSREvent& event = rawEvent.rawEvent();
        const auto twin = twins.find(event.name());
        if (twin == twins.end() || !keepTwins) {
            if (remoteConfig().isEventBlocklisted(event.name()) ||
                (twin != twins.end() && remoteConfig().isEventBlocklisted(twin->second))) {
                log(texts::kEventRejected, MSREventNameDescription(event.name()));
                continue;
            }
            if (dropRedundantEngagement && event.name() == "_e" && integerParameter(event, "_fr") == 1) {
                continue;
            }
        }
        accepted.push_back(&rawEvent);
    }
    if (accepted.empty()) {
        if (!deleteBundledRawEvents(lastRowID, fingerprint)) {
            return std::nullopt;
        }
        log(texts::kAllEventsRejected);
        return std::vector<MSREvent>{};
    }

    auto dailyCounts = database().dailyCounts();
    if (!dailyCounts) {
        log(texts::kDailyCountsFailed, dailyCounts.error());
        return std::nullopt;
    }
    bool countsChanged = false;
    std::vector<MSREvent> events;
    events.reserve(accepted.size());
    for (const MSRRawEventData* rawEvent : accepted) {
        const MSRRawEventData renamed = internalEventFromPublicEvent(*rawEvent);
        MSREvent event = renamed.rawEvent();
        const bool conversionChanged = checkConversion(event, *dailyCounts);
        const bool realtimeChanged = checkRealtime(event, *dailyCounts);
        countsChanged = countsChanged || conversionChanged || realtimeChanged;
        auto marked = MSRRawEventData::initWithRawEvent(std::make_shared<const MSREvent>(std::move(event)),
                                                        renamed.rowID(), renamed.metadataFingerprint());
        if (!marked) {
            return std::nullopt;
        }
        events.push_back(validatePurchaseEvent(*marked).rawEvent());
    }
    if (countsChanged) {
        if (auto updated = database().updateDailyCounts(*dailyCounts); !updated) {
            log(texts::kDailyCountsUpdateFailed, "daily counts", updated.error());
            return std::nullopt;
        }
    }
    return events;
}

MSRRawEventData MSRMeasurementBundler::internalEventFromPublicEvent(const MSRRawEventData& rawEvent) {
    const MSREvent& event = rawEvent.rawEvent();
    const MSRNameMap& twins = MSRAdImpressionEventNameMap();
    const auto twin = twins.find(event.name());
    if (twin == twins.end()) {
        return rawEvent;
    }
    auto internal =
        MSREvent::initWithOrigin(event.origin(), false, twin->second, event.timestamp(), event.previousTimestamp(),
                                 MSRObjectDictionaryFromParameters(event.parameters()));
    if (!internal) {
        return rawEvent;
    }
    auto renamed = MSRRawEventData::initWithRawEvent(std::make_shared<const MSREvent>(std::move(*internal)),
                                                     rawEvent.rowID(), rawEvent.metadataFingerprint());
    return renamed ? *renamed : rawEvent;
}

bool MSRMeasurementBundler::checkConversion(MSREvent& event, MSRDailyCounts& dailyCounts) {
    if (remoteConfig().isEventCustomConversion(event.name())) {
        event.setConversion(true);
    }
    if (!MSRIsPublicName(std::string_view(event.name())) || !event.isConversion()) {
        return false;
    }
    const std::int32_t limit = remoteConfig().maxConversionsPerDay();
    if (dailyCounts.conversionsCount() >= limit) {
        event.setConversion(false);
        log(texts::kTooManyConversions, MSREventNameDescription(event.name()), limit);
        return false;
    }
    dailyCounts.incrementCountsForCurrentDay(dailyCountsDay(), false, true);
    dailyCounts.decrementAllEventsCount();
    return true;
}

bool MSRMeasurementBundler::checkRealtime(MSREvent& event, MSRDailyCounts& dailyCounts) {
    if (!event.isRealtime() && !event.isConversion()) {
        return false;
    }
    const bool debugMode = MSRMeasurementMonitor().isDebugModeEnabled();
    const std::string& name = event.name();
    const bool limited = !debugMode && name != "_iap" && name != "_f" && name != "_dcu" && name != "_fx";
    if (limited) {
        if (dailyCounts.realtimeCount() < remoteConfig().maxRealtimeEventCountPerDay()) {
            dailyCounts.incrementRealtimeCountsForCurrentDay(dailyCountsDay());
            event.setRealtime(true);
            log(texts::kUnderRealtimeLimit, MSREventNameDescription(name),
                MSRParametersDescription(event.parameters()));
            return true;
        }
        event.setRealtime(false);
        log(texts::kOverRealtimeLimit, MSREventNameDescription(name), MSRParametersDescription(event.parameters()));
        return false;
    }
    if (name == "_dcu" && !debugMode) {
        if (dailyCounts.dcuRealtimeCount() >= remoteConfig().maxRealtimeDCUEventCountPerDay()) {
            event.setRealtime(false);
            return false;
        }
        dailyCounts.incrementDCURealtimeCountsForCurrentDay(dailyCountsDay());
        event.setRealtime(true);
        return true;
    }
    event.setRealtime(true);
    log(texts::kNotRealtimeLimited, MSREventNameDescription(name), MSRParametersDescription(event.parameters()));
    return false;
}

MSRRawEventData MSRMeasurementBundler::validatePurchaseEvent(const MSRRawEventData& rawEvent) {
    const MSREvent& event = rawEvent.rawEvent();
    if (event.name() != "_iap") {
        return rawEvent;
    }
    MSRParameters parameters = event.parameters();
    if (!parameters.contains("sandbox") && MSRAEU::isASRS()) {
        parameters.insert_or_assign("sandbox", MSRValue::initWithInt64(1));
    }
    // A purchase that reaches bundling was counted: it is marked validated.
    if (!parameters.contains("validated")) {
        parameters.insert_or_assign("validated", MSRValue::initWithInt64(1));
    }
    auto copy = event.copyWithParameters(MSRObjectDictionaryFromParameters(parameters));
    if (!copy) {
        return rawEvent;
    }
    auto validated = MSRRawEventData::initWithRawEvent(std::make_shared<const MSREvent>(std::move(*copy)),
                                                       rawEvent.rowID(), rawEvent.metadataFingerprint());
    return validated ? *validated : rawEvent;
}

void MSRMeasurementBundler::evaluationTimeFromRawEvents(const std::vector<MSRRawEventData>& rawEvents,
                                                        MSRPBMeasurementBundle& message) {
    const bool sessionStarted = std::ranges::any_of(
        rawEvents, [](const MSRRawEventData& rawEvent) { return rawEvent.rawEvent().name() == "_s"; });
    if (sessionStarted) {
        audience().clearEvaluationResultsForSessionScopedFilters();
        for (const MSRPBUserAttribute& attribute : bundleUserAttributes(message)) {
            if (!audience().evaluateFiltersForNanoUserProperty(attribute, nullptr, std::nullopt)) {
                return;
            }
        }
        if (auto cleared = database().clearCurrentSessionCounts(); !cleared) {
            log(texts::kSessionCountsFailed, cleared.error());
            return;
        }
    }
    std::int64_t engagementMillis = 0;
    for (const MSRRawEventData& rawEvent : rawEvents) {
        const MSREvent& event = rawEvent.rawEvent();
        if (const auto engagement = integerParameter(event, "_et"); engagement && !event.parameters().contains("_fr")) {
            engagementMillis = saturatingAdd(engagementMillis, *engagement);
        }
    }
    if (!updateUserEngagement(engagementMillis, message, false)) {
        return;
    }
    if (sessionStarted) {
        if (auto deleted = database().deleteUserAttributeWithName("_se"); !deleted) {
            log(texts::kSessionEngagementDeleteFailed, deleted.error());
            return;
        }
    }
    updateUserEngagement(engagementMillis, message, true);
}

void MSRMeasurementBundler::handleAnalyticsStorageConsentTransitions(MSRPBMeasurementBundle& message) {
    const std::optional<std::string> signals = NanoMessageGetString(message, bundle::kConsentSignals);
    const std::optional<std::string> previous = persistedConfig().previousBundledConsentSignals();
    if (signals == previous) {
        return;
    }
    // No previous bundle counts as granted.
    const bool wasDenied = previous && MSRIsAnalyticsStorageDeniedInSignals(*previous);
    const bool isDenied = signals && MSRIsAnalyticsStorageDeniedInSignals(*signals);
    if (!wasDenied && isDenied) {
        if (auto created = database().createEventsSnapshotTable(); !created) {
            log(texts::kSnapshotFailed, created.error());
        }
    } else if (wasDenied && !isDenied) {
        if (auto restored = database().restoreFromEventsSnapshotTable(); !restored) {
            log(texts::kRestoreFailed, restored.error());
        }
    }
    persistedConfig().setPreviousBundledConsentSignals(signals);
}

std::optional<std::vector<MSREvent>> MSRMeasurementBundler::eventsAfterUpdatingEventAggregates(
    const std::vector<MSREvent>& events, MSRAudienceTimestampsCache& audienceTimestampsCache,
    bool allowEventFilterEvaluation) {
    std::vector<MSREvent> updated;
    updated.reserve(events.size());
    for (const MSREvent& original : events) {
        auto stored = database().eventAggregatesWithName(original.name());
        if (!stored) {
            log(texts::kAggregatesQueryFailed, MSREventNameDescription(original.name()), stored.error());
            return std::nullopt;
        }
        MSREvent event = original;
        std::optional<MSREventAggregates> aggregates = std::move(*stored);
        if (aggregates) {
            if (auto copy = event.copyWithPreviousTimestamp(aggregates->lastFireTimestamp())) {
                event = std::move(*copy);
            }
            aggregates->incrementCurrentBundleCount();
            aggregates->incrementLifetimeCount();
            aggregates->incrementCurrentSessionCount();
            aggregates->setLastFireTimestamp(event.timestamp());
        } else {
            aggregates = MSREventAggregates::initWithName(event.name(), 1, 1, 1, event.timestamp());
            if (!aggregates) {
                log(texts::kAggregatesUpdateFailed,
                    msr_errorWithCode(MSRErrorCode::invalidArgument, "Event name cannot have aggregates"));
                return std::nullopt;
            }
        }
        if (auto written = database().updateEventAggregates(*aggregates); !written) {
            log(texts::kAggregatesUpdateFailed, written.error());
            return std::nullopt;
        }
        if (allowEventFilterEvaluation &&
            !audience().evaluateFiltersForEvent(event, &*aggregates, &audienceTimestampsCache)) {
            return std::nullopt;
        }
        updated.push_back(std::move(event));
    }
    return updated;
}

bool MSRMeasurementBundler::updateAppMetadataForBundle(MSRPBMeasurementBundle& message, double bundleStartTimestamp,
                                                       double bundleEndTimestamp) {
    auto stored = database().queryAppMetadata();
    if (!stored || !*stored) {
        log(texts::kAppMetadataQueryFailed,
            stored ? msr_errorWithCode(MSRErrorCode::invalidState, "No app metadata") : stored.error());
        return false;
    }
    MSRAppMetadata& appMetadata = **stored;
    const auto millis = [](double seconds) { return seconds > 0 ? MSRMillisecondsFromSeconds(seconds) : std::nullopt; };
    const auto lastEnd = millis(appMetadata.lastBundleEndTimestamp());
    const auto lastStart = millis(appMetadata.lastBundleStartTimestamp());
    if (lastEnd) {
        NanoMessageSetInt64(message, bundle::kPreviousBundleEndTimestamp, *lastEnd);
    }
    if (const auto previousStart = lastStart ? lastStart : lastEnd) {
        NanoMessageSetInt64(message, bundle::kPreviousBundleStartTimestamp, *previousStart);
    }
    const auto eventCount =
        NanoMessageGetArray<MSRPBEvent>(message, bundle::kEvents).value_or(std::vector<MSRPBEvent>{}).size();
    appMetadata.increaseLastBundleIndex(static_cast<std::int32_t>(
        std::min<std::size_t>(eventCount, static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))));
    appMetadata.incrementLastDeliveryIndex();
    appMetadata.setLastBundleStartTimestamp(bundleStartTimestamp);
    appMetadata.setLastBundleEndTimestamp(bundleEndTimestamp);
    NanoMessageSetInt32(message, bundle::kBundleIndex, appMetadata.lastBundleIndex());
    NanoMessageSetInt32(message, bundle::kDeliveryIndex, appMetadata.lastDeliveryIndex());
    if (auto updated = database().updateAppMetadata(appMetadata); !updated) {
        log(texts::kAppMetadataUpdateFailed, updated.error());
        return false;
    }
    return true;
}

bool MSRMeasurementBundler::updateUserEngagement(std::int64_t engagementTimeMillis, MSRPBMeasurementBundle& message,
                                                 bool sessionScoped) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("updateUserEngagement");
    if (engagementTimeMillis < 0) {
        log(texts::kNegativeEngagement);
        return false;
    }
    if (engagementTimeMillis == 0) {
        return true;
    }
    const std::string_view name = sessionScoped ? "_se" : "_lte";
    auto stored = database().userAttributeWithName(name);
    if (!stored) {
        log(texts::kEngagementQueryFailed, name, stored.error());
        return false;
    }
    std::int64_t total = engagementTimeMillis;
    if (*stored && (*stored)->value().isInt64()) {
        total = saturatingAdd((*stored)->value().int64Value(), engagementTimeMillis);
    }
    const double now = nowSince1970();
    auto attribute = MSRUserAttribute::initWithOrigin("auto", name, MSRValue::initWithInt64(total), now);
    if (!attribute || !collaborators_.storeUserProperty(*attribute)) {
        return false;
    }
    std::vector<MSRPBUserAttribute> attributes = bundleUserAttributes(message);
    const auto existing = std::ranges::find_if(attributes, [&](const MSRPBUserAttribute& candidate) {
        return NanoMessageGetString(candidate, bundle_slots::kUserAttributeName) == name;
    });
    if (existing != attributes.end()) {
        NanoMessageSetInt64(*existing, bundle_slots::kUserAttributeIntValue, total);
        NanoMessageSetInt64(*existing, bundle_slots::kUserAttributeSetTimestamp,
                            MSRMillisecondsFromSeconds(now).value_or(0));
    } else {
        attributes.push_back(attribute->protoUserAttribute());
    }
    NanoMessageSetArray(message, bundle::kUserAttributes, attributes);
    return true;
}

void MSRMeasurementBundler::addBundleMetadataIntoBundle(MSRPBMeasurementBundle& message, double bundleStartTimestamp,
                                                        double bundleEndTimestamp) {
    if (const auto experimentIDs = remoteConfig().experimentIDs(); experimentIDs && !experimentIDs->empty()) {
        NanoMessageSetArray(message, bundle::kExperimentIDs, *experimentIDs);
    }
    if (auto monitoringData = MSRMeasurementMonitor().monitoringDataForDispatchWithSamplePeriod(
            remoteConfig().monitoringSamplePeriod(), persistedConfig().lastMonitorDataSampledTimestamp());
        monitoringData && !monitoringData->empty()) {
        NanoMessageSetString(message, bundle::kMonitoringData, *monitoringData);
        persistedConfig().setLastMonitorDataSampledTimestamp(nowSince1970());
    }
    if (const std::int64_t version = remoteConfig().version(); version >= 0) {
        NanoMessageSetInt64(message, bundle::kConfigVersion, version);
    }
    if (NanoMessageGetString(message, bundle::kAppID).value_or(std::string()).empty()) {
        MSRIdentity* const identity = collaborators_.identity();
        std::string appID = identity != nullptr ? identity->appID() : std::string();
        if (appID.empty()) {
            appID = kit::mainBundle().bundleIdentifier();
        }
        NanoMessageSetString(message, bundle::kAppID, appID);
    }
    // Times whose milliseconds leave the 64-bit range stay unset: the
    // queue refuses such a bundle instead of storing a wrapped time.
    if (const auto start = MSRMillisecondsFromSeconds(bundleStartTimestamp)) {
        NanoMessageSetInt64(message, bundle::kStartTimestamp, *start);
    }
    if (const auto end = MSRMillisecondsFromSeconds(bundleEndTimestamp)) {
        NanoMessageSetInt64(message, bundle::kEndTimestamp, *end);
    }
}

}  // namespace kit::measurement

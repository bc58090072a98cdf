#include "MSRMeasurementBundler.h"

#include "BundlingTexts.h"
#include "BundleSlots.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "platform/Random.h"

#include <cmath>
#include <limits>
#include <map>
#include <set>

// Event sampling at bundling time: of the events of a name the
// configuration samples at 1 in N, about one in N is kept, and the first of
// each account day always.
namespace kit::measurement {

namespace {

using bundling_texts::log;
namespace texts = bundling_texts;

// The day index in the analytics account's time zone, in 64 bits: far-off
// timestamps saturate instead of wrapping into another day.
std::int32_t accountDayIndex(double seconds, std::int32_t offsetMinutes) {
    const double days = std::trunc((seconds + offsetMinutes * 60.0) / 86400.0);
    if (!(days > std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (days >= std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(days);
}

std::vector<MSRPBEventParam> parameters(const MSRPBEvent& event) {
    return NanoMessageGetArray<MSRPBEventParam>(event, event_slots::kParams).value_or(std::vector<MSRPBEventParam>{});
}

const MSRPBEventParam* findParameter(const std::vector<MSRPBEventParam>& params, std::string_view name) {
    for (const MSRPBEventParam& param : params) {
        if (NanoMessageGetString(param, event_slots::kParamName) == name) {
            return &param;
        }
    }
    return nullptr;
}

// An event's own value of the parameter wins over the one sampling adds.
void addIntegerParameter(MSRPBEvent& event, std::string_view name, std::int64_t value) {
    std::vector<MSRPBEventParam> params = parameters(event);
    if (findParameter(params, name) != nullptr) {
        log(texts::kParameterExists, name);
        return;
    }
    MSRPBEventParam param;
    NanoMessageSetString(param, event_slots::kParamName, name);
    NanoMessageSetInt64(param, event_slots::kParamIntValue, value);
    params.push_back(std::move(param));
    NanoMessageSetArray(event, event_slots::kParams, params);
}

}  // namespace

platform::Expected<std::vector<MSRPBEvent>> MSRMeasurementBundler::sampleEvents(std::vector<MSRPBEvent> events) {
    auto stored = database().allEventAggregates();
    if (!stored) {
        log(texts::kAllAggregatesFailed, stored.error());
        return platform::unexpected(stored.error());
    }
    std::map<std::string, MSREventAggregates, std::less<>> aggregates;
    for (MSREventAggregates& record : *stored) {
        if (!record.name().empty()) {
            std::string name = record.name();
            aggregates.emplace(std::move(name), std::move(record));
        }
    }
    std::set<std::string, std::less<>> touched;
    const std::int32_t offsetMinutes = remoteConfig().analyticsAccountTimeZoneOffsetMinutes();

    std::vector<MSRPBEvent> kept;
    kept.reserve(events.size());
    for (MSRPBEvent& event : events) {
        const std::string name = NanoMessageGetString(event, event_slots::kName).value_or(std::string());
        if (name.empty()) {
            log(texts::kEventWithoutName);
            continue;
        }
        const double timestamp = static_cast<double>(NanoMessageGetInt64(event, event_slots::kTimestamp)) / 1000.0;
        const std::int32_t day = accountDayIndex(timestamp, offsetMinutes);
        auto found = aggregates.find(name);
        MSREventAggregates* state = found != aggregates.end() ? &found->second : nullptr;
        if (state != nullptr) {
            touched.insert(name);
        }
        auto markBundled = [&] {
            if (state != nullptr) {
                state->setLastBundledTimestamp(timestamp);
                state->setLastBundledDay(day);
            }
        };

        if (!canEventBeSampled(event)) {
            markBundled();
            kept.push_back(std::move(event));
            continue;
        }
        const std::int64_t rate = remoteConfig().samplingRateForEvent(name);
        if (isEventBundledAfterRoll(rate)) {
            if (state != nullptr) {
                state->setLastSamplingRate(rate);
                state->setLastSampledComplexEventID(std::nullopt);
            }
            markBundled();
            addIntegerParameter(event, "_sr", rate);
            kept.push_back(std::move(event));
            continue;
        }
        std::int32_t lastDay = state != nullptr ? state->lastBundledDay() : 0;
        if (lastDay == 0) {
            const double previous =
                static_cast<double>(NanoMessageGetInt64(event, event_slots::kPreviousTimestamp)) / 1000.0;
            lastDay = accountDayIndex(previous, offsetMinutes);
        }
        if (state != nullptr) {
            state->setLastSamplingRate(rate);
        }
        if (lastDay != day) {
            markBundled();
            if (state != nullptr) {
                state->setLastExemptFromSampling(true);
            }
            addIntegerParameter(event, "_sr", rate);
            addIntegerParameter(event, "_efs", 1);
            kept.push_back(std::move(event));
            continue;
        }
        if (state != nullptr) {
            const std::vector<MSRPBEventParam> params = parameters(event);
            if (const MSRPBEventParam* complexID = findParameter(params, "_eid")) {
                state->setLastSampledComplexEventID(NanoMessageGetInt64(*complexID, event_slots::kParamIntValue));
            }
        }
    }

    // Only the names met here changed; the others would be written back as read.
    for (const std::string& name : touched) {
        const MSREventAggregates& state = aggregates.at(name);
        auto current = database().eventAggregatesWithName(name);
        if (!current || !*current) {
            platform::Error error =
                current ? msr_errorWithCode(MSRErrorCode::invalidState, "No event aggregates for a sampled name")
                        : current.error();
            log(texts::kAggregatesForSamplingFailed, name, error);
            return platform::unexpected(std::move(error));
        }
        MSREventAggregates& record = **current;
        if (state.lastBundledTimestamp() != 0) {
            record.setLastBundledTimestamp(state.lastBundledTimestamp());
        }
        record.setLastSamplingRate(state.lastSamplingRate());
        record.setLastSampledComplexEventID(state.lastSampledComplexEventID());
        record.setLastExemptFromSampling(state.lastExemptFromSampling());
        record.setLastBundledDay(state.lastBundledDay());
        if (auto updated = database().updateEventAggregates(record); !updated) {
            log(texts::kSamplingStateSaveFailed, updated.error());
            return platform::unexpected(updated.error());
        }
    }
    return kept;
}

bool MSRMeasurementBundler::canEventBeSampled(const MSRPBEvent& event) {
    const std::string name = NanoMessageGetString(event, event_slots::kName).value_or(std::string());
    if (!remoteConfig().isEventSamplingEnabled() || !remoteConfig().eventHasSamplingRate(name)) {
        return false;
    }
    if (remoteConfig().samplingRateForEvent(name) <= 1) {
        log(texts::kInvalidSamplingRate);
        return false;
    }
    return true;
}

bool MSRMeasurementBundler::isEventBundledAfterRoll(std::int64_t rate) {
    if (rate <= 1) {
        return true;
    }
    return collaborators_.random.below(static_cast<std::uint64_t>(rate)) == 0;
}

}  // namespace kit::measurement

#include "ExperimentTexts.h"
#include "kit/measurement/controller/MSRExperimentSnapshots.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

namespace kit::measurement {
namespace {

namespace text = experiment_text;

// Slots of Experiment, Snapshot and Flag.
constexpr int experimentIDSlot = 0;
constexpr int experimentFlagsSlot = 1;
constexpr int snapshotSDKNameSlot = 0;
constexpr int snapshotExperimentsSlot = 1;
constexpr int flagNameSlot = 0;

std::optional<std::string> flagName(const MSRPBFlag& flag) {
    auto name = NanoMessageGetString(flag, flagNameSlot);
    if (!name || name->empty()) {
        return std::nullopt;
    }
    return name;
}

}  // namespace

MSREExperiment::MSREExperiment(std::int64_t experimentID, const std::vector<MSRPBFlag>& flags)
    : experimentID_(experimentID) {
    for (const MSRPBFlag& flag : flags) {
        addFlag(flag);
    }
}

std::optional<MSREExperiment> MSREExperiment::initWithProtobuf(const MSRPBExperiment& message) {
    if (!NanoMessageHasField(message, experimentIDSlot)) {
        text::log(text::experimentWithoutID);
        return std::nullopt;
    }
    const auto flags = NanoMessageGetArray<MSRPBFlag>(message, experimentFlagsSlot);
    return MSREExperiment(NanoMessageGetInt32(message, experimentIDSlot), flags.value_or(std::vector<MSRPBFlag>{}));
}

bool MSREExperiment::addFlag(const MSRPBFlag& flag) {
    if (!flag.protoBuffer() || flag.protoBuffer()->empty()) {
        text::log(text::addEmptyFlag, experimentID_);
        return false;
    }
    auto name = flagName(flag);
    if (!name) {
        text::log(text::addNamelessFlag, experimentID_);
        return false;
    }
    flagsByName_.insert_or_assign(std::move(*name), flag);
    return true;
}

std::optional<MSRPBFlag> MSREExperiment::flagWithName(std::string_view name) const {
    if (name.empty()) {
        text::log(text::flagWithoutName);
        return std::nullopt;
    }
    const auto found = flagsByName_.find(name);
    if (found == flagsByName_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<MSRPBFlag> MSREExperiment::flags() const {
    std::vector<MSRPBFlag> flags;
    flags.reserve(flagsByName_.size());
    for (const auto& entry : flagsByName_) {
        flags.push_back(entry.second);
    }
    return flags;
}

MSRPBExperiment MSREExperiment::proto() const {
    MSRPBExperiment message;
    NanoMessageSetInt32(message, experimentIDSlot, static_cast<std::int32_t>(experimentID_));
    NanoMessageSetArray(message, experimentFlagsSlot, flags());
    return message;
}

std::optional<MSRESnapshot> MSRESnapshot::initWithSDKName(std::string_view sdkName,
                                                          const std::vector<MSREExperiment>& experiments,
                                                          double timestamp) {
    if (sdkName.empty()) {
        text::log(text::snapshotInvalidSDKName);
        return std::nullopt;
    }
    MSRESnapshot snapshot{std::string(sdkName), timestamp};
    for (const MSREExperiment& experiment : experiments) {
        snapshot.experimentsByExperimentID_.insert_or_assign(experiment.experimentID(), experiment);
    }
    return snapshot;
}

std::optional<MSRESnapshot> MSRESnapshot::initWithProtobuf(const MSRPBSnapshot& message, double timestamp) {
    std::vector<MSREExperiment> experiments;
    for (const MSRPBExperiment& experiment : NanoMessageGetArray<MSRPBExperiment>(message, snapshotExperimentsSlot)
                                                 .value_or(std::vector<MSRPBExperiment>{})) {
        if (auto built = MSREExperiment::initWithProtobuf(experiment)) {
            experiments.push_back(std::move(*built));
        }
    }
    return initWithSDKName(NanoMessageGetString(message, snapshotSDKNameSlot).value_or(""), experiments, timestamp);
}

std::vector<MSREExperiment> MSRESnapshot::experiments() const {
    std::vector<MSREExperiment> experiments;
    experiments.reserve(experimentsByExperimentID_.size());
    for (const auto& entry : experimentsByExperimentID_) {
        experiments.push_back(entry.second);
    }
    return experiments;
}

std::optional<MSRPBFlag> MSRESnapshot::flagByName(std::string_view name) const {
    for (const auto& entry : experimentsByExperimentID_) {
        const auto& flags = entry.second.flagsByName();
        if (const auto found = flags.find(name); found != flags.end()) {
            return found->second;
        }
    }
    return std::nullopt;
}

void MSRESnapshot::addFlag(const MSRPBFlag& flag, std::int64_t experimentID) {
    auto found = experimentsByExperimentID_.find(experimentID);
    if (found == experimentsByExperimentID_.end()) {
        found = experimentsByExperimentID_.emplace(experimentID, MSREExperiment(experimentID, {})).first;
    }
    found->second.addFlag(flag);
}

void MSRESnapshot::addFlags(const std::vector<MSRPBFlag>& flags, std::int64_t experimentID) {
    for (const MSRPBFlag& flag : flags) {
        addFlag(flag, experimentID);
    }
}

MSRPBSnapshot MSRESnapshot::proto() const {
    MSRPBSnapshot message;
    NanoMessageSetString(message, snapshotSDKNameSlot, sdkName_);
    std::vector<MSRPBExperiment> experiments;
    for (const auto& entry : experimentsByExperimentID_) {
        experiments.push_back(entry.second.proto());
    }
    NanoMessageSetArray(message, snapshotExperimentsSlot, experiments);
    return message;
}

}  // namespace kit::measurement

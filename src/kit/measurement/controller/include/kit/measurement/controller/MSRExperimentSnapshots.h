#pragma once

#include "kit/measurement/messages/NanoMessage.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the experiment service hands out: experiments (an ID and named flags)
// grouped per SDK into snapshots. Values, copied freely.
namespace kit::measurement {

class MSREExperiment {
public:
    // Flags keyed by their name; a flag without one is refused (logged).
    MSREExperiment(std::int64_t experimentID, const std::vector<MSRPBFlag>& flags);
    // Nothing, logged, for a message without an ID.
    static std::optional<MSREExperiment> initWithProtobuf(const MSRPBExperiment& message);

    std::int64_t experimentID() const noexcept { return experimentID_; }
    const std::map<std::string, MSRPBFlag, std::less<>>& flagsByName() const noexcept { return flagsByName_; }
    // Adds or replaces by name; false (logged) for a flag without a name.
    bool addFlag(const MSRPBFlag& flag);
    std::optional<MSRPBFlag> flagWithName(std::string_view name) const;
    std::vector<MSRPBFlag> flags() const;
    MSRPBExperiment proto() const;

private:
    std::int64_t experimentID_;
    std::map<std::string, MSRPBFlag, std::less<>> flagsByName_;
};

class MSRESnapshot {
public:
    // Nothing, logged, for an empty SDK name.
    static std::optional<MSRESnapshot> initWithSDKName(std::string_view sdkName,
                                                       const std::vector<MSREExperiment>& experiments,
                                                       double timestamp);
    // Experiments that do not build are skipped.
    static std::optional<MSRESnapshot> initWithProtobuf(const MSRPBSnapshot& message, double timestamp);

    const std::string& SDKName() const noexcept { return sdkName_; }
    // Ascending ID order.
    const std::map<std::int64_t, MSREExperiment>& experimentsByExperimentID() const noexcept {
        return experimentsByExperimentID_;
    }
    std::vector<MSREExperiment> experiments() const;
    double timestamp() const noexcept { return timestamp_; }
    void setTimestamp(double timestamp) noexcept { timestamp_ = timestamp; }
    bool manuallyActivated() const noexcept { return manuallyActivated_; }
    void setManuallyActivated(bool manuallyActivated) noexcept { manuallyActivated_ = manuallyActivated; }

    // The flag of the lowest experiment ID that has one by that name.
    std::optional<MSRPBFlag> flagByName(std::string_view name) const;
    // Creates the experiment when missing.
    void addFlag(const MSRPBFlag& flag, std::int64_t experimentID);
    void addFlags(const std::vector<MSRPBFlag>& flags, std::int64_t experimentID);
    MSRPBSnapshot proto() const;

private:
    MSRESnapshot(std::string sdkName, double timestamp) : sdkName_(std::move(sdkName)), timestamp_(timestamp) {}

    std::string sdkName_;
    std::map<std::int64_t, MSREExperiment> experimentsByExperimentID_;
    double timestamp_ = 0;
    bool manuallyActivated_ = false;
};

}  // namespace kit::measurement

#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/messages/MSRPEvent.h"
#include "kit/measurement/support/MSRValue.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kit::measurement {

// One analytics event: who logged it, its name, when, and its typed
// parameters, which always hold "_o" (the origin).
class MSREvent {
public:
    // Nothing when the origin or the name breaks its rules, or when a time
    // is not finite or its milliseconds do not fit 64 bits (16008).
    static std::optional<MSREvent> initWithOrigin(std::string_view origin, bool isPublic, std::string_view name,
                                                  double timestamp, double previousTimestamp,
                                                  const MSRObjectDictionary& parameters);
    // From the wire message; nothing without a string "_o".
    static std::optional<MSREvent> initWithEventProto(const MSRPBEvent& proto);
    MSRPBEvent protoEvent() const;

    const std::string& origin() const { return origin_; }
    const std::string& name() const { return name_; }
    double timestamp() const { return timestamp_; }
    double previousTimestamp() const { return previousTimestamp_; }
    const MSRParameters& parameters() const { return parameters_; }
    MSRParameters& parameters() { return parameters_; }

    std::optional<MSREvent> copy() const;
    std::optional<MSREvent> copyWithPreviousTimestamp(double previousTimestamp) const;
    std::optional<MSREvent> copyWithParameters(const MSRObjectDictionary& parameters) const;

    bool isConversion() const;
    void setConversion(bool conversion);
    bool isRealtime() const;
    void setRealtime(bool realtime);
    bool isDebug() const;
    void setDebug(bool debug);
    bool shouldValidateParams() const;

    // Cleans `parameters` and adds them; the event's own entries win.
    void applyParameters(const MSRObjectDictionary& parameters, bool isPublic);
    // Takes the current screen's "_si", "_sc" and "_sn" when the event has none.
    bool addScreenParameters(const MSRObjectDictionary& screenParameters);

    // The script view of the event, and back.
    MSRPEvent editEvent() const;
    static std::optional<MSREvent> eventFromEditEvent(const MSRPEvent& editEvent);

    bool operator==(const MSREvent&) const = default;

private:
    MSREvent() = default;

    std::string origin_;
    std::string name_;
    double timestamp_ = 0;
    double previousTimestamp_ = 0;
    MSRParameters parameters_;
};

// Event tests shared by the controller and the event record.
bool MSRIsErrorEvent(const MSREvent& event);
bool MSRIsSubscriptionEvent(const MSREvent& event);
std::size_t MSREventItemCount(const MSREvent* event);

// The session-start event "_s" at `timestamp`.
std::optional<MSREvent> MSRSessionStartEvent(std::int64_t sessionNumber, bool isAppInBackground, double timestamp);

// A row of the events table.
class MSREventAggregates {
public:
    // Nothing for a name that is not an internal event name, or a negative count (17000).
    static std::optional<MSREventAggregates> initWithName(std::string_view name, std::int32_t lifetimeCount,
                                                          std::int32_t currentBundleCount,
                                                          std::int32_t currentSessionCount, double lastFireTimestamp);

    const std::string& name() const { return name_; }
    std::int32_t lifetimeCount() const { return lifetimeCount_; }
    std::int32_t currentBundleCount() const { return currentBundleCount_; }
    std::int32_t currentSessionCount() const { return currentSessionCount_; }
    double lastFireTimestamp() const { return lastFireTimestamp_; }
    void setLastFireTimestamp(double value) { lastFireTimestamp_ = value; }
    double lastBundledTimestamp() const { return lastBundledTimestamp_; }
    void setLastBundledTimestamp(double value) { lastBundledTimestamp_ = value; }
    // Stored as an INTEGER, not as text.
    std::optional<std::int64_t> lastSampledComplexEventID() const { return lastSampledComplexEventID_; }
    void setLastSampledComplexEventID(std::optional<std::int64_t> value) { lastSampledComplexEventID_ = value; }
    std::int64_t lastSamplingRate() const { return lastSamplingRate_; }
    void setLastSamplingRate(std::int64_t value) { lastSamplingRate_ = value; }
    bool lastExemptFromSampling() const { return lastExemptFromSampling_; }
    void setLastExemptFromSampling(bool value) { lastExemptFromSampling_ = value; }
    std::int32_t lastBundledDay() const { return lastBundledDay_; }
    void setLastBundledDay(std::int32_t value) { lastBundledDay_ = value; }

    // At the int32 maximum a count goes back to 0 (logged, 17001 to 17003).
    void incrementLifetimeCount();
    void incrementCurrentBundleCount();
    void incrementCurrentSessionCount();

private:
    MSREventAggregates() = default;

    std::string name_;
    std::int32_t lifetimeCount_ = 0;
    std::int32_t currentBundleCount_ = 0;
    std::int32_t currentSessionCount_ = 0;
    double lastFireTimestamp_ = 0;
    double lastBundledTimestamp_ = 0;
    std::optional<std::int64_t> lastSampledComplexEventID_;
    std::int64_t lastSamplingRate_ = 1;
    bool lastExemptFromSampling_ = false;
    std::int32_t lastBundledDay_ = 0;
};

// A user property as stored.
class MSRUserAttribute {
public:
    // Nothing when the name or the value breaks the internal rules.
    static std::optional<MSRUserAttribute> initWithOrigin(std::string_view origin, std::string_view name,
                                                          MSRValue value, double lastSetTimestamp);

    const std::string& origin() const { return origin_; }
    const std::string& name() const { return name_; }
    const MSRValue& value() const { return value_; }
    double lastSetTimestamp() const { return lastSetTimestamp_; }
    bool isPublic() const { return !name_.empty() && !name_.starts_with("_"); }
    // The wire form; a set time whose milliseconds leave the 64-bit range is left out.
    MSRPBUserAttribute protoUserAttribute() const;

private:
    MSRUserAttribute(std::string origin, std::string name, MSRValue value, double lastSetTimestamp)
        : origin_(std::move(origin)),
          name_(std::move(name)),
          value_(std::move(value)),
          lastSetTimestamp_(lastSetTimestamp) {}

    std::string origin_;
    std::string name_;
    MSRValue value_;
    double lastSetTimestamp_;
};

// A stored raw event with its row.
class MSRRawEventData {
public:
    // Nothing for a missing event (28000) or a negative row (28001).
    static std::optional<MSRRawEventData> initWithRawEvent(std::shared_ptr<const MSREvent> rawEvent, std::int64_t rowID,
                                                           std::int64_t metadataFingerprint);

    const MSREvent& rawEvent() const { return *rawEvent_; }
    std::int64_t rowID() const { return rowID_; }
    std::int64_t metadataFingerprint() const { return metadataFingerprint_; }

private:
    MSRRawEventData(std::shared_ptr<const MSREvent> rawEvent, std::int64_t rowID, std::int64_t metadataFingerprint)
        : rawEvent_(std::move(rawEvent)), rowID_(rowID), metadataFingerprint_(metadataFingerprint) {}

    std::shared_ptr<const MSREvent> rawEvent_;
    std::int64_t rowID_;
    std::int64_t metadataFingerprint_;
};

// Milliseconds of a time in seconds, truncated; nothing when they don't fit.
std::optional<std::int64_t> MSRMillisecondsFromSeconds(double seconds);
// Whole seconds, truncated; nothing when they don't fit.
std::optional<std::int64_t> MSRWholeSeconds(double seconds);

}  // namespace kit::measurement

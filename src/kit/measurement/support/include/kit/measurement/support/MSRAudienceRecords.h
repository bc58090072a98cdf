#pragma once

#include "kit/measurement/messages/NanoMessage.h"

#include <cstdint>
#include <span>
#include <string>

// The stored forms of audience filters and of one audience's results. All
// three are values, immutable once made: the bytes are the serialised
// messages, copied in.
namespace kit::measurement {

// One event filter of an audience: `data` is the serialised EventFilter
// message, `eventName` its internal event name.
class MSREventFilter {
public:
    static MSREventFilter initWithAudienceID(std::int32_t audienceID, std::int32_t filterID, std::string eventName,
                                             NanoBytes data, bool sessionScoped, bool dynamic, bool sequence) {
        return MSREventFilter(audienceID, filterID, std::move(eventName), std::move(data), sessionScoped, dynamic,
                              sequence);
    }

    std::int32_t audienceID() const { return audienceID_; }
    std::int32_t filterID() const { return filterID_; }
    const std::string& eventName() const { return eventName_; }
    const NanoBytes& data() const { return data_; }
    bool isSessionScoped() const { return sessionScoped_; }
    bool isDynamic() const { return dynamic_; }
    bool isSequence() const { return sequence_; }

    bool operator==(const MSREventFilter&) const = default;

private:
    MSREventFilter(std::int32_t audienceID, std::int32_t filterID, std::string eventName, NanoBytes data,
                   bool sessionScoped, bool dynamic, bool sequence)
        : audienceID_(audienceID),
          filterID_(filterID),
          eventName_(std::move(eventName)),
          data_(std::move(data)),
          sessionScoped_(sessionScoped),
          dynamic_(dynamic),
          sequence_(sequence) {}

    std::int32_t audienceID_;
    std::int32_t filterID_;
    std::string eventName_;
    NanoBytes data_;
    bool sessionScoped_;
    bool dynamic_;
    bool sequence_;
};

// One user-property filter of an audience: `data` is the serialised
// PropertyFilter message, `propertyName` its internal property name.
class MSRPropertyFilter {
public:
    static MSRPropertyFilter initWithAudienceID(std::int32_t audienceID, std::int32_t filterID,
                                                std::string propertyName, NanoBytes data, bool sessionScoped,
                                                bool dynamic, bool sequence) {
        return MSRPropertyFilter(audienceID, filterID, std::move(propertyName), std::move(data), sessionScoped,
                                 dynamic, sequence);
    }

    std::int32_t audienceID() const { return audienceID_; }
    std::int32_t filterID() const { return filterID_; }
    const std::string& propertyName() const { return propertyName_; }
    const NanoBytes& data() const { return data_; }
    bool isSessionScoped() const { return sessionScoped_; }
    bool isDynamic() const { return dynamic_; }
    bool isSequence() const { return sequence_; }

    bool operator==(const MSRPropertyFilter&) const = default;

private:
    MSRPropertyFilter(std::int32_t audienceID, std::int32_t filterID, std::string propertyName, NanoBytes data,
                      bool sessionScoped, bool dynamic, bool sequence)
        : audienceID_(audienceID),
          filterID_(filterID),
          propertyName_(std::move(propertyName)),
          data_(std::move(data)),
          sessionScoped_(sessionScoped),
          dynamic_(dynamic),
          sequence_(sequence) {}

    std::int32_t audienceID_;
    std::int32_t filterID_;
    std::string propertyName_;
    NanoBytes data_;
    bool sessionScoped_;
    bool dynamic_;
    bool sequence_;
};

// One audience's evaluation state: the serialised ResultData now and at the
// last bundling. Empty bytes stand for "none" (stored as NULL).
class MSRFilterResult {
public:
    static MSRFilterResult initWithAudienceID(std::int32_t audienceID, NanoBytes currentResults,
                                              NanoBytes previousResults) {
        return MSRFilterResult(audienceID, std::move(currentResults), std::move(previousResults));
    }

    std::int32_t audienceID() const { return audienceID_; }
    const NanoBytes& currentResults() const { return currentResults_; }
    const NanoBytes& previousResults() const { return previousResults_; }

    bool operator==(const MSRFilterResult&) const = default;

private:
    MSRFilterResult(std::int32_t audienceID, NanoBytes currentResults, NanoBytes previousResults)
        : audienceID_(audienceID),
          currentResults_(std::move(currentResults)),
          previousResults_(std::move(previousResults)) {}

    std::int32_t audienceID_;
    NanoBytes currentResults_;
    NanoBytes previousResults_;
};

// The flags a stored filter message carries (session scoped, dynamic,
// sequence); all false when the bytes do not decode.
struct MSRFilterFlags {
    bool sessionScoped = false;
    bool dynamic = false;
    bool sequence = false;
};
MSRFilterFlags MSREventFilterFlagsFromData(std::span<const std::uint8_t> data);
MSRFilterFlags MSRPropertyFilterFlagsFromData(std::span<const std::uint8_t> data);

}  // namespace kit::measurement

#pragma once

#include "kit/measurement/messages/NanoMessage.h"

#include <cstdint>
#include <string>
#include <utility>

// The stored forms of audience filters and of their evaluation results: rows
// of the measurement database, immutable once made.
namespace kit::measurement {

// One event filter of an audience; `data` is the encoded EventFilter message.
class MSREventFilter {
public:
    MSREventFilter(std::int32_t audienceID, std::int32_t filterID, std::string eventName, NanoBytes data,
                   bool sessionScoped, bool dynamic, bool sequence)
        : audienceID_(audienceID),
          filterID_(filterID),
          eventName_(std::move(eventName)),
          data_(std::move(data)),
          sessionScoped_(sessionScoped),
          dynamic_(dynamic),
          sequence_(sequence) {}

    std::int32_t audienceID() const { return audienceID_; }
    std::int32_t filterID() const { return filterID_; }
    const std::string& eventName() const { return eventName_; }
    const NanoBytes& data() const { return data_; }
    bool isSessionScoped() const { return sessionScoped_; }
    bool isDynamic() const { return dynamic_; }
    bool isSequence() const { return sequence_; }

    bool operator==(const MSREventFilter&) const = default;

private:
    std::int32_t audienceID_;
    std::int32_t filterID_;
    std::string eventName_;
    NanoBytes data_;
    bool sessionScoped_;
    bool dynamic_;
    bool sequence_;
};

// One user-property filter of an audience; `data` is the encoded PropertyFilter message.
class MSRPropertyFilter {
public:
    MSRPropertyFilter(std::int32_t audienceID, std::int32_t filterID, std::string propertyName, NanoBytes data,
                      bool sessionScoped, bool dynamic, bool sequence)
        : audienceID_(audienceID),
          filterID_(filterID),
          propertyName_(std::move(propertyName)),
          data_(std::move(data)),
          sessionScoped_(sessionScoped),
          dynamic_(dynamic),
          sequence_(sequence) {}

    std::int32_t audienceID() const { return audienceID_; }
    std::int32_t filterID() const { return filterID_; }
    const std::string& propertyName() const { return propertyName_; }
    const NanoBytes& data() const { return data_; }
    bool isSessionScoped() const { return sessionScoped_; }
    bool isDynamic() const { return dynamic_; }
    bool isSequence() const { return sequence_; }

    bool operator==(const MSRPropertyFilter&) const = default;

private:
    std::int32_t audienceID_;
    std::int32_t filterID_;
    std::string propertyName_;
    NanoBytes data_;
    bool sessionScoped_;
    bool dynamic_;
    bool sequence_;
};

// The results of one audience: encoded ResultData messages, the previous
// one empty when there is none.
class MSRFilterResult {
public:
    MSRFilterResult(std::int32_t audienceID, NanoBytes currentResults, NanoBytes previousResults)
        : audienceID_(audienceID),
          currentResults_(std::move(currentResults)),
          previousResults_(std::move(previousResults)) {}

    std::int32_t audienceID() const { return audienceID_; }
    const NanoBytes& currentResults() const { return currentResults_; }
    const NanoBytes& previousResults() const { return previousResults_; }

    bool operator==(const MSRFilterResult&) const = default;

private:
    std::int32_t audienceID_;
    NanoBytes currentResults_;
    NanoBytes previousResults_;
};

}  // namespace kit::measurement

#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Heartbeats: one per UTC day and user agent, kept in a fixed ring, and the
// payload they leave the process in (the "X-halo-client" header value).
namespace kit::heartbeat {

// An instant, in seconds. Heartbeat dates are UTC midnights.
using Date = std::chrono::sys_seconds;

// Seconds between 1970-01-01 and 2001-01-01, the origin of stored dates.
inline constexpr std::int64_t kReferenceDateOffset = 978307200;
// The earliest date (year 1), as stored: it sorts before every real date.
inline constexpr std::int64_t kDistantPastSinceReference = -63114076800;
inline constexpr Date kDistantPast{std::chrono::seconds(kDistantPastSinceReference + kReferenceDateOffset)};

enum class TimePeriod : int { daily = 1 };
inline constexpr TimePeriod kAllTimePeriods[] = {TimePeriod::daily};
inline constexpr std::chrono::seconds timePeriodLength(TimePeriod) { return std::chrono::seconds(86400); }

// The first instant of the UTC day holding `instant`; never local time.
Date startOfUTCDay(std::chrono::system_clock::time_point instant);
// "yyyy-MM-dd" in UTC.
std::string utcDayText(Date date);

struct HeartbeatsPayload {
    struct UserAgentPayload {
        std::string agent;
        std::vector<Date> dates;
        bool operator==(const UserAgentPayload&) const = default;
    };

    std::vector<UserAgentPayload> userAgentPayloads;
    std::int64_t version = 2;

    bool operator==(const HeartbeatsPayload&) const = default;

    bool isEmpty() const { return userAgentPayloads.empty(); }
    // base64url without padding of the gzip-compressed compact JSON
    // {"heartbeats":[{"agent":…,"dates":["yyyy-MM-dd",…]}],"version":2}.
    std::string headerValue() const;
    static const HeartbeatsPayload& emptyPayload();
};

struct Heartbeat {
    std::string agent;
    Date date;
    std::int64_t version = 0;
    std::vector<TimePeriod> timePeriods;

    bool operator==(const Heartbeat&) const = default;
    HeartbeatsPayload makePayload() const;
};

struct RingBufferError {
    std::int64_t pushIndex = 0;
    std::int64_t endIndex = 0;
    // "Out-of-bounds push at index 31 to ring buffer withend index of 30."
    std::string description() const;
};

template <typename Element>
struct RingBuffer {
    struct PushResult {
        std::optional<Element> overwritten;
        std::optional<RingBufferError> error;
    };

    std::vector<std::optional<Element>> circularQueue;
    std::int64_t tailIndex = 0;

    RingBuffer() = default;
    explicit RingBuffer(std::size_t capacity) : circularQueue(capacity) {}

    PushResult push(Element element) {
        if (circularQueue.empty()) {
            return {};
        }
        const auto slots = static_cast<std::uint64_t>(circularQueue.size());
        if (static_cast<std::uint64_t>(tailIndex) >= slots) {
            return {std::nullopt, RingBufferError{tailIndex, static_cast<std::int64_t>(slots)}};
        }
        auto& slot = circularQueue[static_cast<std::size_t>(tailIndex)];
        std::optional<Element> former = std::move(slot);
        slot = std::move(element);
        tailIndex = static_cast<std::uint64_t>(tailIndex + 1) == slots ? 0 : tailIndex + 1;
        return {std::move(former), std::nullopt};
    }

    std::optional<Element> pop() {
        if (circularQueue.empty()) {
            return std::nullopt;
        }
        const auto slots = static_cast<std::int64_t>(circularQueue.size());
        tailIndex = tailIndex <= 0 ? slots - 1 : tailIndex - 1;
        // A damaged stored tail may still lie past the end: read nothing there.
        const auto index = static_cast<std::size_t>(tailIndex);
        if (index >= circularQueue.size()) {
            return std::nullopt;
        }
        std::optional<Element> element;
        element.swap(circularQueue.at(index));
        return element;
    }

    // The stored elements in slot order.
    std::vector<Element> elements() const {
        std::vector<Element> result;
        for (const auto& slot : circularQueue) {
            if (slot) {
                result.push_back(*slot);
            }
        }
        return result;
    }

    bool operator==(const RingBuffer&) const = default;
};

struct HeartbeatsBundle {
    std::int64_t capacity = 0;
    std::map<TimePeriod, Date> lastAddedHeartbeatDates;
    RingBuffer<Heartbeat> buffer;

    // Every period at the distant past unless given.
    explicit HeartbeatsBundle(std::int64_t capacity,
                              std::optional<std::map<TimePeriod, Date>> lastAddedHeartbeatDates = std::nullopt);

    void append(const Heartbeat& heartbeat);
    std::optional<Heartbeat> removeHeartbeat(Date date);
    HeartbeatsPayload makePayload() const;

    // The stored form; nothing when the JSON is not a whole bundle.
    std::string toJson() const;
    static std::optional<HeartbeatsBundle> fromJson(std::string_view json);

    bool operator==(const HeartbeatsBundle&) const = default;
};

}  // namespace kit::heartbeat

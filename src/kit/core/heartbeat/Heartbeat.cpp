#include "kit/core/heartbeat/Heartbeat.h"

#include "kit/core/Gzip.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kit::heartbeat {
namespace {

using Json = nlohmann::json;

std::string base64URL(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t index = 0;
    for (; index + 2 < bytes.size(); index += 3) {
        const std::uint32_t group = (bytes[index] << 16) | (bytes[index + 1] << 8) | bytes[index + 2];
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += kAlphabet[(group >> 6) & 63];
        text += kAlphabet[group & 63];
    }
    const std::size_t rest = bytes.size() - index;
    if (rest > 0) {
        std::uint32_t group = bytes[index] << 16;
        if (rest == 2) {
            group |= bytes[index + 1] << 8;
        }
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        if (rest == 2) {
            text += kAlphabet[(group >> 6) & 63];
        }
    }
    return text;
}

// Whole seconds as an integer, so that a day reads 731462400, not 731462400.0.
Json storedDate(Date date) { return date.time_since_epoch().count() - kReferenceDateOffset; }

std::optional<Date> readStoredDate(const Json& json) {
    if (!json.is_number()) {
        return std::nullopt;
    }
    const double seconds = json.get<double>();
    // Beyond a few hundred thousand years either way a date means nothing.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13) {
        return std::nullopt;
    }
    return Date(std::chrono::seconds(static_cast<std::int64_t>(std::floor(seconds)) + kReferenceDateOffset));
}

Json heartbeatJson(const Heartbeat& heartbeat) {
    Json periods = Json::array();
    for (const TimePeriod period : heartbeat.timePeriods) {
        periods.push_back(static_cast<int>(period));
    }
    return Json{{"agent", heartbeat.agent},
                {"date", storedDate(heartbeat.date)},
                {"version", heartbeat.version},
                {"timePeriods", std::move(periods)}};
}

std::optional<TimePeriod> readPeriod(const Json& json) {
    if (json.is_number_integer() && json.get<std::int64_t>() == static_cast<int>(TimePeriod::daily)) {
        return TimePeriod::daily;
    }
    return std::nullopt;
}

std::optional<Heartbeat> readHeartbeat(const Json& json) {
    if (!json.is_object() || !json.contains("agent") || !json.contains("date") || !json.contains("version") ||
        !json.contains("timePeriods")) {
        return std::nullopt;
    }
    const Json& agent = json["agent"];
    const Json& version = json["version"];
    const Json& periods = json["timePeriods"];
    const auto date = readStoredDate(json["date"]);
    if (!agent.is_string() || !version.is_number_integer() || !periods.is_array() || !date) {
        return std::nullopt;
    }
    Heartbeat heartbeat{agent.get<std::string>(), *date, version.get<std::int64_t>(), {}};
    for (const Json& entry : periods) {
        const auto period = readPeriod(entry);
        if (!period) {
            return std::nullopt;
        }
        heartbeat.timePeriods.push_back(*period);
    }
    return heartbeat;
}

}  // namespace

Date startOfUTCDay(std::chrono::system_clock::time_point instant) {
    return std::chrono::floor<std::chrono::days>(instant);
}

std::string utcDayText(Date date) {
    const std::chrono::year_month_day day(std::chrono::floor<std::chrono::days>(date));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()));
    return text;
}

// --- Payload

const HeartbeatsPayload& HeartbeatsPayload::emptyPayload() {
    static const HeartbeatsPayload empty;
    return empty;
}

std::string HeartbeatsPayload::headerValue() const {
    std::string json;
    try {
        Json heartbeats = Json::array();
        for (const UserAgentPayload& entry : userAgentPayloads) {
            Json dates = Json::array();
            for (const Date date : entry.dates) {
                dates.push_back(utcDayText(date));
            }
            heartbeats.push_back(Json{{"agent", entry.agent}, {"dates", std::move(dates)}});
        }
        json = Json{{"heartbeats", std::move(heartbeats)}, {"version", version}}.dump();
    } catch (const Json::exception&) {
        // An agent that is not UTF-8 cannot be written as JSON.
        return this == &emptyPayload() ? std::string() : emptyPayload().headerValue();
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(json.data()), json.size());
    auto compressed = lmu_dataByGzippingData(bytes);
    if (compressed && compressed.value()) {
        return base64URL(*compressed.value());
    }
    return base64URL(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

HeartbeatsPayload Heartbeat::makePayload() const { return {{{agent, {date}}}, 2}; }

std::string RingBufferError::description() const {
    return "Out-of-bounds push at index " + std::to_string(pushIndex) + " to ring buffer withend index of " +
           std::to_string(endIndex) + ".";
}

// --- Bundle

HeartbeatsBundle::HeartbeatsBundle(std::int64_t bundleCapacity, std::optional<std::map<TimePeriod, Date>> lastAdded)
    : capacity(bundleCapacity), buffer(static_cast<std::size_t>(std::max<std::int64_t>(bundleCapacity, 0))) {
    if (lastAdded) {
        lastAddedHeartbeatDates = std::move(*lastAdded);
    } else {
        for (const TimePeriod period : kAllTimePeriods) {
            lastAddedHeartbeatDates[period] = kDistantPast;
        }
    }
}

void HeartbeatsBundle::append(const Heartbeat& heartbeat) {
    if (capacity < 1) {
        return;
    }
    auto result = buffer.push(heartbeat);
    if (result.error) {
        *this = HeartbeatsBundle(capacity);
        Heartbeat replacement = heartbeat;
        std::string description = result.error->description();
        std::replace(description.begin(), description.end(), ' ', '-');
        replacement.agent += " error/" + description;
        replacement.version = 0;
        if (buffer.push(replacement).error) {
            return;
        }
        for (const TimePeriod period : replacement.timePeriods) {
            lastAddedHeartbeatDates[period] = replacement.date;
        }
        return;
    }
    if (result.overwritten) {
        for (auto& [period, date] : lastAddedHeartbeatDates) {
            if (date == result.overwritten->date) {
                date = kDistantPast;
            }
        }
    }
    for (const TimePeriod period : heartbeat.timePeriods) {
        lastAddedHeartbeatDates[period] = heartbeat.date;
    }
}

std::optional<Heartbeat> HeartbeatsBundle::removeHeartbeat(Date date) {
    std::optional<Heartbeat> removed;
    std::vector<Heartbeat> heldAside;
    // At most one pop per slot: a ring whose every slot is full would
    // otherwise be walked round for ever.
    for (std::size_t pops = 0; pops < buffer.circularQueue.size(); ++pops) {
        auto popped = buffer.pop();
        if (!popped) {
            break;
        }
        if (popped->date == date) {
            removed = std::move(popped);
            break;
        }
        heldAside.push_back(std::move(*popped));
    }
    for (auto held = heldAside.rbegin(); held != heldAside.rend(); ++held) {
        (void)buffer.push(*held);
    }
    return removed;
}

HeartbeatsPayload HeartbeatsBundle::makePayload() const {
    std::map<std::string, std::vector<Date>> datesByAgent;
    for (const Heartbeat& heartbeat : buffer.elements()) {
        datesByAgent[heartbeat.agent].push_back(heartbeat.date);
    }
    HeartbeatsPayload payload;
    for (auto& [agent, dates] : datesByAgent) {
        payload.userAgentPayloads.push_back({agent, std::move(dates)});
    }
    return payload;
}

std::string HeartbeatsBundle::toJson() const {
    Json lastAdded = Json::array();
    for (const auto& [period, date] : lastAddedHeartbeatDates) {
        lastAdded.push_back(static_cast<int>(period));
        lastAdded.push_back(storedDate(date));
    }
    Json queue = Json::array();
    for (const auto& slot : buffer.circularQueue) {
        queue.push_back(slot ? heartbeatJson(*slot) : Json(nullptr));
    }
    const Json json{{"capacity", capacity},
                    {"lastAddedHeartbeatDates", std::move(lastAdded)},
                    {"buffer", Json{{"circularQueue", std::move(queue)}, {"tailIndex", buffer.tailIndex}}}};
    // Agents come from the user agent, which is UTF-8; replace anything else
    // rather than lose the whole bundle.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<HeartbeatsBundle> HeartbeatsBundle::fromJson(std::string_view text) {
    const Json json = Json::parse(text.begin(), text.end(), nullptr, false);
    if (!json.is_object() || !json.contains("capacity") || !json.contains("lastAddedHeartbeatDates") ||
        !json.contains("buffer")) {
        return std::nullopt;
    }
    const Json& capacity = json["capacity"];
    const Json& lastAdded = json["lastAddedHeartbeatDates"];
    const Json& buffer = json["buffer"];
    // A capacity far beyond any the kit makes is damage, not a ring to allocate.
    constexpr std::int64_t kLargestCapacity = 100000;
    if (!capacity.is_number_integer() || capacity.get<std::int64_t>() > kLargestCapacity || !lastAdded.is_array() ||
        lastAdded.size() % 2 != 0 || !buffer.is_object() || !buffer.contains("circularQueue") ||
        !buffer.contains("tailIndex")) {
        return std::nullopt;
    }
    const Json& queue = buffer["circularQueue"];
    const Json& tail = buffer["tailIndex"];
    if (!queue.is_array() || !tail.is_number_integer()) {
        return std::nullopt;
    }
    std::map<TimePeriod, Date> lastAddedDates;
    for (std::size_t index = 0; index < lastAdded.size(); index += 2) {
        const auto period = readPeriod(lastAdded[index]);
        const auto date = readStoredDate(lastAdded[index + 1]);
        if (!period || !date) {
            return std::nullopt;
        }
        lastAddedDates[*period] = *date;
    }
    HeartbeatsBundle bundle(0, std::move(lastAddedDates));
    bundle.capacity = capacity.get<std::int64_t>();
    bundle.buffer.circularQueue.reserve(queue.size());
    for (const Json& slot : queue) {
        if (slot.is_null()) {
            bundle.buffer.circularQueue.emplace_back();
            continue;
        }
        auto heartbeat = readHeartbeat(slot);
        if (!heartbeat) {
            return std::nullopt;
        }
        bundle.buffer.circularQueue.emplace_back(std::move(*heartbeat));
    }
    bundle.buffer.tailIndex = tail.get<std::int64_t>();
    return bundle;
}

}  // namespace kit::heartbeat

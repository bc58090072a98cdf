#pragma once

#include "kit/core/heartbeat/Heartbeat.h"
#include "kit/core/heartbeat/HeartbeatStorage.h"

#include "platform/Clock.h"

#include <functional>
#include <memory>
#include <string_view>

namespace kit::heartbeat {

// Records at most one heartbeat per UTC day for an app identifier and hands
// the stored ones out as a payload. Its storage is shared with every other
// controller of the same identifier.
class HeartbeatController {
public:
    static constexpr std::int64_t kHeartbeatsBundleCapacity = 30;

    // `clock` is the date source; the system clock when none is given.
    explicit HeartbeatController(std::string_view id, std::shared_ptr<const platform::Clock> clock = nullptr);

    // Returns at once; the storage queue does the work.
    void log(std::string_view agent);
    // Every stored heartbeat; the ring is emptied. The last-added dates stay,
    // so a flushed day gets no second heartbeat.
    HeartbeatsPayload flush();
    // The completion runs on the storage queue.
    void flushAsync(std::function<void(HeartbeatsPayload)> completion);
    // Today's heartbeat only, removed from the store.
    HeartbeatsPayload flushHeartbeatFromToday();

private:
    Date today() const;

    std::shared_ptr<HeartbeatStorage> storage_;
    std::shared_ptr<const platform::Clock> clock_;
};

}  // namespace kit::heartbeat

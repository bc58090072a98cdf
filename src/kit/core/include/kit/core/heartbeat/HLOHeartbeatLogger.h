#pragma once

#include "kit/core/heartbeat/HeartbeatController.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kit {

// What the installations client holds a heartbeat logger as.
class HLOHeartbeatLoggerProtocol {
public:
    virtual ~HLOHeartbeatLoggerProtocol() = default;
    virtual void log() = 0;
    // 0 when no heartbeat for today was stored, else 2; today's heartbeat
    // leaves the store.
    virtual long heartbeatCodeForToday() = 0;
    // The completion runs on the heartbeat storage's queue.
    virtual void asyncHeaderValueWithCompletionHandler(std::function<void(std::optional<std::string>)> completion) = 0;
    // The "X-halo-client" value, or none when there is nothing to report.
    // Every heartbeat it reports leaves the store.
    virtual std::optional<std::string> headerValue() = 0;
};

// One per app: the daily heartbeat stamped with the kit's user agent.
class HLOHeartbeatLogger final : public HLOHeartbeatLoggerProtocol {
public:
    using UserAgentProvider = std::function<std::string()>;

    // The user agent is read afresh for each heartbeat.
    static UserAgentProvider currentUserAgentProvider();

    explicit HLOHeartbeatLogger(std::string_view appID);
    HLOHeartbeatLogger(std::string_view appID, UserAgentProvider userAgentProvider,
                       std::shared_ptr<const platform::Clock> clock = nullptr);

    void log() override;
    long heartbeatCodeForToday() override;
    void asyncHeaderValueWithCompletionHandler(std::function<void(std::optional<std::string>)> completion) override;
    std::optional<std::string> headerValue() override;

    heartbeat::HeartbeatsPayload flushHeartbeatsIntoPayload();
    void flushHeartbeatsIntoPayloadWithCompletionHandler(std::function<void(heartbeat::HeartbeatsPayload)> completion);

private:
    heartbeat::HeartbeatController heartbeatController_;
    const UserAgentProvider userAgentProvider_;  // set at creation, read-only after
};

}  // namespace kit

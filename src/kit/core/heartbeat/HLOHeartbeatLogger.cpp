#include "kit/core/heartbeat/HLOHeartbeatLogger.h"

#include "kit/core/HLOApp.h"

namespace kit {

HLOHeartbeatLogger::UserAgentProvider HLOHeartbeatLogger::currentUserAgentProvider() {
    return [] { return HLOApp::haloUserAgent(); };
}

HLOHeartbeatLogger::HLOHeartbeatLogger(std::string_view appID)
    : HLOHeartbeatLogger(appID, currentUserAgentProvider()) {}

HLOHeartbeatLogger::HLOHeartbeatLogger(std::string_view appID, UserAgentProvider userAgentProvider,
                                       std::shared_ptr<const platform::Clock> clock)
    : heartbeatController_(appID, std::move(clock)), userAgentProvider_(std::move(userAgentProvider)) {}

void HLOHeartbeatLogger::log() { heartbeatController_.log(userAgentProvider_ ? userAgentProvider_() : std::string()); }

heartbeat::HeartbeatsPayload HLOHeartbeatLogger::flushHeartbeatsIntoPayload() { return heartbeatController_.flush(); }

void HLOHeartbeatLogger::flushHeartbeatsIntoPayloadWithCompletionHandler(
    std::function<void(heartbeat::HeartbeatsPayload)> completion) {
    heartbeatController_.flushAsync(std::move(completion));
}

std::optional<std::string> HLOHeartbeatLogger::headerValue() {
    const auto payload = flushHeartbeatsIntoPayload();
    if (payload.isEmpty()) {
        return std::nullopt;
    }
    return payload.headerValue();
}

void HLOHeartbeatLogger::asyncHeaderValueWithCompletionHandler(
    std::function<void(std::optional<std::string>)> completion) {
    flushHeartbeatsIntoPayloadWithCompletionHandler(
        [completion = std::move(completion)](const heartbeat::HeartbeatsPayload& payload) {
            completion(payload.isEmpty() ? std::nullopt : std::optional<std::string>(payload.headerValue()));
        });
}

long HLOHeartbeatLogger::heartbeatCodeForToday() {
    return heartbeatController_.flushHeartbeatFromToday().isEmpty() ? 0 : 2;
}

}  // namespace kit

#pragma once

#include "kit/core/Endpoints.h"
#include "kit/measurement/support/MSRAlarm.h"

#include "platform/Expected.h"
#include "platform/concurrency/Timers.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kit {
class CurlTransport;
struct TransportResult;
}  // namespace kit

namespace kit::measurement {

class MSRPersistedConfig;
class MSRScheduler;

// The platform's source of search-ad attribution tokens. Nothing provides one
// on Linux; whatever is registered in kit::classRegistry() under
// kMSRAttributionTokenSourceClassName is used (tests register a fake).
class MSRAttributionTokenSource {
public:
    virtual ~MSRAttributionTokenSource() = default;
    // The token, or why there is none.
    virtual platform::Expected<std::string> attributionTokenWithError() = 0;
};

inline constexpr std::string_view kMSRAttributionTokenSourceClassName = "AAAttribution";
inline constexpr std::string_view kMSRSearchAdReporterAlarmName = "Search Ad campaign report alarm";
// Appended to the endpoints' attribution host.
inline constexpr std::string_view kMSRSearchAdAttributionPath = "/api/v1/";

// What the search-ad reporter takes besides its queue and configuration.
struct MSRSearchAdEnvironment {
    // Wall time of attempts and the alarm's timers; the system's when null.
    platform::SchedulingClock* clock = nullptr;
    // The first-open time in milliseconds since 1970 (below 2: none); the
    // persisted configuration's when empty.
    std::function<std::int64_t()> firstOpenTimestampMilliseconds;
    // Endpoints::current() when none.
    std::optional<kit::Endpoints> endpoints;
    // Tests: runs on the worker queue once a reply has been handled.
    std::function<void()> replyHandled;
};

// Finds out once per install whether the app came from a search-ad campaign:
// at most ten attempts, a day apart, each posting the platform's attribution
// token to the attribution host. An attributed answer logs "_cmp"; any
// answer persists the outcome, after which the reporter is not made again.
//
// The controller makes it on its worker queue, sets the enabled flag with
// measurement enablement and calls start() there. Everything but the flag
// runs on the worker queue: the alarm fires there and replies hop there.
// Destroy it on the worker queue too (its alarm is confined there).
class MSRSearchAdReporter : public std::enable_shared_from_this<MSRSearchAdReporter> {
public:
    // Nothing, with a log line, without a queue (32000) or a configuration
    // (32001); nothing after ten attempts, or once the outcome is persisted
    // (32002). The queue must outlive the reporter.
    static std::shared_ptr<MSRSearchAdReporter> initWithWorkerQueue(MSRScheduler* workerQueue,
                                                                    std::shared_ptr<MSRPersistedConfig> persistedConfig,
                                                                    MSRSearchAdEnvironment environment = {});
    ~MSRSearchAdReporter();
    MSRSearchAdReporter(const MSRSearchAdReporter&) = delete;
    MSRSearchAdReporter& operator=(const MSRSearchAdReporter&) = delete;

    // Schedules the first attempt when a token source is registered; logs
    // 32014 otherwise. On the worker queue.
    void start();

    // Any thread.
    bool isSearchAdReporterEnabled() const { return searchAdReporterEnabled_.load(); }
    void setSearchAdReporterEnabled(bool enabled) { searchAdReporterEnabled_.store(enabled); }

    // The steps, each on the worker queue.
    void scheduleSearchAdReport();
    void maybeLogIAdCampaignEvent();
    void fetchAttributionDetails();
    void requestAttributionPayloadWithToken(std::string_view token);
    void logCampaignEventWithSearchAdCampaign(bool searchAdCampaign, std::string_view campaign, std::string_view term);
    void cancelScheduling();
    std::shared_ptr<MSRAttributionTokenSource> adClientInstance() const;

    // The alarm; null once scheduling was cancelled. On the worker queue.
    const MSRAlarm* searchAdReporterAlarm() const { return searchAdReporterAlarm_.get(); }

    struct Private;
    MSRSearchAdReporter(Private, MSRScheduler& workerQueue, std::shared_ptr<MSRPersistedConfig> persistedConfig,
                        MSRSearchAdEnvironment environment);

private:
    void handleReply(const kit::TransportResult& result);
    double now() const;

    MSRScheduler& workerQueue_;
    platform::SchedulingClock& clock_;
    std::unique_ptr<MSRAlarm> searchAdReporterAlarm_;  // confined to the worker queue
    std::shared_ptr<MSRPersistedConfig> persistedConfig_;
    std::atomic<bool> searchAdReporterEnabled_{false};
    std::function<std::int64_t()> firstOpenTimestampMilliseconds_;
    std::function<void()> replyHandled_;
    kit::Endpoints endpoints_;
    // Made by the first request, on the worker queue. Destroyed first, so
    // that no reply reaches the worker queue once the reporter is gone.
    std::unique_ptr<kit::CurlTransport> transport_;
    // Guards the read and write of the persisted outcome, so only one reply
    // logs the campaign event.
    std::mutex outcomeMutex_;
};

}  // namespace kit::measurement

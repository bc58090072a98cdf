#include "kit/measurement/controller/MSRSearchAdReporter.h"

#include "../deeplinks/DeepLinkURLs.h"
#include "kit/core/WireLiterals.h"
#include "kit/core/network/CurlTransport.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MSRValue.h"
#include "kit/measurement/support/MeasurementServices.h"

#include "platform/Value.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

#include <chrono>
#include <cmath>

namespace kit::measurement {

namespace {

constexpr std::int64_t kMaximumAttempts = 10;
constexpr double kSecondsBetweenAttempts = 86400;
constexpr double kRequestTimeoutSeconds = 10;
// The attribution answer is a small JSON object.
constexpr std::size_t kMaximumReplySize = std::size_t{64} << 10;
// The service answers these IDs when it has only test data to give.
constexpr std::string_view kTestDataID = "1234567890";

struct LogLine {
    int level;
    std::uint64_t code;
    std::string_view message;
};

constexpr LogLine kNoQueue{2, 32000, "Cannot init Search Ad reporter. Queue must be provided"};
constexpr LogLine kNoPersistedConfig{2, 32001, "Cannot init Search Ad reporter. Persisted config must be provided"};
constexpr LogLine kAlreadyReportedAtInit{
    7, 32002, "Search Ad campaign attribution was already reported. Do not start Search Ad Reporter."};
constexpr LogLine kAlreadyReported{
    7, 32004, "Search Ad report not scheduled. Search Ad campaign attribution was already reported."};
constexpr LogLine kAlreadyScheduled{5, 32005, "Search Ad Campaign attribution alarm is already scheduled"};
constexpr LogLine kScheduling{7, 32006, "Scheduling Search Ad Report timer"};
constexpr LogLine kTooManyAttempts{
    5, 32007, "Search Ad Campaign attribution exceeds the max number of retries. Do not schedule again."};
constexpr LogLine kAlreadyTracked{5, 32008, "Search Ad Campaign is already tracked"};
constexpr LogLine kNoClickTimestamp{5, 32009, "Search Ad Campaign does not have click_timestamp."};
constexpr LogLine kAlreadyCanceled{5, 32013, "Search Ad Campaign attribution alarm is already canceled"};
constexpr LogLine kNoTokenSource{7, 32014,
                                 "AdServices framework is not linked. Search Ad Attribution Reporter is disabled."};
constexpr LogLine kRequestFailed{1, 32015, "Cannot send request for Search Ad campaign attribution. Error"};
constexpr LogLine kTestData{7, 32016, "Search Ad Reporter returned test data. Will retry next time."};
constexpr LogLine kNotJSON{1, 32017, "Search Ad Reporter failed to parse JSON data. Error"};
constexpr LogLine kTokenFailed{1, 32018, "Cannot send request for Search Ad campaign attribution. Error"};

template <typename... Contexts>
void log(const LogLine& line, Contexts&&... contexts) {
    MSRMeasurementMonitor().logWithLevel(line.level, line.code, line.message,
                                         MSRLogContext(std::forward<Contexts>(contexts))...);
}

// A number or text read as text; anything else reads as empty.
std::string textOf(const platform::Value::Dictionary& reply, std::string_view key) {
    const auto found = reply.find(key);
    if (found == reply.end() || !(found->second.isNumber() || found->second.isString() || found->second.isBool())) {
        return {};
    }
    return found->second.descriptionText();
}

}  // namespace

struct MSRSearchAdReporter::Private {};

std::shared_ptr<MSRSearchAdReporter> MSRSearchAdReporter::initWithWorkerQueue(
    MSRScheduler* workerQueue, std::shared_ptr<MSRPersistedConfig> persistedConfig,
    MSRSearchAdEnvironment environment) {
    if (workerQueue == nullptr) {
        log(kNoQueue);
        return nullptr;
    }
    if (persistedConfig == nullptr) {
        log(kNoPersistedConfig);
        return nullptr;
    }
    if (persistedConfig->searchAdRetryCount() >= kMaximumAttempts) {
        return nullptr;
    }
    if (persistedConfig->searchAdCampaignValue()) {
        log(kAlreadyReportedAtInit);
        return nullptr;
    }
    return std::make_shared<MSRSearchAdReporter>(Private{}, *workerQueue, std::move(persistedConfig),
                                                 std::move(environment));
}

MSRSearchAdReporter::MSRSearchAdReporter(Private, MSRScheduler& workerQueue,
                                         std::shared_ptr<MSRPersistedConfig> persistedConfig,
                                         MSRSearchAdEnvironment environment)
    : workerQueue_(workerQueue),
      clock_(environment.clock != nullptr ? *environment.clock : platform::systemSchedulingClock()),
      searchAdReporterAlarm_(
          std::make_unique<MSRAlarm>(workerQueue_.workerQueue(), kMSRSearchAdReporterAlarmName, clock_)),
      persistedConfig_(std::move(persistedConfig)),
      firstOpenTimestampMilliseconds_(std::move(environment.firstOpenTimestampMilliseconds)),
      replyHandled_(std::move(environment.replyHandled)),
      endpoints_(environment.endpoints ? std::move(*environment.endpoints) : kit::Endpoints::current()) {
    if (!firstOpenTimestampMilliseconds_) {
        firstOpenTimestampMilliseconds_ = [config = persistedConfig_] {
            return config->firstOpenTimestampMilliseconds();
        };
    }
}

MSRSearchAdReporter::~MSRSearchAdReporter() {
    // The transport first: once it is gone no reply can be on its way here.
    transport_.reset();
    searchAdReporterAlarm_.reset();
}

double MSRSearchAdReporter::now() const { return platform::secondsSince1970(clock_.now()); }

std::shared_ptr<MSRAttributionTokenSource> MSRSearchAdReporter::adClientInstance() const {
    return kit::classRegistry().lookup<MSRAttributionTokenSource>(kMSRAttributionTokenSourceClassName);
}

void MSRSearchAdReporter::start() {
    if (adClientInstance() == nullptr) {
        log(kNoTokenSource);
        return;
    }
    scheduleSearchAdReport();
}

void MSRSearchAdReporter::scheduleSearchAdReport() {
    if (searchAdReporterAlarm_ == nullptr) {
        log(kAlreadyCanceled);
        return;
    }
    if (!isSearchAdReporterEnabled()) {
        // Kept for when measurement is enabled again.
        searchAdReporterAlarm_->cancel();
        return;
    }
    if (persistedConfig_->searchAdCampaignValue()) {
        log(kAlreadyReported);
        cancelScheduling();
        return;
    }
    if (searchAdReporterAlarm_->scheduledTimestamp()) {
        log(kAlreadyScheduled);
        return;
    }
    if (persistedConfig_->searchAdRetryCount() >= kMaximumAttempts) {
        log(kTooManyAttempts);
        cancelScheduling();
        return;
    }
    log(kScheduling);
    // A day after the last attempt; at once when that is past (the first
    // attempt's stored time reads 0).
    const double delay = kSecondsBetweenAttempts - std::fabs(now() - persistedConfig_->lastSearchAdLookUpTimestamp());
    searchAdReporterAlarm_->runAfterDelay(delay, [weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->maybeLogIAdCampaignEvent();
        }
    });
}

void MSRSearchAdReporter::maybeLogIAdCampaignEvent() {
    if (adClientInstance() == nullptr) {
        return;
    }
    persistedConfig_->setLastSearchAdLookUpTimestamp(now());
    fetchAttributionDetails();
    // The next attempt is armed now; a reply that settles the attribution
    // cancels it.
    scheduleSearchAdReport();
}

void MSRSearchAdReporter::fetchAttributionDetails() {
    // Counted before asking, so that every failure counts against the limit.
    persistedConfig_->setSearchAdRetryCount(persistedConfig_->searchAdRetryCount() + 1);
    const auto source = adClientInstance();
    if (source == nullptr) {
        return;
    }
    auto token = source->attributionTokenWithError();
    if (!token) {
        log(kTokenFailed, token.error());
        return;
    }
    if (!token->empty()) {
        requestAttributionPayloadWithToken(*token);
    }
}

void MSRSearchAdReporter::requestAttributionPayloadWithToken(std::string_view token) {
    if (token.empty()) {
        return;
    }
    // Without an attribution host nothing is sent; the next attempt stays armed.
    const auto url = deeplinks::serviceURL(endpoints_.adAttributionHost, kMSRSearchAdAttributionPath, "");
    if (!url) {
        return;
    }
    if (transport_ == nullptr) {
        transport_ = std::make_unique<kit::CurlTransport>(kit::TransportOptions::fromEndpoints(endpoints_));
    }
    kit::TransportRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"cache-control", "no-cache"}, {"Content-Type", "text/plain"}};
    request.body.assign(token.begin(), token.end());
    request.timeoutInterval = kRequestTimeoutSeconds;
    request.maximumBodySize = kMaximumReplySize;
    // The completion runs on the network thread: the reply is handled on the
    // worker queue, where the alarm lives. The queue outlives the transport,
    // which the reporter drops first.
    transport_->start(
        std::move(request), [weakSelf = weak_from_this(), queue = &workerQueue_](kit::TransportResult result) {
            queue->scheduleOnWorkerQueueBlockID("MSRSearchAdReporter:reply", [weakSelf, result = std::move(result)] {
                if (const auto self = weakSelf.lock()) {
                    self->handleReply(result);
                    if (self->replyHandled_) {
                        self->replyHandled_();
                    }
                }
            });
        });
}

void MSRSearchAdReporter::handleReply(const kit::TransportResult& result) {
    if (result.error || !result.response) {
        log(kRequestFailed, result.error ? MSRLogContext(*result.error) : MSRLogContext("no response"));
        scheduleSearchAdReport();
        return;
    }
    // Only a 200 answers the question; any other status is a failed attempt,
    // whatever its body says.
    if (result.response->statusCode != 200) {
        log(kRequestFailed, result.response->statusCode);
        scheduleSearchAdReport();
        return;
    }
    const std::string_view body(reinterpret_cast<const char*>(result.data.data()), result.data.size());
    const auto json = platform::Value::fromJson(body);
    const platform::Value::Dictionary* reply = json ? json->asDictionary() : nullptr;
    if (reply == nullptr) {
        log(kNotJSON, json ? "not a JSON object" : "not JSON");
        scheduleSearchAdReport();
        return;
    }
    if (reply->empty()) {
        scheduleSearchAdReport();
        return;
    }
    const std::string campaignID = textOf(*reply, "campaignId");
    if (textOf(*reply, "adId") == kTestDataID && campaignID == kTestDataID) {
        log(kTestData);
        scheduleSearchAdReport();
        return;
    }
    const auto attribution = reply->find("attribution");
    const bool attributed = attribution != reply->end() && attribution->second.boolValue().value_or(false);
    logCampaignEventWithSearchAdCampaign(attributed, campaignID, textOf(*reply, "keywordId"));
    cancelScheduling();
}

void MSRSearchAdReporter::logCampaignEventWithSearchAdCampaign(bool searchAdCampaign, std::string_view campaign,
                                                               std::string_view term) {
    {
        std::lock_guard lock(outcomeMutex_);
        if (persistedConfig_->searchAdCampaignValue()) {
            log(kAlreadyTracked);
            return;
        }
        persistedConfig_->setSearchAdCampaignValue(platform::Value(searchAdCampaign));
    }
    if (!searchAdCampaign) {
        return;
    }
    MSRParameters parameters{
        {"source", MSRValue::initWithString(std::string(kit::kSearchAdCampaignSource))},
        {"medium", MSRValue::initWithString("search")},
    };
    if (!campaign.empty()) {
        parameters.emplace("campaign", MSRValue::initWithString(std::string(campaign)));
    }
    if (!term.empty()) {
        parameters.emplace("term", MSRValue::initWithString(std::string(term)));
    }
    const std::int64_t firstOpen = firstOpenTimestampMilliseconds_();
    if (firstOpen < 2) {
        log(kNoClickTimestamp);
    } else {
        parameters.emplace("click_timestamp", MSRValue::initWithInt64(firstOpen - 1));
    }
    MeasurementServices::current().logInternalEventWithOrigin("auto", "_cmp", parameters);
}

void MSRSearchAdReporter::cancelScheduling() {
    if (searchAdReporterAlarm_ != nullptr) {
        searchAdReporterAlarm_->cancel();
        searchAdReporterAlarm_.reset();
    }
}

}  // namespace kit::measurement

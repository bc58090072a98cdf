#include "kit/core/KitContext.h"
#include "kit/core/KitError.h"
#include "kit/core/Logger.h"
#include "kit/core/network/Network.h"

#include <cstdio>
#include <map>
#include <random>

namespace kit {

namespace {

// The fetchers in flight of a kit context, by session ID; weak, the client
// owns them. The context stops the network threads before it releases it.
struct FetcherMap {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<LMUNetworkURLSession>, std::less<>> fetchers;  // guarded by mutex
};

FetcherMap& fetcherMap() { return KitContext::current().service<FetcherMap>(); }

std::string newUUIDString() {
    std::random_device device;
    std::uniform_int_distribution<unsigned> byte(0, 255);
    unsigned char bytes[16];
    for (unsigned char& value : bytes) {
        value = static_cast<unsigned char>(byte(device));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

platform::Error networkError(int code, std::string_view context) {
    ErrorFacts facts;
    facts.userInfo.emplace(std::string(kLMUNetworkErrorContext), platform::Value(std::string(context)));
    return makeKitError(kLMUNetworkErrorDomain, code, facts);
}

}  // namespace

LMUNetworkURLSession::LMUNetworkURLSession(std::weak_ptr<LMUNetworkLoggerDelegate> loggerDelegate,
                                           CurlTransport& transport, bool backgroundNetworkEnabled)
    : sessionID_(std::string(kLMUNetworkBackgroundSessionPrefix) + "-" + newUUIDString()),
      loggerDelegate_(std::move(loggerDelegate)),
      transport_(transport),
      backgroundNetworkEnabled_(backgroundNetworkEnabled) {}

LMUNetworkURLSession::~LMUNetworkURLSession() {
    FetcherMap& map = fetcherMap();
    std::lock_guard lock(map.mutex);
    if (const auto found = map.fetchers.find(sessionID_); found != map.fetchers.end() && found->second.expired()) {
        map.fetchers.erase(found);
    }
}

std::string LMUNetworkURLSession::sessionIDFromAsyncPOSTRequest(TransportRequest request,
                                                                LMUNetworkCompletionHandler completion) {
    request.method = "POST";
    return startTransfer(std::move(request), std::move(completion));
}

std::string LMUNetworkURLSession::sessionIDFromAsyncGETRequest(TransportRequest request,
                                                               LMUNetworkCompletionHandler completion) {
    request.method = "GET";
    request.body.clear();
    return startTransfer(std::move(request), std::move(completion));
}

std::string LMUNetworkURLSession::startTransfer(TransportRequest request, LMUNetworkCompletionHandler completion) {
    // A background session would run the same foreground transfer: nothing
    // here resumes a transfer after the process ends.
    (void)backgroundNetworkEnabled_;
    {
        std::lock_guard lock(mutex_);
        completionHandler_ = completion;
    }
    {
        FetcherMap& map = fetcherMap();
        std::lock_guard lock(map.mutex);
        map.fetchers.insert_or_assign(sessionID_, weak_from_this());
    }
    const bool started = transport_.start(std::move(request), [self = shared_from_this()](TransportResult result) {
        self->taskCompleted(std::move(result));
    });
    if (!started) {
        {
            FetcherMap& map = fetcherMap();
            std::lock_guard lock(map.mutex);
            map.fetchers.erase(sessionID_);
        }
        LMUNetworkCompletionHandler handler;
        {
            std::lock_guard lock(mutex_);
            handler = std::move(completionHandler_);
            completionHandler_ = nullptr;
        }
        callCompletionHandler(handler, std::nullopt, {},
                              networkError(LMUErrorCodeNetworkSessionTaskCreation, kLMUNetworkCannotCreateSession));
        return {};
    }
    return sessionID_;
}

void LMUNetworkURLSession::taskCompleted(TransportResult result) {
    LMUNetworkCompletionHandler handler;
    {
        std::lock_guard lock(mutex_);
        handler = std::move(completionHandler_);
        completionHandler_ = nullptr;
    }
    if (result.serverTrustFailed) {
        log(kLMUNetworkLogLevelDebug, kLMUNetworkMessageCodeURLSession007,
            "Cancelling authentication challenge for host. Host", {result.host});
    }
    std::optional<platform::Error> error;
    if (!result.response) {
        error = result.error ? std::move(result.error)
                             : networkError(LMUErrorCodeNetworkEmptyResponse, kLMUNetworkEmptyResponse);
    }
    callCompletionHandler(handler, std::move(result.response), std::move(result.data), std::move(error));
    FetcherMap& map = fetcherMap();
    std::lock_guard lock(map.mutex);
    map.fetchers.erase(sessionID_);
}

void LMUNetworkURLSession::callCompletionHandler(const LMUNetworkCompletionHandler& handler,
                                                 std::optional<HTTPURLResponse> response,
                                                 std::vector<std::uint8_t> data, std::optional<platform::Error> error) {
    if (error) {
        log(kLMUNetworkLogLevelError, kLMUNetworkMessageCodeURLSession017, "Encounter network error. Code, error",
            {std::to_string(error->code()), std::string(error->what())});
    }
    if (handler) {
        handler(std::move(response), std::move(data), std::move(error));
    }
}

void LMUNetworkURLSession::log(int level, int code, std::string_view message, const LMUNetworkLogContexts& contexts) {
    if (const auto delegate = loggerDelegate_.lock()) {
        delegate->LMUNetwork_logWithLevel(level, code, message, contexts);
    }
}

void LMUNetworkURLSession::handleEventsForBackgroundURLSessionID(std::string_view sessionID,
                                                                 const std::function<void()>& completion) {
    LMULogErrorMessage(kLMULoggerSubsystem, kLMUNetworkLogSubsystemService, false,
                       platform::formatMessage("I-NET%06ld", {static_cast<int>(kLMUNetworkMessageCodeNetwork003)}),
                       "Failed to retrieve background session with ID %@ after app is relaunched.",
                       std::string(sessionID));
    if (completion) {
        completion();
    }
}

std::shared_ptr<LMUNetworkURLSession> LMUNetworkURLSession::fetcherWithSessionIdentifier(std::string_view sessionID) {
    FetcherMap& map = fetcherMap();
    std::lock_guard lock(map.mutex);
    const auto found = map.fetchers.find(sessionID);
    return found == map.fetchers.end() ? nullptr : found->second.lock();
}

}  // namespace kit

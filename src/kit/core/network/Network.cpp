#include "kit/core/network/Network.h"

#include "NetworkLines.h"
#include "kit/core/Gzip.h"
#include "kit/core/KitError.h"
#include "kit/core/Logger.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

constexpr std::string_view kNetworkLogPrefix = "Lumen/Utilities/Network";

// Logs one of the client's lines through its own logging (the delegate when set).
template <typename... Contexts>
void logLine(LMUNetwork& network, const log_lines::Line& line, Contexts&&... contexts) {
    network.LMUNetwork_logWithLevel(line.level, static_cast<int>(line.code), line.text,
                                    std::forward<Contexts>(contexts)...);
}

std::string_view levelName(int level) {
    switch (level) {
    case kLMUNetworkLogLevelError:
        return "ERROR";
    case kLMUNetworkLogLevelWarning:
        return "WARNING";
    case LMULoggerLevelNotice:
        return "NOTICE";
    case kLMUNetworkLogLevelInfo:
        return "INFO";
    case kLMUNetworkLogLevelDebug:
        return "DEBUG";
    default:
        return "UNKNOWN";
    }
}

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() && std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

void setHeader(HTTPHeaderFields& fields, std::string_view name, std::string value) {
    std::erase_if(fields, [name](const auto& field) { return equalsIgnoringCase(field.first, name); });
    fields.emplace_back(std::string(name), std::move(value));
}

std::shared_ptr<platform::Executor> executorOrMain(std::shared_ptr<platform::Executor> queue) {
    return queue ? std::move(queue) : platform::MainQueue::get();
}

}  // namespace

LMUNetwork::LMUNetwork(Token, LMUNetworkConfiguration configuration)
    : transport_(std::make_unique<CurlTransport>(std::move(configuration.transport))) {}

std::shared_ptr<LMUNetwork> LMUNetwork::initWithReachabilityHost(std::string_view host,
                                                                 LMUNetworkConfiguration configuration) {
    std::optional<LMUReachabilityApi> api = std::move(configuration.reachabilityApi);
    auto network = std::make_shared<LMUNetwork>(Token{}, std::move(configuration));
    auto checker = LMUReachabilityChecker::initWithReachabilityDelegate(network, host);
    if (!checker) {
        return nullptr;
    }
    if (api) {
        checker->setReachabilityApi(std::move(*api));
    }
    network->reachability_ = checker;
    if (!checker->start()) {
        return nullptr;
    }
    return network;
}

LMUNetwork::~LMUNetwork() {
    if (reachability_) {
        reachability_->setReachabilityDelegate({});
        reachability_->stop();
    }
    // The transport goes first of the rest: no completion runs after this.
    transport_.reset();
}

std::string LMUNetwork::postURL(std::string_view url, const LMUNetworkHeaders& headers,
                                std::span<const std::uint8_t> payload, std::shared_ptr<platform::Executor> queue,
                                bool usingBackgroundSession, LMUNetworkCompletionHandler completion,
                                std::size_t maximumBodySize) {
    if (url.empty()) {
        handleErrorWithCode(LMUErrorCodeNetworkInvalidURL, std::move(queue), std::move(completion));
        return {};
    }
    TransportRequest request;
    request.method = "POST";
    request.url = std::string(url);
    request.maximumBodySize = maximumBodySize;
    request.timeoutInterval = timeoutInterval();
    for (const auto& [name, value] : headers) {
        setHeader(request.headers, name, value);
    }
    if (!payload.empty()) {
        const auto compressed = lmu_dataByGzippingData(payload);
        if (!compressed || !compressed->has_value()) {
            handleErrorWithCode(LMUErrorCodeNetworkPayloadCompression, std::move(queue), std::move(completion));
            return {};
        }
        request.body = std::move(**compressed);
    }
    setHeader(request.headers, "Content-Length", std::to_string(request.body.size()));
    setHeader(request.headers, "Content-Type", std::string(kLMUNetworkContentType));
    setHeader(request.headers, "Content-Encoding", "gzip");
    logLine(*this, network_lines::kUploadingData, std::optional<std::string>(std::string(url)));
    return startRequest(std::move(request), std::move(queue), usingBackgroundSession, std::move(completion));
}

std::string LMUNetwork::postURL(std::string_view url, std::span<const std::uint8_t> payload,
                                std::shared_ptr<platform::Executor> queue, bool usingBackgroundSession,
                                LMUNetworkCompletionHandler completion) {
    return postURL(url, LMUNetworkHeaders{}, payload, std::move(queue), usingBackgroundSession, std::move(completion));
}

std::string LMUNetwork::getURL(std::string_view url, const LMUNetworkHeaders& headers,
                               std::shared_ptr<platform::Executor> queue, bool usingBackgroundSession,
                               LMUNetworkCompletionHandler completion, std::size_t maximumBodySize) {
    if (url.empty()) {
        handleErrorWithCode(LMUErrorCodeNetworkInvalidURL, std::move(queue), std::move(completion));
        return {};
    }
    TransportRequest request;
    request.method = "GET";
    request.url = std::string(url);
    request.maximumBodySize = maximumBodySize;
    request.timeoutInterval = timeoutInterval();
    for (const auto& [name, value] : headers) {
        setHeader(request.headers, name, value);
    }
    logLine(*this, network_lines::kDownloadingData, std::optional<std::string>(std::string(url)));
    return startRequest(std::move(request), std::move(queue), usingBackgroundSession, std::move(completion));
}

std::string LMUNetwork::startRequest(TransportRequest request, std::shared_ptr<platform::Executor> queue,
                                     bool usingBackgroundSession, LMUNetworkCompletionHandler completion) {
    auto fetcher = std::make_shared<LMUNetworkURLSession>(weak_from_this(), *transport_, usingBackgroundSession);
    const std::string sessionID = fetcher->sessionID();
    // Recorded before it starts: a fast failure completing on another
    // executor must find the entry to remove, or the client would report an
    // upload in progress for ever.
    requests_.setObject(fetcher, sessionID);
    const std::weak_ptr<LMUNetwork> weakSelf = weak_from_this();
    // The hop runs once, on the transport's network thread. It lets go of
    // the completion queue by handing it to a block on that queue: the queue
    // then ends on its own thread, never on the network thread, which the
    // queue's thread may be joining while it ends this client.
    auto hop = [weakSelf, sessionID, queue, completion = std::move(completion)](
                   std::optional<HTTPURLResponse> response, std::vector<std::uint8_t> data,
                   std::optional<platform::Error> error) mutable {
        std::shared_ptr<platform::Executor> target = executorOrMain(std::move(queue));
        if (!target) {
            return;
        }
        platform::Executor& executor = *target;
        if (weakSelf.expired()) {
            executor.async([target = std::move(target)] {});
            return;
        }
        executor.async([target = std::move(target), weakSelf, sessionID, completion = std::move(completion),
                        response = std::move(response), data = std::move(data), error = std::move(error)]() mutable {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            self->requests_.removeObjectForKey(sessionID);
            if (completion) {
                completion(std::move(response), std::move(data), std::move(error));
            }
        });
    };
    const std::string started = request.method == "POST"
                                    ? fetcher->sessionIDFromAsyncPOSTRequest(std::move(request), std::move(hop))
                                    : fetcher->sessionIDFromAsyncGETRequest(std::move(request), std::move(hop));
    if (started.empty()) {
        // The fetcher has told the caller already (code 2); a second
        // completion with code 4 would call the caller twice.
        requests_.removeObjectForKey(sessionID);
        return {};
    }
    return started;
}

void LMUNetwork::handleErrorWithCode(int code, std::shared_ptr<platform::Executor> queue,
                                     LMUNetworkCompletionHandler completion) {
    ErrorFacts facts;
    facts.userInfo.emplace(std::string(kLMUNetworkErrorContext),
                           platform::Value(std::string(kLMUNetworkFailedToCreateRequest)));
    platform::Error error = makeKitError(kLMUNetworkErrorDomain, code, facts);
    logLine(*this, network_lines::kRequestNotCreated,
            LMUNetworkLogContexts{std::to_string(code), std::string(error.what())});
    if (completion) {
        executorOrMain(std::move(queue))->async([completion = std::move(completion), error = std::move(error)] {
            completion(std::nullopt, {}, error);
        });
    }
}

bool LMUNetwork::hasUploadInProgress() const { return requests_.count() > 0; }

bool LMUNetwork::isNetworkConnected() const {
    std::lock_guard lock(mutex_);
    return isNetworkConnected_;
}

void LMUNetwork::setLoggerDelegate(std::weak_ptr<LMUNetworkLoggerDelegate> delegate) {
    if (delegate.expired()) {
        logLine(*this, network_lines::kLoggerDelegateRefused);
        return;
    }
    std::lock_guard lock(mutex_);
    loggerDelegate_ = std::move(delegate);
}

void LMUNetwork::setReachabilityDelegate(std::weak_ptr<LMUNetworkReachabilityDelegate> delegate) {
    std::lock_guard lock(mutex_);
    reachabilityDelegate_ = std::move(delegate);
}

void LMUNetwork::setIsDebugModeEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    isDebugModeEnabled_ = enabled;
}

bool LMUNetwork::isDebugModeEnabled() const {
    std::lock_guard lock(mutex_);
    return isDebugModeEnabled_;
}

void LMUNetwork::setTimeoutInterval(double seconds) {
    std::lock_guard lock(mutex_);
    timeoutInterval_ = seconds;
}

double LMUNetwork::timeoutInterval() const {
    std::lock_guard lock(mutex_);
    return std::isfinite(timeoutInterval_) && timeoutInterval_ > 0 ? timeoutInterval_ : kDefaultTransportTimeout;
}

void LMUNetwork::handleEventsForBackgroundURLSessionID(std::string_view sessionID,
                                                       const std::function<void()>& completion) {
    LMUNetworkURLSession::handleEventsForBackgroundURLSessionID(sessionID, completion);
}

void LMUNetwork::LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                         const LMUNetworkLogContexts& contexts) {
    std::shared_ptr<LMUNetworkLoggerDelegate> delegate;
    bool debugMode = false;
    {
        std::lock_guard lock(mutex_);
        delegate = loggerDelegate_.lock();
        debugMode = isDebugModeEnabled_;
    }
    if (delegate) {
        delegate->LMUNetwork_logWithLevel(level, messageCode, message, contexts);
        return;
    }
    if (!debugMode && level != kLMUNetworkLogLevelError && level != kLMUNetworkLogLevelWarning &&
        level != kLMUNetworkLogLevelInfo) {
        return;
    }
    std::string line = "<" + std::string(kNetworkLogPrefix) + "/" + std::string(levelName(level)) + "> ";
    line += message.empty() ? std::string_view("(Message was empty)") : message;
    if (!contexts.empty()) {
        line += ": ";
        for (std::size_t index = 0; index < contexts.size(); ++index) {
            if (index > 0) {
                line += ", ";
            }
            line += contexts[index].value_or("(nil)");
        }
    }
    LMULogMessageWithLevel(level, kLMULoggerSubsystem, kLMUNetworkLogSubsystemService, false,
                           platform::formatMessage("I-NET%06ld", {messageCode}), line);
}

void LMUNetwork::LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                         const std::optional<std::string>& context) {
    LMUNetwork_logWithLevel(level, messageCode, message, LMUNetworkLogContexts{context});
}

void LMUNetwork::LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message) {
    LMUNetwork_logWithLevel(level, messageCode, message, LMUNetworkLogContexts{});
}

void LMUNetwork::reachability(LMUReachabilityChecker&, LMUReachabilityStatus status) {
    std::shared_ptr<LMUNetworkReachabilityDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        isNetworkConnected_ = status == kLMUReachabilityViaWifi || status == kLMUReachabilityViaCellular;
        delegate = reachabilityDelegate_.lock();
    }
    if (delegate) {
        delegate->reachabilityDidChange();
    }
}

}  // namespace kit

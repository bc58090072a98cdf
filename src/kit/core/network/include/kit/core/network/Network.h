#pragma once

#include "kit/core/MutableDictionary.h"
#include "kit/core/network/CurlTransport.h"
#include "kit/core/network/Reachability.h"
#include "platform/Error.h"
#include "platform/concurrency/Executor.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The kit's HTTP client: gzip-compressed POSTs and plain GETs, one fetcher
// per request, completions on the caller's executor, a connected flag kept
// by reachability, and log lines through a delegate or its own logging.
namespace kit {

inline constexpr std::string_view kLMUNetworkErrorDomain = "com.lmu.network.ErrorDomain";
inline constexpr std::string_view kLMUNetworkErrorContext = "Context";

enum LMUNetworkErrorCode : int {
    LMUErrorCodeNetworkInvalidURL = 1,
    LMUErrorCodeNetworkSessionTaskCreation = 2,
    LMUErrorCodeNetworkPayloadCompression = 3,
    LMUErrorCodeNetworkRequestCreation = 4,
    LMUErrorCodeNetworkEmptyResponse = 5,
};

inline constexpr std::string_view kLMUNetworkFailedToCreateRequest = "Failed to create network request";
inline constexpr std::string_view kLMUNetworkCannotCreateSession = "Cannot create network session";
inline constexpr std::string_view kLMUNetworkEmptyResponse = "Network Error: Empty network response";

enum LMUNetworkLogLevel : int {
    kLMUNetworkLogLevelError = 3,
    kLMUNetworkLogLevelWarning = 4,
    kLMUNetworkLogLevelInfo = 6,
    kLMUNetworkLogLevelDebug = 7,
};

enum LMUNetworkMessageCode : int {
    kLMUNetworkMessageCodeNetwork000 = 900000,     // uploading
    kLMUNetworkMessageCodeNetwork001 = 900001,     // downloading
    kLMUNetworkMessageCodeNetwork002 = 900002,     // request not made
    kLMUNetworkMessageCodeNetwork003 = 900003,     // background session events
    kLMUNetworkMessageCodeNetwork004 = 900004,     // logger delegate refused
    kLMUNetworkMessageCodeURLSession007 = 901007,  // server trust refused
    kLMUNetworkMessageCodeURLSession017 = 901017,  // network error
    kLMUNetworkMessageCodeURLSession019 = 901019,  // session discarded
};

inline constexpr std::string_view kLMUNetworkLogSubsystemService = "[LMUNetwork]";
inline constexpr std::string_view kLMUNetworkBackgroundSessionPrefix = "com.lmu.network.background-upload";
inline constexpr std::string_view kLMUNetworkContentType = "application/x-www-form-urlencoded";

// Contexts of a log line; nothing prints as "(nil)".
using LMUNetworkLogContexts = std::vector<std::optional<std::string>>;

class LMUNetworkLoggerDelegate {
public:
    virtual ~LMUNetworkLoggerDelegate() = default;
    virtual void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                         const LMUNetworkLogContexts& contexts) = 0;
    virtual void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                         const std::optional<std::string>& context) = 0;
    virtual void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message) = 0;
};

class LMUNetworkReachabilityDelegate {
public:
    virtual ~LMUNetworkReachabilityDelegate() = default;
    virtual void reachabilityDidChange() = 0;
};

using LMUNetworkHeaders = std::map<std::string, std::string>;
using LMUNetworkCompletionHandler = std::function<void(
    std::optional<HTTPURLResponse> response, std::vector<std::uint8_t> data, std::optional<platform::Error> error)>;

// One request's fetcher. Its completion runs on the network thread; the
// client hops to the caller's executor.
class LMUNetworkURLSession : public std::enable_shared_from_this<LMUNetworkURLSession> {
public:
    LMUNetworkURLSession(std::weak_ptr<LMUNetworkLoggerDelegate> loggerDelegate, CurlTransport& transport,
                         bool backgroundNetworkEnabled = false);
    ~LMUNetworkURLSession();
    LMUNetworkURLSession(const LMUNetworkURLSession&) = delete;
    LMUNetworkURLSession& operator=(const LMUNetworkURLSession&) = delete;

    // "com.lmu.network.background-upload-<UUID>", made at creation.
    const std::string& sessionID() const noexcept { return sessionID_; }

    // The session ID, or empty when the transfer could not start (the
    // completion is then told with code 2).
    std::string sessionIDFromAsyncPOSTRequest(TransportRequest request, LMUNetworkCompletionHandler completion);
    std::string sessionIDFromAsyncGETRequest(TransportRequest request, LMUNetworkCompletionHandler completion);

    // No transfer outlives the process here: the events are logged (900003)
    // and `completion` runs at once.
    static void handleEventsForBackgroundURLSessionID(std::string_view sessionID,
                                                      const std::function<void()>& completion);
    static std::shared_ptr<LMUNetworkURLSession> fetcherWithSessionIdentifier(std::string_view sessionID);

private:
    std::string startTransfer(TransportRequest request, LMUNetworkCompletionHandler completion);
    void taskCompleted(TransportResult result);
    void callCompletionHandler(const LMUNetworkCompletionHandler& handler, std::optional<HTTPURLResponse> response,
                               std::vector<std::uint8_t> data, std::optional<platform::Error> error);
    void log(int level, int code, std::string_view message, const LMUNetworkLogContexts& contexts);

    const std::string sessionID_;
    const std::weak_ptr<LMUNetworkLoggerDelegate> loggerDelegate_;
    CurlTransport& transport_;  // used only while starting
    const bool backgroundNetworkEnabled_;
    std::mutex mutex_;
    LMUNetworkCompletionHandler completionHandler_;  // guarded by mutex_; cleared when called
};

// Built-in choice of transport and reachability for a client.
struct LMUNetworkConfiguration {
    TransportOptions transport;
    std::optional<LMUReachabilityApi> reachabilityApi;  // nothing: rtnetlink
};

class LMUNetwork final : public LMUNetworkLoggerDelegate,
                         public LMUReachabilityDelegate,
                         public std::enable_shared_from_this<LMUNetwork> {
public:
    // Nothing when reachability of `host` cannot start.
    static std::shared_ptr<LMUNetwork> initWithReachabilityHost(std::string_view host,
                                                                LMUNetworkConfiguration configuration = {});
    ~LMUNetwork() override;
    LMUNetwork(const LMUNetwork&) = delete;
    LMUNetwork& operator=(const LMUNetwork&) = delete;

    // The session ID, or empty when the request was not made; the
    // completion runs on `queue` (the main queue when null) in every case,
    // never on the caller's stack, unless this client is gone by then.
    // `maximumBodySize`: the longest answer body taken; a longer one (or
    // one announced longer) fails the request as a transport error.
    std::string postURL(std::string_view url, const LMUNetworkHeaders& headers, std::span<const std::uint8_t> payload,
                        std::shared_ptr<platform::Executor> queue, bool usingBackgroundSession,
                        LMUNetworkCompletionHandler completion, std::size_t maximumBodySize = kMaximumResponseBodySize);
    std::string postURL(std::string_view url, std::span<const std::uint8_t> payload,
                        std::shared_ptr<platform::Executor> queue, bool usingBackgroundSession,
                        LMUNetworkCompletionHandler completion);
    std::string getURL(std::string_view url, const LMUNetworkHeaders& headers,
                       std::shared_ptr<platform::Executor> queue, bool usingBackgroundSession,
                       LMUNetworkCompletionHandler completion, std::size_t maximumBodySize = kMaximumResponseBodySize);

    bool hasUploadInProgress() const;
    bool isNetworkConnected() const;

    // An empty or expired delegate is refused (900004) and the old one kept.
    void setLoggerDelegate(std::weak_ptr<LMUNetworkLoggerDelegate> delegate);
    void setReachabilityDelegate(std::weak_ptr<LMUNetworkReachabilityDelegate> delegate);
    void setIsDebugModeEnabled(bool enabled);
    bool isDebugModeEnabled() const;
    // Seconds; ≤ 0 or not finite means 60.
    void setTimeoutInterval(double seconds);
    double timeoutInterval() const;

    static void handleEventsForBackgroundURLSessionID(std::string_view sessionID,
                                                      const std::function<void()>& completion);

    // LMUNetworkLoggerDelegate
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                 const LMUNetworkLogContexts& contexts) override;
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                 const std::optional<std::string>& context) override;
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message) override;

    // LMUReachabilityDelegate
    void reachability(LMUReachabilityChecker& checker, LMUReachabilityStatus status) override;

private:
    struct Token {};

public:
    LMUNetwork(Token, LMUNetworkConfiguration configuration);

private:
    std::string startRequest(TransportRequest request, std::shared_ptr<platform::Executor> queue,
                             bool usingBackgroundSession, LMUNetworkCompletionHandler completion);
    void handleErrorWithCode(int code, std::shared_ptr<platform::Executor> queue,
                             LMUNetworkCompletionHandler completion);

    std::unique_ptr<CurlTransport> transport_;
    std::shared_ptr<LMUReachabilityChecker> reachability_;
    // Session ID -> fetcher in flight; safe from any thread.
    LMUMutableDictionary<std::string, std::shared_ptr<LMUNetworkURLSession>> requests_;

    mutable std::mutex mutex_;
    bool isNetworkConnected_ = false;                                     // guarded by mutex_
    bool isDebugModeEnabled_ = false;                                     // guarded by mutex_
    double timeoutInterval_ = 60;                                         // guarded by mutex_
    std::weak_ptr<LMUNetworkLoggerDelegate> loggerDelegate_;              // guarded by mutex_
    std::weak_ptr<LMUNetworkReachabilityDelegate> reachabilityDelegate_;  // guarded by mutex_
};

}  // namespace kit

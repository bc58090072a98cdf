#pragma once

#include "kit/core/Endpoints.h"

#include "platform/Error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// HTTP(S) transfers on one network thread of their own, for the kit's
// clients. Only http and https are spoken; redirects are not followed except
// 303 (as a GET) and 308 (same method and body); the peer is always checked
// against the system CAs.
namespace kit {

// Extra trust and routing, set by the endpoints resource (tests point them at
// a loopback server with a throwaway CA).
struct TransportOptions {
    std::string caFile;                  // PEM CAs trusted besides the system's; empty: none
    std::vector<std::string> connectTo;  // "HOST:PORT:CONNECT-TO-HOST:CONNECT-TO-PORT"

    // The endpoints resource's CA file and connect-to entries.
    static TransportOptions fromEndpoints(const Endpoints& endpoints) {
        return {endpoints.caFile, endpoints.connectTo};
    }
};

using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

struct HTTPURLResponse {
    int statusCode = 0;
    std::string url;                       // of the answer delivered
    HTTPHeaderFields allHeaderFields;      // as received
    long long expectedContentLength = -1;  // -1: not announced

    // The first field named `name`, compared without case.
    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const;
};

struct TransportRequest {
    std::string method = "GET";
    std::string url;
    HTTPHeaderFields headers;
    std::vector<std::uint8_t> body;
    double timeoutInterval = 60;  // seconds for the whole exchange; ≤ 0 or not finite: 60
    // A longer answer body (decoded) is a transport error; never above
    // kMaximumResponseBodySize.
    std::size_t maximumBodySize = std::size_t{64} << 20;
};

// Either a complete answer (of any status) or an error without a response.
struct TransportResult {
    std::optional<HTTPURLResponse> response;
    std::vector<std::uint8_t> data;
    std::optional<platform::Error> error;
    bool serverTrustFailed = false;  // the peer's certificate or host name was refused
    std::string host;                // the host of the last URL asked
};

// Transport failures carry curl's code and text in this domain.
inline constexpr std::string_view kLMUNetworkTransportErrorDomain = "com.lmu.network.TransportErrorDomain";
inline constexpr std::size_t kMaximumResponseBodySize = std::size_t{64} << 20;  // decoded
inline constexpr int kMaximumRedirectHops = 10;
inline constexpr double kDefaultTransportTimeout = 60;

class CurlTransport {
public:
    using Completion = std::function<void(TransportResult)>;

    explicit CurlTransport(TransportOptions options = {});
    // Drops every transfer; no completion runs once this returns.
    ~CurlTransport();
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

    // Queues the transfer. `completion` runs once, on the network thread.
    // False (and no completion) when the transport is shutting down or
    // work has stopped (platform::stopAllWork, which joins the thread and
    // leaves transfers under way for the next start).
    bool start(TransportRequest request, Completion completion);

private:
    struct Core;
    std::shared_ptr<Core> core_;  // holds the network thread
};

}  // namespace kit

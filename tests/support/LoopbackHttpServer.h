#pragma once

// An HTTP server on 127.0.0.1 for tests of code that talks to a server: it
// records every request and answers from a script per path.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform::testing {

struct RecordedRequest {
    std::string method;
    std::string path;
    std::string query;                                // the raw query, without "?"
    std::multimap<std::string, std::string> headers;  // names in lower case
    std::string body;                                 // unzipped when sent with Content-Encoding: gzip

    std::string header(const std::string& lowerCaseName) const;
};

struct ScriptedResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::chrono::milliseconds delay{0};  // before answering
    bool dropConnection = false;         // close the connection instead of sending the body
};

// A certificate and its key, PEM files (see TestCertificates.h).
struct LoopbackTlsFiles {
    std::string certificateFile;
    std::string privateKeyFile;
};

class LoopbackHttpServer {
public:
    // Listens on 127.0.0.1 at a port the system picks.
    LoopbackHttpServer();
    // The same over TLS with the given certificate.
    explicit LoopbackHttpServer(const LoopbackTlsFiles& tls);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const noexcept { return port_; }
    // "http://127.0.0.1:<port>" ("https://" over TLS)
    std::string baseUrl() const;

    // Answers for `path`, one per request in order; the last one repeats.
    void script(const std::string& path, std::vector<ScriptedResponse> responses);
    // Answers for `path` made from each request as it arrives (its body
    // already unzipped); replaces a script of that path.
    using Responder = std::function<ScriptedResponse(const RecordedRequest&)>;
    void respond(const std::string& path, Responder responder);
    // The answer for paths without a script (404 with an empty body at first).
    void setDefaultResponse(ScriptedResponse response);

    std::vector<RecordedRequest> requests() const;
    // Waits until at least `count` requests were recorded.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    struct State;
    void listen();

    std::shared_ptr<State> state_;
    int port_ = 0;
    bool tls_ = false;
};

}  // namespace platform::testing

#pragma once

// A TCP server on 127.0.0.1 for what an HTTP server library hides: the raw
// bytes a client sent (a relay in front of a real server), an answer cut
// short after its status line, a connection reset at once, a request
// that is never answered, and a body far longer than any client accepts.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform::testing {

class LoopbackRawServer {
public:
    enum class Mode {
        relay,             // forwards to 127.0.0.1:targetPort, recording what the client sent
        truncatedBody,     // reads the request head, announces 100 bytes, sends 5, closes
        reset,             // accepts and resets the connection
        hold,              // records what the client sends and never answers
        hugeDeclaredBody,  // announces 2 GiB and streams zeros until the client goes (256 MiB at most)
        endlessBody,       // announces no length and streams zeros until the client goes (256 MiB at most)
    };

    explicit LoopbackRawServer(Mode mode, int targetPort = 0);
    ~LoopbackRawServer();
    LoopbackRawServer(const LoopbackRawServer&) = delete;
    LoopbackRawServer& operator=(const LoopbackRawServer&) = delete;

    int port() const noexcept { return port_; }
    // "http://127.0.0.1:<port>"
    std::string baseUrl() const;

    // What the client sent, one entry per connection, in order of arrival.
    std::vector<std::string> clientBytes() const;
    std::size_t connectionCount() const;

private:
    struct State;
    std::shared_ptr<State> state_;
    int port_ = 0;
};

}  // namespace platform::testing

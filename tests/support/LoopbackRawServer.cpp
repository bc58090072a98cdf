#include "LoopbackRawServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace platform::testing {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

bool sendAll(int fd, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

Fd connectTo(int port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return Fd();
    }
    return fd;
}

}  // namespace

struct LoopbackRawServer::State {
    Mode mode = Mode::relay;
    int targetPort = 0;
    Fd listener;
    Fd stop{::eventfd(0, EFD_CLOEXEC)};
    std::thread acceptor;
    mutable std::mutex mutex;
    std::vector<std::string> received;  // guarded by mutex; one per connection
    std::vector<std::thread> relays;    // acceptor thread only; relayed and held connections

    void append(std::size_t connection, const char* bytes, std::size_t length) {
        std::lock_guard lock(mutex);
        received[connection].append(bytes, length);
    }

    std::size_t newConnection() {
        std::lock_guard lock(mutex);
        received.emplace_back();
        return received.size() - 1;
    }

    // Waits on `watched`, the stop event last; false once the server stops
    // or polling fails.
    bool waitForInput(pollfd* watched, nfds_t count) const {
        for (;;) {
            if (::poll(watched, count, -1) >= 0) {
                return watched[count - 1].revents == 0;
            }
            if (errno != EINTR) {
                return false;
            }
        }
    }

    // Records what the client sends until either side goes or the server
    // stops. With an upstream, forwards it and passes the answers back;
    // without one (a negative descriptor, which poll skips), never answers.
    void pass(Fd client, std::size_t connection, Fd upstream) {
        char buffer[16384];
        pollfd watched[3] = {{client.get(), POLLIN, 0}, {upstream.get(), POLLIN, 0}, {stop.get(), POLLIN, 0}};
        while (waitForInput(watched, 3)) {
            if (watched[0].revents != 0) {
                const ssize_t read = ::recv(client.get(), buffer, sizeof buffer, 0);
                if (read <= 0) {
                    return;
                }
                append(connection, buffer, static_cast<std::size_t>(read));
                if (upstream.get() >= 0 && !sendAll(upstream.get(), buffer, static_cast<std::size_t>(read))) {
                    return;
                }
            }
            if (watched[1].revents != 0) {
                const ssize_t read = ::recv(upstream.get(), buffer, sizeof buffer, 0);
                if (read <= 0 || !sendAll(client.get(), buffer, static_cast<std::size_t>(read))) {
                    return;
                }
            }
        }
    }

    // Reads and records the request head.
    void readHead(int client, std::size_t connection) {
        std::string head;
        char buffer[4096];
        pollfd watched{client, POLLIN, 0};
        while (head.find("\r\n\r\n") == std::string::npos && ::poll(&watched, 1, 2000) > 0) {
            const ssize_t read = ::recv(client, buffer, sizeof buffer, 0);
            if (read <= 0) {
                break;
            }
            head.append(buffer, static_cast<std::size_t>(read));
        }
        append(connection, head.data(), head.size());
    }

    void answerTruncated(Fd client, std::size_t connection) {
        readHead(client.get(), connection);
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100\r\nConnection: close\r\n\r\nshort";
        sendAll(client.get(), answer.data(), answer.size());
    }

    // Zeros until the client goes, the server stops or 256 MiB went out.
    void answerLong(Fd client, std::size_t connection) {
        readHead(client.get(), connection);
        const std::string head = mode == Mode::hugeDeclaredBody
                                     ? "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\nConnection: close\r\n\r\n"
                                     : "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
        if (!sendAll(client.get(), head.data(), head.size())) {
            return;
        }
        const std::string zeros(std::size_t{64} << 10, '\0');
        pollfd watched[2] = {{client.get(), POLLOUT, 0}, {stop.get(), POLLIN, 0}};
        for (std::size_t sent = 0; sent < (std::size_t{256} << 20); sent += zeros.size()) {
            if (!waitForInput(watched, 2) || (watched[0].revents & (POLLERR | POLLHUP)) != 0 ||
                !sendAll(client.get(), zeros.data(), zeros.size())) {
                return;
            }
        }
    }

    void run() {
        pollfd watched[2] = {{listener.get(), POLLIN, 0}, {stop.get(), POLLIN, 0}};
        while (waitForInput(watched, 2)) {
            Fd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client.get() < 0) {
                continue;
            }
            const std::size_t connection = newConnection();
            switch (mode) {
            case Mode::reset: {
                const linger abort{1, 0};
                ::setsockopt(client.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                break;  // closing with a zero linger sends a reset
            }
            case Mode::truncatedBody:
                answerTruncated(std::move(client), connection);
                break;
            case Mode::hugeDeclaredBody:
            case Mode::endlessBody:
                relays.emplace_back([this, connection, fd = std::make_shared<Fd>(std::move(client))]() mutable {
                    answerLong(std::move(*fd), connection);
                });
                break;
            case Mode::relay:
            case Mode::hold:
                relays.emplace_back([this, connection, fd = std::make_shared<Fd>(std::move(client))]() mutable {
                    Fd upstream = mode == Mode::relay ? connectTo(targetPort) : Fd();
                    if (mode == Mode::hold || upstream.get() >= 0) {
                        pass(std::move(*fd), connection, std::move(upstream));
                    }
                });
                break;
            }
        }
    }
};

LoopbackRawServer::LoopbackRawServer(Mode mode, int targetPort) : state_(std::make_shared<State>()) {
    State& state = *state_;
    state.mode = mode;
    state.targetPort = targetPort;
    state.listener = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (state.listener.get() < 0 || ::bind(state.listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(state.listener.get(), 256) != 0 ||
        ::getsockname(state.listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    state.acceptor = std::thread([&state] { state.run(); });
}

LoopbackRawServer::~LoopbackRawServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(state_->stop.get(), &one, sizeof one);
    state_->acceptor.join();
    for (std::thread& relay : state_->relays) {
        relay.join();
    }
}

std::string LoopbackRawServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> LoopbackRawServer::clientBytes() const {
    std::lock_guard lock(state_->mutex);
    return state_->received;
}

std::size_t LoopbackRawServer::connectionCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->received.size();
}

}  // namespace platform::testing

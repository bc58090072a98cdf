#include "kit/core/Logger.h"
#include "kit/core/network/Reachability.h"
#include "platform/concurrency/SerialQueue.h"

#include <libmnl/libmnl.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

// The reachability table on rtnetlink. The system resolver and the routes
// it would take are not consulted: a default route is the whole test, as
// the answer of the request itself is what counts.
namespace kit {

namespace {

constexpr std::string_view kReachabilityService = "[LumenUtilities/Reachability]";

struct SocketDeleter {
    void operator()(mnl_socket* socket) const noexcept { mnl_socket_close(socket); }
};
using Socket = std::unique_ptr<mnl_socket, SocketDeleter>;

bool isLoopbackHost(const std::string& host) {
    if (host == "localhost" || host.ends_with(".localhost") || host == "::1" || host == "[::1]") {
        return true;
    }
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

int collectDefaultRoute(const nlmsghdr* header, void* context) {
    const auto* route = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(header));
    if (route->rtm_dst_len == 0 && route->rtm_type == RTN_UNICAST && route->rtm_table != RT_TABLE_LOCAL) {
        *static_cast<bool*>(context) = true;
    }
    return MNL_CB_OK;
}

// Whether a default route of `family` exists; nothing when the dump fails.
std::optional<bool> hasDefaultRoute(int family) {
    Socket socket(mnl_socket_open(NETLINK_ROUTE));
    if (!socket || mnl_socket_bind(socket.get(), 0, MNL_SOCKET_AUTOPID) < 0) {
        return std::nullopt;
    }
    std::vector<char> buffer(MNL_SOCKET_BUFFER_SIZE);
    nlmsghdr* header = mnl_nlmsg_put_header(buffer.data());
    header->nlmsg_type = RTM_GETROUTE;
    header->nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    const unsigned sequence = static_cast<unsigned>(std::time(nullptr));
    header->nlmsg_seq = sequence;
    auto* route = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(header, sizeof(rtmsg)));
    route->rtm_family = static_cast<unsigned char>(family);
    if (mnl_socket_sendto(socket.get(), header, header->nlmsg_len) < 0) {
        return std::nullopt;
    }
    const unsigned portId = mnl_socket_get_portid(socket.get());
    bool found = false;
    for (;;) {
        const ssize_t received = mnl_socket_recvfrom(socket.get(), buffer.data(), buffer.size());
        if (received < 0) {
            return std::nullopt;
        }
        const int status =
            mnl_cb_run(buffer.data(), static_cast<size_t>(received), sequence, portId, collectDefaultRoute, &found);
        if (status == MNL_CB_STOP) {
            return found;
        }
        if (status < 0) {
            return std::nullopt;
        }
    }
}

LMUReachabilityFlags currentFlags() {
    const std::optional<bool> ipv4 = hasDefaultRoute(AF_INET);
    const std::optional<bool> ipv6 = hasDefaultRoute(AF_INET6);
    if (!ipv4 && !ipv6) {
        return kLMUReachabilityFlagsReachable;
    }
    return ipv4.value_or(false) || ipv6.value_or(false) ? kLMUReachabilityFlagsReachable : 0;
}

void post(const LMUReachabilityCallback& callback, LMUReachabilityFlags flags) {
    if (callback) {
        platform::MainQueue::get()->async([callback, flags] { callback(flags); });
    }
}

class NetlinkWatch {
public:
    explicit NetlinkWatch(std::string host) : host_(std::move(host)) {}
    ~NetlinkWatch() { unschedule(); }

    void setCallback(LMUReachabilityCallback callback) { callback_ = std::move(callback); }

    bool schedule() {
        if (thread_.joinable()) {
            return true;
        }
        if (isLoopbackHost(host_)) {
            post(callback_, kLMUReachabilityFlagsReachable);
            return true;
        }
        Socket socket(mnl_socket_open(NETLINK_ROUTE));
        if (!socket || mnl_socket_bind(socket.get(), RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE, MNL_SOCKET_AUTOPID) < 0) {
            LMULogWarningMessage(kLMULoggerSubsystem, kReachabilityService, false, "I-REA902006",
                                 "Cannot watch the routes (%@); reporting the network as connected",
                                 std::string(std::strerror(errno)));
            post(callback_, kLMUReachabilityFlagsReachable);
            return true;
        }
        stop_ = eventfd(0, EFD_CLOEXEC);
        if (stop_ < 0) {
            return false;
        }
        LMUReachabilityFlags flags = currentFlags();
        post(callback_, flags);
        thread_ = std::thread([this, socket = std::move(socket), flags]() mutable { watch(std::move(socket), flags); });
        return true;
    }

    bool unschedule() {
        if (thread_.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(stop_, &one, sizeof one);
            thread_.join();
        }
        if (stop_ >= 0) {
            close(stop_);
            stop_ = -1;
        }
        return true;
    }

private:
    void watch(Socket socket, LMUReachabilityFlags flags) {
        std::vector<char> buffer(MNL_SOCKET_BUFFER_SIZE);
        pollfd watched[2] = {{mnl_socket_get_fd(socket.get()), POLLIN, 0}, {stop_, POLLIN, 0}};
        for (;;) {
            if (poll(watched, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if ((watched[1].revents & POLLIN) != 0) {
                return;
            }
            if ((watched[0].revents & (POLLIN | POLLERR)) != 0) {
                // The messages only say that routes moved; the dump says where they are now.
                [[maybe_unused]] const ssize_t received =
                    mnl_socket_recvfrom(socket.get(), buffer.data(), buffer.size());
                const LMUReachabilityFlags now = currentFlags();
                if (now != flags) {
                    flags = now;
                    post(callback_, flags);
                }
            }
        }
    }

    const std::string host_;
    LMUReachabilityCallback callback_;  // set before scheduling, then read only
    int stop_ = -1;
    std::thread thread_;
};

}  // namespace

LMUReachabilityApi LMUNetlinkReachabilityApi() {
    LMUReachabilityApi api;
    api.createWithNameFn = [](const std::string& host) -> LMUReachabilityRef {
        return std::make_shared<NetlinkWatch>(host);
    };
    api.setCallbackFn = [](const LMUReachabilityRef& handle, LMUReachabilityCallback callback) {
        static_cast<NetlinkWatch*>(handle.get())->setCallback(std::move(callback));
        return true;
    };
    api.scheduleWithRunLoopFn = [](const LMUReachabilityRef& handle) {
        return static_cast<NetlinkWatch*>(handle.get())->schedule();
    };
    api.unscheduleFromRunLoopFn = [](const LMUReachabilityRef& handle) {
        return static_cast<NetlinkWatch*>(handle.get())->unschedule();
    };
    api.releaseFn = [](const LMUReachabilityRef&) {};
    return api;
}

}  // namespace kit

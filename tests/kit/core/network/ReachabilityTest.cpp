#include "NetworkTestSupport.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace kit {
namespace {

using testing::FakeReachability;
using ::testing::HasSubstr;
using testing::NetworkTest;

class CountingReachabilityDelegate final : public LMUNetworkReachabilityDelegate {
public:
    void reachabilityDidChange() override { ++changes; }
    std::atomic<int> changes{0};
};

bool anyLineHas(const std::vector<std::string>& lines, std::string_view text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(ReachabilityFlagsTest, FlagsGiveTheStatus) {
    struct Row {
        LMUReachabilityFlags flags;
        LMUReachabilityStatus status;
    };
    const LMUReachabilityFlags reachable = kLMUReachabilityFlagsReachable;
    const LMUReachabilityFlags required = kLMUReachabilityFlagsConnectionRequired;
    const Row rows[] = {
        {0, kLMUReachabilityNotReachable},
        {reachable, kLMUReachabilityViaWifi},
        {reachable | required, kLMUReachabilityNotReachable},
        {reachable | required | kLMUReachabilityFlagsConnectionOnTraffic, kLMUReachabilityViaWifi},
        {reachable | required | kLMUReachabilityFlagsConnectionOnDemand, kLMUReachabilityViaWifi},
        {reachable | required | kLMUReachabilityFlagsConnectionOnTraffic | kLMUReachabilityFlagsInterventionRequired,
         kLMUReachabilityNotReachable},
        {reachable | kLMUReachabilityFlagsInterventionRequired, kLMUReachabilityViaWifi},
        {required | kLMUReachabilityFlagsConnectionOnTraffic, kLMUReachabilityNotReachable},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LMUReachabilityChecker::statusForFlags(row.flags), row.status) << "flags " << row.flags;
    }
    EXPECT_EQ(LMUReachabilityStatusString(2), "Reachable via Wifi");
    EXPECT_EQ(LMUReachabilityStatusString(7), "Invalid reachability status 7");
}

TEST_F(NetworkTest, AChangeCallsTheDelegateOnceAndTheFlagFollows) {
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    auto delegate = std::make_shared<CountingReachabilityDelegate>();
    network->setReachabilityDelegate(delegate);
    EXPECT_FALSE(network->isNetworkConnected());

    reachability_->report(kLMUReachabilityFlagsReachable);
    EXPECT_EQ(delegate->changes.load(), 1);
    EXPECT_TRUE(network->isNetworkConnected());
    reachability_->report(kLMUReachabilityFlagsReachable);
    EXPECT_EQ(delegate->changes.load(), 1);
    reachability_->report(0);
    EXPECT_EQ(delegate->changes.load(), 2);
    EXPECT_FALSE(network->isNetworkConnected());

    network->setReachabilityDelegate({});
    reachability_->report(kLMUReachabilityFlagsReachable);
    EXPECT_EQ(delegate->changes.load(), 2);
    EXPECT_TRUE(network->isNetworkConnected());
}

TEST_F(NetworkTest, ReleasingTheClientStopsItsChecker) {
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    network.reset();
    EXPECT_EQ(reachability_->released, 1);
    reachability_->report(kLMUReachabilityFlagsReachable);  // nothing left to call
}

TEST_F(NetworkTest, EmptyHostOrFailedStartGivesNoClient) {
    LMUNetworkConfiguration configuration;
    configuration.reachabilityApi = testing::fakeReachabilityApi(reachability_);
    EXPECT_FALSE(LMUNetwork::initWithReachabilityHost("", configuration));
    EXPECT_TRUE(anyLineHas(drainLines(), "I-REA902001"));

    reachability_->failSchedule = true;
    EXPECT_FALSE(LMUNetwork::initWithReachabilityHost("collect.test.invalid", configuration));
    EXPECT_TRUE(anyLineHas(drainLines(), "I-REA902002"));
    EXPECT_EQ(reachability_->released, 1);
}

TEST_F(NetworkTest, ChangingTheTableWhileActiveIsRefused) {
    auto delegate = std::shared_ptr<LMUReachabilityDelegate>();
    auto checker = LMUReachabilityChecker::initWithReachabilityDelegate(delegate, "collect.test.invalid");
    ASSERT_TRUE(checker);
    auto first = std::make_shared<FakeReachability>();
    checker->setReachabilityApi(testing::fakeReachabilityApi(first));
    ASSERT_TRUE(checker->start());
    EXPECT_TRUE(checker->isActive());
    auto second = std::make_shared<FakeReachability>();
    checker->setReachabilityApi(testing::fakeReachabilityApi(second));
    EXPECT_TRUE(anyLineHas(drainLines(), "I-REA902000"));
    first->report(kLMUReachabilityFlagsReachable);
    EXPECT_EQ(checker->reachabilityStatus(), kLMUReachabilityViaWifi);
    checker->stop();
    EXPECT_FALSE(checker->isActive());
    EXPECT_EQ(checker->reachabilityStatus(), kLMUReachabilityUnknown);
    checker->setReachabilityApi(testing::fakeReachabilityApi(second));
    ASSERT_TRUE(checker->start());
    EXPECT_EQ(second->created, 1);
}

// A delegate that remembers the last status, for the real table.
class StatusDelegate final : public LMUReachabilityDelegate {
public:
    void reachability(LMUReachabilityChecker&, LMUReachabilityStatus status) override { last = status; }
    std::atomic<int> last{kLMUReachabilityUnknown};

    bool waitFor(int status, std::chrono::milliseconds timeout) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (last.load() == status) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return last.load() == status;
    }
};

bool writeFile(const char* path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    return static_cast<bool>(file.flush());
}

// In a network namespace of its own (first thing, while the process has one
// thread): no default route, then one added with `ip`.
TEST(NetlinkReachabilityTest, FollowsTheDefaultRoute) {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        GTEST_SKIP() << "no network namespace here: " << std::strerror(errno);
    }
    ASSERT_TRUE(writeFile("/proc/self/setgroups", "deny"));
    ASSERT_TRUE(writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1"));
    ASSERT_TRUE(writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"));

    auto delegate = std::make_shared<StatusDelegate>();
    auto checker = LMUReachabilityChecker::initWithReachabilityDelegate(delegate, "collect.test.invalid");
    ASSERT_TRUE(checker);
    ASSERT_TRUE(checker->start());
    EXPECT_TRUE(delegate->waitFor(kLMUReachabilityNotReachable, std::chrono::seconds(60)));
    EXPECT_EQ(checker->reachabilityStatus(), kLMUReachabilityNotReachable);

    ASSERT_EQ(std::system("ip link set lo up && ip route add default dev lo"), 0);
    EXPECT_TRUE(delegate->waitFor(kLMUReachabilityViaWifi, std::chrono::seconds(60)));
    EXPECT_EQ(checker->reachabilityStatus(), kLMUReachabilityViaWifi);
    checker->stop();
}

TEST(NetlinkReachabilityTest, LoopbackHostIsReachable) {
    auto delegate = std::make_shared<StatusDelegate>();
    auto checker = LMUReachabilityChecker::initWithReachabilityDelegate(delegate, "127.0.0.1");
    ASSERT_TRUE(checker);
    ASSERT_TRUE(checker->start());
    EXPECT_TRUE(delegate->waitFor(kLMUReachabilityViaWifi, std::chrono::seconds(60)));
}

}  // namespace
}  // namespace kit

#include "platform/concurrency/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(NotificationCenterTest, FiltersByNameAndSender) {
    const int senderA = 0;
    const int senderB = 0;
    struct Case {
        const char* observedName;
        const void* observedSender;
        const char* postedName;
        const void* postedSender;
        bool delivered;
    };
    const Case cases[] = {
        {"ready", nullptr, "ready", &senderA, true},  {"ready", nullptr, "ready", nullptr, true},
        {"ready", &senderA, "ready", &senderA, true}, {"ready", &senderA, "ready", &senderB, false},
        {"ready", &senderA, "ready", nullptr, false}, {"ready", nullptr, "other", nullptr, false},
        {"", nullptr, "anything", &senderB, true},    {"", &senderB, "anything", &senderA, false},
    };
    for (const auto& item : cases) {
        NotificationCenter center;
        int calls = 0;
        Value seenInfo;
        center.addObserver(item.observedName, item.observedSender, [&](const Notification& notification) {
            ++calls;
            seenInfo = notification.userInfo;
        });
        center.post(item.postedName, item.postedSender, Value(Value::Dictionary{{"key", Value("value")}}));
        EXPECT_EQ(calls, item.delivered ? 1 : 0) << item.observedName << " / " << item.postedName;
        if (item.delivered) {
            EXPECT_EQ(seenInfo, Value(Value::Dictionary{{"key", Value("value")}}));
        }
    }
}

TEST(NotificationCenterTest, AnObserverMayRemoveItselfOrOthersWhileCalled) {
    NotificationCenter center;
    std::vector<int> calls;
    NotificationCenter::Token first = 0;
    NotificationCenter::Token second = 0;
    first = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back(1);
        center.removeObserver(first);
        center.removeObserver(second);
    });
    second = center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back(2); });
    center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back(3); });
    center.post("n");
    center.post("n");
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 3}));
}

TEST(NotificationCenterTest, PostingWhileObserversComeAndGoOnOtherThreads) {
    NotificationCenter center;
    std::atomic<int> delivered{0};
    std::atomic<bool> calledAfterRemoval{false};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            while (!stop) {
                center.post("tick");
            }
        });
    }
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 500; ++round) {
                auto removed = std::make_shared<std::atomic<bool>>(false);
                const auto token = center.addObserver("tick", nullptr, [&, removed](const Notification&) {
                    calledAfterRemoval = calledAfterRemoval || removed->load();
                    ++delivered;
                });
                std::this_thread::yield();
                center.removeObserver(token);
                removed->store(true);
            }
        });
    }
    for (std::size_t i = 4; i < threads.size(); ++i) {
        threads[i].join();
    }
    stop = true;
    for (std::size_t i = 0; i < 4; ++i) {
        threads[i].join();
    }
    EXPECT_FALSE(calledAfterRemoval);
}

}  // namespace
}  // namespace platform

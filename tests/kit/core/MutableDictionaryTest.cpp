#include "kit/core/MutableDictionary.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace kit {
namespace {

TEST(MutableDictionaryTest, ReadsSeeTheirThreadsWrites) {
    LMUMutableDictionary<> dictionary;
    dictionary.setObject(platform::Value("one"), "a");
    dictionary.setObjectForKeyedSubscript(platform::Value(2), "b");
    EXPECT_EQ(dictionary.objectForKey("a"), platform::Value("one"));
    EXPECT_EQ(dictionary.objectForKeyedSubscript(std::string("b")), platform::Value(2));
    EXPECT_EQ(dictionary.count(), 2U);
    dictionary.setObjectForKeyedSubscript(std::nullopt, "a");
    EXPECT_EQ(dictionary.objectForKey("a"), std::nullopt);
    auto copy = dictionary.dictionary();
    dictionary.removeAllObjects();
    EXPECT_EQ(copy.size(), 1U);
    EXPECT_EQ(dictionary.count(), 0U);
}

TEST(MutableDictionaryTest, ManyThreadsAtOnce) {
    LMUMutableDictionary<std::string, int> dictionary;
    constexpr int kThreads = 8;
    constexpr int kKeys = 500;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            for (int key = 0; key < kKeys; ++key) {
                const std::string name = std::to_string(thread) + "." + std::to_string(key);
                dictionary.setObject(key, name);
                EXPECT_EQ(dictionary.objectForKey(name), key);
                if (key % 2 == 1) {
                    dictionary.removeObjectForKey(name);
                }
                (void)dictionary.dictionary();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(dictionary.count(), static_cast<std::size_t>(kThreads * kKeys / 2));
}

}  // namespace
}  // namespace kit

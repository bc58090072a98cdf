#include "platform/Random.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <set>
#include <thread>
#include <unordered_set>
#include <vector>

namespace platform {
namespace {

// Replays a fixed list of words, so the rejection step can be seen.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<std::uint64_t> words) : words_(std::move(words)) {}
    std::uint64_t next() override { return words_.at(position_++); }
    std::size_t used() const { return position_; }

private:
    std::vector<std::uint64_t> words_;
    std::size_t position_ = 0;
};

TEST(RandomTest, BelowStaysInRangeAndCoversIt) {
    SeededRandom random(7);
    for (std::uint64_t bound : {1ULL, 2ULL, 3ULL, 10ULL, 1000ULL, (1ULL << 63) + 5}) {
        std::set<std::uint64_t> seen;
        for (int i = 0; i < 2000; ++i) {
            const auto value = random.below(bound);
            ASSERT_LT(value, bound);
            seen.insert(value);
        }
        if (bound <= 10) {
            EXPECT_EQ(seen.size(), bound) << "bound " << bound;
        }
    }
}

TEST(RandomTest, BelowRejectsTheBiasedLowRange) {
    // For n = 3 the threshold is 2^64 mod 3 = 1: a word whose product has a
    // low half of 0 is drawn again.
    ScriptedRandom random({0, UINT64_MAX});
    EXPECT_EQ(random.below(3), 2u);
    EXPECT_EQ(random.used(), 2u);
}

TEST(RandomTest, UnitAndRangeAreHalfOpen) {
    ScriptedRandom top({UINT64_MAX, UINT64_MAX, 0});
    EXPECT_LT(top.unit(), 1.0);
    EXPECT_LT(top.inRange(5.0, 6.0), 6.0);
    EXPECT_EQ(top.inRange(5.0, 6.0), 5.0);
    SeededRandom random(3);
    EXPECT_EQ(random.inRange(2.0, 2.0), 2.0);
    for (int i = 0; i < 10000; ++i) {
        const double value = random.inRange(-1.0, 1.0);
        ASSERT_GE(value, -1.0);
        ASSERT_LT(value, 1.0);
    }
}

TEST(RandomTest, SeedsReplayAndDiffer) {
    SeededRandom first(42), second(42), other(43);
    std::array<std::uint64_t, 8> a{}, b{}, c{};
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = first.next();
        b[i] = second.next();
        c[i] = other.next();
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);

    SystemRandom system1, system2;
    EXPECT_NE(system1.next(), system2.next());
}

TEST(RandomTest, SystemSourceIsSharedSafelyBetweenThreads) {
    // A source fetched on one thread and drawn from on many, as a generation
    // context does. A torn buffer shows up as repeated words.
    RandomSource& shared = systemRandom();
    constexpr int kThreads = 8;
    constexpr int kDraws = 5000;
    std::vector<std::vector<std::uint64_t>> drawn(kThreads);
    std::vector<const RandomSource*> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            seen[t] = &systemRandom();
            for (int i = 0; i < kDraws; ++i) {
                drawn[t].push_back(shared.next());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::unordered_set<std::uint64_t> distinct;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(seen[t], &shared) << "one source for the whole process";
        distinct.insert(drawn[t].begin(), drawn[t].end());
    }
    EXPECT_EQ(distinct.size(), std::size_t{kThreads} * kDraws);
}

TEST(RandomTest, ForkedChildDoesNotReplayTheParentsWords) {
    SystemRandom own;
    struct Case {
        const char* name;
        RandomSource* source;
    };
    const Case cases[] = {{"systemRandom()", &systemRandom()}, {"SystemRandom", &own}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        item.source->next();  // the buffer is now full of unread words
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const int status = testing::runInChild([&] {
            const std::uint64_t word = item.source->next();
            return ::write(pipe[1], &word, sizeof word) == sizeof word ? 0 : 3;
        });
        ::close(pipe[1]);
        std::uint64_t childWord = 0;
        const ssize_t got = ::read(pipe[0], &childWord, sizeof childWord);
        ::close(pipe[0]);
        ASSERT_EQ(status, 0);
        ASSERT_EQ(got, static_cast<ssize_t>(sizeof childWord));
        EXPECT_NE(childWord, item.source->next());
    }
}

// Our errors, never the standard library's: a bound with no value below it,
// and a system without random bytes (getrandom refused by a filter here).
TEST(RandomTest, FailuresAreOurErrors) {
    SeededRandom seeded(1);
    try {
        seeded.below(0);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_TRUE(error.is(RandomSourceError::invalidBound)) << error.domain() << " " << error.code();
    }
#if defined(__x86_64__)
    const int status = testing::runInChild([] {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_getrandom, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
        };
        if (!testing::installSeccompFilter(filter)) {
            return 77;
        }
        SystemRandom random;
        try {
            random.next();
        } catch (const Error& error) {
            const Error* reason = error.underlyingError();
            return error.is(RandomSourceError::unavailable) && reason != nullptr &&
                           reason->domain() == kPOSIXErrorDomain && reason->code() == ENOSYS
                       ? 0
                       : 2;
        }
        return 3;
    });
    if (status == 77) {
        GTEST_SKIP() << "cannot install a seccomp filter here";
    }
    EXPECT_EQ(status, 0);
#endif
}

}  // namespace
}  // namespace platform

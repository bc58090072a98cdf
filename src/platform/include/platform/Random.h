#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace platform {

// Source of uniformly distributed 64-bit words. Every random draw in the
// product goes through one of these so that tests and `--seed` can replay it.
class RandomSource {
public:
    virtual ~RandomSource() = default;

    // A uniform 64-bit word. Throws platform::Error (RandomSourceError) when
    // the source has no words to give.
    virtual std::uint64_t next() = 0;

    // A uniform integer in [0, n) by multiply-and-reject; n must be at least 1
    // (RandomSourceError::invalidBound otherwise).
    std::uint64_t below(std::uint64_t n);

    // A uniform double in [0, 1) with 53 random bits.
    double unit();

    // A uniform double in [low, high); gives low when high <= low.
    double inRange(double low, double high);
};

// Words from the operating system (getrandom), buffered per instance. Safe
// to share between threads; a forked child refills rather than replaying
// the words its parent still holds.
class SystemRandom final : public RandomSource {
public:
    std::uint64_t next() override;

private:
    friend RandomSource& systemRandom();

    static constexpr int kBufferWords = 64;
    std::mutex mutex_;  // guards the fields below
    std::uint64_t buffer_[kBufferWords] = {};
    int available_ = 0;
    pid_t filledBy_ = 0;
};

// xoshiro256** seeded through splitmix64: fast and replayable.
class SeededRandom final : public RandomSource {
public:
    explicit SeededRandom(std::uint64_t seed);
    std::uint64_t next() override;

private:
    std::uint64_t state_[4];
};

// The process's OS-backed source, safe to use from any thread.
RandomSource& systemRandom();

// A seeded source when a seed is given, else the OS source.
std::unique_ptr<RandomSource> makeRandomSource(const std::uint64_t* seed);

}  // namespace platform

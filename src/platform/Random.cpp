#include "platform/Random.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace platform {

std::uint64_t RandomSource::below(std::uint64_t n) {
    if (n == 0) {
        throw Error(RandomSourceError::invalidBound, "A random draw below 0 has no value to give.");
    }
    // Lemire's method: the high word of w * n is uniform once the biased low
    // range is rejected.
    const std::uint64_t threshold = (0 - n) % n;
    while (true) {
        const unsigned __int128 product = static_cast<unsigned __int128>(next()) * n;
        if (static_cast<std::uint64_t>(product) >= threshold) {
            return static_cast<std::uint64_t>(product >> 64);
        }
    }
}

double RandomSource::unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double RandomSource::inRange(double low, double high) {
    if (!(high > low)) {
        return low;
    }
    const double value = low + unit() * (high - low);
    // Rounding can land on the excluded end when the range is wide.
    return value < high ? value : low;
}

namespace {

// getpid() is a system call on every use; a copy kept current by a fork
// handler tells a forked child from its parent at the cost of a load.
std::atomic<pid_t> cachedProcessId{0};

void refreshProcessId() { cachedProcessId.store(::getpid(), std::memory_order_relaxed); }

pid_t currentProcessId() {
    static const bool registered [[maybe_unused]] = [] {
        refreshProcessId();
        ::pthread_atfork(nullptr, nullptr, refreshProcessId);
        return true;
    }();
    return cachedProcessId.load(std::memory_order_relaxed);
}

}  // namespace

std::uint64_t SystemRandom::next() {
    std::lock_guard lock(mutex_);
    // After fork() parent and child hold the same words: the child (new pid)
    // throws its copy away.
    const pid_t self = currentProcessId();
    if (available_ == 0 || filledBy_ != self) {
        auto* bytes = reinterpret_cast<unsigned char*>(buffer_);
        std::size_t filled = 0;
        while (filled < sizeof buffer_) {
            const ssize_t got = getrandom(bytes + filled, sizeof buffer_ - filled, 0);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                const Error reason = posixError(errno);
                throw Error(RandomSourceError::unavailable,
                            std::string("No random bytes from the system: ") + reason.what(), reason);
            }
            filled += static_cast<std::size_t>(got);
        }
        available_ = kBufferWords;
        filledBy_ = self;
    }
    const std::uint64_t word = buffer_[--available_];
    buffer_[available_] = 0;
    return word;
}

namespace {

std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint64_t rotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

SeededRandom::SeededRandom(std::uint64_t seed) {
    for (auto& word : state_) {
        word = splitmix64(seed);
    }
}

std::uint64_t SeededRandom::next() {
    const std::uint64_t result = rotateLeft(state_[1] * 5, 7) * 9;
    const std::uint64_t shifted = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= shifted;
    state_[3] = rotateLeft(state_[3], 45);
    return result;
}

RandomSource& systemRandom() {
    static SystemRandom& source = *new SystemRandom();
    // A fork while another thread holds the lock would leave it locked in
    // the child for good; holding it across fork() rules that out.
    static const bool forkSafe [[maybe_unused]] = [] {
        ::pthread_atfork([] { source.mutex_.lock(); }, [] { source.mutex_.unlock(); }, [] { source.mutex_.unlock(); });
        return true;
    }();
    return source;
}

std::unique_ptr<RandomSource> makeRandomSource(const std::uint64_t* seed) {
    if (seed != nullptr) {
        return std::make_unique<SeededRandom>(*seed);
    }
    return std::make_unique<SystemRandom>();
}

}  // namespace platform

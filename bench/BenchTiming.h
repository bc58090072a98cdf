#pragma once

#include <sys/resource.h>

#include <chrono>

// Measuring helpers with no dependency, so the kit's benchmarks can use them.
namespace bench {

// Peak resident memory of this process so far, in megabytes.
inline double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Seconds taken by `work`.
template <typename Work>
double secondsFor(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bench

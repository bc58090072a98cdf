#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

// A scratch folder on the file system of the build tree (not tmpfs), so
// that figures compare with dd on the same disk.
inline std::filesystem::path scratchFolder(const char* name) {
    std::filesystem::path folder = std::filesystem::current_path() / (std::string(".bench-") + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace bench

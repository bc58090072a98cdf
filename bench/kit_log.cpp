// The caller's cost of the kit's log lines: a line below the maximum level,
// dropped before its arguments are even converted, and a written line,
// formatted on the caller and handed to the output queue.

#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "platform/Log.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

class DiscardSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

template <typename Work>
double nanosecondsPerCall(long calls, Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    for (long call = 0; call < calls; ++call) {
        work(call);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(calls);
}

}  // namespace

int main() {
    // Settings of the benchmark's own, never the user's.
    const auto home = std::filesystem::temp_directory_path() / "stubforge-bench-kit-log";
    std::filesystem::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    kit::setLaunchArguments({"bench-kit-log"});
    kit::LMULoggerInstallSink(std::make_shared<DiscardSink>());
    kit::HLOLoggerEnsureSetUp();
    kit::HLOSetLoggerLevelToNotice();

    constexpr long kSuppressed = 50'000'000;
    const double suppressed = nanosecondsPerCall(kSuppressed, [](long call) {
        kit::HLOLogDebugMessage("[HaloCore]", "I-COR000099", "dropped line %ld of %@", call, "the benchmark");
    });

    constexpr long kWritten = 500'000;
    const auto start = std::chrono::steady_clock::now();
    const double written = nanosecondsPerCall(kWritten, [](long call) {
        kit::HLOLogNoticeMessage("[HaloCore]", "I-COR000099", "written line %ld of %@", call, "the benchmark");
    });
    kit::LMULoggerFlush();
    const double drained =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / kWritten;

    std::printf("suppressed line: %.2f ns per call (aim: <= 5 ns)\n", suppressed);
    std::printf("written line: %.0f ns per call on the caller (aim: <= 2000 ns)\n", written);
    std::printf("written line through the queue to the sink: %.0f ns per line\n", drained);
    std::filesystem::remove_all(home);
    return 0;
}

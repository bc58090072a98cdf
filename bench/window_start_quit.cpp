// The program's start and idle quit, the program run whole as a child
// process on the offscreen platform (stubforge-window-run "wait") over
// folders of its own: the time from launch to the window being shown (its
// "window shown" line), and, once the kit has settled, the time from the
// Quit command to the end of the process. One unmeasured run first makes the
// stores, as on any launch after the first. Prints the median of each over
// the runs, with the targets and the machine's load.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRuns = 10;
constexpr const char* kShownLine = "stubforge-window-run: window shown";
// Long enough for the kit's start to finish, so the quit finds it idle.
constexpr auto kSettle = 2s;
// A run that takes longer than this has failed.
constexpr auto kCeiling = 60s;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench-window-start-quit: %s\n", what.c_str());
    std::exit(1);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream stream(path);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

struct Figures {
    double visible = 0;
    double quit = 0;
};

// One launch: the child's stdin is a pipe whose closing asks for Quit.
Figures runOnce(const std::filesystem::path& folder, int index) {
    const std::filesystem::path log = folder / ("run-" + std::to_string(index) + ".log");
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0) {
        fail("pipe2 failed");
    }
    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (output < 0) {
        fail("cannot open " + log.string());
    }
    const auto launched = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        ::execl(STUBFORGE_WINDOW_RUN, STUBFORGE_WINDOW_RUN, "wait", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output);
    if (child < 0) {
        fail("fork failed");
    }

    Figures figures;
    while (readFile(log).find(kShownLine) == std::string::npos) {
        if (Clock::now() - launched > kCeiling || ::waitpid(child, nullptr, WNOHANG) == child) {
            ::kill(child, SIGKILL);
            fail("the window was never shown:\n" + readFile(log));
        }
        std::this_thread::sleep_for(1ms);
    }
    figures.visible = seconds(Clock::now() - launched);

    std::this_thread::sleep_for(kSettle);
    const auto quitting = Clock::now();
    ::close(input[1]);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) != child) {
        if (Clock::now() - quitting > kCeiling) {
            ::kill(child, SIGKILL);
            fail("the program did not quit:\n" + readFile(log));
        }
        std::this_thread::sleep_for(1ms);
    }
    figures.quit = seconds(Clock::now() - quitting);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail("the program ended with status " + std::to_string(status) + ":\n" + readFile(log));
    }
    return figures;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench-window-start-quit-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    for (const char* name : {"home", "data", "config", "cache", "runtime"}) {
        std::filesystem::create_directories(folder / name);
    }
    std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all);
    ::setenv("HOME", (folder / "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (folder / "runtime").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    runOnce(folder, 0);
    std::vector<double> visible;
    std::vector<double> quit;
    for (int run = 1; run <= kRuns; ++run) {
        const Figures figures = runOnce(folder, run);
        visible.push_back(figures.visible);
        quit.push_back(figures.quit);
    }
    std::filesystem::remove_all(folder);

    std::printf("machine: %s", readFile("/proc/loadavg").c_str());
    std::printf("  (load average over 1, 5, 15 min; %u cores)\n", std::thread::hardware_concurrency());
    std::printf("window shown, median of %d launches: %.3f s (target 0.5 s quiet, 1 s with every core busy)\n", kRuns,
                median(visible));
    std::printf("idle quit, median of %d quits: %.3f s (target 0.3 s quiet, 0.5 s with every core busy)\n", kRuns,
                median(quit));
    std::printf("window shown, min / max: %.3f / %.3f s; idle quit, min / max: %.3f / %.3f s\n",
                *std::min_element(visible.begin(), visible.end()), *std::max_element(visible.begin(), visible.end()),
                *std::min_element(quit.begin(), quit.end()), *std::max_element(quit.begin(), quit.end()));
    return 0;
}

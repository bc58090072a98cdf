// Runs a fuzz target without libFuzzer (GCC has none): every seed of a
// corpus folder, then random and mutated inputs from a fixed seed, for a
// bounded number of runs. Under the sanitizers a crash, a leak or undefined
// behaviour ends the run; the input that caused it is written beside the
// binary first. With clang, build with STUBFORGE_LIBFUZZER for long runs
// driven by libFuzzer itself instead.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Settings {
    std::filesystem::path corpus;
    unsigned long runs = 10'000;
    unsigned long seed = 1;
    std::size_t maxLength = 4096;
    double seconds = 60;
};

std::filesystem::path crashFile;
int crashDescriptor = -1;

// Written before each input runs, so the input behind a crash survives it.
// The file stays open: reopening it truncated on every run makes ext4 flush
// it to disk on each close, which costs milliseconds a run.
void remember(const Bytes& input) {
    if (crashDescriptor < 0) {
        crashDescriptor = ::open(crashFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    }
    if (crashDescriptor < 0 || ::ftruncate(crashDescriptor, 0) != 0) {
        return;
    }
    std::size_t done = 0;
    while (done < input.size()) {
        const ssize_t count =
            ::pwrite(crashDescriptor, input.data() + done, input.size() - done, static_cast<off_t>(done));
        if (count <= 0) {
            return;
        }
        done += static_cast<std::size_t>(count);
    }
}

void runOne(const Bytes& input) {
    remember(input);
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

Bytes mutate(Bytes input, const std::vector<Bytes>& seeds, std::mt19937_64& random, std::size_t maxLength) {
    const auto below = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(random() % n); };
    const int steps = 1 + static_cast<int>(below(4));
    for (int step = 0; step < steps; ++step) {
        switch (below(7)) {
        case 0:  // flip a bit
            if (!input.empty()) {
                input[below(input.size())] ^= static_cast<std::uint8_t>(1U << below(8));
            }
            break;
        case 1:  // set a byte to an interesting value
            if (!input.empty()) {
                static constexpr std::uint8_t kInteresting[] = {0, 1, 0x7f, 0x80, 0xff, '<', '>', '"', '\\', 0x0d};
                input[below(input.size())] = kInteresting[below(std::size(kInteresting))];
            }
            break;
        case 2:  // insert random bytes
            input.insert(input.begin() + static_cast<long>(below(input.size() + 1)), 1 + below(8),
                         static_cast<std::uint8_t>(random()));
            break;
        case 3:  // erase a run
            if (!input.empty()) {
                const std::size_t at = below(input.size());
                input.erase(input.begin() + static_cast<long>(at),
                            input.begin() + static_cast<long>(std::min(input.size(), at + 1 + below(16))));
            }
            break;
        case 4:  // truncate
            input.resize(below(input.size() + 1));
            break;
        case 5:  // splice in part of another seed
            if (!seeds.empty()) {
                const Bytes& other = seeds[below(seeds.size())];
                if (!other.empty()) {
                    const std::size_t from = below(other.size());
                    const std::size_t length = 1 + below(other.size() - from);
                    input.insert(input.begin() + static_cast<long>(below(input.size() + 1)),
                                 other.begin() + static_cast<long>(from),
                                 other.begin() + static_cast<long>(from + length));
                }
            }
            break;
        default:  // duplicate a run
            if (!input.empty()) {
                const std::size_t at = below(input.size());
                const std::size_t length = 1 + below(std::min<std::size_t>(input.size() - at, 64));
                const Bytes run(input.begin() + static_cast<long>(at), input.begin() + static_cast<long>(at + length));
                input.insert(input.begin() + static_cast<long>(below(input.size() + 1)), run.begin(), run.end());
            }
            break;
        }
    }
    if (input.size() > maxLength) {
        input.resize(maxLength);
    }
    return input;
}

bool parse(int argc, char** argv, Settings& settings) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--corpus") {
            settings.corpus = value;
        } else if (name == "--runs") {
            settings.runs = std::strtoul(value, nullptr, 10);
        } else if (name == "--seed") {
            settings.seed = std::strtoul(value, nullptr, 10);
        } else if (name == "--max-len") {
            settings.maxLength = std::strtoul(value, nullptr, 10);
        } else if (name == "--seconds") {
            settings.seconds = std::strtod(value, nullptr);
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!parse(argc, argv, settings)) {
        std::fprintf(stderr, "usage: %s [--corpus DIR] [--runs N] [--seed N] [--max-len N] [--seconds S]\n", argv[0]);
        return 2;
    }
    crashFile = std::filesystem::path(argv[0]).parent_path() /
                (std::filesystem::path(argv[0]).filename().string() + ".last-input");

    std::vector<Bytes> seeds;
    if (!settings.corpus.empty()) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(settings.corpus)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    for (const auto& seed : seeds) {
        runOne(seed);
    }

    std::mt19937_64 random(settings.seed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(settings.seconds);
    unsigned long ran = 0;
    for (; ran < settings.runs && std::chrono::steady_clock::now() < deadline; ++ran) {
        Bytes input;
        if (seeds.empty() || random() % 4 == 0) {
            input.resize(static_cast<std::size_t>(random() % (std::min<std::size_t>(settings.maxLength, 512) + 1)));
            for (auto& byte : input) {
                byte = static_cast<std::uint8_t>(random());
            }
        } else {
            input = mutate(seeds[random() % seeds.size()], seeds, random, settings.maxLength);
        }
        runOne(input);
    }
    if (crashDescriptor >= 0) {
        ::close(crashDescriptor);
    }
    std::filesystem::remove(crashFile);
    std::printf("%lu passed, 0 failed\n", static_cast<unsigned long>(seeds.size()) + ran);
    return 0;
}

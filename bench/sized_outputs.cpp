// Throughput of the sized writers against dd on the same file system, and
// the peak resident memory while they run.

#include "BenchSupport.h"

#include "stubforge/core/SizedWriters.h"

#include "platform/Paths.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kMegabytes = 1000.0;

double ddSeconds(const std::filesystem::path& folder) {
    const std::string command = "dd if=/dev/zero of='" + (folder / "dd.bin").string() +
                                "' bs=1M count=1000 conv=fsync status=none";
    const double seconds = bench::secondsFor([&] {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "dd failed\n");
        }
    });
    std::filesystem::remove(folder / "dd.bin");
    return seconds;
}

}  // namespace

int main() {
    const auto folder = bench::scratchFolder("sized-outputs");
    platform::UserDefaults defaults("bench", folder / "config");
    const auto outputFolder = folder / "out";
    std::filesystem::create_directories(outputFolder);
    defaults.set("useCustomFolder", true);
    defaults.set("customFolderPath", outputFolder.string());
    platform::SeededRandom random(1);
    const stubforge::GenerationContext context(platform::systemClock(), random, defaults, platform::Bundle::main());

    // dd's 1,000 MiB against our 1,000 MB: compare bytes per second.
    const double ddRate = 1000.0 * 1048576.0 / ddSeconds(outputFolder);
    std::printf("dd: %.0f MB/s\n", ddRate / 1e6);

    struct Writer {
        const char* name;
        std::filesystem::path (*run)(const stubforge::GenerationContext&);
    };
    const Writer writers[] = {
        {"txt", [](const stubforge::GenerationContext& c) { return stubforge::generateTXTFile("1000", kMegabytes, c); }},
        {"png", [](const stubforge::GenerationContext& c) { return stubforge::PNGGenerator.generate("1000", kMegabytes, c); }},
        {"xlsx", [](const stubforge::GenerationContext& c) { return stubforge::XLSXGenerator.generate("1000", kMegabytes, c); }},
        {"csv", [](const stubforge::GenerationContext& c) { return stubforge::CSVGenerator.generate("1000", kMegabytes, c); }},
    };
    for (const auto& writer : writers) {
        std::filesystem::path written;
        const double seconds = bench::secondsFor([&] {
            written = writer.run(context);
            // Count the flush to disk, as dd's conv=fsync does.
            std::system("sync");
        });
        const double rate = kMegabytes * 1e6 / seconds;
        std::printf("%-5s %7.2f s  %6.0f MB/s  %.2fx dd\n", writer.name, seconds, rate / 1e6, rate / ddRate);
        std::filesystem::remove(written);
    }
    std::printf("peak resident memory: %.1f MB\n", bench::peakResidentMegabytes());
    std::filesystem::remove_all(folder);
    return 0;
}

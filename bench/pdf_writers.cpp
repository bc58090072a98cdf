// Time of the dummy PDF writers: 1,000 pages by page count, and 1,000 MB by
// size against dd on the same file system, with the peak resident memory.

#include "BenchSupport.h"

#include "stubforge/pdf/PDFWriters.h"

#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Random.h"
#include "platform/UserDefaults.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kMegabytes = 1000.0;
constexpr std::int64_t kPages = 1000;

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
    const auto folder = bench::scratchFolder("pdf-writers");
    platform::UserDefaults defaults("bench", folder / "config");
    const auto outputFolder = folder / "out";
    std::filesystem::create_directories(outputFolder);
    defaults.set("useCustomFolder", true);
    defaults.set("customFolderPath", outputFolder.string());
    platform::SeededRandom random(1);
    const stubforge::GenerationContext context(platform::systemClock(), random, defaults, platform::Bundle::main());

    // The first run also loads the fonts, once per process.
    for (const char* run : {"first", "again"}) {
        std::filesystem::path written;
        const double seconds =
            bench::secondsFor([&] { written = stubforge::generatePDFByPageCount(kPages, "1000", context); });
        std::printf("%lld pages (%s): %.3f s, %.0f kB\n", static_cast<long long>(kPages), run, seconds,
                    static_cast<double>(std::filesystem::file_size(written)) / 1e3);
        std::filesystem::remove(written);
    }

    // dd's 1,000 MiB against our 1,000 MB: compare bytes per second.
    const double ddRate = 1000.0 * 1048576.0 / ddSeconds(outputFolder);
    std::printf("dd: %.0f MB/s\n", ddRate / 1e6);
    std::filesystem::path written;
    const double seconds = bench::secondsFor([&] {
        written = stubforge::generatePDFBySize("1000", stubforge::ContentType::dummy, stubforge::ContentSize::small,
                                               kMegabytes, context);
        // Count the flush to disk, as dd's conv=fsync does.
        std::system("sync");
    });
    const double rate = kMegabytes * 1e6 / seconds;
    std::printf("1000 MB by size: %.2f s  %.0f MB/s  %.2fx dd\n", seconds, rate / 1e6, rate / ddRate);
    std::filesystem::remove(written);

    std::printf("peak resident memory: %.1f MB\n", bench::peakResidentMegabytes());
    std::filesystem::remove_all(folder);
    return 0;
}

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

}  // namespace

int main() {
    const auto folder = bench::scratchFolder("pdf-writers");
    bench::WriterWorld world(folder);
    const auto& outputFolder = world.outputFolder();
    const stubforge::GenerationContext context = world.context();

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
    const double ddRate = 1000.0 * 1048576.0 / bench::ddSeconds(outputFolder);
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

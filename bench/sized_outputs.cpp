// Throughput of the sized writers against dd on the same file system, and
// the peak resident memory while they run.

#include "BenchSupport.h"

#include "stubforge/core/SizedWriters.h"

#include "platform/Paths.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kMegabytes = 1000.0;

}  // namespace

int main() {
    const auto folder = bench::scratchFolder("sized-outputs");
    bench::WriterWorld world(folder);
    const auto& outputFolder = world.outputFolder();
    const stubforge::GenerationContext context = world.context();

    // dd's 1,000 MiB against our 1,000 MB: compare bytes per second.
    const double ddRate = 1000.0 * 1048576.0 / bench::ddSeconds(outputFolder);
    std::printf("dd: %.0f MB/s\n", ddRate / 1e6);

    struct Writer {
        const char* name;
        std::filesystem::path (*run)(const stubforge::GenerationContext&);
    };
    const Writer writers[] = {
        {"txt",
         [](const stubforge::GenerationContext& c) { return stubforge::generateTXTFile("1000", kMegabytes, c); }},
        {"png",
         [](const stubforge::GenerationContext& c) { return stubforge::PNGGenerator.generate("1000", kMegabytes, c); }},
        {"xlsx",
         [](const stubforge::GenerationContext& c) {
             return stubforge::XLSXGenerator.generate("1000", kMegabytes, c);
         }},
        {"csv",
         [](const stubforge::GenerationContext& c) { return stubforge::CSVGenerator.generate("1000", kMegabytes, c); }},
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

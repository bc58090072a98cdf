// Time of each content document in its large and small forms: the first
// document of the process (fonts and locale data still to load) and again.

#include "BenchSupport.h"

#include "stubforge/core/Options.h"
#include "stubforge/pdf/PDFWriters.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main() {
    const auto folder = bench::scratchFolder("documents");
    bench::WriterWorld world(folder);
    const stubforge::GenerationContext context = world.context();

    int status = 0;
    for (const auto size : {stubforge::ContentSize::large, stubforge::ContentSize::small}) {
        for (const auto& entry : stubforge::OptionTable<stubforge::ContentType>::cases) {
            if (entry.value == stubforge::ContentType::dummy) {
                continue;
            }
            for (const char* run : {"cold", "warm"}) {
                std::filesystem::path written;
                try {
                    const double seconds = bench::secondsFor(
                        [&] { written = stubforge::generatePDFBySize("1", entry.value, size, 1.0, context); });
                    std::printf("%-15s %-5s %s: %.3f s, %.0f kB\n", std::string(entry.rawValue).c_str(),
                                std::string(stubforge::rawValue(size)).c_str(), run, seconds,
                                static_cast<double>(std::filesystem::file_size(written)) / 1e3);
                    std::filesystem::remove(written);
                } catch (const std::exception& error) {
                    std::printf("%-15s %-5s: failed: %s\n", std::string(entry.rawValue).c_str(),
                                std::string(stubforge::rawValue(size)).c_str(), error.what());
                    status = 1;
                    break;
                }
                // Only the first document of the process is cold.
                if (size == stubforge::ContentSize::small) {
                    break;
                }
            }
        }
    }
    std::printf("peak resident memory: %.1f MB\n", bench::peakResidentMegabytes());
    std::filesystem::remove_all(folder);
    return status;
}

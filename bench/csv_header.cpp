// What reading a CSV template's header costs: a 50 MB file against a file of
// the header line alone and a plain getline, and for contrast the whole
// document read.

#include "BenchSupport.h"

#include "stubforge/core/CSVUtils.h"

#include "csv/CSV.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr std::size_t kLargeBytes = 50'000'000;
constexpr int kRepeats = 50;
// As many names as the window takes.
constexpr std::size_t kMaximumNames = 250;
const std::string kHeaderLine = "id,first name,last name,email,city,amount\n";

void writeFiles(const std::filesystem::path& large, const std::filesystem::path& small) {
    std::ofstream(small, std::ios::binary) << kHeaderLine;
    std::ofstream out(large, std::ios::binary);
    out << kHeaderLine;
    std::size_t written = kHeaderLine.size();
    for (std::size_t row = 0; written < kLargeBytes; ++row) {
        const std::string line =
            std::to_string(row) + ",Ada,Lovelace,ada" + std::to_string(row) + "@example.org,\"London, UK\",12.50\n";
        out << line;
        written += line.size();
    }
}

// Best of several runs, in microseconds: the page cache is warm for all.
template <typename Work>
double bestMicroseconds(Work&& work) {
    double best = 1e30;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        best = std::min(best, bench::secondsFor(work) * 1e6);
    }
    return best;
}

}  // namespace

int main() {
    const auto folder = bench::scratchFolder("csv-header");
    const auto large = folder / "large.csv";
    const auto small = folder / "header-only.csv";
    writeFiles(large, small);

    platform::CaptureLogSink diagnostics;
    std::size_t columns = 0;
    const double largeHeader = bestMicroseconds([&] {
        columns = stubforge::CSVUtils::readCSVHeader(large, diagnostics, kMaximumNames)
                      .value_or(std::vector<std::string>{})
                      .size();
    });
    const double smallHeader =
        bestMicroseconds([&] { stubforge::CSVUtils::readCSVHeader(small, diagnostics, kMaximumNames); });
    const double getline = bestMicroseconds([&] {
        std::ifstream in(large);
        std::string line;
        std::getline(in, line);
    });
    const double wholeDocument = bench::secondsFor([&] { csv::CSV<csv::Named>::fromFile(large, csv::kUTF8, true); });

    std::printf("header of a %.0f MB file: %.1f us (%zu columns)\n", kLargeBytes / 1e6, largeHeader, columns);
    std::printf("header of a one-line file: %.1f us\n", smallHeader);
    std::printf("getline of the first line: %.1f us\n", getline);
    std::printf("large / one-line: %.2fx\n", largeHeader / smallHeader);
    std::printf("whole document, for contrast: %.0f ms\n", wholeDocument * 1e3);
    if (const auto lines = diagnostics.drainLines(); !lines.empty()) {
        for (const std::string& line : lines) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        return 1;
    }
    std::filesystem::remove_all(folder);
    return 0;
}

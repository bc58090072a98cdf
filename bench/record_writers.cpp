// Time of the largest record files the form allows: CSV with 250 columns of
// 100 rows and JSON with 500 records of 100 fields, the value types taken in
// turn. Target: well under a second each.

#include "BenchSupport.h"

#include "stubforge/core/CSVUtils.h"
#include "stubforge/core/JSONWriter.h"

#include <cstdio>
#include <vector>

namespace {

std::vector<stubforge::CSVColumnTableRow> rowsOfEveryType(int count) {
    const auto types = stubforge::allCases<stubforge::CSVColumnDataType>();
    std::vector<stubforge::CSVColumnTableRow> rows;
    for (int index = 0; index < count; ++index) {
        rows.push_back(stubforge::CSVColumnTableRow{stubforge::UUID::random(platform::systemRandom()),
                                                    "Column" + std::to_string(index + 1),
                                                    types[static_cast<std::size_t>(index) % types.size()]});
    }
    return rows;
}

}  // namespace

int main() {
    const auto folder = bench::scratchFolder("record-writers");
    bench::WriterWorld world(folder);
    const stubforge::GenerationContext context = world.context();

    const auto columns = rowsOfEveryType(250);
    std::filesystem::path csvPath;
    const double csvSeconds =
        bench::secondsFor([&] { csvPath = stubforge::CSVUtils::generateCSVByColumns(250, columns, context); });
    std::printf("csv 250 columns x 100 rows: %.3f s, %ju bytes (target < 1 s)\n", csvSeconds,
                static_cast<std::uintmax_t>(std::filesystem::file_size(csvPath)));

    const auto fields = rowsOfEveryType(100);
    std::filesystem::path jsonPath;
    const double jsonSeconds = bench::secondsFor([&] { jsonPath = stubforge::generateJSONFile(500, fields, context); });
    std::printf("json 500 records x 100 fields: %.3f s, %ju bytes (target < 1 s)\n", jsonSeconds,
                static_cast<std::uintmax_t>(std::filesystem::file_size(jsonPath)));
    std::printf("peak memory: %.1f MB\n", bench::peakResidentMegabytes());

    std::filesystem::remove_all(folder);
    return csvSeconds < 1.0 && jsonSeconds < 1.0 ? 0 : 1;
}

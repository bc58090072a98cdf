#include "Commands.h"

#include "stubforge/core/CSVUtils.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

namespace driver {

// csv-header FILE: the template import's column names as a JSON array on
// standard output; its message on standard error and status 1 when there
// are none.
int runCsvHeader(std::span<const std::string_view> arguments) {
    if (arguments.size() != 1) {
        std::fputs("usage: stubforge-driver csv-header FILE\n", stderr);
        return 2;
    }
    const auto header = stubforge::CSVUtils::readCSVHeader(std::filesystem::path(arguments[0]), platform::standardLogSink());
    if (!header) {
        return 1;
    }
    std::cout << nlohmann::json(*header).dump() << '\n';
    return 0;
}

}  // namespace driver

#include "Commands.h"
#include "Output.h"

#include "stubforge/core/CSVUtils.h"
#include "stubforge/form/FormState.h"

#include "platform/Log.h"

#include <nlohmann/json.hpp>

namespace driver {

// csv-header FILE: the template import's column names as a JSON array on
// standard output; its message on standard error and status 1 when there
// are none or more than a table takes.
int runCsvHeader(std::span<const std::string_view> arguments) {
    if (arguments.size() == 1 && arguments[0] == "--help") {
        return writeResult(usage("csv-header", true));
    }
    if (arguments.size() != 1) {
        return usageError("csv-header");
    }
    const auto header =
        stubforge::CSVUtils::readCSVHeader(std::filesystem::path(arguments[0]), platform::standardLogSink(),
                                           static_cast<std::size_t>(stubforge::MAX_COLUMN_COUNT));
    if (!header) {
        return 1;
    }
    return writeResult(nlohmann::json(*header).dump() + "\n");
}

}  // namespace driver

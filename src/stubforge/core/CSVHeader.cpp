#include "stubforge/core/CSVUtils.h"

#include "csv/CSVParseError.h"
#include "csv/HeaderReader.h"

#include <exception>
#include <string>

namespace stubforge::CSVUtils {

std::optional<std::vector<std::string>> readCSVHeader(const std::filesystem::path& path, platform::LogSink& log,
                                                      std::size_t maximumNames) {
    std::string reason;
    try {
        csv::HeaderReading reading = csv::readHeader(path);
        // An empty header would clear the user's columns and give nothing;
        // an empty first line reads as one nameless column, which is no
        // header either.
        if (reading.header.empty()) {
            reason = kNoHeaderRow;
        } else if (reading.header.size() == 1 && reading.header.front().empty()) {
            reason = kEmptyHeaderRow;
        } else if (reading.header.size() > maximumNames) {
            reason = "the header has " + std::to_string(reading.header.size()) + " names; a table has at most " +
                     std::to_string(maximumNames) + " columns";
        } else {
            return std::move(reading.header);
        }
    } catch (const std::exception& error) {
        // Parse errors, read errors naming the file and the OS reason, and
        // anything else: the import never throws.
        reason = error.what();
    }
    log.log("org.stubforge.core", "CSVUtils", platform::LogType::error, std::string(kReadErrorPrefix) + reason);
    return std::nullopt;
}

}  // namespace stubforge::CSVUtils

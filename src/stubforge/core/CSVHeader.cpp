#include "stubforge/core/CSVUtils.h"

#include "csv/CSVParseError.h"
#include "csv/HeaderReader.h"

#include <exception>

namespace stubforge::CSVUtils {

std::optional<std::vector<std::string>> readCSVHeader(const std::filesystem::path& path, platform::LogSink& log) {
    std::string reason;
    try {
        csv::HeaderReading reading = csv::readHeader(path);
        if (!reading.header.empty()) {
            return std::move(reading.header);
        }
        // An empty header would clear the user's columns and give nothing.
        reason = kNoHeaderRow;
    } catch (const std::exception& error) {
        // Parse errors, read errors naming the file and the OS reason, and
        // anything else: the import never throws.
        reason = error.what();
    }
    log.log("org.stubforge.core", "CSVUtils", platform::LogType::error, std::string(kReadErrorPrefix) + reason);
    return std::nullopt;
}

}  // namespace stubforge::CSVUtils

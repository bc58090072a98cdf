#pragma once

// The steps of reading a CSV document that work on whole texts and files.

#include "csv/CSVDelimiter.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace csv::detail {

// The text without a leading byte-order mark; throws CSVParseError::generic
// unless it is UTF-8.
std::string preparedText(std::string text);
// The first row of `text`, or nothing when it has no row.
std::vector<std::string> parseHeader(std::string_view text, const CSVDelimiter& delimiter);
// The whole file decoded from `encoding` to UTF-8; read and decoding
// failures throw platform::Error (CSVFileError).
std::string readTextFile(const std::filesystem::path& path, std::string_view encoding);
// `text` in `encoding`, or nothing when a character has no form there.
std::optional<std::string> encodeText(std::string_view text, std::string_view encoding);

}  // namespace csv::detail

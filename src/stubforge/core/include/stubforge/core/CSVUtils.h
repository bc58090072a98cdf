#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace stubforge::CSVUtils {

// What the template import says when a file gives no column names; the
// reason follows the prefix.
inline constexpr std::string_view kReadErrorPrefix = "Error reading CSV file: ";
inline constexpr std::string_view kNoHeaderRow = "the file has no header row";

// The column names of the CSV template at `path`: the cells of its first
// row, read as UTF-8 with the delimiter guessed from the text. Only the
// header row (and the first non-blank line, for guessing) is read, so rows
// further down, malformed or not, do not matter. Nothing when the file
// cannot be read, is not UTF-8 where read, has a malformed header row or
// no header row at all; then the line "Error reading CSV file: " and the
// reason goes to `diagnostics` (the window passes standard output).
std::optional<std::vector<std::string>> readCSVHeader(const std::filesystem::path& path,
                                                      std::ostream& diagnostics);

}  // namespace stubforge::CSVUtils

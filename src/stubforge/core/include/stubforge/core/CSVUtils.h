#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/RowModels.h"

#include "platform/Log.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stubforge::CSVUtils {

// What the template import says when a file gives no column names; the
// reason follows the prefix.
inline constexpr std::string_view kReadErrorPrefix = "Error reading CSV file: ";
inline constexpr std::string_view kNoHeaderRow = "the file has no header row";
inline constexpr std::string_view kEmptyHeaderRow = "the first line, the header, is empty";

// The column names of the CSV template at `path`: the cells of its first
// row, read as UTF-8 with the delimiter guessed from the text. Only the
// header row (and the first non-blank line, for guessing) is read, so rows
// further down, malformed or not, do not matter. Nothing when the file
// cannot be read, is not UTF-8 where read, has a malformed header row or
// no header row at all, when its first line is empty, or when the header
// has more than `maximumNames` names; then the line "Error reading CSV
// file: " and the reason goes to `log`.
std::optional<std::vector<std::string>> readCSVHeader(const std::filesystem::path& path, platform::LogSink& log,
                                                      std::size_t maximumNames);

// Data rows of a CSV file by columns.
inline constexpr int kCSVDataRowCount = 100;

// document_<n>columns_<timestamp>.csv: a header and 100 data rows of fake
// values. With as many rows in `columns` as `columnCount`, the header holds
// their names and each cell a fakeCSVValue of the column's type; otherwise
// (template mode) the header is Column1 … Column<n> and each cell one lorem
// word. Fields are joined by "," and rows end in "\n"; a field that still
// holds a quote or a line break, or a header name that holds ",", is quoted
// as RFC 4180 says, and a row that would be an empty line is written "".
// Returns the path written; throws platform::Error (a column count below 1
// is refused before anything is written) and leaves no file on failure.
std::filesystem::path generateCSVByColumns(std::int64_t columnCount, std::span<const CSVColumnTableRow> columns,
                                           const GenerationContext& context);

// `field` as it goes into a CSV line: quoted, with quotes doubled, when it
// holds ",", a quote, "\n" or "\r"; unchanged otherwise.
std::string quotedField(std::string_view field);

}  // namespace stubforge::CSVUtils

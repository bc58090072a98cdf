#pragma once

#include "csv/CSVDelimiter.h"
#include "csv/CSVParseError.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace csv {

// Receives the fields of one row, in row order.
using RowHandler = std::function<void(std::vector<std::string> row)>;

namespace CSVRowParser {

// Reads UTF-8 `text` one character at a time and hands every row from index
// `startAt` on (0 is the first row; a negative index counts as 0) to
// `handler`, at most `rowLimit` rows when a limit is given (a negative limit
// gives none). Rows before `startAt` are still read, so their errors are
// thrown. Quoted fields may hold delimiters, line ends and doubled quotes;
// blank space at the start of a field and after a closing quote is skipped.
// The last row counts even without a line end, its last field even when
// empty ("a," is ["a", ""]). Throws CSVParseError: `quotation` for a quote
// out of place or left open at the end, `generic` for bytes that are not
// UTF-8; rows already handed over stay handed over.
void parse(std::string_view text, const CSVDelimiter& delimiter, std::int64_t startAt,
           std::optional<std::int64_t> rowLimit, const RowHandler& handler);

}  // namespace CSVRowParser

}  // namespace csv

#pragma once

#include "csv/CSV.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace csv {
// Readable failure messages for delimiters.
inline void PrintTo(const CSVDelimiter& delimiter, std::ostream* stream) {
    *stream << "CSVDelimiter(" << ::testing::PrintToString(delimiter.rawCharacter()) << ")";
}
inline void PrintTo(const Enumerated::Column& column, std::ostream* stream) {
    *stream << ::testing::PrintToString(column.header) << ": " << ::testing::PrintToString(column.rows);
}
}  // namespace csv

namespace csv::testing {

using Rows = std::vector<std::vector<std::string>>;

// Every row the parser hands over.
inline Rows parseAll(std::string_view text, const CSVDelimiter& delimiter, std::int64_t startAt = 0,
                     std::optional<std::int64_t> rowLimit = std::nullopt) {
    Rows rows;
    CSVRowParser::parse(text, delimiter, startAt, rowLimit,
                        [&](std::vector<std::string> row) { rows.push_back(std::move(row)); });
    return rows;
}

}  // namespace csv::testing

#pragma once

#include "csv/CSVDelimiter.h"

#include <concepts>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace csv {

// How a CSV document holds its data rows (every row after the header).
template <typename View>
concept CSVView = requires(const View& view, std::span<const std::string> header, std::string_view text,
                           const CSVDelimiter& delimiter, bool loadColumns, std::optional<std::int64_t> rowLimit) {
    typename View::Row;
    typename View::Columns;
    { view.rows } -> std::convertible_to<std::vector<typename View::Row>>;
    { view.columns } -> std::convertible_to<std::optional<typename View::Columns>>;
    View(header, text, delimiter, loadColumns, rowLimit);
    { view.serialize(header, delimiter) } -> std::same_as<std::string>;
};

// Rows as arrays of cells, all filled up with empty cells to the length of
// the longest.
struct Enumerated {
    using Row = std::vector<std::string>;

    struct Column {
        std::string header;
        std::vector<std::string> rows;  // the column's cell in every data row

        bool operator==(const Column&) const = default;
    };
    using Columns = std::vector<Column>;

    std::vector<Row> rows;
    std::optional<Columns> columns;  // absent unless columns were loaded

    Enumerated() = default;
    explicit Enumerated(std::vector<Row> parsedRows, std::optional<Columns> loadedColumns = std::nullopt)
        : rows(std::move(parsedRows)), columns(std::move(loadedColumns)) {}

    // Parses `text` from its second row on, at most `rowLimit` rows when
    // given. Cells beyond the header's length belong to no column. Throws
    // CSVParseError.
    Enumerated(std::span<const std::string> header, std::string_view text, const CSVDelimiter& delimiter,
               bool loadColumns, std::optional<std::int64_t> rowLimit);

    // The CSV text of `header` and these rows; see csv::serialize.
    std::string serialize(std::span<const std::string> header, const CSVDelimiter& delimiter) const;
};

// Rows as dictionaries from header name to cell.
struct Named {
    using Row = std::map<std::string, std::string>;
    using Columns = std::map<std::string, std::vector<std::string>>;

    std::vector<Row> rows;
    std::optional<Columns> columns;  // absent unless columns were loaded

    Named() = default;
    explicit Named(std::vector<Row> parsedRows, std::optional<Columns> loadedColumns = std::nullopt)
        : rows(std::move(parsedRows)), columns(std::move(loadedColumns)) {}

    // Parses as Enumerated does, then keys each row by the header. Throws
    // CSVParseError.
    Named(std::span<const std::string> header, std::string_view text, const CSVDelimiter& delimiter, bool loadColumns,
          std::optional<std::int64_t> rowLimit);

    // Every header name keyed to the row's cell at its index, or an empty
    // cell when the row is shorter; a name repeated takes its last cell.
    // Cells beyond the header are dropped.
    static Row makeRow(std::span<const std::string> header, std::vector<std::string> cells);

    // The CSV text of `header` and these rows, each row's cells taken by
    // header name in header order (an empty cell for a name the row lacks).
    std::string serialize(std::span<const std::string> header, const CSVDelimiter& delimiter) const;
};

// CSV text that reads back as `header` and `rows`: the header line and
// "\n", then the rows joined by "\n" without a final line end. A cell is
// quoted, with its quotes doubled, when it holds the delimiter, a double
// quote or a line end, when it begins with blank space, when it is the
// first header cell and begins with a byte-order mark, and when it is the
// only cell of a data row and empty (so that a last row of one empty cell
// is not lost). An empty header with no rows is the empty text. Throws
// CSVSerializationError for what no text can say with grapheme clusters:
// a cell that would merge with the delimiter or quote beside it (say, one
// beginning with a combining mark after a ","), a data row without cells,
// or data rows under an empty header.
std::string serialize(std::span<const std::string> header, std::span<const std::vector<std::string>> rows,
                      const CSVDelimiter& delimiter);

}  // namespace csv

#include "csv/Views.h"

#include "Characters.h"
#include "csv/CSVParseError.h"
#include "csv/CSVRowParser.h"
#include "csv/Messages.h"

#include <algorithm>
#include <utility>

namespace csv {

namespace {

std::string place(std::size_t line, std::size_t cell) {
    return "line " + std::to_string(line) + ", cell " + std::to_string(cell);
}

// Writes lines of cells and remembers where each delimiter, quote and line
// end begins and ends: each must be a character of its own in the finished
// text, or the text would read back as something else.
class Writer {
public:
    explicit Writer(const CSVDelimiter& delimiter) : delimiter_(delimiter.rawCharacter()), classes_(delimiter) {}

    void line(std::span<const std::string> cells, std::size_t lineNumber, bool isDataRow) {
        if (cells.empty()) {
            throw CSVSerializationError(std::string(messages::kUnwritableEmptyLine) + std::to_string(lineNumber));
        }
        for (std::size_t index = 0; index < cells.size(); ++index) {
            const std::size_t cellNumber = index + 1;
            if (index > 0) {
                mark(lineNumber, index);
                text_ += delimiter_;
                mark(lineNumber, cellNumber);
            }
            const std::string& cell = cells[index];
            if (detail::validUTF8Length(cell) != cell.size()) {
                throw CSVSerializationError(std::string(messages::kCellNotUTF8) + place(lineNumber, cellNumber));
            }
            const bool firstHeaderCell = !isDataRow && index == 0;
            const bool loneDataCell = isDataRow && cells.size() == 1;
            if (needsQuoting(cell, firstHeaderCell, loneDataCell)) {
                writeQuoted(cell, lineNumber, cellNumber);
            } else {
                text_ += cell;
            }
        }
        lastPlace_ = {lineNumber, cells.size()};
    }

    void lineEnd() {
        mark(lastPlace_.first, lastPlace_.second);
        text_ += '\n';
        mark(lastPlace_.first, lastPlace_.second);
    }

    std::string finish() {
        detail::GraphemeScanner scanner(text_, detail::GraphemeScanner::Validation::unchecked);
        for (const Boundary& boundary : boundaries_) {
            while (scanner.offset() < boundary.offset) {
                scanner.next();
            }
            if (scanner.offset() != boundary.offset) {
                throw CSVSerializationError(std::string(messages::kUnwritableCell) +
                                            place(boundary.line, boundary.cell));
            }
        }
        return std::move(text_);
    }

private:
    struct Boundary {
        std::size_t offset;
        std::size_t line;
        std::size_t cell;
    };

    bool needsQuoting(std::string_view cell, bool firstHeaderCell, bool loneDataCell) const {
        if ((loneDataCell && cell.empty()) || (firstHeaderCell && cell.starts_with(detail::kByteOrderMark))) {
            return true;
        }
        detail::GraphemeScanner scanner(cell, detail::GraphemeScanner::Validation::unchecked);
        bool first = true;
        for (std::string_view character = scanner.next(); !character.empty(); character = scanner.next()) {
            const detail::CharacterClass kind = classes_.classify(character);
            // The parser skips blank space at the start of a field.
            if (kind == detail::CharacterClass::quote || kind == detail::CharacterClass::delimiter ||
                kind == detail::CharacterClass::newline || (first && kind == detail::CharacterClass::blank)) {
                return true;
            }
            first = false;
        }
        return false;
    }

    void writeQuoted(std::string_view cell, std::size_t line, std::size_t cellNumber) {
        mark(line, cellNumber);
        text_ += '"';
        mark(line, cellNumber);
        detail::GraphemeScanner scanner(cell, detail::GraphemeScanner::Validation::unchecked);
        for (std::string_view character = scanner.next(); !character.empty(); character = scanner.next()) {
            if (detail::isQuote(character)) {
                mark(line, cellNumber);
                text_ += "\"\"";
                mark(line, cellNumber);
            } else {
                text_ += character;
            }
        }
        mark(line, cellNumber);
        text_ += '"';
        mark(line, cellNumber);
    }

    void mark(std::size_t line, std::size_t cell) { boundaries_.push_back({text_.size(), line, cell}); }

    std::string delimiter_;
    detail::CharacterClasses classes_;
    std::string text_;
    std::vector<Boundary> boundaries_;
    std::pair<std::size_t, std::size_t> lastPlace_{1, 0};
};

}  // namespace

std::string serialize(std::span<const std::string> header, std::span<const std::vector<std::string>> rows,
                      const CSVDelimiter& delimiter) {
    if (header.empty() && rows.empty()) {
        // "\n" would read back as a header of one empty cell.
        return {};
    }
    Writer writer(delimiter);
    writer.line(header, 1, false);
    writer.lineEnd();
    for (std::size_t index = 0; index < rows.size(); ++index) {
        if (index > 0) {
            writer.lineEnd();
        }
        writer.line(rows[index], index + 2, true);
    }
    return writer.finish();
}

Enumerated::Enumerated(std::span<const std::string> header, std::string_view text, const CSVDelimiter& delimiter,
                       bool loadColumns, std::optional<std::int64_t> rowLimit) {
    CSVRowParser::parse(text, delimiter, 1, rowLimit,
                        [this](std::vector<std::string> row) { rows.push_back(std::move(row)); });
    std::size_t width = 0;
    for (const Row& row : rows) {
        width = std::max(width, row.size());
    }
    for (Row& row : rows) {
        row.resize(width);
    }
    if (loadColumns) {
        columns.emplace();
        columns->reserve(header.size());
        for (std::size_t index = 0; index < header.size(); ++index) {
            Column column{header[index], {}};
            column.rows.reserve(rows.size());
            for (const Row& row : rows) {
                column.rows.push_back(index < row.size() ? row[index] : std::string());
            }
            columns->push_back(std::move(column));
        }
    }
}

std::string Enumerated::serialize(std::span<const std::string> header, const CSVDelimiter& delimiter) const {
    return csv::serialize(header, rows, delimiter);
}

Named::Row Named::makeRow(std::span<const std::string> header, std::vector<std::string> cells) {
    Row row;
    for (std::size_t index = 0; index < header.size(); ++index) {
        row[header[index]] = index < cells.size() ? std::move(cells[index]) : std::string();
    }
    return row;
}

Named::Named(std::span<const std::string> header, std::string_view text, const CSVDelimiter& delimiter,
             bool loadColumns, std::optional<std::int64_t> rowLimit) {
    CSVRowParser::parse(text, delimiter, 1, rowLimit, [this, header](std::vector<std::string> cells) {
        rows.push_back(makeRow(header, std::move(cells)));
    });
    if (loadColumns) {
        columns.emplace();
        for (const std::string& name : header) {
            std::vector<std::string>& column = (*columns)[name];
            column.clear();
            column.reserve(rows.size());
            for (const Row& row : rows) {
                column.push_back(row.at(name));
            }
        }
    }
}

std::string Named::serialize(std::span<const std::string> header, const CSVDelimiter& delimiter) const {
    std::vector<std::vector<std::string>> cells;
    cells.reserve(rows.size());
    for (const Row& row : rows) {
        std::vector<std::string>& line = cells.emplace_back();
        line.reserve(header.size());
        for (const std::string& name : header) {
            const auto found = row.find(name);
            line.push_back(found != row.end() ? found->second : std::string());
        }
    }
    return csv::serialize(header, cells, delimiter);
}

}  // namespace csv

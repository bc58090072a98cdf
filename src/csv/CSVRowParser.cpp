#include "csv/CSVRowParser.h"

#include "Characters.h"
#include "Parsing.h"
#include "csv/Messages.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace csv {

namespace detail {

namespace {

enum class State { fieldStart, unquoted, unquotedQuote, quoted, quotedQuote };

CSVParseError misplacedQuote(std::string_view character) {
    return CSVParseError::quotation(std::string(messages::kNonQuote) + std::string(character));
}

}  // namespace

ParseProgress parseRows(std::string_view text, const CSVDelimiter& delimiter, std::int64_t startAt,
                        std::optional<std::int64_t> rowLimit, const RowHandler& handler, TextEnd end,
                        std::size_t maximumCells, std::string_view tooManyCells) {
    const std::int64_t firstRow = std::max<std::int64_t>(startAt, 0);
    std::optional<std::int64_t> endRow;
    if (rowLimit) {
        // A limit below zero is an end row before the start: no rows.
        const std::int64_t count = std::max<std::int64_t>(*rowLimit, 0);
        const std::int64_t largest = std::numeric_limits<std::int64_t>::max();
        endRow = count > largest - firstRow ? largest : firstRow + count;
    }

    const CharacterClasses classes(delimiter);
    GraphemeScanner scanner(text);
    State state = State::fieldStart;
    std::string field;
    std::vector<std::string> row;
    std::int64_t rowIndex = 0;
    bool rowHasFieldEnd = false;

    const auto collecting = [&] { return rowIndex >= firstRow; };
    const auto onCharacter = [&](std::string_view character) {
        if (collecting()) {
            field.append(character);
        }
    };
    const auto onFieldEnd = [&] {
        if (collecting()) {
            // A field end always begins one more cell.
            if (row.size() + 1 >= maximumCells) {
                throw CSVParseError::generic(std::string(tooManyCells) + std::to_string(maximumCells));
            }
            row.push_back(std::move(field));
        }
        field.clear();
        rowHasFieldEnd = true;
    };
    const auto onRowEnd = [&] {
        if (collecting()) {
            row.push_back(std::move(field));
            handler(std::move(row));
        }
        ++rowIndex;
        row.clear();
        field.clear();
        rowHasFieldEnd = false;
    };

    for (;;) {
        if (endRow && rowIndex >= *endRow) {
            return {true, scanner.offset()};
        }
        // Runs of plain ASCII inside a field go in whole.
        if (state == State::unquoted) {
            onCharacter(scanner.takePlainRun([&](unsigned char byte) { return classes.isPlainByte(byte); }));
        } else if (state == State::quoted) {
            onCharacter(scanner.takePlainRun([](unsigned char byte) { return byte != '"'; }));
        }
        const std::string_view character = scanner.next();
        if (character.empty()) {
            break;
        }
        // Inside quotes only the quote matters; the other classes cost more
        // to tell for characters beyond ASCII.
        const CharacterClass kind = state == State::quoted
                                        ? (isQuote(character) ? CharacterClass::quote : CharacterClass::other)
                                        : classes.classify(character);
        // Outside quotes a delimiter ends the field and a line end the row;
        // either way the next field starts. (Inside quotes they are never
        // classified, and after a lone quote only another quote may follow.)
        if ((kind == CharacterClass::delimiter || kind == CharacterClass::newline) && state != State::unquotedQuote) {
            kind == CharacterClass::delimiter ? onFieldEnd() : onRowEnd();
            state = State::fieldStart;
            continue;
        }
        switch (state) {
        case State::fieldStart:
            if (kind == CharacterClass::quote) {
                state = State::quoted;
            } else if (kind == CharacterClass::other) {
                onCharacter(character);
                state = State::unquoted;
            }
            break;
        case State::unquoted:
            if (kind == CharacterClass::quote) {
                state = State::unquotedQuote;
            } else {
                onCharacter(character);
            }
            break;
        case State::unquotedQuote:
            if (kind != CharacterClass::quote) {
                throw misplacedQuote(character);
            }
            onCharacter("\"");
            state = State::unquoted;
            break;
        case State::quoted:
            if (kind == CharacterClass::quote) {
                state = State::quotedQuote;
            } else {
                onCharacter(character);
            }
            break;
        case State::quotedQuote:
            if (kind == CharacterClass::quote) {
                onCharacter("\"");
                state = State::quoted;
            } else if (kind == CharacterClass::other) {
                throw misplacedQuote(character);
            }
            break;
        }
    }

    if (end == TextEnd::partial) {
        return {false, scanner.offset()};
    }
    if (state == State::quoted) {
        throw CSVParseError::quotation(std::string(messages::kUnterminatedQuote));
    }
    if (state == State::unquotedQuote) {
        throw CSVParseError::quotation(std::string(messages::kLoneQuoteAtEnd));
    }
    // The last row needs no line end, and keeps an empty last field; blank
    // space alone after the last line end is no row.
    if (state != State::fieldStart || rowHasFieldEnd) {
        onRowEnd();
    }
    return {endRow && rowIndex >= *endRow, scanner.offset()};
}

std::optional<GuessProgress> guessDelimiter(std::string_view text, TextEnd end) {
    static const std::array<std::pair<CSVDelimiter, CharacterClasses>, 3> candidates = {{
        {CSVDelimiter::comma(), CharacterClasses(CSVDelimiter::comma())},
        {CSVDelimiter::tab(), CharacterClasses(CSVDelimiter::tab())},
        {CSVDelimiter::semicolon(), CharacterClasses(CSVDelimiter::semicolon())},
    }};
    const std::size_t lineStart = skipBlankExceptTab(text);
    const std::string_view rest = text.substr(lineStart);
    GraphemeScanner scanner(rest, GraphemeScanner::Validation::unchecked);
    const auto settled = [&](const CSVDelimiter& delimiter) {
        return GuessProgress{delimiter, lineStart + scanner.offset()};
    };
    bool quoted = false;
    for (std::string_view character = scanner.next(); !character.empty(); character = scanner.next()) {
        if (isNewline(character)) {
            return settled(CSVDelimiter::comma());
        }
        if (isQuote(character)) {
            quoted = !quoted;
            continue;
        }
        if (quoted) {
            continue;
        }
        for (const auto& [candidate, classes] : candidates) {
            if (classes.isDelimiter(character)) {
                return settled(candidate);
            }
        }
    }
    if (end == TextEnd::partial) {
        return std::nullopt;
    }
    return settled(CSVDelimiter::comma());
}

}  // namespace detail

void CSVRowParser::parse(std::string_view text, const CSVDelimiter& delimiter, std::int64_t startAt,
                         std::optional<std::int64_t> rowLimit, const RowHandler& handler) {
    detail::parseRows(text, delimiter, startAt, rowLimit, handler, detail::TextEnd::complete);
}

}  // namespace csv

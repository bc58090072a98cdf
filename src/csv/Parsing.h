#pragma once

// The row parser and delimiter guessing, able to work on the start of a
// text whose rest has not been read yet.

#include "csv/CSVDelimiter.h"
#include "csv/CSVRowParser.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace csv::detail {

enum class TextEnd {
    complete,  // the text ends here
    partial,   // more may follow; the text ends on a character boundary
};

struct ParseProgress {
    bool reachedRowLimit;
    std::size_t offset;  // bytes read
};

// CSVRowParser::parse. On a partial text, stops at its end without ending
// the last row or raising errors that only the end of the text would raise.
ParseProgress parseRows(std::string_view text, const CSVDelimiter& delimiter, std::int64_t startAt,
                        std::optional<std::int64_t> rowLimit, const RowHandler& handler, TextEnd end);

struct GuessProgress {
    CSVDelimiter delimiter;
    std::size_t offset;  // bytes looked at
};

// CSVDelimiter::guessed; nothing when a partial text does not settle it.
std::optional<GuessProgress> guessDelimiter(std::string_view text, TextEnd end);

}  // namespace csv::detail

#pragma once

// The row parser and delimiter guessing, able to work on the start of a
// text whose rest has not been read yet.

#include "csv/CSVDelimiter.h"
#include "csv/CSVRowParser.h"

#include <cstddef>
#include <cstdint>
#include <limits>
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
// A row handed over with more than `maximumCells` cells throws
// CSVParseError::generic with `tooManyCells` and the maximum, as soon as
// its cell past the maximum begins.
ParseProgress parseRows(std::string_view text, const CSVDelimiter& delimiter, std::int64_t startAt,
                        std::optional<std::int64_t> rowLimit, const RowHandler& handler, TextEnd end,
                        std::size_t maximumCells = std::numeric_limits<std::size_t>::max(),
                        std::string_view tooManyCells = {});

struct GuessProgress {
    CSVDelimiter delimiter;
    std::size_t offset;  // bytes looked at
};

// CSVDelimiter::guessed; nothing when a partial text does not settle it.
std::optional<GuessProgress> guessDelimiter(std::string_view text, TextEnd end);

}  // namespace csv::detail

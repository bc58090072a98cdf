#pragma once

#include "csv/CSVDelimiter.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace csv {

struct HeaderReading {
    std::vector<std::string> header;  // empty when the text has no row
    CSVDelimiter delimiter;           // guessed from the text
};

// Appends up to `count` more bytes to `buffer`; returns false once the end
// has been reached.
using ByteSource = std::function<bool(std::string& buffer, std::size_t count)>;

inline constexpr std::size_t kHeaderChunkBytes = 64 * 1024;
// The most the header reader reads; a header row (with the line guessing
// looks at) that needs more is refused rather than read without end.
inline constexpr std::size_t kMaximumHeaderBytes = std::size_t{64} << 20;
// The most cells a header row may have: each becomes a column, and a line of
// commas would otherwise cost far more memory than its bytes.
inline constexpr std::size_t kMaximumHeaderCells = 10'000;

// The header row and guessed delimiter that a CSV document made from the
// whole text would hold, reading only as much of the text as they need: the
// first row, and the first non-blank line that guessing looks at. What lies
// beyond is never read, so a malformed or non-UTF-8 row further down does
// not matter. Throws CSVParseError for a malformed header row, bytes that
// are not UTF-8 in the part read, a header that needs more than
// `maximumBytes` (messages::kHeaderTooLong) or has more than
// kMaximumHeaderCells cells (messages::kHeaderTooManyCells), and whatever
// `source` throws.
HeaderReading readHeader(const ByteSource& source, std::size_t firstChunkBytes = kHeaderChunkBytes,
                         std::size_t maximumBytes = kMaximumHeaderBytes);

// The same for a file; read failures and paths that are not regular files
// throw platform::Error (domain "CSV").
HeaderReading readHeader(const std::filesystem::path& path);

}  // namespace csv

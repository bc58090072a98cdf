#pragma once

#include <string_view>

// Every text the CSV reader shows, in one place.
namespace csv::messages {

// A quote out of place; the offending character follows.
inline constexpr std::string_view kNonQuote = "Can't have non-quote here: ";
// A quoted field still open when the text ends.
inline constexpr std::string_view kUnterminatedQuote = "Quoted field not closed before the end of the text";
// An unquoted field ending in a single quote at the very end of the text.
inline constexpr std::string_view kLoneQuoteAtEnd = "Lone quote at the end of the text";
// Bytes that are not UTF-8; the byte offset follows.
inline constexpr std::string_view kInvalidUTF8 = "Text is not valid UTF-8 at byte ";
// A file that could not be decoded in the encoding asked for; the encoding follows.
inline constexpr std::string_view kNotInEncoding = "File is not valid text in the encoding ";
// A cell that would not read back as written; its line and cell numbers follow.
inline constexpr std::string_view kUnwritableCell =
    "Cell would not read back as written (it would join the character beside it): ";
// A cell that is not UTF-8; its line and cell numbers follow.
inline constexpr std::string_view kCellNotUTF8 = "Cell is not UTF-8 text: ";
// A path that names a device, pipe or socket rather than a file.
inline constexpr std::string_view kNotRegularFile = "not a regular file";
// A header row that runs past the most the header reader will read.
inline constexpr std::string_view kHeaderTooLong = "the header row is too long";
// A header row of more cells than a template may have; the most follows.
inline constexpr std::string_view kHeaderTooManyCells = "the header row has too many cells; the most is ";
// A line that would not read back as written; its line number follows.
inline constexpr std::string_view kUnwritableEmptyLine = "Line without cells can't be written: ";

// Programmer errors: an encoding ICU does not know (its name follows), and
// a delimiter that cannot separate fields.
inline constexpr std::string_view kUnknownEncoding = "Unknown text encoding: ";
inline constexpr std::string_view kDelimiterNotOneCharacter = "A CSV delimiter must be one character";
inline constexpr std::string_view kDelimiterNotUsable = "A CSV delimiter can't be a double quote or a line end";

}  // namespace csv::messages

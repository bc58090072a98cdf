#pragma once

#include <string>
#include <string_view>

namespace csv {

// The character that separates the fields of a row. A character is one
// user-perceived character (an extended grapheme cluster) of UTF-8 text, so
// "\r\n" or "e" with a combining accent each count as one.
class CSVDelimiter {
public:
    enum class Case { comma, semicolon, tab, character };

    static CSVDelimiter comma() { return CSVDelimiter(Case::comma, ","); }
    static CSVDelimiter semicolon() { return CSVDelimiter(Case::semicolon, ";"); }
    static CSVDelimiter tab() { return CSVDelimiter(Case::tab, "\t"); }
    // Always the `character` case, even for ","; throws std::invalid_argument
    // unless `character` is one character that can separate fields (not a
    // double quote or a line end).
    static CSVDelimiter character(std::string_view character);

    // "," gives `comma`, ";" `semicolon`, the tab `tab`, anything else
    // `character`; the same checks as character().
    CSVDelimiter(std::string_view character);
    CSVDelimiter(const char* character) : CSVDelimiter(std::string_view(character)) {}
    CSVDelimiter(char character) : CSVDelimiter(std::string_view(&character, 1)) {}
    // A flag passed where a delimiter belongs must not become "\x01".
    CSVDelimiter(bool) = delete;

    Case kind() const noexcept { return case_; }
    const std::string& rawCharacter() const noexcept { return raw_; }

    // Same case, and for `character` canonically equivalent characters.
    bool operator==(const CSVDelimiter& other) const;

    // The delimiter of `text`: the first comma, tab or semicolon outside
    // double quotes on the first non-blank line, else `comma`. Never fails.
    static CSVDelimiter guessed(std::string_view text);

private:
    CSVDelimiter(Case kind, std::string raw) : case_(kind), raw_(std::move(raw)) {}

    Case case_;
    std::string raw_;
};

}  // namespace csv

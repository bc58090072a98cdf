#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Lengths and cuts by Unicode code point over UTF-8. A byte sequence that is
// not UTF-8 counts as one U+FFFD per maximal subpart, and nothing is read
// past the end of the text.
namespace kit::measurement {

// The code point at `position`, which moves past it.
char32_t msr_nextCodePoint(std::string_view text, std::size_t& position);

// The number of code points.
std::size_t msr_UTF32Length(std::string_view text);

// The first `count` code points, as UTF-8 (U+FFFD standing for bad bytes).
std::string msr_substringToCodePoints(std::string_view text, std::size_t count);

// The length of the text in UTF-16 units.
std::size_t msr_UTF16Length(std::string_view text);

// Appends `codePoint` as UTF-8.
void msr_appendUTF8(std::string& text, char32_t codePoint);

// General categories: L* letters, Nd digits.
bool msr_isLetter(char32_t codePoint);
bool msr_isIdentifierCharacter(char32_t codePoint);

}  // namespace kit::measurement

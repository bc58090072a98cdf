#pragma once

// Characters of UTF-8 text as the reader sees them: grapheme clusters, and
// the classes the row parser and the serialiser sort them into.

#include "csv/CSVDelimiter.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct UText;
struct UBreakIterator;

namespace csv::detail {

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Length of the longest prefix of `bytes` that is well-formed UTF-8.
std::size_t validUTF8Length(std::string_view bytes);

// Throws CSVParseError::generic naming the first bad byte, counted from
// `baseOffset`, unless `bytes` is well-formed UTF-8.
void requireUTF8(std::string_view bytes, std::size_t baseOffset = 0);

// Walks `text` one grapheme cluster at a time. Runs of ASCII are split
// here; anything else is left to ICU's character break iterator, made only
// when the text needs it.
class GraphemeScanner {
public:
    enum class Validation { checked, unchecked };

    // ICU addresses text with 32-bit offsets, so it sees the text through a
    // window of at most `windowBytes`, moved on at cluster boundaries.
    explicit GraphemeScanner(std::string_view text, Validation validation = Validation::checked,
                             std::size_t windowBytes = std::size_t{1} << 30);
    ~GraphemeScanner();
    GraphemeScanner(const GraphemeScanner&) = delete;
    GraphemeScanner& operator=(const GraphemeScanner&) = delete;

    // The next cluster; empty at the end of the text. With checked
    // validation, throws CSVParseError::generic when the cluster's bytes
    // are not UTF-8.
    std::string_view next();

    // Takes the ASCII bytes from here on that `plain` accepts and that are
    // each a cluster of their own, as next() would one at a time.
    template <typename Plain>
    std::string_view takePlainRun(Plain&& plain) {
        const std::size_t start = offset_;
        const auto byteAt = [&](std::size_t index) { return static_cast<unsigned char>(text_[index]); };
        while (offset_ < text_.size() && byteAt(offset_) < 0x80 && plain(byteAt(offset_)) &&
               (offset_ + 1 == text_.size() || byteAt(offset_ + 1) < 0x80)) {
            ++offset_;
        }
        return text_.substr(start, offset_ - start);
    }

    // Byte offset of the next cluster.
    std::size_t offset() const noexcept { return offset_; }

private:
    std::size_t clusterEndFromICU();
    void openWindowAt(std::size_t start);

    struct TextCloser {
        void operator()(UText* text) const noexcept;
    };
    struct BreakIteratorCloser {
        void operator()(UBreakIterator* iterator) const noexcept;
    };

    std::string_view text_;
    Validation validation_;
    std::size_t windowBytes_;
    std::size_t offset_ = 0;
    std::size_t windowStart_ = 0;
    std::size_t windowEnd_ = 0;
    std::unique_ptr<UText, TextCloser> window_;
    std::unique_ptr<UBreakIterator, BreakIteratorCloser> breaker_;
};

// True when `text` is exactly one grapheme cluster of well-formed UTF-8.
bool isOneCharacter(std::string_view text);

// Canonical equivalence of two UTF-8 strings (equal NFC forms).
bool canonicallyEqual(std::string_view first, std::string_view second);

inline bool isQuote(std::string_view character) { return character == "\""; }

inline bool isNewline(std::string_view character) {
    return character == "\n" || character == "\r\n" || character == "\r";
}

// Every code point of `character` has the Unicode White_Space property.
bool isWhiteSpace(std::string_view character);

// Code point offset past the leading white space and line ends of `text`,
// keeping tabs.
std::size_t skipBlankExceptTab(std::string_view text);

// The classes of the row parser for one delimiter, tested in this order.
enum class CharacterClass {
    quote,
    delimiter,
    newline,
    blank,  // white space that is neither the delimiter nor a line end
    other,
};

class CharacterClasses {
public:
    explicit CharacterClasses(const CSVDelimiter& delimiter);

    CharacterClass classify(std::string_view character) const {
        if (character.size() == 1) {
            const unsigned char byte = static_cast<unsigned char>(character[0]);
            if (byte == '"') {
                return CharacterClass::quote;
            }
            if (byte == asciiDelimiter_) {
                return CharacterClass::delimiter;
            }
            if (byte == '\n' || byte == '\r') {
                return CharacterClass::newline;
            }
            if (byte == ' ' || byte == '\t' || byte == '\v' || byte == '\f') {
                return CharacterClass::blank;
            }
            return byte < 0x80 ? CharacterClass::other : classifyWide(character);
        }
        if (character == "\r\n") {
            return CharacterClass::newline;
        }
        return classifyWide(character);
    }

    bool isDelimiter(std::string_view character) const { return classify(character) == CharacterClass::delimiter; }

    // An ASCII byte that is a character of class `other` or `blank` alone.
    bool isPlainByte(unsigned char byte) const {
        return byte != '"' && byte != '\n' && byte != '\r' && byte != asciiDelimiter_;
    }

private:
    CharacterClass classifyWide(std::string_view character) const;

    std::string raw_;
    std::string normalized_;  // NFC of raw_
    int asciiDelimiter_;      // the byte of a one-byte normalized_, else -1
};

}  // namespace csv::detail

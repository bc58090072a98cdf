#include "csv/CSVDelimiter.h"

#include "Characters.h"
#include "Parsing.h"
#include "csv/Messages.h"

#include <stdexcept>

namespace csv {

namespace {

void requireUsable(std::string_view character) {
    if (!detail::isOneCharacter(character)) {
        throw std::invalid_argument(std::string(messages::kDelimiterNotOneCharacter));
    }
    // The parser reads these before it ever compares with the delimiter.
    if (detail::isQuote(character) || detail::isNewline(character)) {
        throw std::invalid_argument(std::string(messages::kDelimiterNotUsable));
    }
}

}  // namespace

CSVDelimiter CSVDelimiter::character(std::string_view character) {
    requireUsable(character);
    return CSVDelimiter(Case::character, std::string(character));
}

CSVDelimiter::CSVDelimiter(std::string_view character) : case_(Case::character), raw_(character) {
    for (const CSVDelimiter& named : {comma(), semicolon(), tab()}) {
        if (detail::canonicallyEqual(character, named.raw_)) {
            *this = named;
            return;
        }
    }
    requireUsable(character);
}

bool CSVDelimiter::operator==(const CSVDelimiter& other) const {
    return case_ == other.case_ && (case_ != Case::character || detail::canonicallyEqual(raw_, other.raw_));
}

CSVDelimiter CSVDelimiter::guessed(std::string_view text) {
    return detail::guessDelimiter(text, detail::TextEnd::complete)->delimiter;
}

}  // namespace csv

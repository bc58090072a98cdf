// Random bytes: every string gives a document or a parse error, never a
// crash or a hang, and every document read writes back to itself.

#include "Characters.h"
#include "CsvTestSupport.h"

#include "csv/HeaderReader.h"

#include "platform/Random.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <string>
#include <vector>

namespace csv {
namespace {

// Mostly the characters that steer the parser, with multi-byte characters
// that join their neighbours and stray bytes that are not UTF-8.
constexpr const char* kTokens[] = {
    "\"",     ",",      ";",          "\t",     "|",      "\r",     "\n",     " ",
    "a",      "b",      "x",          "\u00E9", "\u0301", "\uFEFF", "\u037E", "\U0001F469\u200D\U0001F4BB",
    "\u0600", "\u00A0", "\U0001F1EB",
};

std::string randomBytes(platform::RandomSource& random) {
    std::string bytes;
    for (std::uint64_t count = random.below(17); count > 0; --count) {
        if (random.below(100) < 95) {
            bytes += kTokens[random.below(std::size(kTokens))];
        } else {
            bytes.push_back(static_cast<char>(random.below(256)));
        }
    }
    return bytes;
}

// Whether a cell holds a character that joins a neighbour across a
// delimiter or quote: a prepended mark, or a leading extending mark.
bool holdsJoiningCharacter(const std::string& cell) {
    for (std::int32_t offset = 0, length = static_cast<std::int32_t>(cell.size()); offset < length;) {
        const std::int32_t start = offset;
        UChar32 codePoint = 0;
        U8_NEXT(cell.data(), offset, length, codePoint);
        const auto kind = u_getIntPropertyValue(codePoint, UCHAR_GRAPHEME_CLUSTER_BREAK);
        if (kind == U_GCB_PREPEND ||
            (start == 0 && (kind == U_GCB_EXTEND || kind == U_GCB_ZWJ || kind == U_GCB_SPACING_MARK))) {
            return true;
        }
    }
    return false;
}

bool documentHoldsJoiningCharacter(const CSV<Enumerated>& document) {
    for (const auto& cell : document.header()) {
        if (holdsJoiningCharacter(cell)) {
            return true;
        }
    }
    for (const auto& row : document.rows()) {
        for (const auto& cell : row) {
            if (holdsJoiningCharacter(cell)) {
                return true;
            }
        }
    }
    return false;
}

// The header as a whole-text document reads it, or the parse error's text.
std::string referenceHeader(std::string_view text) {
    if (text.starts_with(detail::kByteOrderMark)) {
        text.remove_prefix(detail::kByteOrderMark.size());
    }
    const CSVDelimiter delimiter = CSVDelimiter::guessed(text);
    try {
        const auto rows = testing::parseAll(text, delimiter, 0, 1);
        return delimiter.rawCharacter() + ::testing::PrintToString(rows.empty() ? std::vector<std::string>{} : rows[0]);
    } catch (const CSVParseError& error) {
        return error.what();
    }
}

std::string chunkedHeader(const std::string& text, std::size_t chunkBytes) {
    std::size_t served = 0;
    const ByteSource source = [&](std::string& buffer, std::size_t count) {
        const std::size_t take = std::min(count, text.size() - served);
        buffer.append(text, served, take);
        served += take;
        return served < text.size();
    };
    try {
        const HeaderReading reading = readHeader(source, chunkBytes);
        return reading.delimiter.rawCharacter() + ::testing::PrintToString(reading.header);
    } catch (const CSVParseError& error) {
        return error.what();
    }
}

std::string shown(const std::string& bytes) { return "input " + ::testing::PrintToString(bytes); }

TEST(Robustness, HundredThousandRandomByteStrings) {
    platform::SeededRandom random(99);
    for (int round = 0; round < 100'000; ++round) {
        const std::string bytes = randomBytes(random);
        // A document or a parse error; anything else fails the test.
        std::optional<CSV<Enumerated>> document;
        try {
            document.emplace(bytes, true);
        } catch (const CSVParseError&) {
        }

        // Reading only the header, a few bytes at a time, agrees with
        // reading the whole text, errors included.
        if (detail::validUTF8Length(bytes) == bytes.size()) {
            ASSERT_EQ(chunkedHeader(bytes, 1 + random.below(7)), referenceHeader(bytes)) << shown(bytes);
        } else {
            ASSERT_NO_THROW(try { chunkedHeader(bytes, 1 + random.below(7)); } catch (const CSVParseError&){})
                << shown(bytes);
        }

        if (!document) {
            continue;
        }
        std::string written;
        try {
            written = document->serialized();
        } catch (const CSVSerializationError&) {
            // Only a character that joins what the writer puts beside it
            // makes a document unwritable.
            ASSERT_TRUE(documentHoldsJoiningCharacter(*document)) << shown(bytes);
            continue;
        }
        const CSV<Enumerated> again(written, document->delimiter(), false);
        ASSERT_EQ(again.header(), document->header()) << shown(bytes);
        ASSERT_EQ(again.rows(), document->rows()) << shown(bytes);
    }
}

}  // namespace
}  // namespace csv

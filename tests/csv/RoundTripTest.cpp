// Whatever the serialiser writes reads back as the document it wrote.

#include "CsvTestSupport.h"

#include "platform/Random.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace csv {
namespace {

using testing::Rows;

// Pieces of cells: every kind of character the writer must take care of.
// No piece begins with a mark that would join the character before it.
constexpr const char* kPieces[] = {
    "",
    "a",
    "Bob",
    "42",
    "\"",
    "\"\"",
    "say \"hi\"",
    "\n",
    "\r\n",
    "\r",
    " ",
    "  lead",
    "trail ",
    "\t",
    ",",
    ";",
    "|",
    "\t|,;",
    "caf\u00E9",
    "cafe\u0301",
    "\u65E5\u672C\u8A9E",
    "\U0001F469\u200D\U0001F4BB",
    "\U0001F44D\U0001F3FD",
    "\U0001F1EB\U0001F1F7",
    "\u0915\u094D\u0937\u093F",
    "\u0645\u0631\u062D\u0628\u0627",
    "\u00A0nbsp",
    "\u037E",
    "\u2028",
    "\u0085",
    "\uFEFF",
    "\u0600\u0661\u0662",
    "\u1100\uAC01",
    "\u00DF",
    "x\u0308y",
};

const CSVDelimiter kDelimiters[] = {CSVDelimiter::comma(), CSVDelimiter::semicolon(), CSVDelimiter::tab(),
                                    CSVDelimiter("|")};

std::string randomCell(platform::RandomSource& random) {
    std::string cell;
    for (std::uint64_t count = random.below(4); count > 0; --count) {
        cell += kPieces[random.below(std::size(kPieces))];
    }
    return cell;
}

std::vector<std::string> randomLine(platform::RandomSource& random, std::size_t width) {
    std::vector<std::string> line;
    for (std::size_t index = 0; index < width; ++index) {
        line.push_back(randomCell(random));
    }
    return line;
}

TEST(RoundTrip, TenThousandRandomDocumentsReadBackAsWritten) {
    platform::SeededRandom random(4);
    for (int round = 0; round < 10'000; ++round) {
        const CSVDelimiter& delimiter = kDelimiters[random.below(std::size(kDelimiters))];
        std::vector<std::string> header;
        Rows rows;
        // Now and then the empty document; otherwise a header and rows all
        // of one width, as the Enumerated view fills them.
        if (random.below(50) != 0) {
            header = randomLine(random, 1 + random.below(5));
            const std::size_t width = 1 + random.below(5);
            for (std::uint64_t count = random.below(6); count > 0; --count) {
                rows.push_back(randomLine(random, width));
            }
        }
        const std::string text = serialize(header, rows, delimiter);
        const CSV<Enumerated> document(text, delimiter, false);
        ASSERT_EQ(document.header(), header) << "round " << round << ": " << ::testing::PrintToString(text);
        ASSERT_EQ(document.rows(), rows) << "round " << round << ": " << ::testing::PrintToString(text);
        ASSERT_EQ(document.serialized(), text) << "round " << round;
    }
}

}  // namespace
}  // namespace csv

// The reader's edge cases, one table per direction: reading text (guessing
// and parsing), the row views, and writing text. Where the reader mends a
// fault of the behaviour it was modelled on, the case says "mended".

#include "CsvTestSupport.h"

#include "csv/Messages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>

namespace csv {
namespace {

using testing::parseAll;
using testing::Rows;

struct ParseFailure {
    CSVParseError::Kind kind;
    std::string message;
};

struct ReadingCase {
    const char* name;
    std::string text;
    // The delimiter to read with; guessed from the text when absent, and
    // then the guess is checked against `guess`.
    std::optional<CSVDelimiter> delimiter;
    std::optional<CSVDelimiter> guess;
    std::int64_t startAt;
    std::optional<std::int64_t> rowLimit;
    std::variant<Rows, ParseFailure> expected;
};

std::string nonQuote(std::string_view character) { return std::string(messages::kNonQuote) + std::string(character); }

const CSVDelimiter kComma = CSVDelimiter::comma();
const CSVDelimiter kSemicolon = CSVDelimiter::semicolon();
const CSVDelimiter kTab = CSVDelimiter::tab();
const std::optional<CSVDelimiter> kGuess;
const std::optional<std::int64_t> kNoLimit;
constexpr auto kQuotation = CSVParseError::Kind::quotation;

const ReadingCase kReadingCases[] = {
    // Guessing.
    {"SemicolonBeforeComma", "a;b,c\n1;2,3", kGuess, kSemicolon, 0, kNoLimit, Rows{{"a", "b,c"}, {"1", "2,3"}}},
    {"CommaInsideQuotesSkipped", "\"x,y\";z", kGuess, kSemicolon, 0, kNoLimit, Rows{{"x,y", "z"}}},
    {"UnclosedQuoteGuessesCommaAndFails", "\"x,y", kGuess, kComma, 0, kNoLimit,
     ParseFailure{kQuotation, std::string(messages::kUnterminatedQuote)}},
    {"EmptyTextHasNoRows", "", kGuess, kComma, 0, kNoLimit, Rows{}},
    {"SpacesOnlyHaveNoRows", "   ", kGuess, kComma, 0, kNoLimit, Rows{}},
    {"LineEndsOnlyAreEmptyRows", "\n\n", kGuess, kComma, 0, kNoLimit, Rows{{""}, {""}}},
    {"LeadingLineEndsTrimmedForGuess", "\n\na\tb", kGuess, kTab, 0, kNoLimit, Rows{{""}, {""}, {"a", "b"}}},
    {"LeadingTabKeptForGuess", "\ta,b", kGuess, kTab, 0, kNoLimit, Rows{{"", "a,b"}}},
    {"OtherCharacterGuessesComma", "x|y", kGuess, kComma, 0, kNoLimit, Rows{{"x|y"}}},
    {"OtherCharacterGiven", "x|y", CSVDelimiter("|"), kGuess, 0, kNoLimit, Rows{{"x", "y"}}},
    {"EmptyFirstLineIsEmptyHeader", "\nname", kGuess, kComma, 0, kNoLimit, Rows{{""}, {"name"}}},
    {"GreekQuestionMarkIsSemicolon", "a\u037Eb", kGuess, kSemicolon, 0, kNoLimit, Rows{{"a", "b"}}},

    // Rows and fields.
    {"EmptyLineIsOneEmptyField", "h\n\n1", kComma, kGuess, 1, kNoLimit, Rows{{""}, {"1"}}},
    {"FinalLineEndAddsNoRow", "h\n1\n", kComma, kGuess, 1, kNoLimit, Rows{{"1"}}},
    {"TwoFinalLineEndsAddEmptyRow", "h\n1\n\n", kComma, kGuess, 1, kNoLimit, Rows{{"1"}, {""}}},
    {"LastLineWithoutLineEnd", "h\n1,2", kComma, kGuess, 1, kNoLimit, Rows{{"1", "2"}}},
    {"TrailingEmptyFieldBeforeLineEnd", "a,\n", kComma, kGuess, 0, kNoLimit, Rows{{"a", ""}}},
    {"TrailingEmptyFieldAtEndKept_mended", "a,", kComma, kGuess, 0, kNoLimit, Rows{{"a", ""}}},
    {"TrailingQuotedEmptyFieldAtEndKept_mended", "a,\"\"", kComma, kGuess, 0, kNoLimit, Rows{{"a", ""}}},
    {"LoneQuotedEmptyFieldIsOneRow_mended", "\"\"", kComma, kGuess, 0, kNoLimit, Rows{{""}}},
    {"TrailingBlankAfterDelimiterKeepsField_mended", "a, ", kComma, kGuess, 0, kNoLimit, Rows{{"a", ""}}},
    {"QuotedDelimiter", "\"a,b\",c", kComma, kGuess, 0, kNoLimit, Rows{{"a,b", "c"}}},
    {"QuotedLineEnd", "\"x\ny\",z", kComma, kGuess, 0, kNoLimit, Rows{{"x\ny", "z"}}},
    {"DoubledQuotesInQuotedField", "\"say \"\"hi\"\"\"", kComma, kGuess, 0, kNoLimit, Rows{{"say \"hi\""}}},
    {"DoubledQuoteInUnquotedField", "ab\"\"c", kComma, kGuess, 0, kNoLimit, Rows{{"ab\"c"}}},
    {"LoneQuoteBeforeLetter", "ab\"c", kComma, kGuess, 0, kNoLimit, ParseFailure{kQuotation, nonQuote("c")}},
    {"LoneQuoteBeforeDelimiter", "ab\",x", kComma, kGuess, 0, kNoLimit, ParseFailure{kQuotation, nonQuote(",")}},
    {"LetterAfterClosingQuote", "\"a\"b", kComma, kGuess, 0, kNoLimit, ParseFailure{kQuotation, nonQuote("b")}},
    {"AccentedLetterAfterClosingQuote", "\"a\"e\u0301", kComma, kGuess, 0, kNoLimit,
     ParseFailure{kQuotation, nonQuote("e\u0301")}},
    {"LoneQuoteAtEndOfText_mended", "ab\"", kComma, kGuess, 0, kNoLimit,
     ParseFailure{kQuotation, std::string(messages::kLoneQuoteAtEnd)}},
    {"UnterminatedQuoteFails_mended", "a,\"b\nc,d", kComma, kGuess, 0, kNoLimit,
     ParseFailure{kQuotation, std::string(messages::kUnterminatedQuote)}},
    {"BlankAfterClosingQuoteSkipped", "\"a\"  ,b", kComma, kGuess, 0, kNoLimit, Rows{{"a", "b"}}},
    {"LeadingBlankSkippedTrailingKept", "  a ,b", kComma, kGuess, 0, kNoLimit, Rows{{"a ", "b"}}},
    {"NoBreakSpaceIsBlank", "\u00A0a", kComma, kGuess, 0, kNoLimit, Rows{{"a"}}},
    {"EmptyFieldsBetweenTabs", "a\t\tb", kTab, kGuess, 0, kNoLimit, Rows{{"a", "", "b"}}},
    {"TabSkippedAtFieldStartWithComma", "\ta,b", kComma, kGuess, 0, kNoLimit, Rows{{"a", "b"}}},
    {"CarriageReturnLineFeedEndsOneRow", "a\r\nb", kComma, kGuess, 0, kNoLimit, Rows{{"a"}, {"b"}}},
    {"LineFeedCarriageReturnEndsTwoRows", "a\n\rb", kComma, kGuess, 0, kNoLimit, Rows{{"a"}, {""}, {"b"}}},
    {"LoneCarriageReturnEndsRow", "a\rb", kComma, kGuess, 0, kNoLimit, Rows{{"a"}, {"b"}}},
    {"CommaWithAccentIsNoDelimiter", "a,\u0301b,c", kComma, kGuess, 0, kNoLimit, Rows{{"a,\u0301b", "c"}}},
    {"NotUTF8", "ok\nab\xFF", kComma, kGuess, 0, kNoLimit,
     ParseFailure{CSVParseError::Kind::generic, std::string(messages::kInvalidUTF8) + "5"}},

    // Start row and row limit.
    {"LimitZeroFromRowOneGivesNone", "h\n1\n2", kComma, kGuess, 1, 0, Rows{}},
    {"NegativeLimitGivesNone_mended", "h\n1\n2", kComma, kGuess, 1, -1, Rows{}},
    {"LimitCountsFromStartRow", "h\n1\n2\n3", kComma, kGuess, 1, 2, Rows{{"1"}, {"2"}}},
    {"HeaderOnlyIgnoresMalformedSecondRow", "h\nab\"c", kComma, kGuess, 0, 1, Rows{{"h"}}},
    {"SkippedRowStillFails", "ab\"c\n1", kComma, kGuess, 1, kNoLimit, ParseFailure{kQuotation, nonQuote("c")}},
    {"NegativeStartCountsAsZero", "a\nb", kComma, kGuess, -3, kNoLimit, Rows{{"a"}, {"b"}}},
    {"HugeLimitIsNoLimit", "h\n1\n2", kComma, kGuess, 2, std::numeric_limits<std::int64_t>::max(), Rows{{"2"}}},
};

void PrintTo(const ReadingCase& edge, std::ostream* stream) { *stream << edge.name; }

class ReadingEdgeCases : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(ReadingEdgeCases, ReadAsExpected) {
    const ReadingCase& edge = GetParam();
    CSVDelimiter delimiter = kComma;
    if (edge.delimiter) {
        delimiter = *edge.delimiter;
    } else {
        delimiter = CSVDelimiter::guessed(edge.text);
        ASSERT_TRUE(edge.guess.has_value());
        EXPECT_EQ(delimiter, *edge.guess);
    }
    if (const auto* rows = std::get_if<Rows>(&edge.expected)) {
        EXPECT_EQ(parseAll(edge.text, delimiter, edge.startAt, edge.rowLimit), *rows);
        return;
    }
    const auto& failure = std::get<ParseFailure>(edge.expected);
    try {
        parseAll(edge.text, delimiter, edge.startAt, edge.rowLimit);
        ADD_FAILURE() << "no error";
    } catch (const CSVParseError& error) {
        EXPECT_EQ(error.kind(), failure.kind);
        EXPECT_EQ(error.message(), failure.message);
    }
}

INSTANTIATE_TEST_SUITE_P(Csv, ReadingEdgeCases, ::testing::ValuesIn(kReadingCases),
                         [](const auto& test) { return std::string(test.param.name); });

// The views over documents read from text.
struct ViewCase {
    const char* name;
    std::string text;
    bool loadColumns;
    Rows enumeratedRows;
    std::optional<Enumerated::Columns> enumeratedColumns;
    std::vector<Named::Row> namedRows;
    std::optional<Named::Columns> namedColumns;
};

const ViewCase kViewCases[] = {
    {"ShortRowsFilledUp",
     "h1,h2\n1\n2,3,4",
     true,
     Rows{{"1", "", ""}, {"2", "3", "4"}},
     Enumerated::Columns{{"h1", {"1", "2"}}, {"h2", {"", "3"}}},
     {{{"h1", "1"}, {"h2", ""}}, {{"h1", "2"}, {"h2", "3"}}},
     Named::Columns{{"h1", {"1", "2"}}, {"h2", {"", "3"}}}},
    {"RepeatedNameTakesLastCell",
     "k,k\n1,2",
     true,
     Rows{{"1", "2"}},
     Enumerated::Columns{{"k", {"1"}}, {"k", {"2"}}},
     {{{"k", "2"}}},
     Named::Columns{{"k", {"2"}}}},
    {"ColumnsAbsentUnlessLoaded",
     "a,b\n1,2",
     false,
     Rows{{"1", "2"}},
     std::nullopt,
     {{{"a", "1"}, {"b", "2"}}},
     std::nullopt},
    {"EmptyTextHasEmptyColumns", "", true, Rows{}, Enumerated::Columns{}, {}, Named::Columns{}},
    {"EmptyHeaderCellIsAName",
     "\n1,2",
     true,
     Rows{{"1", "2"}},
     Enumerated::Columns{{"", {"1"}}},
     {{{"", "1"}}},
     Named::Columns{{"", {"1"}}}},
};

void PrintTo(const ViewCase& edge, std::ostream* stream) { *stream << edge.name; }

class ViewEdgeCases : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ViewEdgeCases, HoldRowsAndColumns) {
    const ViewCase& edge = GetParam();
    const CSV<Enumerated> enumerated(edge.text, kComma, edge.loadColumns);
    EXPECT_EQ(enumerated.rows(), edge.enumeratedRows);
    EXPECT_EQ(enumerated.columns(), edge.enumeratedColumns);
    const CSV<Named> named(edge.text, kComma, edge.loadColumns);
    EXPECT_EQ(named.rows(), edge.namedRows);
    EXPECT_EQ(named.columns(), edge.namedColumns);
}

INSTANTIATE_TEST_SUITE_P(Csv, ViewEdgeCases, ::testing::ValuesIn(kViewCases),
                         [](const auto& test) { return std::string(test.param.name); });

// Writing: the exact text, and that it reads back as what was written.
struct WritingCase {
    const char* name;
    std::vector<std::string> header;
    Rows rows;
    CSVDelimiter delimiter;
    std::string expected;  // empty with `refused` set: the serialiser refuses
    bool refused = false;
};

const WritingCase kWritingCases[] = {
    {"QuotesOnlyWhereNeeded",
     {"x", "y"},
     {{"1", "a,b"}, {"say \"hi\"", ""}},
     kComma,
     "x,y\n1,\"a,b\"\n\"say \"\"hi\"\"\","},
    {"OtherDelimiterQuotesOnlyItself", {"p", "q"}, {{"a|b", "a,b"}}, CSVDelimiter("|"), "p|q\n\"a|b\"|a,b"},
    {"HeaderWithoutRows", {"h1", "h2"}, {}, kComma, "h1,h2\n"},
    {"EmptyDocumentIsEmptyText_mended", {}, {}, kComma, ""},
    {"LineEndsQuoted_mended", {"h"}, {{"a\nb"}, {"c\rd"}, {"e\r\nf"}}, kComma, "h\n\"a\nb\"\n\"c\rd\"\n\"e\r\nf\""},
    {"LeadingBlankQuoted_mended",
     {"h", "i"},
     {{" a", "\tb"}, {"\u00A0c", "d "}},
     kComma,
     "h,i\n\" a\",\"\tb\"\n\"\u00A0c\",d "},
    {"LoneEmptyCellRowQuoted_mended", {"h"}, {{"1"}, {""}}, kComma, "h\n1\n\"\""},
    {"TabDelimitedTabQuoted", {"a\tb", "c"}, {{"1", "2"}}, kTab, "\"a\tb\"\tc\n1\t2"},
    {"CharacterStandingForDelimiterQuoted", {"a\u037Eb"}, {}, kSemicolon, "\"a\u037Eb\"\n"},
    {"ByteOrderMarkInFirstHeaderCellQuoted", {"\uFEFFa", "\uFEFFb"}, {}, kComma, "\"\uFEFFa\",\uFEFFb\n"},
    {"CombiningMarkFirstInLineUnquoted", {"\u0301a"}, {{"\u0301b"}}, kComma, "\u0301a\n\u0301b"},
    {"CombiningMarkAfterTabDelimiter", {"a", "\u0301b"}, {}, kTab, "a\t\u0301b\n"},
    {"CombiningMarkAfterCommaRefused", {"a", "\u0301b"}, {}, kComma, "", true},
    {"CombiningMarkInQuotedCellRefused", {"\u0301,"}, {}, kComma, "", true},
    {"PrependBeforeDelimiterRefused", {"\u0600", "b"}, {}, kComma, "", true},
    {"PrependLastInLineUnquoted", {"a", "\u0600"}, {{"1", "2"}}, kComma, "a,\u0600\n1,2"},
    {"RowWithoutCellsRefused", {"h"}, {{}}, kComma, "", true},
    {"RowsUnderEmptyHeaderRefused", {}, {{"1"}}, kComma, "", true},
};

void PrintTo(const WritingCase& edge, std::ostream* stream) { *stream << edge.name; }

class WritingEdgeCases : public ::testing::TestWithParam<WritingCase> {};

TEST_P(WritingEdgeCases, WriteTextThatReadsBack) {
    const WritingCase& edge = GetParam();
    if (edge.refused) {
        EXPECT_THROW(serialize(edge.header, edge.rows, edge.delimiter), CSVSerializationError);
        return;
    }
    const std::string text = serialize(edge.header, edge.rows, edge.delimiter);
    EXPECT_EQ(text, edge.expected);
    const CSV<Enumerated> document(text, edge.delimiter, false);
    EXPECT_EQ(document.header(), edge.header);
    EXPECT_EQ(document.rows(), edge.rows);
}

INSTANTIATE_TEST_SUITE_P(Csv, WritingEdgeCases, ::testing::ValuesIn(kWritingCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace csv

// Reading only the header: the same header and delimiter as the whole
// document, however the bytes arrive, without reading what follows.

#include "CsvTestSupport.h"

#include "csv/CSV.h"
#include "csv/CSVParseError.h"
#include "csv/HeaderReader.h"
#include "csv/Messages.h"

#include "ChildProcess.h"
#include "TestSupport.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace csv {
namespace {

// Serves `text` in the pieces asked for, counting what it served.
struct CountingSource {
    std::string text;
    std::size_t served = 0;

    ByteSource source() {
        return [this](std::string& buffer, std::size_t count) {
            const std::size_t take = std::min(count, text.size() - served);
            buffer.append(text, served, take);
            served += take;
            return served < text.size();
        };
    }
};

struct HeaderCase {
    const char* name;
    std::string text;
    std::vector<std::string> header;  // empty with `error` set: it fails
    CSVDelimiter delimiter;
    std::string error;
};

void PrintTo(const HeaderCase& headerCase, std::ostream* stream) { *stream << headerCase.name; }

const std::string kMalformedRows = "1,\"2\n3\"x\nab\"c\n\"open";

const HeaderCase kHeaderCases[] = {
    {"ByteOrderMarkAndCRLF",
     "\xEF\xBB\xBF"
     "a,b\r\n1,2\r\n",
     {"a", "b"},
     CSVDelimiter::comma(),
     ""},
    {"CarriageReturnsOnly", "a;b\r1;2\r", {"a", "b"}, CSVDelimiter::semicolon(), ""},
    {"QuotedLineEndInHeader", "\"a\nb\",c\n1,2", {"a\nb", "c"}, CSVDelimiter::comma(), ""},
    {"NoLineEnd", "only,row", {"only", "row"}, CSVDelimiter::comma(), ""},
    {"GuessLooksPastEmptyFirstRow", "\n\n x;y\n", {""}, CSVDelimiter::semicolon(), ""},
    {"MalformedRowsBelowDoNotMatter", "h1,h2\n" + kMalformedRows, {"h1", "h2"}, CSVDelimiter::comma(), ""},
    {"BadBytesBelowDoNotMatter", "h1,h2\n\xFF\xFE,1\n", {"h1", "h2"}, CSVDelimiter::comma(), ""},
    {"AccentOnCommaKeptWhole", "a,\u0301b,c\n", {"a,\u0301b", "c"}, CSVDelimiter::comma(), ""},
    // Read two bytes at a time, "a," alone would look like a comma.
    {"AccentOnCommaSplitAcrossReads", "a,\u0301;b\nx", {"a,\u0301", "b"}, CSVDelimiter::semicolon(), ""},
    {"EmptyText", "", {}, CSVDelimiter::comma(), ""},
    {"BlankText", "   ", {}, CSVDelimiter::comma(), ""},
    {"BlankTextWithTab", "  \t", {"", ""}, CSVDelimiter::tab(), ""},
    {"MalformedHeader", "a,b\"c\n1,2", {}, CSVDelimiter::comma(), std::string(messages::kNonQuote) + "c"},
    {"UnterminatedQuoteInHeader", "a,\"b\n1,2\n", {}, CSVDelimiter::comma(), std::string(messages::kUnterminatedQuote)},
    {"BadByteInHeader", "a,b\xC3\n1", {}, CSVDelimiter::comma(), std::string(messages::kInvalidUTF8) + "3"},
    {"BadByteOnGuessedLine", "\n\na\xFF;b\n", {}, CSVDelimiter::comma(), std::string(messages::kInvalidUTF8) + "3"},
};

class HeaderReaderCases : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderReaderCases, AgreeInEveryChunking) {
    const HeaderCase& headerCase = GetParam();
    for (const std::size_t chunkBytes :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, kHeaderChunkBytes}) {
        SCOPED_TRACE(chunkBytes);
        CountingSource counting{headerCase.text};
        if (!headerCase.error.empty()) {
            try {
                readHeader(counting.source(), chunkBytes);
                ADD_FAILURE() << "no error";
            } catch (const CSVParseError& error) {
                EXPECT_EQ(error.message(), headerCase.error);
            }
            continue;
        }
        const HeaderReading reading = readHeader(counting.source(), chunkBytes);
        EXPECT_EQ(reading.header, headerCase.header);
        EXPECT_EQ(reading.delimiter, headerCase.delimiter);
    }
}

INSTANTIATE_TEST_SUITE_P(Csv, HeaderReaderCases, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(HeaderReader, ReadsNoMoreThanTheFirstChunkForAShortHeader) {
    CountingSource counting{"name;email\n" + std::string(20'000'000, 'x')};
    const HeaderReading reading = readHeader(counting.source());
    EXPECT_EQ(reading.header, (std::vector<std::string>{"name", "email"}));
    EXPECT_EQ(counting.served, kHeaderChunkBytes);
}

TEST(HeaderReader, ReadsOnUntilTheHeaderRowEnds) {
    // A quoted header cell longer than the first chunk.
    const std::string longCell(3 * kHeaderChunkBytes, 'q');
    CountingSource counting{"\"" + longCell + "\n\",b\n" + std::string(10'000'000, 'x')};
    const HeaderReading reading = readHeader(counting.source());
    EXPECT_EQ(reading.header, (std::vector<std::string>{longCell + "\n", "b"}));
    EXPECT_LT(counting.served, 8 * kHeaderChunkBytes);
}

// A header row without end stops at the maximum instead of eating memory.
TEST(HeaderReader, StopsAtTheMaximum) {
    const struct {
        std::size_t chunkBytes;
        std::size_t maximum;
        bool quoted;  // line ends inside a quoted cell do not end the row
        char filler;
    } cases[] = {
        {1, 10, false, 'x'},
        {3, 10, false, 'x'},
        {kHeaderChunkBytes, 1000, false, 'x'},
        {7, 1000, true, '\n'},
        {kHeaderChunkBytes, kMaximumHeaderBytes, false, 'x'},
    };
    for (const auto& [chunkBytes, maximum, quoted, filler] : cases) {
        SCOPED_TRACE(::testing::Message() << chunkBytes << " of " << maximum);
        std::size_t served = 0;
        const ByteSource endless = [&](std::string& buffer, std::size_t count) {
            if (quoted && buffer.empty()) {
                buffer += '"';
                ++served;
                return true;
            }
            buffer.append(count, filler);
            served += count;
            return true;
        };
        try {
            readHeader(endless, chunkBytes, maximum);
            ADD_FAILURE() << "no error";
        } catch (const CSVParseError& error) {
            EXPECT_EQ(error.message(), messages::kHeaderTooLong);
        }
        EXPECT_EQ(served, maximum);
    }

    // Up to the maximum, a header is read as ever, however it arrives.
    for (const std::size_t chunkBytes : {std::size_t{1}, std::size_t{4}, std::size_t{64}}) {
        CountingSource counting{"abc,def\n1,2"};
        const HeaderReading reading = readHeader(counting.source(), chunkBytes, 8);
        EXPECT_EQ(reading.header, (std::vector<std::string>{"abc", "def"})) << chunkBytes;
        CountingSource whole{"abc,def"};
        EXPECT_EQ(readHeader(whole.source(), chunkBytes, 8).header, (std::vector<std::string>{"abc", "def"}));
    }
}

std::string repeated(std::string_view piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t index = 0; index < times; ++index) {
        text += piece;
    }
    return text;
}

TEST(HeaderReader, RefusesMoreCellsThanATemplateMayHave) {
    const std::string tooMany = std::string(messages::kHeaderTooManyCells) + std::to_string(kMaximumHeaderCells);
    const std::size_t most = kMaximumHeaderCells;
    const struct {
        const char* name;
        std::string text;
        std::size_t cells;  // 0: refused
    } cases[] = {
        {"AtTheMost", repeated("c,", most - 1) + "c\n1,2\n", most},
        {"EmptyCellsAtTheMost", std::string(most - 1, ';') + "\n", most},
        {"OneTooMany", repeated("c,", most) + "c\n1,2\n", 0},
        {"TrailingDelimiter", repeated("c\t", most) + "\n", 0},
        {"EmptyCellsWithoutLineEnd", std::string(most, ','), 0},
        // Line ends inside quotes do not end the row.
        {"QuotedLineEnds", repeated("\"x\ny\",", most + 5) + "z\n", 0},
    };
    for (const auto& item : cases) {
        for (const std::size_t chunkBytes : {std::size_t{1}, std::size_t{1000}, kHeaderChunkBytes}) {
            SCOPED_TRACE(::testing::Message() << item.name << " in chunks of " << chunkBytes);
            CountingSource counting{item.text};
            if (item.cells != 0) {
                EXPECT_EQ(readHeader(counting.source(), chunkBytes).header.size(), item.cells);
                continue;
            }
            try {
                readHeader(counting.source(), chunkBytes);
                ADD_FAILURE() << "no error";
            } catch (const CSVParseError& error) {
                EXPECT_EQ(error.kind(), CSVParseError::Kind::generic);
                EXPECT_EQ(error.message(), tooMany);
            }
        }
    }
}

// A 60 MB line of commas once made 63 million empty names; now it costs a
// small multiple of its bytes. Measured in a child, whose peak is its own.
TEST(HeaderReader, ALongLineOfCommasCostsAFewTimesItsBytes) {
    constexpr std::size_t kLineBytes = 60'000'000;
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer's shadow memory is several times what it watches.
    constexpr std::size_t kAllowance = 8;
#else
    constexpr std::size_t kAllowance = 4;
#endif
    const auto peakBytes = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
    };
    const int status = platform::testing::runInChild([&] {
        std::size_t served = 0;
        const ByteSource commas = [&](std::string& buffer, std::size_t count) {
            const std::size_t take = std::min(count, kLineBytes - served);
            buffer.append(take, ',');
            served += take;
            if (served < kLineBytes) {
                return true;
            }
            buffer += "\n1\n";
            return false;
        };
        const std::size_t before = peakBytes();
        try {
            readHeader(commas);
            return 2;
        } catch (const CSVParseError& error) {
            if (error.message() != std::string(messages::kHeaderTooManyCells) + std::to_string(kMaximumHeaderCells)) {
                return 3;
            }
        }
        return peakBytes() - before < kAllowance * kLineBytes ? 0 : 4;
    });
    EXPECT_EQ(status, 0) << "2: no error, 3: another error, 4: too much memory";
}

TEST(HeaderReader, FileFailuresNameTheFile) {
    platform::testing::TemporaryDirectory folder;
    const auto missing = folder.path() / "missing.csv";
    try {
        readHeader(missing);
        ADD_FAILURE() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(CSVFileError::couldNotOpen)) << error.domain() << " " << error.code();
        EXPECT_EQ(platform::posixReason(error), ENOENT);
        EXPECT_NE(std::string(error.what()).find(missing.string()), std::string::npos) << error.what();
    }
    EXPECT_THROW(readHeader(folder.path()), platform::Error);

    // Devices and pipes may never end, or block with no writer: refused
    // without reading, for the header as for the whole document.
    const auto pipe = folder.path() / "pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::filesystem::path& path : {std::filesystem::path("/dev/zero"), pipe}) {
        const std::string expected =
            "Could not read \"" + path.string() + "\": " + std::string(messages::kNotRegularFile);
        try {
            readHeader(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(CSVFileError::notRegularFile)) << error.domain() << " " << error.code();
            EXPECT_EQ(std::string(error.what()), expected);
        }
        try {
            CSV<Enumerated>::fromFile(path, "UTF-8", false);
            ADD_FAILURE() << "no error for " << path;
        } catch (const platform::Error& error) {
            EXPECT_EQ(std::string(error.what()), expected);
        }
    }
}

TEST(HeaderReader, ReadsAFile) {
    platform::testing::TemporaryDirectory folder;
    const auto path = folder.path() / "people.csv";
    platform::testing::writeFile(path,
                                 "\xEF\xBB\xBF"
                                 "first\tlast\r\nAda\tLovelace\r\n");
    const HeaderReading reading = readHeader(path);
    EXPECT_EQ(reading.header, (std::vector<std::string>{"first", "last"}));
    EXPECT_EQ(reading.delimiter, CSVDelimiter::tab());
}

}  // namespace
}  // namespace csv

// The CSV document: construction, row enumeration, files and encodings.

#include "CsvTestSupport.h"

#include "csv/CSVParseError.h"
#include "csv/Messages.h"

#include "TestSupport.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace csv {
namespace {

using testing::Rows;

TEST(Document, DropsByteOrderMarkAndGuessesDelimiter) {
    const CSV<Named> document(
        "\xEF\xBB\xBF"
        "id;name\r\n1;Ada\r\n",
        true);
    EXPECT_EQ(document.text(), "id;name\r\n1;Ada\r\n");
    EXPECT_EQ(document.header(), (std::vector<std::string>{"id", "name"}));
    EXPECT_EQ(document.delimiter(), CSVDelimiter::semicolon());
    EXPECT_EQ(document.rows(), (std::vector<Named::Row>{{{"id", "1"}, {"name", "Ada"}}}));
}

TEST(Document, MalformedDataRowFailsConstructionUnlessBeyondTheLimit) {
    const std::string text = "a,b\n1,2\n3,x\"y\n";
    try {
        CSV<Named>(text, CSVDelimiter::comma(), true);
        ADD_FAILURE() << "no error";
    } catch (const CSVParseError& error) {
        EXPECT_EQ(error.kind(), CSVParseError::Kind::quotation);
        EXPECT_EQ(error.message(), std::string(messages::kNonQuote) + "y");
    }
    const CSV<Enumerated> limited(text, CSVDelimiter::comma(), false, 1);
    EXPECT_EQ(limited.rows(), (Rows{{"1", "2"}}));
}

TEST(Document, TextThatIsNotUTF8FailsConstruction) {
    try {
        CSV<Enumerated>("a,b\n\xC0\x80", CSVDelimiter::comma(), false);
        ADD_FAILURE() << "no error";
    } catch (const CSVParseError& error) {
        EXPECT_EQ(error.kind(), CSVParseError::Kind::generic);
    }
}

struct EnumerationCase {
    const char* name;
    std::optional<std::int64_t> limitTo;
    std::int64_t startAt;
    Rows expected;
};

void PrintTo(const EnumerationCase& enumerationCase, std::ostream* stream) { *stream << enumerationCase.name; }

const EnumerationCase kEnumerationCases[] = {
    {"AllFromHeader", std::nullopt, 0, {{"h"}, {"1", "x"}, {"2"}, {"3"}}},
    {"UpToRowThree", 3, 1, {{"1", "x"}, {"2"}}},
    {"EndAtStartGivesNone", 2, 2, {}},
    {"EndBeforeStartGivesNone_mended", 1, 3, {}},
};

class RowEnumeration : public ::testing::TestWithParam<EnumerationCase> {};

TEST_P(RowEnumeration, HandsOverRowsAsParsed) {
    const EnumerationCase& enumerationCase = GetParam();
    const CSV<Enumerated> document("h\n1,x\n2\n3", CSVDelimiter::comma(), false);
    Rows rows;
    document.forEachRowAsArrayLimitTo(enumerationCase.limitTo, enumerationCase.startAt,
                                      [&](std::vector<std::string> row) { rows.push_back(std::move(row)); });
    EXPECT_EQ(rows, enumerationCase.expected);
}

INSTANTIATE_TEST_SUITE_P(Csv, RowEnumeration, ::testing::ValuesIn(kEnumerationCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Document, EnumeratesRowsAsDictionariesByHeader) {
    const CSV<Enumerated> document("a,b,a\n1,2,3\n4", CSVDelimiter::comma(), false);
    std::vector<Named::Row> rows;
    document.forEachRowAsDictionary([&](Named::Row row) { rows.push_back(std::move(row)); });
    EXPECT_EQ(rows, (std::vector<Named::Row>{{{"a", "3"}, {"b", "2"}}, {{"a", ""}, {"b", ""}}}));
}

TEST(Document, NamedViewWritesByHeaderOrder) {
    const CSV<Named> document("b,a\n1,\"x,y\"\n", CSVDelimiter::comma(), false);
    EXPECT_EQ(document.serialized(), "b,a\n1,\"x,y\"");
    EXPECT_EQ(document.description(), document.serialized());
    Named edited = document.content();
    edited.rows.push_back({{"a", "only a"}});
    EXPECT_EQ(edited.serialize(document.header(), document.delimiter()), "b,a\n1,\"x,y\"\n,only a");
}

TEST(Document, ReadsFilesInTheirEncoding) {
    platform::testing::TemporaryDirectory folder;
    const auto latin1 = folder.path() / "latin1.csv";
    platform::testing::writeFile(latin1, "caf\xE9;cr\xE8me\n1;2\n");
    const auto document = CSV<Enumerated>::fromFile(latin1, "ISO-8859-1", true);
    EXPECT_EQ(document.header(), (std::vector<std::string>{"caf\u00E9", "cr\u00E8me"}));
    EXPECT_EQ(document.delimiter(), CSVDelimiter::semicolon());

    const auto utf16 = folder.path() / "utf16.csv";
    platform::testing::writeFile(utf16, std::string("\xFF\xFE"
                                                    "a\0,\0b\0",
                                                    8));
    EXPECT_EQ(CSV<Enumerated>::fromFile(utf16, CSVDelimiter::comma(), "UTF-16", false).header(),
              (std::vector<std::string>{"a", "b"}));
}

// Each failure has its code, and the reason of the layer below (the OS,
// ICU) travels under it.
TEST(Document, FileReadFailuresThrowPlatformErrors) {
    platform::testing::TemporaryDirectory folder;
    const auto notUTF8 = folder.path() / "bad.csv";
    platform::testing::writeFile(notUTF8, "caf\xE9\n");
    const struct {
        const char* name;
        std::filesystem::path path;
        std::string_view encoding;
        CSVFileError code;
        std::string_view underlyingDomain;  // empty: none
    } cases[] = {
        {"not UTF-8", notUTF8, kUTF8, CSVFileError::notInEncoding, ""},
        {"missing", folder.path() / "missing.csv", kUTF8, CSVFileError::couldNotOpen, "InputFile"},
        {"a folder", folder.path(), kUTF8, CSVFileError::couldNotRead, "InputFile"},
        {"unknown encoding", notUTF8, "no-such-encoding", CSVFileError::unknownEncoding, kICUErrorDomain},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        try {
            CSV<Enumerated>::fromFile(item.path, item.encoding, false);
            ADD_FAILURE() << "no error";
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(item.code)) << error.domain() << " " << error.code() << ": " << error.what();
            const platform::Error* underlying = error.underlyingError();
            EXPECT_EQ(underlying == nullptr ? std::string_view() : std::string_view(underlying->domain()),
                      item.underlyingDomain);
        }
    }
}

TEST(Document, SerializedDataIsAbsentWhenTheEncodingCannotHoldTheText) {
    const CSV<Enumerated> french("caf\u00E9\n1", CSVDelimiter::comma(), false);
    EXPECT_EQ(french.serializedData("ISO-8859-1"), std::optional<std::string>("caf\xE9\n1"));
    EXPECT_EQ(french.serializedData(kUTF8), std::optional<std::string>("caf\u00E9\n1"));
    const CSV<Enumerated> japanese("\u65E5\u672C\n1", CSVDelimiter::comma(), false);
    EXPECT_EQ(japanese.serializedData("ISO-8859-1"), std::nullopt);
}

}  // namespace
}  // namespace csv

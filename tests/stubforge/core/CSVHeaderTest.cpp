// The CSV template import: column names from a file's header row, or the
// error line and no value.

#include "stubforge/core/CSVUtils.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

namespace stubforge {
namespace {

using Names = std::vector<std::string>;

struct TemplateCase {
    const char* name;
    std::string bytes;
    std::optional<Names> expected;
    std::string reason;  // what follows the message prefix when there is no value
};

void PrintTo(const TemplateCase& templateCase, std::ostream* stream) { *stream << templateCase.name; }

const TemplateCase kTemplateCases[] = {
    {"ByteOrderMarkAndCRLF",
     "\xEF\xBB\xBF"
     "a,b\r\n1,2\r\n",
     Names{"a", "b"}, ""},
    {"Semicolons", "first;last;email\nAda;Lovelace;ada@example.org\n", Names{"first", "last", "email"}, ""},
    {"Tabs", "sku\tprice\n1\t2\n", Names{"sku", "price"}, ""},
    {"HeaderOnlyWithoutLineEnd", "name,\"city, state\"", Names{"name", "city, state"}, ""},
    {"MalformedDataRowKeepsHeader", "name,age\nAda,\"3\"6\nBob,\"unclosed\n", Names{"name", "age"}, ""},
    {"BadBytesBelowHeaderKeepHeader", "name,age\n\xFF\xFE\n", Names{"name", "age"}, ""},
    {"NotUTF8", "na\xE9me,age\n", std::nullopt, "Text is not valid UTF-8 at byte 2"},
    {"MalformedHeader", "na\"me,age\n", std::nullopt, "Can't have non-quote here: m"},
    {"EmptyFile", "", std::nullopt, "the file has no header row"},
    {"ByteOrderMarkOnly", "\xEF\xBB\xBF", std::nullopt, "the file has no header row"},
    {"BlankOnly", "   ", std::nullopt, "the file has no header row"},
    {"EmptyFirstLine", "\n1,2\n", std::nullopt, "the first line, the header, is empty"},
    {"EmptyFirstLineCRLF", "\r\nid,name\r\n", std::nullopt, "the first line, the header, is empty"},
    {"EmptyNamesAreNames", ",\n1,2\n", Names{"", ""}, ""},
};

class CSVTemplateImport : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(CSVTemplateImport, GivesHeaderOrMessage) {
    const TemplateCase& templateCase = GetParam();
    platform::testing::TemporaryDirectory folder;
    const auto path = folder.path() / "template.csv";
    platform::testing::writeFile(path, templateCase.bytes);
    platform::CaptureLogSink log;
    EXPECT_EQ(CSVUtils::readCSVHeader(path, log, 250), templateCase.expected);
    EXPECT_EQ(log.drainLines(), templateCase.expected
                                    ? std::vector<std::string>{}
                                    : std::vector<std::string>{"Error reading CSV file: " + templateCase.reason});
}

INSTANTIATE_TEST_SUITE_P(Core, CSVTemplateImport, ::testing::ValuesIn(kTemplateCases),
                         [](const auto& test) { return std::string(test.param.name); });

// Paths the import cannot read give the line naming the file and the
// reason; devices and pipes are refused without reading, where /dev/zero
// would never end and a pipe without a writer would block.
TEST(CSVTemplateImport, UnreadablePathsNameTheFile) {
    platform::testing::TemporaryDirectory folder;
    const auto missing = folder.path() / "gone.csv";
    const auto pipe = folder.path() / "pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::filesystem::path path;
        std::string reason;
    } cases[] = {
        {missing, "Could not open \"" + missing.string() + "\": No such file or directory"},
        {folder.path(), "Could not read \"" + folder.path().string() + "\": Is a directory"},
        {"/dev/zero", "Could not read \"/dev/zero\": not a regular file"},
        {pipe, "Could not read \"" + pipe.string() + "\": not a regular file"},
    };
    for (const auto& [path, reason] : cases) {
        platform::CaptureLogSink log;
        EXPECT_EQ(CSVUtils::readCSVHeader(path, log, 250), std::nullopt) << path;
        EXPECT_EQ(log.drainLines(), std::vector<std::string>{"Error reading CSV file: " + reason});
    }
}

// A header with more names than a table takes is refused whole, not cut.
TEST(CSVTemplateImport, RefusesMoreNamesThanTheBound) {
    platform::testing::TemporaryDirectory folder;
    const auto path = folder.path() / "wide.csv";
    std::string header;
    for (int column = 1; column <= 251; ++column) {
        header += (column > 1 ? ";" : "") + std::to_string(column);
    }
    platform::testing::writeFile(path, header + "\n");
    platform::CaptureLogSink log;
    EXPECT_EQ(CSVUtils::readCSVHeader(path, log, 250), std::nullopt);
    EXPECT_EQ(
        log.drainLines(),
        std::vector<std::string>{"Error reading CSV file: the header has 251 names; a table has at most 250 columns"});
    const auto names = CSVUtils::readCSVHeader(path, log, 251);
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(names->size(), 251u);
    EXPECT_EQ(names->back(), "251");
    EXPECT_TRUE(log.drainLines().empty());
}

}  // namespace
}  // namespace stubforge

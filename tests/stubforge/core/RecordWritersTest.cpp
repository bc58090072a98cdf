// The CSV writer by columns and the JSON writer, read back with Python's csv
// module and a JSON parser.

#include "stubforge/core/CSVUtils.h"
#include "stubforge/core/JSONWriter.h"

#include "platform/Error.h"
#include "platform/Value.h"

#include "CoreTestSupport.h"
#include "Process.h"

#include <cstdio>
#include <regex>

namespace stubforge {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStamp = "20261208065016";

using Records = std::vector<std::vector<std::string>>;

// The records of a CSV file as Python's csv module reads them.
Records pythonCSV(const fs::path& path) {
    const std::string command =
        "python3 -c 'import csv, json, sys; "
        "print(json.dumps(list(csv.reader(open(sys.argv[1], newline=\"\", encoding=\"utf-8\")))))' " +
        platform::testing::shellQuote(path.string());
    const auto [exitCode, output] = platform::testing::runCommand(command, false);
    EXPECT_EQ(exitCode, 0) << "python3 could not read " << path;
    Records records;
    const auto parsed = platform::Value::fromJson(output);
    if (!parsed || !parsed->asArray()) {
        ADD_FAILURE() << "no records from python3: " << output;
        return records;
    }
    for (const platform::Value& record : *parsed->asArray()) {
        std::vector<std::string> fields;
        for (const platform::Value& field : *record.asArray()) {
            fields.push_back(*field.asString());
        }
        records.push_back(std::move(fields));
    }
    return records;
}

CSVColumnTableRow column(std::string name, CSVColumnDataType type) {
    return CSVColumnTableRow{UUID::random(platform::systemRandom()), std::move(name), type};
}

class RecordWritersTest : public ::testing::Test {
protected:
    testing::WriterFixture world;
};

TEST_F(RecordWritersTest, TemplateModeNumbersTheColumns) {
    // No rows, or as many rows as columns but not one per column: the rows
    // are set aside.
    const std::vector<std::vector<CSVColumnTableRow>> lists = {
        {},
        {column("a", CSVColumnDataType::email), column("b", CSVColumnDataType::email)},
    };
    for (const auto& columns : lists) {
        const fs::path path = CSVUtils::generateCSVByColumns(3, columns, world.context());
        EXPECT_EQ(path, world.outputFolder / (std::string("document_3columns_") + kStamp + ".csv"));
        const std::string text = testing::readFile(path);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 101);
        EXPECT_TRUE(text.ends_with("\n"));
        const Records records = pythonCSV(path);
        ASSERT_EQ(records.size(), 101u);
        EXPECT_EQ(records[0], (std::vector<std::string>{"Column1", "Column2", "Column3"}));
        const std::regex word("[a-z]+");
        for (std::size_t index = 1; index < records.size(); ++index) {
            ASSERT_EQ(records[index].size(), 3u);
            for (const std::string& field : records[index]) {
                EXPECT_TRUE(std::regex_match(field, word)) << field;
            }
        }
        fs::remove(path);
    }
}

TEST_F(RecordWritersTest, ColumnModeStaysCSV) {
    const std::vector<CSVColumnTableRow> columns = {
        column("last, first", CSVColumnDataType::name),
        column("say \"hi\"", CSVColumnDataType::loremParagraphs),
        column("dept;s", CSVColumnDataType::commerceDepartment),
        column("price", CSVColumnDataType::commercePrice),
    };
    const fs::path path = CSVUtils::generateCSVByColumns(4, columns, world.context());
    EXPECT_EQ(path.filename(), std::string("document_4columns_") + kStamp + ".csv");
    const std::string text = testing::readFile(path);
    // Names with "," are quoted, with ";" left alone.
    EXPECT_TRUE(text.starts_with("\"last, first\",\"say \"\"hi\"\"\",dept;s,price\n")) << text.substr(0, 80);

    const Records records = pythonCSV(path);
    ASSERT_EQ(records.size(), 101u);
    EXPECT_EQ(records[0], (std::vector<std::string>{"last, first", "say \"hi\"", "dept;s", "price"}));
    const std::regex price("\\d{1,2}\\.\\d{1,2}");
    for (std::size_t index = 1; index < records.size(); ++index) {
        const auto& record = records[index];
        ASSERT_EQ(record.size(), 4u) << index;
        // Paragraphs keep their line feeds inside the quoted field.
        EXPECT_EQ(std::count(record[1].begin(), record[1].end(), '\n'), 2);
        for (const std::string& field : record) {
            EXPECT_EQ(field.find_first_of(",;"), std::string::npos) << field;
        }
        EXPECT_TRUE(std::regex_match(record[3], price)) << record[3];
    }
}

TEST_F(RecordWritersTest, QuotingRule) {
    struct Case {
        const char* field;
        const char* written;
    };
    const Case cases[] = {
        {"plain words", "plain words"},
        {"semi;colon", "semi;colon"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {"\"", "\"\"\"\""},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(CSVUtils::quotedField(item.field), item.written) << item.field;
    }
}

TEST_F(RecordWritersTest, AnEmptyOneFieldRowIsNoBlankLine) {
    const std::vector<CSVColumnTableRow> columns = {column("", CSVColumnDataType::loremWord)};
    const fs::path path = CSVUtils::generateCSVByColumns(1, columns, world.context());
    EXPECT_TRUE(testing::readFile(path).starts_with("\"\"\n"));
    const Records records = pythonCSV(path);
    ASSERT_EQ(records.size(), 101u);
    EXPECT_EQ(records[0], std::vector<std::string>{""});
}

TEST_F(RecordWritersTest, JSONRecordsSortKeysAndHoldStrings) {
    const std::vector<CSVColumnTableRow> fields = {
        column("b", CSVColumnDataType::name),
        column("a", CSVColumnDataType::commercePrice),
        column("text", CSVColumnDataType::loremParagraphs),
    };
    const fs::path path = generateJSONFile(3, fields, world.context());
    EXPECT_EQ(path, world.outputFolder / (std::string("document_3rows_") + kStamp + ".json"));
    const std::string text = testing::readFile(path);
    // "[", records joined by "," with nothing between them, "]"; each record
    // pretty-printed, keys in order.
    const std::string record = R"(\{\n  "a": "[0-9.]+",\n  "b": "[^"\n]+",\n  "text": "[^"\n]+"\n\})";
    EXPECT_TRUE(std::regex_match(text, std::regex("\\[" + record + "," + record + "," + record + "\\]"))) << text;

    const auto parsed = platform::Value::fromJson(text);
    ASSERT_TRUE(parsed && parsed->asArray());
    ASSERT_EQ(parsed->asArray()->size(), 3u);
    for (const platform::Value& item : *parsed->asArray()) {
        ASSERT_TRUE(item.asDictionary());
        EXPECT_EQ(item.asDictionary()->size(), 3u);
        for (const auto& [key, value] : *item.asDictionary()) {
            EXPECT_TRUE(value.isString()) << key;
        }
        EXPECT_NE(item.find("text")->asString()->find('\n'), std::string::npos);
    }
}

TEST_F(RecordWritersTest, JSONRecordCounts) {
    const std::vector<CSVColumnTableRow> fields = {column("Field1", CSVColumnDataType::city)};
    const fs::path empty = generateJSONFile(0, fields, world.context());
    EXPECT_EQ(empty.filename(), std::string("document_0rows_") + kStamp + ".json");
    EXPECT_EQ(testing::readFile(empty), "[]");

    const fs::path one = generateJSONFile(1, fields, world.context());
    const std::string text = testing::readFile(one);
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\[\{\n  "Field1": "[^",]+"\n\}\])"))) << text;

    const fs::path noFields = generateJSONFile(2, {}, world.context());
    EXPECT_EQ(testing::readFile(noFields), "[{},{}]");
}

TEST_F(RecordWritersTest, TheLaterOfTwoSameNamedFieldsWins) {
    const std::vector<CSVColumnTableRow> fields = {
        column("x", CSVColumnDataType::name),
        column("y", CSVColumnDataType::city),
        column("x", CSVColumnDataType::email),
    };
    const fs::path path = generateJSONFile(20, fields, world.context());
    const std::string text = testing::readFile(path);
    const auto parsed = platform::Value::fromJson(text);
    ASSERT_TRUE(parsed && parsed->asArray());
    for (const platform::Value& item : *parsed->asArray()) {
        ASSERT_EQ(item.asDictionary()->size(), 2u);
        EXPECT_NE(item.find("x")->asString()->find('@'), std::string::npos);
    }
    // One key per name in the text too, not only after parsing.
    std::size_t keys = 0;
    for (std::size_t at = text.find("\"x\":"); at != std::string::npos; at = text.find("\"x\":", at + 1)) {
        ++keys;
    }
    EXPECT_EQ(keys, 20u);
}

TEST_F(RecordWritersTest, BadCountsAndCancellationLeaveNothing) {
    const std::vector<CSVColumnTableRow> fields = {column("a", CSVColumnDataType::city)};
    EXPECT_THROW(CSVUtils::generateCSVByColumns(0, {}, world.context()), platform::Error);
    EXPECT_THROW(CSVUtils::generateCSVByColumns(-2, fields, world.context()), platform::Error);
    EXPECT_THROW(generateJSONFile(-1, fields, world.context()), platform::Error);
    platform::CancellationToken cancel;
    cancel.cancel();
    EXPECT_THROW(CSVUtils::generateCSVByColumns(1, fields, world.context(&cancel)), platform::Error);
    EXPECT_THROW(generateJSONFile(5, fields, world.context(&cancel)), platform::Error);
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(RecordWritersTest, TheSameSeedWritesTheSameRecords) {
    const std::vector<CSVColumnTableRow> columns = {column("n", CSVColumnDataType::name),
                                                    column("e", CSVColumnDataType::email)};
    std::vector<std::string> files;
    for (int run = 0; run < 2; ++run) {
        world.random = platform::SeededRandom(42);
        const fs::path path = CSVUtils::generateCSVByColumns(2, columns, world.context());
        files.push_back(testing::readFile(path));
        fs::remove(path);
    }
    EXPECT_EQ(files[0], files[1]);
}

}  // namespace
}  // namespace stubforge

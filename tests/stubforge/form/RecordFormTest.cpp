// The form's column and field tables: brought to the typed counts, copied
// into a request, and handed to the CSV and JSON writers by the dispatch.

#include "stubforge/form/Dispatch.h"
#include "stubforge/form/FormState.h"

#include "stubforge/core/WriterErrors.h"

#include "platform/Error.h"
#include "platform/Value.h"

#include "../core/CoreTestSupport.h"

#include <gtest/gtest.h>

namespace stubforge {
namespace {

namespace fs = std::filesystem;

TEST(TypedCountsTest, TablesFollowTheTypedCounts) {
    struct Case {
        const char* columnCount;
        const char* fieldCount;
        std::size_t columns;
        std::size_t fields;
    };
    const Case cases[] = {
        {"5", "5", 5, 5},
        {"+7", "100", 7, 100},
        {"1", "1", 1, 1},
        // Counts that do not parse, or lie outside what the panels take,
        // leave the tables as they were.
        {"0", "0", 1, 1},
        {"-3", "-3", 1, 1},
        {"abc", "abc", 1, 1},
        {" 5", "5 ", 1, 1},
        {"", "", 1, 1},
        {"1001", "101", 1, 1},
        {"1000", "99999999999", 1000, 1},
    };
    for (const auto& item : cases) {
        FormState form;
        form.columnCount = item.columnCount;
        form.jsonFieldCount = item.fieldCount;
        bringTablesToTypedCounts(form);
        EXPECT_EQ(form.csvColumnsViewModel.rows().size(), item.columns) << item.columnCount;
        EXPECT_EQ(form.jsonFieldsViewModel.rows().size(), item.fields) << item.fieldCount;
    }
}

TEST(TypedCountsTest, TheFirstLaunchTables) {
    FormState form;
    ASSERT_EQ(form.csvColumnsViewModel.rows().size(), 1u);
    EXPECT_EQ(form.csvColumnsViewModel.rows()[0].columnName, "Column1");
    ASSERT_EQ(form.jsonFieldsViewModel.rows().size(), 1u);
    EXPECT_EQ(form.jsonFieldsViewModel.rows()[0].fieldName, "Field1");
    bringTablesToTypedCounts(form);
    EXPECT_EQ(form.csvColumnsViewModel.rows().back().columnName, "Column5");
    EXPECT_EQ(form.jsonFieldsViewModel.rows().back().fieldName, "Field5");
}

class RecordDispatchTest : public ::testing::Test {
protected:
    testing::WriterFixture world;

    fs::path generate(const FormState& form) {
        const auto request = startGeneration(form);
        EXPECT_TRUE(request);
        return runGeneration(*request, world.context());
    }
};

// The dispatch refuses what is no kind of file in its own domain, and passes
// a writer's refusal on in the writer's domain, untranslated.
TEST_F(RecordDispatchTest, RefusalsKeepTheirDomain) {
    FormState all;
    all.selectedFileExtension = FileExtension::showAll;
    all.fileSizeInput = "1";
    FormState negativeRows;
    negativeRows.selectedFileExtension = FileExtension::json;
    negativeRows.jsonRowCount = "-2";
    const struct {
        const char* name;
        const FormState& form;
        std::string_view domain;
        int code;
    } cases[] = {
        {"all", all, "Generation", static_cast<int>(GenerationError::notAFileKind)},
        {"negative rows", negativeRows, "JSONGenerator", static_cast<int>(JSONGeneratorError::invalidRecordCount)},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        const auto request = startGeneration(item.form);
        ASSERT_TRUE(request);
        try {
            runGeneration(*request, world.context());
            ADD_FAILURE() << "no error";
        } catch (const platform::Error& error) {
            EXPECT_EQ(error.domain(), item.domain);
            EXPECT_EQ(error.code(), item.code) << error.what();
        }
    }
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(RecordDispatchTest, CSVByColumnsTakesTheColumnRows) {
    FormState form;
    form.selectedFileExtension = FileExtension::csv;
    form.columnCount = "2";
    platform::SeededRandom ids(1);
    form.csvColumnsViewModel.setRows({CSVColumnTableRow{UUID::random(ids), "who", CSVColumnDataType::name},
                                      CSVColumnTableRow{UUID::random(ids), "mail", CSVColumnDataType::email}});
    const auto request = startGeneration(form);
    ASSERT_TRUE(request);
    // The request holds the rows as they were at the click.
    form.csvColumnsViewModel.setName(0, "changed later");
    const fs::path path = runGeneration(*request, world.context());
    EXPECT_EQ(path.filename(), "document_2columns_20261208065016.csv");
    EXPECT_TRUE(testing::readFile(path).starts_with("who,mail\n"));
}

TEST_F(RecordDispatchTest, AnUnparsableColumnCountMeansOne) {
    FormState form;
    form.selectedFileExtension = FileExtension::csv;
    form.columnCount = "many";
    const fs::path path = generate(form);
    EXPECT_EQ(path.filename(), "document_1columns_20261208065016.csv");
    // One column and one row: the row's name heads the file.
    EXPECT_TRUE(testing::readFile(path).starts_with("Column1\n"));
}

TEST_F(RecordDispatchTest, JSONTakesTheFieldRows) {
    FormState form;
    form.selectedFileExtension = FileExtension::json;
    form.jsonRowCount = "3";
    platform::SeededRandom ids(2);
    form.jsonFieldsViewModel.setRows({JSONFieldTableRow{UUID::random(ids), "b", CSVColumnDataType::name},
                                      JSONFieldTableRow{UUID::random(ids), "a", CSVColumnDataType::email}});
    const fs::path path = generate(form);
    EXPECT_EQ(path.filename(), "document_3rows_20261208065016.json");
    const auto parsed = platform::Value::fromJson(testing::readFile(path));
    ASSERT_TRUE(parsed && parsed->asArray());
    ASSERT_EQ(parsed->asArray()->size(), 3u);
    for (const auto& record : *parsed->asArray()) {
        ASSERT_TRUE(record.find("a") && record.find("b"));
        EXPECT_NE(record.find("a")->asString()->find('@'), std::string::npos);
    }

    // A record count that does not parse writes one record.
    form.jsonRowCount = "some";
    const fs::path one = generate(form);
    EXPECT_EQ(one.filename(), "document_1rows_20261208065016.json");
    EXPECT_EQ(platform::Value::fromJson(testing::readFile(one))->asArray()->size(), 1u);
}

}  // namespace
}  // namespace stubforge

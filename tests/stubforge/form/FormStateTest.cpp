#include "stubforge/form/Dispatch.h"
#include "stubforge/form/FormState.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <variant>

namespace stubforge {
namespace {

TEST(FormParsingTest, Integers) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {"3", 3},
        {"+3", 3},
        {"-5", -5},
        {"007", 7},
        {"", std::nullopt},
        {" 3", std::nullopt},
        {"3 ", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-3", std::nullopt},
        {"1.0", std::nullopt},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(parseInteger(item.text), item.expected) << '"' << item.text << '"';
    }
}

TEST(FormParsingTest, DoublesReadInTheCLocale) {
    // A comma-decimal locale in the process must not change how sizes read.
    const char* previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Case {
        const char* text;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"2.5", 2.5},         {"1e3", 1000.0},      {"0x10", 16.0},     {"-1", -1.0},          {"1,5", std::nullopt},
        {" 1", std::nullopt}, {"1 ", std::nullopt}, {"", std::nullopt}, {"abc", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(parseDouble(item.text), item.expected) << '"' << item.text << '"';
    }
    EXPECT_TRUE(std::isnan(*parseDouble("nan")));
    EXPECT_TRUE(std::isinf(*parseDouble("inf")));
    if (previous != nullptr) {
        std::setlocale(LC_NUMERIC, "C");
    }
}

FormState formFor(FileExtension extension) {
    FormState form;
    form.selectedFileExtension = extension;
    return form;
}

TEST(FormValidityTest, Rules) {
    struct Case {
        const char* name;
        FormState form;
        bool valid;
    };
    auto with = [](FormState form, auto change) {
        change(form);
        return form;
    };
    const FormState txt = formFor(FileExtension::txt);
    FormState pages = formFor(FileExtension::pdf);
    pages.selectedPDFGenerationMode = PDFGenerationMode::byPages;
    const FormState csv = formFor(FileExtension::csv);
    const FormState json = formFor(FileExtension::json);
    const Case cases[] = {
        {"initial form", FormState{}, true},
        {"txt 0.01", with(txt, [](FormState& f) { f.fileSizeInput = "0.01"; }), true},
        {"txt 50000", with(txt, [](FormState& f) { f.fileSizeInput = "50000"; }), true},
        {"txt 0.009", with(txt, [](FormState& f) { f.fileSizeInput = "0.009"; }), false},
        {"txt 50000.1", with(txt, [](FormState& f) { f.fileSizeInput = "50000.1"; }), false},
        {"txt empty", with(txt, [](FormState& f) { f.fileSizeInput = ""; }), false},
        {"txt leading space", with(txt, [](FormState& f) { f.fileSizeInput = " 1"; }), false},
        {"txt decimal comma", with(txt, [](FormState& f) { f.fileSizeInput = "1,5"; }), false},
        {"txt nan", with(txt, [](FormState& f) { f.fileSizeInput = "nan"; }), false},
        {"txt inf", with(txt, [](FormState& f) { f.fileSizeInput = "inf"; }), false},
        {"pages 1", with(pages, [](FormState& f) { f.pageCountInput = "1"; }), true},
        {"pages 1000 ignore size",
         with(pages,
              [](FormState& f) {
                  f.pageCountInput = "1000";
                  f.fileSizeInput = "x";
              }),
         true},
        {"pages 0", with(pages, [](FormState& f) { f.pageCountInput = "0"; }), false},
        {"pages 1001", with(pages, [](FormState& f) { f.pageCountInput = "1001"; }), false},
        {"pages -5", with(pages, [](FormState& f) { f.pageCountInput = "-5"; }), false},
        {"invoice with bad size",
         with(formFor(FileExtension::pdf),
              [](FormState& f) {
                  f.selectedContentType = ContentType::invoice;
                  f.fileSizeInput = "x";
              }),
         false},
        {"csv by size 300 columns",
         with(csv,
              [](FormState& f) {
                  f.selectedCSVCriteria = CSVCriteria::bySize;
                  f.columnCount = "300";
              }),
         false},
        {"csv 250 columns", with(csv, [](FormState& f) { f.columnCount = "250"; }), true},
        {"json 0 rows 1 field",
         with(json,
              [](FormState& f) {
                  f.jsonRowCount = "0";
                  f.jsonFieldCount = "1";
              }),
         true},
        {"json 501 rows", with(json, [](FormState& f) { f.jsonRowCount = "501"; }), false},
        {"json -1 rows", with(json, [](FormState& f) { f.jsonRowCount = "-1"; }), false},
        {"json 0 fields", with(json, [](FormState& f) { f.jsonFieldCount = "0"; }), false},
        {"json 101 fields", with(json, [](FormState& f) { f.jsonFieldCount = "101"; }), false},
        {"json empty size", with(json, [](FormState& f) { f.fileSizeInput = ""; }), false},
        {"all my files", formFor(FileExtension::showAll), false},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(isFormValid(item.form), item.valid) << item.name;
        // The button's check and the click's request come from one decision.
        const FormCheck check = checkForm(item.form);
        EXPECT_EQ(std::holds_alternative<GenerationRequest>(check), item.valid) << item.name;
        if (const auto* problem = std::get_if<FormProblem>(&check)) {
            EXPECT_EQ(problem->message, formProblem(item.form).value_or("")) << item.name;
        }
    }
}

TEST(DispatchTest, ParsesOneNumberPerRoad) {
    FormState pages = formFor(FileExtension::pdf);
    pages.selectedPDFGenerationMode = PDFGenerationMode::byPages;
    pages.pageCountInput = "+3";
    const auto pageRequest = startGeneration(pages);
    ASSERT_TRUE(pageRequest);
    EXPECT_EQ(pageRequest->pageCount, 3);
    EXPECT_FALSE(pageRequest->sizeInMB);

    pages.pageCountInput = " 3";
    EXPECT_FALSE(startGeneration(pages));

    FormState sized = formFor(FileExtension::xlsx);
    sized.fileSizeInput = "2.5";
    const auto sizeRequest = startGeneration(sized);
    ASSERT_TRUE(sizeRequest);
    EXPECT_EQ(sizeRequest->sizeInMB, 2.5);
    sized.fileSizeInput = "two";
    EXPECT_FALSE(startGeneration(sized));

    // The size road is taken by every kind but the page road, json included.
    FormState json = formFor(FileExtension::json);
    json.fileSizeInput = "";
    EXPECT_FALSE(startGeneration(json));
}

}  // namespace
}  // namespace stubforge

#include "stubforge/core/Options.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace stubforge {
namespace {

template <typename Option>
std::vector<std::string> rawValues() {
    std::vector<std::string> values;
    for (Option option : allCases<Option>()) {
        values.emplace_back(rawValue(option));
    }
    return values;
}

TEST(OptionsTest, RawValuesInDeclarationOrder) {
    EXPECT_EQ(rawValues<ContentType>(),
              (std::vector<std::string>{"Dummy", "Contract", "Invoice", "Meeting Notes", "B2B Contract", "Receipt",
                                        "Fund Portfolio", "CV", "Pitch Deck"}));
    EXPECT_EQ(rawValues<ContentSize>(), (std::vector<std::string>{"small", "large"}));
    EXPECT_EQ(rawValues<PDFGenerationMode>(), (std::vector<std::string>{"By Size", "By Pages"}));
    EXPECT_EQ(rawValues<CSVCriteria>(), (std::vector<std::string>{"By Size", "By Columns"}));
    EXPECT_EQ(rawValues<FileExtension>(),
              (std::vector<std::string>{"pdf", "txt", "json", "pptx", "xlsx", "docx", "jpg", "png", "mp3", "wav", "mp4",
                                        "csv", "zip", "rar", "usdz", "all"}));
}

TEST(OptionsTest, LookupIsExact) {
    EXPECT_EQ(fromRawValue<FileExtension>("all"), FileExtension::showAll);
    EXPECT_FALSE(fromRawValue<FileExtension>("PDF"));
    EXPECT_FALSE(fromRawValue<FileExtension>(" pdf"));
    EXPECT_EQ(fromRawValue<ContentType>("Meeting Notes"), ContentType::meeting_notes);
    EXPECT_FALSE(fromRawValue<ContentType>("meeting notes"));
    EXPECT_EQ(fromRawValue<CSVCriteria>("By Columns"), CSVCriteria::byColumnCount);
    EXPECT_EQ(fromRawValue<PDFGenerationMode>("By Pages"), PDFGenerationMode::byPages);
    for (FileExtension extension : allCases<FileExtension>()) {
        EXPECT_EQ(fromRawValue<FileExtension>(rawValue(extension)), extension);
        EXPECT_EQ(id(extension), rawValue(extension));
    }
    const auto all = rawValues<FileExtension>();
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 16u);
}

TEST(OptionsTest, IconAndCaseNames) {
    const std::vector<std::string> icons = {
        "document",    "text.page",   "doc.plaintext",    "play.rectangle", "chart.bar", "pencil",
        "photo",       "photo",       "speaker.wave.2",   "speaker.wave.2", "film",      "doc.plaintext",
        "zipper.page", "zipper.page", "cube.transparent", "folder"};
    std::vector<std::string> actual;
    for (FileExtension extension : allCases<FileExtension>()) {
        actual.emplace_back(iconName(extension));
    }
    EXPECT_EQ(actual, icons);
    EXPECT_EQ(caseName(ContentType::meeting_notes), "meeting_notes");
    EXPECT_EQ(caseName(ContentType::b2b_contract), "b2b_contract");
    EXPECT_EQ(caseName(ContentType::fund_portfolio), "fund_portfolio");
    EXPECT_EQ(caseName(ContentType::pitch_deck), "pitch_deck");
}

}  // namespace
}  // namespace stubforge

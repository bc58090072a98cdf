#include "platform/graphics/AttributedText.h"

#include <gtest/gtest.h>

namespace {

using namespace platform::graphics;

struct ValidityCase {
    const char* name;
    std::string input;
    std::string stored;
};

class TextValidity : public testing::TestWithParam<ValidityCase> {};

// Pango refuses ill-formed UTF-8, so what reaches a layout must be valid.
TEST_P(TextValidity, StoresWellFormedUtf8) {
    const AttributedText text(GetParam().input, TextStyle{});
    EXPECT_EQ(text.string(), GetParam().stored);
}

const std::string kReplacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Inputs, TextValidity,
    testing::Values(
        ValidityCase{"ascii", "Plain text\n", "Plain text\n"},
        ValidityCase{"symbols", "\xE2\x9C\x93 \xE2\x98\x91 \xE2\x80\x94", "\xE2\x9C\x93 \xE2\x98\x91 \xE2\x80\x94"},
        ValidityCase{"four byte", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        ValidityCase{"stray continuation", "a\x80z", "a" + kReplacement + "z"},
        ValidityCase{"truncated sequence", "a\xE2\x9C", "a" + kReplacement + kReplacement},
        ValidityCase{"overlong", "\xC0\xAF", kReplacement + kReplacement},
        ValidityCase{"surrogate", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
        ValidityCase{"beyond unicode", "\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
        ValidityCase{"nul", std::string("a\0b", 3), "a" + kReplacement + "b"}),
    [](const testing::TestParamInfo<ValidityCase>& test) {
        std::string name = test.param.name;
        for (char& c : name) {
            c = c == ' ' ? '_' : c;
        }
        return name;
    });

TEST(AttributedText, RunsFollowTheStylesAndMergeWhenEqual) {
    const TextStyle regular{Font::system(12)};
    const TextStyle bold{Font::boldSystem(12)};
    AttributedText text("Heading", bold);
    text.append(" ", bold).append("body", regular).append(" more", regular);
    const auto attachment = std::make_shared<const Attachment>(Attachment{{20, 10}, nullptr});
    text.appendAttachment(attachment, regular).append("end", regular);

    ASSERT_EQ(text.runs().size(), 4u);
    EXPECT_EQ(text.string().substr(text.runs()[0].begin, text.runs()[0].end), "Heading ");
    EXPECT_EQ(text.styleAt(0), bold);
    EXPECT_EQ(text.styleAt(8), regular);
    EXPECT_EQ(text.runs()[2].attachment, attachment);
    EXPECT_EQ(text.string().substr(text.runs()[2].begin, 3), AttributedText::kAttachmentCharacter);
    // An attachment never merges with the text around it.
    EXPECT_EQ(text.string().substr(text.runs()[3].begin), "end");
    EXPECT_EQ(text.styles().size(), 2u);
}

TEST(AttributedText, AppendingATextKeepsItsStylesAndAttachments) {
    AttributedText signature("Signed: ", TextStyle{Font::system(14)});
    signature.appendAttachment(std::make_shared<const Attachment>(Attachment{{200, 80}, nullptr}),
                               TextStyle{Font::system(14)});
    AttributedText document("Terms\n", TextStyle{Font::boldSystem(18)});
    document.append(signature);
    document.append(document);

    EXPECT_EQ(document.string(), "Terms\nSigned: " + std::string(AttributedText::kAttachmentCharacter) +
                                     "Terms\nSigned: " + std::string(AttributedText::kAttachmentCharacter));
    std::size_t attachments = 0;
    for (const auto& run : document.runs()) {
        attachments += run.attachment != nullptr;
        EXPECT_EQ(document.styles()[run.style].font.bold, document.string()[run.begin] == 'T');
    }
    EXPECT_EQ(attachments, 2u);
}

TEST(AttributedText, ParagraphStyleCanBeSetOverTheWholeText) {
    AttributedText text("one", TextStyle{Font::system(16)});
    text.append("two", TextStyle{Font::boldSystem(16)});
    ParagraphStyle centred;
    centred.alignment = Alignment::center;
    centred.lineSpacing = 10;
    text.setParagraphStyle(centred);
    EXPECT_EQ(text.styleAt(0).paragraph, centred);
    EXPECT_EQ(text.styleAt(4).paragraph, centred);
    EXPECT_TRUE(text.styleAt(4).font.bold);
}

struct FontNameCase {
    const char* name;
    Font expected;
    const char* families;
};

TEST(Font, NamesMapToOurFacesWithTheSymbolFallback) {
    const FontNameCase cases[] = {
        {"Helvetica", Font{"Helvetica", 36, false, false}, "Liberation Sans,DejaVu Sans"},
        {"Helvetica-Bold", Font{"Helvetica", 36, true, false}, "Liberation Sans,DejaVu Sans"},
        {"Helvetica-BoldOblique", Font{"Helvetica", 36, true, true}, "Liberation Sans,DejaVu Sans"},
        {"Arial-ItalicMT", Font{"Arial", 36, false, true}, "Liberation Sans,DejaVu Sans"},
        {"system", Font::system(36), "Liberation Sans,DejaVu Sans"},
        {"Times-Roman", Font{"Times", 36, false, false}, "Times,Liberation Sans,DejaVu Sans"},
        {"Noto-Emoji", Font{"Noto-Emoji", 36, false, false}, "Noto-Emoji,Liberation Sans,DejaVu Sans"},
    };
    for (const FontNameCase& testCase : cases) {
        const Font font = Font::named(testCase.name, 36);
        EXPECT_EQ(font, testCase.expected) << testCase.name;
        EXPECT_EQ(fontFamilyList(font), testCase.families) << testCase.name;
    }
}

}  // namespace

#include "PdfTools.h"
#include "platform/graphics/PdfDocument.h"
#include "platform/graphics/TextFlow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using namespace platform::graphics;
using graphics_test::TemporaryFolder;

const TextStyle kBody{Font::system(12)};

std::string joined(const TextFlow& flow) {
    std::string text;
    for (std::size_t page = 0; page < flow.pageCount(); ++page) {
        text += flow.pageText(page);
    }
    return text;
}

void expectContiguous(const TextFlow& flow) {
    std::size_t next = 0;
    for (const FlowPage& page : flow.pages()) {
        EXPECT_EQ(page.begin, next);
        EXPECT_LE(page.begin, page.end);
        next = page.end;
    }
    EXPECT_EQ(next, flow.text().size());
    EXPECT_EQ(joined(flow), flow.text().string());
}

struct BreakCase {
    const char* name;
    std::string text;
    std::vector<std::string> pages;
};

class FormFeeds : public testing::TestWithParam<BreakCase> {};

TEST_P(FormFeeds, StartNewPages) {
    Typesetter typesetter;
    const TextFlow flow(typesetter, AttributedText(GetParam().text, kBody), {300, 400});
    ASSERT_EQ(flow.pageCount(), GetParam().pages.size());
    for (std::size_t page = 0; page < flow.pageCount(); ++page) {
        EXPECT_EQ(flow.pageText(page), GetParam().pages[page]) << "page " << page;
    }
    expectContiguous(flow);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FormFeeds,
    testing::Values(BreakCase{"empty", "", {}}, BreakCase{"one_line", "Hello", {"Hello"}},
                    BreakCase{"line_break_only", "\n", {"\n"}},
                    BreakCase{"feed_between", "Terms\fSignature", {"Terms\f", "Signature"}},
                    BreakCase{"feed_after_newline", "Terms\n\n\fIN WITNESS\n", {"Terms\n\n\f", "IN WITNESS\n"}},
                    BreakCase{"trailing_feed", "Terms\f", {"Terms\f"}},
                    BreakCase{"two_feeds", "A\f\fB", {"A\f", "\f", "B"}},
                    BreakCase{"leading_feed", "\fB", {"\f", "B"}}),
    [](const testing::TestParamInfo<BreakCase>& test) { return std::string(test.param.name); });

TEST(TextFlow, FillsEachContainerWithTheLinesThatFit) {
    Typesetter typesetter;
    struct Case {
        double lineSpacing;
        double paragraphSpacing;
    };
    for (const Case spacing : {Case{0, 0}, Case{4, 0}, Case{4, 6}}) {
        TextStyle style = kBody;
        style.paragraph.lineSpacing = spacing.lineSpacing;
        style.paragraph.paragraphSpacing = spacing.paragraphSpacing;
        std::string text;
        for (int line = 1; line <= 120; ++line) {
            text += "Line " + std::to_string(line) + "\n";
        }
        const LineMetrics metrics = typesetter.measureLine(AttributedText("Line", style));
        const double lineHeight = metrics.ascent + metrics.descent;
        const double container = 200;
        const double step = lineHeight + spacing.lineSpacing + spacing.paragraphSpacing;
        const auto perPage = static_cast<std::size_t>(std::floor((container - lineHeight) / step)) + 1;

        const TextFlow flow(typesetter, AttributedText(text, style), {300, container});
        ASSERT_EQ(flow.pageCount(), (120 + perPage - 1) / perPage)
            << spacing.lineSpacing << "/" << spacing.paragraphSpacing;
        const std::string_view first = flow.pageText(0);
        EXPECT_EQ(static_cast<std::size_t>(std::count(first.begin(), first.end(), '\n')), perPage);
        EXPECT_TRUE(flow.pageText(1).starts_with("Line " + std::to_string(perPage + 1) + "\n"));
        EXPECT_NEAR(flow.pages()[0].usedHeight, (perPage - 1) * step + lineHeight, 1e-6);
        expectContiguous(flow);
    }
}

TEST(TextFlow, SplitsLongParagraphsBetweenLinesAndGivesTheTextBack) {
    Typesetter typesetter;
    const std::string sentence =
        "The receiving party shall hold the information in strict confidence and shall not disclose it. ";
    AttributedText text("AGREEMENT\n\n", TextStyle{Font::boldSystem(22)});
    TextStyle clause{Font::system(14)};
    clause.paragraph = ParagraphStyle{Alignment::justified, 4, 6, 0, 0, 30, 0};
    for (int section = 1; section <= 40; ++section) {
        text.append(std::to_string(section) + ". Heading. ",
                    TextStyle{Font::boldSystem(14), colors::black, false, clause.paragraph});
        for (int repeat = 0; repeat < section % 7 + 1; ++repeat) {
            text.append(sentence, clause);
        }
        text.append("\n\n", clause);
    }
    text.append("\fIN WITNESS WHEREOF\n\n", clause);
    text.appendAttachment(std::make_shared<const Attachment>(Attachment{{200, 80}, nullptr}), clause);
    text.append("\n\nName\n", clause);

    const Size container{475, 672};
    const TextFlow flow(typesetter, text, container);
    ASSERT_GT(flow.pageCount(), 4u);
    expectContiguous(flow);
    for (const FlowPage& page : flow.pages()) {
        EXPECT_GT(page.usedHeight, 0);
        EXPECT_LE(page.usedHeight, container.height);
    }
    // The signature block stands alone at the top of the last page.
    EXPECT_TRUE(flow.pageText(flow.pageCount() - 1).starts_with("IN WITNESS WHEREOF"));
    EXPECT_TRUE(flow.pageText(flow.pageCount() - 2).ends_with("\f"));
}

TEST(TextFlow, CarriesAParagraphOfHundredsOfPages) {
    // Far wider than pango can measure in one piece.
    Typesetter typesetter;
    std::string text;
    for (int sentence = 0; sentence < 7000; ++sentence) {
        text += "Lorem ipsum dolor sit amet, consectetur adipiscing elit " + std::to_string(sentence) + ". ";
    }
    const TextFlow flow(typesetter, AttributedText(text, kBody), {475, 672});
    EXPECT_GT(flow.pageCount(), 90u);
    expectContiguous(flow);
    for (std::size_t page = 0; page + 1 < flow.pageCount(); ++page) {
        EXPECT_EQ(flow.pages()[page].usedHeight, flow.pages()[0].usedHeight) << "page " << page;
    }
}

TEST(TextFlow, GivesALineTallerThanTheContainerAPageOfItsOwn) {
    Typesetter typesetter;
    AttributedText text("before\n", kBody);
    text.appendAttachment(std::make_shared<const Attachment>(Attachment{{50, 300}, nullptr}), kBody);
    text.append("\nafter\n", kBody);
    const TextFlow flow(typesetter, text, {200, 100});
    ASSERT_EQ(flow.pageCount(), 3u);
    EXPECT_EQ(flow.pageText(0), "before\n");
    EXPECT_GT(flow.pages()[1].usedHeight, 100);
    EXPECT_EQ(flow.pageText(2), "after\n");
}

TEST(TextFlow, RefusesContainersWithoutRoom) {
    Typesetter typesetter;
    for (const Size container : {Size{0, 100}, Size{100, -1}, Size{kUnbounded, 100}, Size{100, std::nan("")}}) {
        EXPECT_THROW({ const TextFlow flow(typesetter, AttributedText("x", kBody), container); },
                     std::invalid_argument);
    }
}

TEST(TextFlow, DrawsEachPageSliceOnItsOwnPage) {
    const platform::FixedClock clock(platform::TimePoint{});
    PdfDocument document(clock);
    std::string text;
    for (int word = 1; word <= 900; ++word) {
        text += "word" + std::to_string(word) + (word % 12 == 0 ? "\n" : " ");
    }
    text += "\ftail";
    const TextFlow flow(document.typesetter(), AttributedText(text, kBody), {400, 300});
    ASSERT_GT(flow.pageCount(), 3u);
    for (std::size_t page = 0; page < flow.pageCount(); ++page) {
        Canvas& canvas = document.beginPage(pageSizes::a4, page % 2 == 0 ? Origin::topLeft : Origin::bottomLeft);
        // The same container on the paper either way: 60 from the left, 80 from the top.
        flow.drawPage(canvas, page, page % 2 == 0 ? Point{60, 80} : Point{60, 842 - 80 - 300});
        document.endPage();
    }
    const TemporaryFolder folder;
    const auto pdf = folder.write("flow.pdf", document.finish());
    const auto words = graphics_test::wordsOf(pdf);
    for (std::size_t page = 0; page < flow.pageCount(); ++page) {
        std::string expected;
        for (const char c : flow.pageText(page)) {
            expected += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
        }
        std::string drawn;
        double top = 1e9;
        for (const auto& word : words) {
            if (word.page == static_cast<int>(page)) {
                drawn += word.text + " ";
                top = std::min(top, word.yMin);
                EXPECT_GE(word.xMin, 60 - 0.5);
                EXPECT_LE(word.xMax, 460 + 0.5);
                EXPECT_LE(word.yMax, 80 + 300 + 0.5);
            }
        }
        auto squeeze = [](std::string value) {
            std::string result;
            for (const char c : value) {
                if (c != ' ' || (!result.empty() && result.back() != ' ')) {
                    result += c;
                }
            }
            while (!result.empty() && result.back() == ' ') {
                result.pop_back();
            }
            return result;
        };
        EXPECT_EQ(squeeze(drawn), squeeze(expected)) << "page " << page;
        EXPECT_NEAR(top, 80, 2) << "page " << page;
    }
}

}  // namespace

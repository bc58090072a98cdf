#include "CVDocument.h"
#include "DocumentText.h"
#include "Documents.h"
#include "MeetingNotesDocument.h"

#include "stubforge/core/FakeData.h"
#include "stubforge/pdf/Pagination.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace stubforge {
namespace {

namespace graphics = platform::graphics;

bool isBreak(char c) { return c == '\n' || c == '\r' || c == '\f'; }

// Set wholly in bold, blanks aside.
bool whollyBold(const graphics::AttributedText& text, std::size_t begin, std::size_t end) {
    bool shown = false;
    for (std::size_t at = begin; at < end; ++at) {
        if (text.string()[at] == ' ' || text.string()[at] == '\t') {
            continue;
        }
        if (!text.styleAt(at).font.bold) {
            return false;
        }
        shown = true;
    }
    return shown;
}

// The last paragraph with something to show on each page but the last is
// not a heading: no heading is left at a page's foot.
void expectNoPageEndsWithAHeading(const graphics::TextFlow& flow, const std::string& label) {
    const std::string& text = flow.text().string();
    for (std::size_t page = 0; page + 1 < flow.pageCount(); ++page) {
        std::size_t end = flow.pages()[page].end;
        while (end > flow.pages()[page].begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
            --end;
        }
        std::size_t begin = end;
        while (begin > 0 && !isBreak(text[begin - 1])) {
            --begin;
        }
        EXPECT_FALSE(end > begin && whollyBold(flow.text(), begin, end))
            << label << ": page " << page + 1 << " ends with the heading \"" << text.substr(begin, end - begin) << "\"";
    }
}

// ---- The rule on texts made to measure

class HeadingPlacementTest : public ::testing::Test {
protected:
    graphics::Typesetter typesetter;
    graphics::TextStyle body = textStyle(graphics::Font::system(12));
    graphics::TextStyle heading = textStyle(graphics::Font::boldSystem(12));
    double lineHeight = typesetter.measure(graphics::AttributedText("Xg", body)).height;
    // Ten lines and a half to a page.
    graphics::Size area{300, lineHeight * 10.5};

    graphics::AttributedText filler(int lines) const {
        graphics::AttributedText text;
        for (int line = 0; line < lines; ++line) {
            text.append("Filler line " + std::to_string(line) + "\n", body);
        }
        return text;
    }

    // A paragraph of many lines.
    std::string longParagraph() const {
        std::string words;
        for (int word = 0; word < 120; ++word) {
            words += "body" + std::to_string(word) + " ";
        }
        return words + "\n";
    }
};

TEST_F(HeadingPlacementTest, AHeadingMovesWhenTwoLinesOfItsParagraphDoNotFollowIt) {
    struct Case {
        const char* name;
        int fillerLines;
        std::vector<std::string_view> headings;  // "" stands for a blank line
        bool shortBody;
        bool moves;
    };
    const Case cases[] = {
        {"heading on the last line", 9, {"Heading"}, false, true},
        {"one body line under it", 8, {"Heading"}, false, true},
        {"two body lines under it", 7, {"Heading"}, false, false},
        {"a one-line body under it", 8, {"Heading"}, true, false},
        {"heading group split by the page", 8, {"Heading", "Subheading", ""}, false, true},
        {"heading group whole, body below", 7, {"Heading", "Subheading", ""}, false, true},
        {"heading group with two body lines", 5, {"Heading", "Subheading", ""}, false, false},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        graphics::AttributedText text = filler(item.fillerLines);
        for (const std::string_view line : item.headings) {
            text.append(std::string(line) + "\n", heading);
        }
        text.append(item.shortBody ? std::string("Short body\n") : longParagraph(), body);
        text.append(filler(3));
        const std::size_t size = text.size();
        const graphics::TextFlow flow = paginateText(typesetter, text, area);
        ASSERT_GE(flow.pageCount(), 2u);
        const bool headingOnFirst = flow.pageText(0).find("Heading") != std::string_view::npos;
        EXPECT_EQ(headingOnFirst, !item.moves) << flow.pageText(0);
        if (item.moves) {
            // The whole group starts the next page, right after the filler.
            EXPECT_EQ(flow.pageText(1).substr(0, 7), "Heading");
            EXPECT_EQ(flow.pageText(0).find("Subheading"), std::string_view::npos);
            EXPECT_EQ(flow.pageText(0).substr(flow.pageText(0).size() - 1), "\f");
        }
        // Nothing is lost or added: only a line break became a page break.
        EXPECT_EQ(flow.text().size(), size);
        expectNoPageEndsWithAHeading(flow, item.name);
    }
}

TEST_F(HeadingPlacementTest, HeadingsAtAPageTopAndRunInHeadingsStay) {
    struct Case {
        const char* name;
        int fillerLines;
        std::string bold;
        int bodyParagraphs;
        std::size_t boldPage;  // where the bold text ends up
        std::string_view boldWord;
    };
    const Case cases[] = {
        // A heading at the top of a page over a paragraph longer than the
        // page has nowhere better to go.
        {"heading over a long paragraph", 0, "Heading\n", 3, 0, "Heading"},
        // A bold lead-in followed by regular text on the same line is part
        // of its paragraph, which may split like any other.
        {"run-in heading", 9, "Lead-in. ", 1, 0, "Lead-in."},
        // Blank lines after the filler do not make the heading the top of a
        // page.
        {"blank lines above the heading", 7, "\n\nHeading\n", 1, 1, "Heading"},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        graphics::AttributedText text = filler(item.fillerLines);
        text.append(item.bold, heading);
        for (int paragraph = 0; paragraph < item.bodyParagraphs; ++paragraph) {
            text.append(longParagraph(), body);
        }
        const graphics::TextFlow flow = paginateText(typesetter, text, area);
        ASSERT_GT(flow.pageCount(), item.boldPage);
        EXPECT_NE(flow.pageText(item.boldPage).find(item.boldWord), std::string_view::npos);
        // Left where it was, the text is the one given.
        EXPECT_EQ(flow.text() == text, item.boldPage == 0);
    }
}

// ---- The documents that flow their text over pages, over many seeds

class DocumentHeadingsTest : public ::testing::Test {
protected:
    testing::WriterFixture world;
    graphics::Typesetter typesetter;

    void check(const graphics::AttributedText& text, graphics::Size area, const std::string& label) {
        const graphics::TextFlow flow = paginateText(typesetter, text, area);
        expectNoPageEndsWithAHeading(flow, label);
    }
};

TEST_F(DocumentHeadingsTest, NoPageOfALongDocumentEndsWithAHeading) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        for (const ContentSize size : {ContentSize::small, ContentSize::large}) {
            const std::string label = std::string(rawValue(size)) + " document of seed " + std::to_string(seed) + ", ";
            platform::SeededRandom random(seed);
            const GenerationContext context(world.clock, random, *world.defaults, *world.bundle);
            sham::Faker faker = makeFaker(context);

            check(cv::buildContent(cv::buildCV(size, faker, random, world.clock.now())), cv::kTextArea, label + "CV");
            for (const meeting_notes::Notes& notes : meeting_notes::buildDocument(size, faker, random, world.clock)) {
                check(meeting_notes::notesText(notes), meeting_notes::kTextArea, label + "meeting notes");
            }
            const PDFContractGenerator::Data contract = PDFContractGenerator::buildData(size, context);
            check(PDFContractGenerator::buildAgreementText(contract), {475, 672}, label + "agreement");
            if (contract.nonDisclosure) {
                check(PDFContractGenerator::buildNDAText(contract), {475, 672}, label + "non-disclosure agreement");
            }
            const PDFB2BContractGenerator::Data b2b = PDFB2BContractGenerator::buildData(size, context);
            check(size == ContentSize::small ? PDFB2BContractGenerator::buildServicesAgreement(b2b)
                                             : PDFB2BContractGenerator::buildMasterServicesAgreement(b2b),
                  {512, 642}, label + "services agreement");
        }
    }
}

}  // namespace
}  // namespace stubforge
